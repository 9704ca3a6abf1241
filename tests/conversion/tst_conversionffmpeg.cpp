// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// End to end with the real FFmpeg on small camcorder-like clips: H.264 video
// and AC-3 audio in MPEG-TS, as camcorders write them.
#include "support/testregistry.h"
#include <QProcess>
#include <QTest>

#include "conversion/conversiontestkit.h"
#include "conversion/encodercommand.h"
#include "support/isolatedsettings.h"
#include "support/mdpmunits.h"
#include "support/mediatools.h"

namespace {
// Per packet of the first video stream, its size and checksum: stream-copied
// ("copy"), as the file holds it, so equal lists mean the very same packets;
// decoded ("rawvideo"), so equal lists mean the very same pictures.
QByteArrayList videoPackets(const QString &file, const QString &codec = QStringLiteral("copy"))
{
    QByteArrayList packets;
    const QByteArrayList lines = runTool(ffmpegProgram, {"-v", "error", "-i", file, "-map", "0:v",
                                                         "-c", codec, "-f", "framemd5", "-"})
                                     .split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QByteArrayList fields = line.split(',');
        packets << fields.value(4).trimmed() + ' ' + fields.value(5).trimmed();
    }
    return packets;
}

// MPEG-TS lists its streams once more under its program: the first line is
// the stream itself.
QByteArray probed(const QString &file, const QString &entry, const QString &streams = "v")
{
    return runTool(ffprobeProgram, {"-v", "error", "-select_streams", streams, "-show_entries",
                                    entry, "-of", "csv=p=0", file})
        .trimmed()
        .split('\n')
        .value(0);
}

// The keys phones write into their videos, in the order the MP4 holds them.
const QString phoneTags =
    QStringLiteral("format_tags=com.apple.quicktime.location.ISO6709,com.apple.quicktime.make,"
                   "com.apple.quicktime.model,com.apple.quicktime.creationdate");
} // namespace

class ConversionFfmpegTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convertsCamcorderClips_data();
    void convertsCamcorderClips();
    void recordedDates_data();
    void recordedDates();

private:
    IsolatedSettings isolatedSettings;
    QTemporaryDir generated;
};

void ConversionFfmpegTest::initTestCase()
{
    // One second, tiny frames: enough for the codecs, quick to make.
    QVERIFY(makeClip(generated.filePath("stereo.ts"), 1));
    QVERIFY(makeClip(generated.filePath("surround.ts"), 1, ClipOptions().audioChannels(6)));

    // Clips that carry the camera's date, June 15, 2019 10:20:30 on its clock:
    // at UTC+2 in 188-byte packets, the others in 192-byte ones (AVCHD's).
    QVERIFY(
        makeClip(generated.filePath("dated-utc+2.ts"), 1, ClipOptions().withSei(juneSei(0x04))));
    QVERIFY(makeClip(generated.filePath("dated-utc-5h30.ts"), 1,
                     ClipOptions().withSei(juneSei(0x2B)).m2ts()));
    QVERIFY(makeClip(generated.filePath("dated-summer.ts"), 1,
                     ClipOptions().withSei(juneSei(0x42)).m2ts()));
    QVERIFY(makeClip(generated.filePath("dated-nozone.ts"), 1,
                     ClipOptions().withSei(juneSei(0xFF)).m2ts()));
    // A Sony camcorder with GPS at the Eiffel tower, whose first record has no fix yet.
    QByteArray sony = juneSei(0x04, gpsEntries(0, 0, 0, 'V') + makerEntries(0x0108, "HDR-CX405"));
    sony += juneSei(0x04, gpsEntries(48.8577, 2.2950, 35) + makerEntries(0x0108, "HDR-CX405"));
    QVERIFY(makeClip(generated.filePath("sony-gps.ts"), 1, ClipOptions().withSei(sony).m2ts()));
}

void ConversionFfmpegTest::convertsCamcorderClips_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QString>("outputName");

    QTest::newRow("camcorder numbering") << "stereo.ts"
                                         << "00001.MTS"
                                         << "00001.mp4";
    QTest::newRow("5.1 sound, .M2TS") << "surround.ts"
                                      << "Trip.M2TS"
                                      << "trip.mp4";
}

