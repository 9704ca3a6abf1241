// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/testregistry.h"
#include "ui_tesselmainwindow.h"

#include <QAccessible>
#include <QBoxLayout>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

// The form alone, set up on a window that offers the same slot names as the
// real one, so what the form binds by itself can be seen.
class FormOnlyWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit FormOnlyWindow(const QString &name = QString())
    {
        setObjectName(name);
        ui.setupUi(this);
    }

    Ui::tesselMainWindow ui;
    QStringList calls;

private slots:
    void browse() { calls << QStringLiteral("browse"); }
    void process() { calls << QStringLiteral("process"); }
    void on_pushButton_clicked() { calls << QStringLiteral("on_pushButton_clicked"); }
    void on_pushButton_2_clicked() { calls << QStringLiteral("on_pushButton_2_clicked"); }
    void on_pushButton_open_clicked() { calls << QStringLiteral("on_pushButton_open_clicked"); }
};

class tst_Form : public QObject
{
    Q_OBJECT

private slots:
    void objects_data();
    void objects();
    void windowSizeAndTitle();
    void focusFollowsCreationOrder();
};

void tst_Form::objects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName"); // the widget or layout that holds it
    QTest::addColumn<QString>("text");       // of a widget that has one
    QTest::addColumn<QString>("spoken");     // by a screen reader, for a widget without a label
    QTest::addColumn<QStringList>("calls");  // slots a click reaches by name alone
    QTest::addColumn<int>("margin");         // of a layout, all round
    QTest::addColumn<QStringList>("items");  // of a layout, in order

    const auto row = [](const char *name, const char *className, const char *parentName,
                        const char *text = "", const char *spoken = "",
                        const QStringList &calls = {}) {
        QTest::newRow(name) << name << className << parentName << text << spoken << calls << 0
                            << QStringList();
    };
    const auto layout = [](const char *name, const char *className, const char *parentName,
                           int margin, const QStringList &items) {
        QTest::newRow(name) << name << className << parentName << ""
                            << "" << QStringList() << margin << items;
    };
    row("centralWidget", "QWidget", "tesselMainWindow");
    layout("verticalLayout_2", "QVBoxLayout", "centralWidget", 11, {"verticalLayout"});
    layout("verticalLayout", "QVBoxLayout", "verticalLayout_2", 0,
           {"horizontalLayout", "pushButton_Process", "listWidget", "line", "horizontalLayout_2"});
    layout("horizontalLayout", "QHBoxLayout", "verticalLayout", 0,
           {"lineEdit", "pushButton_browse", "pushButton_open"});
    row("lineEdit", "QLineEdit", "horizontalLayout", "", "Folder");
    row("pushButton_browse", "QPushButton", "horizontalLayout", "Browse");
    row("pushButton_open", "QPushButton", "horizontalLayout", "Open", "",
        {"on_pushButton_open_clicked"});
    row("pushButton_Process", "QPushButton", "verticalLayout", "Process");
    row("listWidget", "QListWidget", "verticalLayout", "", "Clips");
    row("line", "QFrame", "verticalLayout");
    layout("horizontalLayout_2", "QHBoxLayout", "verticalLayout", 0,
           {"pushButton", "label_build", "pushButton_2"});
    row("pushButton", "QPushButton", "horizontalLayout_2", "Check for Updates", "",
        {"on_pushButton_clicked"});
    row("label_build", "QLabel", "horizontalLayout_2", "TextLabel");
    row("pushButton_2", "QPushButton", "horizontalLayout_2", "Close", "",
        {"on_pushButton_2_clicked"});
}

namespace {
// The layout that holds `object`: for a widget, the layout of its parent that
// lists it; for a layout, its parent layout.
QString holderName(QObject *object, QMainWindow *window)
{
    if (auto *layout = qobject_cast<QLayout *>(object)) {
        if (auto *parentLayout = qobject_cast<QLayout *>(layout->parent()))
            return parentLayout->objectName();
        return layout->parentWidget() ? layout->parentWidget()->objectName() : QString();
    }
    auto *widget = qobject_cast<QWidget *>(object);
    if (widget->parentWidget() == window)
        return window->objectName();
    for (QLayout *layout : window->findChildren<QLayout *>()) {
        if (layout->indexOf(widget) >= 0)
            return layout->objectName();
    }
    return QString();
}
} // namespace

void tst_Form::objects()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QString, text);
    QFETCH(QString, spoken);
    QFETCH(QStringList, calls);
    QFETCH(int, margin);
    QFETCH(QStringList, items);

    FormOnlyWindow window;
    QObject *object = window.findChild<QObject *>(name);
    QVERIFY2(object, qPrintable(name + " is missing"));
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
    QCOMPARE(holderName(object, &window), parentName);
    if (auto *layout = qobject_cast<QBoxLayout *>(object)) {
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(layout->contentsMargins(), QMargins(margin, margin, margin, margin));
        QStringList seen;
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem *item = layout->itemAt(i);
            QCOMPARE(layout->stretch(i), 0);
            QCOMPARE(item->alignment(), Qt::Alignment());
            seen << (item->layout() ? item->layout()->objectName() : item->widget()->objectName());
        }
        QCOMPARE(seen, items);
    }
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return;
    if (widget != window.ui.centralWidget)
        QCOMPARE(widget->parentWidget(), window.ui.centralWidget);
    QVERIFY(widget->isEnabled());
    if (widget->property("text").isValid())
        QCOMPARE(widget->property("text").toString(), text);
    if (!spoken.isEmpty()) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), spoken);
    }
    // Browse and Process are bound by the window itself, not by their names.
    if (auto *button = qobject_cast<QPushButton *>(widget))
        button->click();
    QCOMPARE(window.calls, calls);
}

void tst_Form::windowSizeAndTitle()
{
    FormOnlyWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("tesselMainWindow"));
    QCOMPARE(window.size(), QSize(417, 276));
    QCOMPARE(window.windowTitle(), QStringLiteral("Tessel"));
    QCOMPARE(window.ui.line->frameShape(), QFrame::HLine);
    QCOMPARE(window.ui.line->frameShadow(), QFrame::Sunken);
    QVERIFY(!window.menuWidget());
    QVERIFY(!window.findChild<QStatusBar *>());
    QVERIFY(!window.findChild<QToolBar *>());
    QCOMPARE(window.ui.listWidget->count(), 0);
    // Translating again puts the build label's placeholder back.
    window.ui.label_build->setText(QStringLiteral("Version 1.0 (build 405)"));
    window.ui.retranslateUi(&window);
    QCOMPARE(window.ui.label_build->text(), QStringLiteral("TextLabel"));
    // A name given before the form is set up is kept.
    QCOMPARE(FormOnlyWindow(QStringLiteral("mine")).objectName(), QStringLiteral("mine"));
}

void tst_Form::focusFollowsCreationOrder()
{
    FormOnlyWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.ui.lineEdit->setFocus();

    const QStringList expected{"lineEdit",           "pushButton_browse", "pushButton_open",
                               "pushButton_Process", "listWidget",        "pushButton",
                               "pushButton_2"};
    QStringList seen{QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, expected);
}

TESSEL_TEST(tst_Form)
#include "tst_form.moc"
