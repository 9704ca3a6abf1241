// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// One whole run of the Windows build with the ffmpeg.exe it ships in
// "encoder\" beside the program: clips whose folder and names hold spaces,
// accents and '%' become H.264 + MP3 MP4s beside them, and nothing else is
// left in the folder; files named like clips that are no transport streams
// fail in the encoder's words and reach nothing outside their folder.
#include "support/testregistry.h"
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

#include "conversion/conversiontestkit.h"
#include "conversion/openfolder.h"
#include "support/isolatedsettings.h"
#include "support/mp4streams.h"

class WindowsRunTest : public QObject
{
    Q_OBJECT

private slots:
    void convertsWithShippedEncoder_data();
    void convertsWithShippedEncoder();
    void refusesAllButTransportStreams_data();
    void refusesAllButTransportStreams();
    void closeStopsShippedEncoder();
    void folderAddress_data();
    void folderAddress();

private:
    IsolatedSettings isolatedSettings;
};

void WindowsRunTest::convertsWithShippedEncoder_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QStringList>("clipNames");
    QTest::addColumn<QStringList>("outputNames");

    QTest::newRow("camcorder names")
        << QStringLiteral("Card") << QStringList{QStringLiteral("00001.MTS")}
        << QStringList{QStringLiteral("00001.mp4")};
    // '%' reaches the encoder as a plain character, not as an environment
    // variable or a URL escape; accents as themselves, not the ANSI code page.
    QTest::newRow("spaces, accents, percent signs")
        << QStringLiteral("Été 100% %PATH%")
        << QStringList{QStringLiteral("Été 2019 %.MTS"), QStringLiteral("Ünïcødé %41.m2ts")}
        << QStringList{QStringLiteral("été 2019 %.mp4"), QStringLiteral("ünïcødé %41.mp4")};
    // Past MAX_PATH, which Wine does not enforce: Tessel's own calls and
    // FFmpeg's must take the path as it is.
    const QString longName = QString(120, QLatin1Char('x'));
    QTest::newRow("a path over 260 characters")
        << QStringLiteral("Holiday %1/Day one %1/Card").arg(longName)
        << QStringList{QStringLiteral("00001.MTS")} << QStringList{QStringLiteral("00001.mp4")};
}

void WindowsRunTest::convertsWithShippedEncoder()
{
    QFETCH(QString, folderName);
    QFETCH(QStringList, clipNames);
    QFETCH(QStringList, outputNames);

    const QString encoder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/encoder/ffmpeg.exe");
    QVERIFY2(QFileInfo(encoder).isExecutable(),
             qPrintable(encoder + QStringLiteral(" is missing")));
    ClipFolder clips;
    QVERIFY(QDir(clips.path()).mkpath(folderName));
    const QString folder = clips.filePath(folderName);
    QVERIFY2(QDir::toNativeSeparators(folder).size() > 260 ||
                 !folderName.contains(QLatin1Char('/')),
             qPrintable(folder));
    for (const QString &name : clipNames)
        QVERIFY(QFile::copy(QStringLiteral(SAMPLE_CLIP), folder + QLatin1Char('/') + name));

    const RunSeen seen = runInWindow(QString(), folder, 90000); // the shipped encoder
    QVERIFY(!seen.timedOut);

    QList<Row> expectedRows;
    for (int i = 0; i < clipNames.size(); ++i)
        expectedRows << Row{clipNames[i] + QStringLiteral(" converted to ") + outputNames[i],
                            lightGreen};
    QCOMPARE(seen.rows, expectedRows);
    QCOMPARE(seen.boxes.value(0).text,
             clipNames.size() == 1 ? QStringLiteral("1 file converted.")
                                   : QStringLiteral("%1 files converted.").arg(clipNames.size()));
    QStringList expectedEntries = clipNames + outputNames;
    expectedEntries.sort(Qt::CaseInsensitive);
    // The work folder goes too.
    QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    entries.sort(Qt::CaseInsensitive);
    QCOMPARE(entries, expectedEntries);

    for (const QString &name : outputNames) {
        // Written as a hidden file; the user must see the MP4.
        QVERIFY2(!QFileInfo(folder + QLatin1Char('/') + name).isHidden(), qPrintable(name));
        const Mp4Streams streams = mp4Streams(folder + QLatin1Char('/') + name);
        QCOMPARE(streams.video, QStringLiteral("h264 160x120"));
        QCOMPARE(streams.audio, QStringLiteral("mp3"));
    }
}

