// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// What a run tells without a window: each clip's MP4 name, how far the run
// is (weighed by bytes) in the window's title, and the closing count.
#include "support/testregistry.h"
#include <QTest>

#include "conversion/conversionreport.h"
#include "conversion/encodercommand.h"
#include "conversion/runprogress.h"

class RunProgressTest : public QObject
{
    Q_OBJECT

private slots:
    void outputName_data();
    void outputName();
    void title_data();
    void title();
    void finalCount_data();
    void finalCount();
};

void RunProgressTest::outputName_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("output");

    // Numbering, capitals, a blank and non-ASCII names are rows of
    // tst_conversionrun's encoderCommandLine and tst_conversionffmpeg.
    // clang-format off
    QTest::newRow("every .mts replaced") << "a.mts.mts" << "a.mp4.mp4";
    QTest::newRow(".m2ts is not .mts") << "clip.m2ts" << "clip.mp4";
    QTest::newRow("mixed case") << "Holiday.MtS" << "holiday.mp4";
    QTest::newRow(".mts inside the name") << "x.MTS.m2ts" << "x.mp4.mp4";
    // clang-format on
}

void RunProgressTest::outputName()
{
    QFETCH(QString, source);
    QFETCH(QString, output);
    QCOMPARE(outputNameFor(source), output);
}

void RunProgressTest::title_data()
{
    QTest::addColumn<QList<qint64>>("bytes");
    QTest::addColumn<int>("clipsDone");    // the first ones, in order
    QTest::addColumn<double>("runningAt"); // the next clip's own progress
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("title");

    const QList<qint64> threeSmallOneBig{100, 100, 100, 700};
    const QList<qint64> twelve(12, 1000);
    QTest::newRow("start") << threeSmallOneBig << 0 << 0.0 << qint64(0)
                           << QStringLiteral("Tessel — 1 of 4, 0%");
    QTest::newRow("small clips count for their bytes")
        << threeSmallOneBig << 3 << 0.0 << qint64(3000) << QStringLiteral("Tessel — 4 of 4, 30%");
    QTest::newRow("the running clip by its own progress")
        << threeSmallOneBig << 3 << 0.5 << qint64(9000)
        << QStringLiteral("Tessel — 4 of 4, 65%, less than a minute left");
    QTest::newRow("minutes left") << twelve << 2 << 0.92 << qint64(90000)
                                  << QStringLiteral("Tessel — 3 of 12, 24%, about 5 min left");
    QTest::newRow("too little done to tell the pace")
        << QList<qint64>(100, 1000) << 1 << 0.0 << qint64(60000)
        << QStringLiteral("Tessel — 2 of 100, 1%");
    QTest::newRow("too early to tell the pace")
        << twelve << 6 << 0.0 << qint64(4000) << QStringLiteral("Tessel — 7 of 12, 50%");
    QTest::newRow("empty clips still count")
        << QList<qint64>{0, 0} << 1 << 0.0 << qint64(0) << QStringLiteral("Tessel — 2 of 2, 50%");
}

void RunProgressTest::title()
{
    QFETCH(QList<qint64>, bytes);
    QFETCH(int, clipsDone);
    QFETCH(double, runningAt);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, title);

    RunProgress progress(bytes);
    for (int i = 0; i < clipsDone; ++i) {
        progress.clipRunning(i, 0.5);
        progress.clipDone(i);
    }
    progress.clipRunning(clipsDone, runningAt);
    QCOMPARE(runTitle(clipsDone + 1, int(bytes.size()), progress.fraction(),
                      progress.secondsLeft(elapsedMs)),
             title);
}

void RunProgressTest::finalCount_data()
{
    QTest::addColumn<int>("converted");
    QTest::addColumn<int>("failed");
    QTest::addColumn<QString>("message");

    // "1 file converted." and "2 files converted." are seen in the boxes of
    // tst_conversionrun's outcomes and userDuringRun.
    QTest::newRow("one each") << 1 << 1 << "1 file converted. 1 file failed.";
    QTest::newRow("all failed") << 0 << 3 << "0 file converted. 3 files failed.";
    QTest::newRow("two and two") << 2 << 2 << "2 files converted. 2 files failed.";
}

// The closing count.
void RunProgressTest::finalCount()
{
    QFETCH(int, converted);
    QFETCH(int, failed);
    QFETCH(QString, message);

    QCOMPARE(summaryText(converted, failed), message);
}

TESSEL_TEST(RunProgressTest)
#include "tst_runprogress.moc"