void ConversionFfmpegTest::convertsCamcorderClips()
{
    QFETCH(QString, clip);
    QFETCH(QString, sourceName);
    QFETCH(QString, outputName);

    ClipRun run({}, ffmpegProgram);
    const ClipFolder &clips = run.clips;
    const QString source = clips.filePath(sourceName);
    QVERIFY(QFile::copy(generated.filePath(clip), source));
    const QByteArray sourceBefore = checksum(source);

    const RunSeen seen = run.run(30000);

    QVERIFY(!seen.timedOut);
    QCOMPARE(seen.boxes.value(0).text, QStringLiteral("1 file converted."));
    QCOMPARE(seen.rows, (QList<Row>{{sourceName + QStringLiteral(" converted to ") + outputName,
                                     lightGreen}}));
    const QString output = clips.filePath(outputName);
    QCOMPARE(probed(output, "stream=codec_name"), QByteArray("h264"));
    QCOMPARE(probed(output, "stream=codec_name", "a"), QByteArray("mp3"));

    // The same packets an MP4 stream copy of the source holds (the container
    // frames H.264 differently from MPEG-TS, so compare within MP4), and the
    // same pictures as the source.
    const QString reference = clips.filePath(QStringLiteral("reference.mp4"));
    runTool(ffmpegProgram, {"-v", "error", "-i", source, "-map", "0:v", "-c", "copy", reference});
    const QByteArrayList packets = videoPackets(output);
    QCOMPARE(packets.size(), 25);
    QCOMPARE(packets, videoPackets(reference));
    QCOMPARE(videoPackets(output, "rawvideo"), videoPackets(source, "rawvideo"));

    QCOMPARE(checksum(source), sourceBefore);
}

void ConversionFfmpegTest::recordedDates_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QDateTime>("recorded");
    QTest::addColumn<QByteArray>("tags"); // the phone's keys

    // Each zone case through a whole run, before and after a clip without a date.
    QTest::newRow("UTC+2, 188-byte packets, converted before the undated clip")
        << "dated-utc+2.ts"
        << "00001.MTS" << QDateTime(QDate(2019, 6, 15), QTime(8, 20, 30), Qt::UTC)
        << QByteArray("2019-06-15T10:20:30+0200");
    QTest::newRow("UTC-5:30, 192-byte packets, converted after the undated clip")
        << "dated-utc-5h30.ts"
        << "00003.M2TS" << QDateTime(QDate(2019, 6, 15), QTime(15, 50, 30), Qt::UTC)
        << QByteArray("2019-06-15T10:20:30-0530");
    QTest::newRow("zone +1 in summer time")
        << "dated-summer.ts"
        << "00001.MTS" << QDateTime(QDate(2019, 6, 15), QTime(8, 20, 30), Qt::UTC)
        << QByteArray("2019-06-15T10:20:30+0200");
    // The run below is three hours east of UTC.
    QTest::newRow("no zone: this computer's local time")
        << "dated-nozone.ts"
        << "00001.MTS" << QDateTime(QDate(2019, 6, 15), QTime(7, 20, 30), Qt::UTC)
        << QByteArray("2019-06-15T10:20:30+0300");
    QTest::newRow("Sony with GPS: place, make and model")
        << "sony-gps.ts"
        << "00001.MTS" << QDateTime(QDate(2019, 6, 15), QTime(8, 20, 30), Qt::UTC)
        << QByteArray("+48.8577+002.2950+035.000/,Sony,HDR-CX405,2019-06-15T10:20:30+0200");
}

// One run over a clip that carries the camera's date, copied today, and one
// that does not: each MP4 gets its own clip's date.
void ConversionFfmpegTest::recordedDates()
{
    QFETCH(QString, clip);
    QFETCH(QString, sourceName);
    QFETCH(QDateTime, recorded);
    QFETCH(QByteArray, tags);

    ClipRun run({}, ffmpegProgram);
    const ClipFolder &clips = run.clips;
    QVERIFY(QFile::copy(generated.filePath(clip), clips.filePath(sourceName)));
    const QString undated = clips.filePath(QStringLiteral("00002.MTS"));
    QVERIFY(QFile::copy(generated.filePath("stereo.ts"), undated));
    const QDateTime undatedShotAt(QDate(2018, 7, 14), QTime(9, 41, 0), Qt::UTC);
    makeOld(undated, undatedShotAt);

    // glibc takes this rule from the name alone: three hours east of UTC.
    qputenv("TZ", "XYZ-3");
    const RunSeen seen = run.run(30000);
    qunsetenv("TZ");

    QVERIFY(!seen.timedOut);
    QCOMPARE(seen.boxes.value(0).text, QStringLiteral("2 files converted."));
    // Photo libraries read the date from inside the file.
    const QString output = clips.filePath(outputNameFor(sourceName));
    QCOMPARE(QDateTime::fromString(probed(output, "format_tags=creation_time"), Qt::ISODateWithMs),
             recorded);
    QCOMPARE(probed(output, phoneTags), tags);
    QCOMPARE(QFileInfo(output).lastModified(), recorded);
    const QString undatedOutput = clips.filePath(QStringLiteral("00002.mp4"));
    QCOMPARE(probed(undatedOutput, "format_tags=creation_time"),
             QByteArray("2018-07-14T09:41:00.000000Z"));
    QCOMPARE(QFileInfo(undatedOutput).lastModified(), undatedShotAt);
    QCOMPARE(probed(undatedOutput, phoneTags), QByteArray());
    QCOMPARE(videoPackets(output).size(), 25);
}

TESSEL_TEST(ConversionFfmpegTest)
#include "tst_conversionffmpeg.moc"
