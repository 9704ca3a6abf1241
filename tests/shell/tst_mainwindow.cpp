// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/tesselmainwindow.h"
#include "support/isolatedsettings.h"
#include "support/testregistry.h"
#include "support/windowdriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { settings.clear(); }

    void buildLabelAndFlags();
    void interface();
    void remembersFolder_data();
    void remembersFolder();
    void closeEndsApplicationLoop_data();
    void closeEndsApplicationLoop();

private:
    IsolatedSettings settings;
};

void tst_MainWindow::buildLabelAndFlags()
{
    tesselMainWindow window;
    QCOMPARE(window.findChild<QLabel *>("label_build")->text(),
             QStringLiteral("Version 1.0 (build 405)"));
    QVERIFY(window.isWindow());
    const Qt::WindowFlags hints = window.windowFlags() & ~Qt::WindowType_Mask;
    // Qt adds the system menu to a title bar; no minimise, maximise or close hint.
    QCOMPARE(hints, Qt::WindowTitleHint | Qt::WindowSystemMenuHint);
}

void tst_MainWindow::interface()
{
    const QMetaObject &meta = tesselMainWindow::staticMetaObject;
    QCOMPARE(meta.className(), "tesselMainWindow");
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);

    QStringList names;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        QCOMPARE(method.parameterCount(), 0);
        names << QString::fromLatin1(method.name());
    }
    QCOMPARE(names, (QStringList{"browse", "process", "refreshUI", "encodeFinished",
                                 "produceVideoFinished", "on_pushButton_2_clicked",
                                 "on_pushButton_clicked", "on_pushButton_open_clicked"}));
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    QCOMPARE(meta.classInfoCount(), meta.classInfoOffset());
}

void tst_MainWindow::remembersFolder_data()
{
    QTest::addColumn<QString>("stored"); // null: nothing stored yet
    QTest::addColumn<QString>("typed");

    const QString chosen = QStringLiteral("/previously/chosen");
    QTest::newRow("folder") << chosen << QDir::tempPath();
    QTest::newRow("empty") << chosen << QString();
    QTest::newRow("deleted since") << chosen << QStringLiteral("/no/such/folder/anymore");
    QTest::newRow("blanks kept") << chosen << QStringLiteral("  /tmp  ");
    QTest::newRow("non-ASCII") << chosen << QStringLiteral("/home/Zoë/Vidéos/日本");
    QTest::newRow("Windows path") << chosen << QStringLiteral("C:\\Video\\Trip");
    QTest::newRow("first start stores the empty field") << QString() << QString();
}

void tst_MainWindow::remembersFolder()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);

    if (!stored.isNull())
        settings.storeFolder(stored);
    {
        WindowUnderTest ui;
        QCOMPARE(ui.folderField->text(), stored);
        ui.folderField->setText(typed); // the user types over the chosen folder
    }
    // Stored even when empty: an invalid QVariant would be nothing stored.
    QCOMPARE(settings.storedFolder(), QVariant(typed));

    const WindowUnderTest next;
    QCOMPARE(next.folderField->text(), typed);
}

void tst_MainWindow::closeEndsApplicationLoop_data()
{
    QTest::addColumn<bool>("byButton"); // else by the window manager
    QTest::newRow("Close button") << true;
    QTest::newRow("window manager") << false;
}

void tst_MainWindow::closeEndsApplicationLoop()
{
    QFETCH(bool, byButton);

    WindowUnderTest ui;
    ui.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ui.window));
    if (byButton)
        QTimer::singleShot(0, ui.closeButton, &QPushButton::click);
    else
        QTimer::singleShot(0, &ui.window, &QWidget::close);
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); }); // rather fail than hang
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!ui.window.isVisible());
}

TESSEL_TEST(tst_MainWindow)
#include "tst_mainwindow.moc"