void WindowsRunTest::refusesAllButTransportStreams_data()
{
    // %1: a transport stream outside the folder, %2: an address on a server
    // the test listens on.
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("M3U playlist naming a clip elsewhere")
        << QByteArray("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n%1\n#EXT-X-ENDLIST\n");
    QTest::newRow("M3U playlist naming an http address")
        << QByteArray("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n%2\n#EXT-X-ENDLIST\n");
    QTest::newRow("concat list naming a clip elsewhere")
        << QByteArray("ffconcat version 1.0\nfile '%1'\n");
    QTest::newRow("concat list naming an http address")
        << QByteArray("ffconcat version 1.0\nfile '%2'\n");
    QTest::newRow("MP4") << QByteArray("@" SAMPLE_MP4);
    QTest::newRow("WAV") << QByteArray("@" SAMPLE_WAV);
}

void WindowsRunTest::refusesAllButTransportStreams()
{
    QFETCH(QByteArray, content);

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    ClipFolder outside;
    const QString elsewhere = outside.filePath(QStringLiteral("elsewhere.MTS"));
    QVERIFY(QFile::copy(QStringLiteral(SAMPLE_CLIP), elsewhere));
    ClipFolder clips;
    if (content.startsWith('@')) {
        QVERIFY(QFile::copy(QString::fromUtf8(content.mid(1)),
                            clips.filePath(QStringLiteral("00001.MTS"))));
    } else {
        const QString address =
            QStringLiteral("http://127.0.0.1:%1/clip.MTS").arg(server.serverPort());
        clips.add(QStringLiteral("00001.MTS"),
                  QString::fromUtf8(content)
                      .replace(QStringLiteral("%1"), QDir::toNativeSeparators(elsewhere))
                      .replace(QStringLiteral("%2"), address)
                      .toUtf8());
    }

    const RunSeen seen = runInWindow(QString(), clips.path(), 60000); // the shipped encoder
    QVERIFY(!seen.timedOut);
    QCOMPARE(seen.rows,
             (QList<Row>{{QStringLiteral("00001.MTS was not converted: Invalid data found when "
                                         "processing input"),
                          lightRed}}));
    QCOMPARE(QDir(clips.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("00001.MTS")});
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("elsewhere.MTS")});
    QVERIFY2(!server.waitForNewConnection(100), "the encoder connected to the address");
}

void WindowsRunTest::closeStopsShippedEncoder()
{
    // ffmpeg.exe is a console program that terminate() does not reach: it
    // must end on the "q" Tessel writes to it, well before the 3 s kill.
    ClipFolder clips;
    QVERIFY(
        QFile::copy(QStringLiteral(LONG_SAMPLE_CLIP), clips.filePath(QStringLiteral("long.MTS"))));
    qint64 stopMs = -1;
    {
        WindowUnderTest ui;
        ui.folderField->setText(clips.path());
        ui.window.show();
        QElapsedTimer sinceClose;
        const Sampler closer(
            [&] {
                if (!sinceClose.isValid() && ui.list->count() > 0 &&
                    ui.list->item(0)->text().startsWith(QLatin1String("Processing"))) {
                    sinceClose.start();
                    ui.closeButton->click();
                }
            },
            200);
        const LoopRun run = runApplicationLoop([&] { ui.processButton->click(); }, 30000);
        stopMs = sinceClose.elapsed();
        QVERIFY2(!run.timedOut, "the program did not exit");
        QVERIFY(ui.window.findChildren<QProcess *>().isEmpty());
    }
    QVERIFY2(stopMs >= 0 && stopMs < 2500,
             qPrintable(QStringLiteral("stopping took %1 ms").arg(stopMs)));
    QCOMPARE(QDir(clips.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("long.MTS")});
    QCOMPARE(isolatedSettings.storedFolder().toString(), clips.path());
}

void WindowsRunTest::folderAddress_data()
{
    QTest::addColumn<QString>("folderText");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("localPath");

    QTest::newRow("drive, backslashes, accents, percent")
        << QStringLiteral("C:\\Vidéos\\Été 100%\\")
        << QStringLiteral("file:///C:/Vid%C3%A9os/%C3%89t%C3%A9%20100%25")
        << QStringLiteral("C:/Vidéos/Été 100%");
    QTest::newRow("hash and percent escape")
        << QStringLiteral("D:\\#1 %41") << QStringLiteral("file:///D:/%231%20%2541")
        << QStringLiteral("D:/#1 %41");
    QTest::newRow("network share")
        << QStringLiteral("\\\\server\\share\\Clips") << QStringLiteral("file://server/share/Clips")
        << QStringLiteral("//server/share/Clips");
}

void WindowsRunTest::folderAddress()
{
    // What Open hands to Explorer: the folder itself, every character intact.
    QFETCH(QString, folderText);
    QFETCH(QString, address);
    QFETCH(QString, localPath);

    const QUrl url = ::folderAddress(folderText);
    QCOMPARE(url.toString(QUrl::FullyEncoded), address);
    QCOMPARE(url.toLocalFile(), localPath);
}

TESSEL_TEST(WindowsRunTest)
#include "tst_windowsrun.moc"
