// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// The run's rows on screen: readable on a light and on a dark palette, a
// failure told apart from a row still running, and the running row's
// progress painted under its text.
#include "mainwindow/runrowdelegate.h"
#include "mainwindow/runrowstyle.h"
#include "support/testregistry.h"

#include <QApplication>
#include <QListWidget>
#include <QStyleFactory>
#include <QtTest>

#include <cmath>
#include <functional>

namespace {
double luminance(const QColor &colour)
{
    const auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

// WCAG 2 contrast ratio, 1 to 21.
double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Fusion's dark scheme, as dark desktop themes set it: the colours an
// unselected row is painted with.
QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
    dark.setColor(QPalette::Text, Qt::white);
    return dark;
}

// Pixels of `area` in `image` for which `test` holds.
int countPixels(const QImage &image, const QRect &area,
                const std::function<bool(const QColor &)> &test)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += test(image.pixelColor(x, y));
    }
    return count;
}

// Pixels of `area` that read against `background` at 4.5:1 or more.
int readablePixels(const QImage &image, const QRect &area, const QColor &background)
{
    return countPixels(image, area,
                       [&](const QColor &c) { return contrast(c, background) >= 4.5; });
}

QImage rendered(QListWidget &list)
{
    // No current row: nothing selected or focused over the colours.
    list.setFocusPolicy(Qt::NoFocus);
    list.resize(480, 120);
    list.show();
    if (!QTest::qWaitForWindowExposed(&list))
        return QImage();
    return list.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}
} // namespace

class tst_RowStyle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void readable_data();
    void readable();
    void progress();
};

void tst_RowStyle::initTestCase()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

void tst_RowStyle::cleanup()
{
    QApplication::setPalette(QApplication::style()->standardPalette());
}

void tst_RowStyle::readable_data()
{
    QTest::addColumn<RowState>("state");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<bool>("icon");

    const QColor red(QStringLiteral("#F4ABAB"));
    const QColor green(QStringLiteral("#D6FCD4"));
    for (const bool dark : {false, true}) {
        const char *const theme = dark ? "dark" : "light";
        QTest::addRow("running, %s", theme) << RowState::Running << dark << red << false;
        QTest::addRow("converted, %s", theme) << RowState::Converted << dark << green << false;
        QTest::addRow("failed, %s", theme) << RowState::Failed << dark << red << true;
    }
}

// The text colour reads on the background as painted (text below 4.5:1 has
// no pixel that does), and only a failure carries the critical icon.
void tst_RowStyle::readable()
{
    QFETCH(RowState, state);
    QFETCH(bool, dark);
    QFETCH(QColor, background);
    QFETCH(bool, icon);

    if (dark)
        QApplication::setPalette(darkPalette());
    QListWidget list;
    list.addItem(QStringLiteral("Processing 00001.MTS"));
    QListWidgetItem *item = list.item(0);
    // A failed row may have been running before: restyling leaves nothing behind.
    styleRow(item, RowState::Failed);
    styleRow(item, state);

    QCOMPARE(!item->icon().isNull(), icon);

    const QImage image = rendered(list);
    QVERIFY(!image.isNull());
    const QRect row = list.visualItemRect(item);
    QCOMPARE(image.pixelColor(row.right() - 2, row.center().y()), background);
    // Past the icon's place: the text, painted readable.
    const QRect text(row.left() + 28, row.top(), 100, row.height());
    const int readable = readablePixels(image, text, background);
    QVERIFY2(readable >= 20, qPrintable(QStringLiteral("%1 readable pixels").arg(readable)));
    // The critical icon is a red disc; neither the text nor the backgrounds
    // come near that red.
    const QRect iconPlace(row.left(), row.top(), 22, row.height());
    const int iconRed = countPixels(image, iconPlace, [](const QColor &c) {
        return c.red() > 150 && c.green() < 90 && c.blue() < 90;
    });
    QCOMPARE(iconRed > 20, icon);
}

// A row at one half: the darker fill over the left half and "50%" at the
// right end, the text still readable on the fill. Rows without progress are
// painted as the default delegate paints them.
void tst_RowStyle::progress()
{
    QListWidget withDelegate;
    QListWidget plain;
    RunRowDelegate delegate;
    withDelegate.setItemDelegate(&delegate);
    for (QListWidget *list : {&withDelegate, &plain}) {
        list->addItems({"Processing 00002.MTS", "00001.MTS converted to 00001.mp4",
                        "Beach.M2TS was not converted: Permission denied", "notes.mts"});
        styleRow(list->item(0), RowState::Running);
        styleRow(list->item(1), RowState::Converted);
        styleRow(list->item(2), RowState::Failed);
    }
    withDelegate.item(0)->setData(progressRole, 0.5);

    const QImage image = rendered(withDelegate);
    const QImage expected = rendered(plain);
    QVERIFY(!image.isNull() && !expected.isNull());
    const QColor red(QStringLiteral("#F4ABAB"));
    const QRect running = withDelegate.visualItemRect(withDelegate.item(0));
    // Along the row's top edge, where no text is: fill up to the middle.
    const int top = running.top() + 1;
    int fillEnd = running.left();
    while (fillEnd <= running.right() && image.pixelColor(fillEnd, top) != red)
        ++fillEnd;
    QVERIFY2(std::abs(fillEnd - running.center().x()) <= 2,
             qPrintable(QStringLiteral("fill ends at %1 of %2").arg(fillEnd).arg(running.width())));
    const QColor fill = image.pixelColor(running.left() + 2, top);
    QVERIFY(fill != red);
    QCOMPARE(image.pixelColor(running.right() - 1, top), red);
    // The text over the fill, and the percentage at the right end.
    QVERIFY(readablePixels(image, QRect(running.left(), running.top(), 60, running.height()),
                           fill) >= 20);
    const QRect end(running.right() - 40, running.top(), 40, running.height());
    QVERIFY(readablePixels(image, end, red) >= 10);
    QCOMPARE(countPixels(expected, end, [&](const QColor &c) { return c != red; }), 0);
    QCOMPARE(withDelegate.item(0)->text(), QStringLiteral("Processing 00002.MTS"));

    for (int row = 1; row < withDelegate.count(); ++row) {
        const QRect rect = withDelegate.visualItemRect(withDelegate.item(row));
        QCOMPARE(image.copy(rect), expected.copy(rect));
    }
}

TESSEL_TEST(tst_RowStyle)
#include "tst_rowstyle.moc"
