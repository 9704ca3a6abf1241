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

    void buildLabel();
    void windowFlags();
    void interface();
    void remembersFolder_data();
    void remembersFolder();
    void firstStartStoresEmptyFolder();
    void closeEndsApplicationLoop();
    void windowManagerCloseEndsApplicationLoop();

private:
    IsolatedSettings settings;
};

void tst_MainWindow::buildLabel()
{
    tesselMainWindow window;
    QCOMPARE(window.findChild<QLabel *>("label_build")->text(),
             QStringLiteral("Version 1.0 (build 405)"));
}

void tst_MainWindow::windowFlags()
{
    tesselMainWindow window;
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
    QTest::addColumn<QString>("typed");

    QTest::newRow("folder") << QDir::tempPath();
    QTest::newRow("empty") << QString();
    QTest::newRow("deleted since") << QStringLiteral("/no/such/folder/anymore");
    QTest::newRow("blanks kept") << QStringLiteral("  /tmp  ");
    QTest::newRow("non-ASCII") << QStringLiteral("/home/Zoë/Vidéos/日本");
    QTest::newRow("Windows path") << QStringLiteral("C:\\Video\\Trip");
}

void tst_MainWindow::remembersFolder()
{
    QFETCH(QString, typed);

    settings.storeFolder(QStringLiteral("/previously/chosen"));
    {
        WindowUnderTest ui;
        QCOMPARE(ui.folderField->text(), QStringLiteral("/previously/chosen"));
        ui.folderField->setText(typed); // the user types over the chosen folder
    }
    QCOMPARE(settings.storedFolder(), QVariant(typed));

    const WindowUnderTest next;
    QCOMPARE(next.folderField->text(), typed);
}

void tst_MainWindow::firstStartStoresEmptyFolder()
{
    QVERIFY(!settings.storedFolder().isValid());
    {
        const WindowUnderTest ui;
        QCOMPARE(ui.folderField->text(), QString());
    }
    QVERIFY(settings.holdsFolder());
    QCOMPARE(settings.storedFolder(), QVariant(QString()));
}

void tst_MainWindow::closeEndsApplicationLoop()
{
    WindowUnderTest ui;
    ui.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ui.window));
    QTimer::singleShot(0, ui.closeButton, &QPushButton::click);
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); }); // rather fail than hang
    QCOMPARE(QApplication::exec(), 0);
}

void tst_MainWindow::windowManagerCloseEndsApplicationLoop()
{
    tesselMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(0, &window, &QWidget::close);
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window.isVisible());
}

TESSEL_TEST(tst_MainWindow)
#include "tst_mainwindow.moc"
