// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/folderscan.h"
#include "folder/folderfixture.h"
#include "support/isolatedsettings.h"
#include "support/testregistry.h"
#include "support/workingfolder.h"

#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <vector>

class tst_FolderScan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void listing_data();
    void listing();
    void concurrentCalls();

private:
    IsolatedSettings settings;
    WorkingFolder area;
};

void tst_FolderScan::initTestCase()
{
    QVERIFY(area.isValid());
}

void tst_FolderScan::listing_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("mts before m2ts, each by name")
        << QStringList{"b.mts", "a.m2ts", "C.MTS"} << QStringList{"b.mts", "C.MTS", "a.m2ts"};
    // Lower-cased first: '_' sorts before 'b', though 'B' sorts before '_'.
    QTest::newRow("case ignored in order")
        << QStringList{"B.mts", "_u.mts"} << QStringList{"_u.mts", "B.mts"};
    QTest::newRow("mixed-case extensions") << QStringList{"d.m2TS", "c.M2ts", "b.mTS", "a.Mts"}
                                           << QStringList{"a.Mts", "b.mTS", "c.M2ts", "d.m2TS"};
    QTest::newRow("names people write")
        << QStringList{"Ünïcødé 日本.MTS", "new\nline.mts", "my clip.MTS", "it's \"q\".mts",
                       "100% done.mts",    "-dash.mts",     "#1 clip.mts", " lead.mts",
                       "b.m2Ts",           "A.M2TS",        "notes.txt"}
        << QStringList{" lead.mts",      "#1 clip.mts", "-dash.mts",     "100% done.mts",
                       "it's \"q\".mts", "my clip.MTS", "new\nline.mts", "Ünïcødé 日本.MTS",
                       "A.M2TS",         "b.m2Ts"};
    QTest::newRow("folders named like clips")
        << QStringList{"x.mts/", "y.M2TS/", "a.mts"} << QStringList{"a.mts", "x.mts", "y.M2TS"};
    QTest::newRow("lookalikes left out")
        << QStringList{".y.mts",    ".mts",    ".hidden/z.mts", "clip.mts.bak",
                       "clip.mts.", "clipmts", "clip.mts ",     "sub/inner.mts",
                       "clip.mp4",  "clip.ts", "a.mts"}
        << QStringList{"a.mts"};
    QTest::newRow("nothing but lookalikes")
        << QStringList{".y.mts", "clip.mts.bak", "notes/"} << QStringList{};
    QTest::newRow("empty folder") << QStringList{} << QStringList{};
    QTest::newRow("link to a file") << QStringList{"clip.mts", "t.txt", "link.mts -> t.txt"}
                                    << QStringList{"clip.mts", "link.mts"};
    QTest::newRow("link to a folder")
        << QStringList{"clip.mts", "t/", "link.mts -> t"} << QStringList{"clip.mts", "link.mts"};
    QTest::newRow("broken link") << QStringList{"clip.mts", "link.mts -> gone"}
                                 << QStringList{"clip.mts"};
    QTest::newRow("named pipe") << QStringList{"clip.mts", "pipe.mts|"} << QStringList{"clip.mts"};
    // U+017F folds to 's': Qt's case-blind wildcard takes it for one, and
    // the folder is listed as Qt lists it.
    QTest::newRow("long s") << QStringList{"clip.mts", "a.mt\u017F", "b.m2t\u017F"}
                            << QStringList{"a.mt\u017F", "clip.mts", "b.m2t\u017F"};
}

void tst_FolderScan::listing()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, expected);

    const QString folder = area.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(makeEntries(folder, entries));

    QCOMPARE(listVideoFiles(folder), expected);
}

// Reentrant, as folderscan.h promises: a caller may list from any thread.
void tst_FolderScan::concurrentCalls()
{
    const QString folder = area.filePath(QStringLiteral("shared"));
    QStringList mts;
    QStringList m2ts;
    for (int i = 0; i < 300; ++i)
        (i % 2 ? mts : m2ts)
            << QStringLiteral("c%1.%2").arg(i, 3, 10, QLatin1Char('0')).arg(i % 2 ? "mts" : "M2TS");
    const QStringList expected = mts + m2ts;
    QVERIFY(makeEntries(folder, expected));

    std::vector<QStringList> results(4);
    std::vector<std::thread> threads;
    for (QStringList &result : results)
        threads.emplace_back([&folder, &result] {
            for (int round = 0; round < 20; ++round)
                result = listVideoFiles(folder);
        });
    for (std::thread &thread : threads)
        thread.join();
    for (const QStringList &result : results)
        QCOMPARE(result, expected);
}

TESSEL_TEST(tst_FolderScan)
#include "tst_folderscan.moc"
