// End to end with the real FFmpeg on small camcorder-like clips: H.264 video
// and AC-3 audio in MPEG-TS, as camcorders write them.
#include <QCryptographicHash>
#include <QProcess>
#include <QTest>

#include <filesystem>

#include "conversion/conversionnaming.h"
#include "conversion/conversiontestkit.h"
#include "conversion/mdpmunits.h"
#include "support/isolatedsettings.h"

namespace {
const QString ffmpeg = QStringLiteral(FFMPEG_PATH);
const QString ffprobe = QStringLiteral(FFPROBE_PATH);

QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::SeparateChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0)
        qWarning("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                 tool.readAllStandardError().constData());
    return tool.readAllStandardOutput();
}

// Per packet of the first video stream, its size and checksum, as the file
// holds it (no decoding): equal lists mean the very same packets.
QByteArrayList videoPackets(const QString &file)
{
    QByteArrayList packets;
    const QByteArrayList lines = runTool(ffmpeg, {"-v", "error", "-i", file, "-map", "0:v", "-c",
                                                  "copy", "-f", "framemd5", "-"})
                                     .split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QByteArrayList fields = line.split(',');
        packets << fields.value(4).trimmed() + ' ' + fields.value(5).trimmed();
    }
    return packets;
}

// Per decoded video frame, its checksum.
QByteArrayList videoFrames(const QString &file)
{
    QByteArrayList frames;
    const QByteArrayList lines =
        runTool(ffmpeg, {"-v", "error", "-i", file, "-map", "0:v", "-f", "framemd5", "-"})
            .split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty() && !line.startsWith('#'))
            frames << line.split(',').value(5).trimmed();
    }
    return frames;
}

QByteArray codecOf(const QString &file, const char *streamType)
{
    // MPEG-TS lists its streams once more under its program: the first line
    // is the stream itself.
    return runTool(ffprobe, {"-v", "error", "-select_streams", streamType, "-show_entries",
                             "stream=codec_name", "-of", "csv=p=0", file})
        .trimmed()
        .split('\n')
        .value(0);
}

QByteArray creationTime(const QString &file)
{
    return runTool(ffprobe, {"-v", "error", "-show_entries", "format_tags=creation_time", "-of",
                             "csv=p=0", file})
        .trimmed();
}

QByteArray checksum(const QString &file)
{
    QFile in(file);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!in.open(QIODevice::ReadOnly) || !hash.addData(&in))
        return QByteArray();
    return hash.result();
}
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
    const QStringList source{"-v",
                             "error",
                             "-y",
                             "-f",
                             "lavfi",
                             "-i",
                             "testsrc=size=160x120:rate=25:duration=1",
                             "-f",
                             "lavfi",
                             "-i",
                             "sine=frequency=440:duration=1"};
    const QStringList encoding{"-c:v", "libx264", "-preset", "ultrafast",
                               "-c:a", "ac3",     "-f",      "mpegts"};
    runTool(ffmpeg, source + QStringList{"-ac", "2"} + encoding +
                        QStringList{generated.filePath("stereo.ts")});
    runTool(ffmpeg, source + QStringList{"-ac", "6"} + encoding +
                        QStringList{generated.filePath("surround.ts")});
    QCOMPARE(codecOf(generated.filePath("stereo.ts"), "a"), QByteArray("ac3"));
    QCOMPARE(codecOf(generated.filePath("surround.ts"), "v"), QByteArray("h264"));

    // This computer's zone, for a camera that recorded none: three hours east
    // of UTC, a rule glibc takes from the name alone.
    qputenv("TZ", "XYZ-3");
    // Clips that carry the camera's date: June 15, 2019 10:20:30 on its clock,
    // in the zone the byte names, in 188- and 192-byte packets.
    runTool(ffmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i",
                     "testsrc=size=160x120:rate=25:duration=1", "-c:v", "libx264", "-preset",
                     "ultrafast", "-f", "h264", generated.filePath("raw.h264")});
    QFile rawFile(generated.filePath("raw.h264"));
    QVERIFY(rawFile.open(QIODevice::ReadOnly));
    const QByteArray raw = rawFile.readAll();
    for (const uchar zone : {0x04, 0x2B, 0x42, 0xFF}) {
        const QString name = QStringLiteral("dated-%1").arg(zone, 2, 16, QLatin1Char('0'));
        QFile dated(generated.filePath(name + ".h264"));
        QVERIFY(dated.open(QIODevice::WriteOnly));
        dated.write(withSeiBeforeIdr(
            raw, seiUnit({{5, mdpmPayload(mdpmEntries(char(zone) + QByteArray("\x20\x19\x06"),
                                                      "\x15\x10\x20\x30"))}})));
        dated.close();
        for (const char *packets : {"0", "1"})
            runTool(ffmpeg, {"-v",
                             "error",
                             "-y",
                             "-framerate",
                             "25",
                             "-f",
                             "h264",
                             "-i",
                             dated.fileName(),
                             "-f",
                             "lavfi",
                             "-i",
                             "sine=frequency=440:duration=1",
                             "-c:v",
                             "copy",
                             "-c:a",
                             "ac3",
                             "-f",
                             "mpegts",
                             "-mpegts_m2ts_mode",
                             packets,
                             generated.filePath(name + "-" + packets + ".ts")});
    }
    QCOMPARE(codecOf(generated.filePath("dated-ff-1.ts"), "v"), QByteArray("h264"));
}

void ConversionFfmpegTest::convertsCamcorderClips_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QString>("outputName");
    QTest::addColumn<QString>("hardLinkAtOutput"); // "", "clip" or "outside"

    QTest::newRow("camcorder numbering") << "stereo.ts"
                                         << "00001.MTS"
                                         << "00001.mp4"
                                         << "";
    QTest::newRow("5.1 sound, .M2TS") << "surround.ts"
                                      << "Trip.M2TS"
                                      << "trip.mp4"
                                      << "";
    QTest::newRow("blank in the name") << "stereo.ts"
                                       << "a b.mts"
                                       << "a b.mp4"
                                       << "";
    QTest::newRow("non-ASCII name") << "stereo.ts"
                                    << "Ünïcødé.mts"
                                    << "ünïcødé.mp4"
                                    << "";
    // A hard link is the same file under two names: writing through the
    // MP4's name would overwrite what it is linked to.
    QTest::newRow("hard link to the clip at the MP4's name") << "stereo.ts"
                                                             << "S.MTS"
                                                             << "s.mp4"
                                                             << "clip";
    QTest::newRow("hard link to a file outside at the MP4's name") << "stereo.ts"
                                                                   << "S.MTS"
                                                                   << "s.mp4"
                                                                   << "outside";
}

void ConversionFfmpegTest::convertsCamcorderClips()
{
    QFETCH(QString, clip);
    QFETCH(QString, sourceName);
    QFETCH(QString, outputName);
    QFETCH(QString, hardLinkAtOutput);

    ClipFolder clips;
    const QString source = clips.filePath(sourceName);
    QVERIFY(QFile::copy(generated.filePath(clip), source));
    const QDateTime shotAt(QDate(2018, 7, 14), QTime(9, 41, 0), Qt::UTC);
    makeOld(source, shotAt);
    const QByteArray sourceBefore = checksum(source);
    ClipFolder outside;
    const QString precious = outside.add(QStringLiteral("precious.doc"), "keep me");
    if (!hardLinkAtOutput.isEmpty()) {
        const QString target = hardLinkAtOutput == QLatin1String("clip") ? source : precious;
        std::error_code error;
        std::filesystem::create_hard_link(
            QFileInfo(target).filesystemFilePath(),
            QFileInfo(clips.filePath(outputName)).filesystemFilePath(), error);
        QVERIFY2(!error, error.message().c_str());
    }

    WindowUnderTest ui;
    ui.window.setEncoderPath(ffmpeg);
    ui.folderField->setText(clips.path());
    ModalWatcher watcher;

    QVERIFY(!pressProcess(ui, 30000).timedOut);

    QCOMPARE(watcher.boxes.value(0).text, QStringLiteral("1 file converted."));
    QCOMPARE(ui.rows(), (QList<Row>{{sourceName + QStringLiteral(" converted to ") + outputName,
                                     lightGreen}}));
    const QString output = clips.filePath(outputName);
    QVERIFY2(QFileInfo::exists(output), qPrintable(output));
    QCOMPARE(codecOf(output, "v"), QByteArray("h264"));
    QCOMPARE(codecOf(output, "a"), QByteArray("mp3"));

    // The same packets an MP4 stream copy of the source holds (the container
    // frames H.264 differently from MPEG-TS, so compare within MP4), and the
    // same pictures as the source.
    const QString reference = clips.filePath(QStringLiteral("reference.mp4"));
    runTool(ffmpeg, {"-v", "error", "-i", source, "-map", "0:v", "-c", "copy", reference});
    const QByteArrayList packets = videoPackets(output);
    QCOMPARE(packets.size(), 25);
    QCOMPARE(packets, videoPackets(reference));
    QCOMPARE(videoFrames(output), videoFrames(source));

    QCOMPARE(checksum(source), sourceBefore);
    QCOMPARE(outside.read(QStringLiteral("precious.doc")), QByteArray("keep me"));
    QCOMPARE(QFileInfo(output).lastModified(), shotAt);
    // Photo libraries read the date from inside the file.
    QCOMPARE(creationTime(output), QByteArray("2018-07-14T09:41:00.000000Z"));
}

void ConversionFfmpegTest::recordedDates_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QDateTime>("recorded");

    // "-1": 192-byte packets, as AVCHD's .MTS and .m2ts.
    QTest::newRow("UTC+2, 188-byte packets, converted before the undated clip")
        << "dated-04-0.ts"
        << "00001.MTS" << QDateTime(QDate(2019, 6, 15), QTime(8, 20, 30), Qt::UTC);
    QTest::newRow("UTC-5:30, 192-byte packets, converted after the undated clip")
        << "dated-2b-1.ts"
        << "00003.M2TS" << QDateTime(QDate(2019, 6, 15), QTime(15, 50, 30), Qt::UTC);
    QTest::newRow("zone +1 in summer time")
        << "dated-42-1.ts"
        << "00001.MTS" << QDateTime(QDate(2019, 6, 15), QTime(8, 20, 30), Qt::UTC);
    QTest::newRow("no zone: this computer's local time, 3 hours east")
        << "dated-ff-1.ts"
        << "00001.MTS" << QDateTime(QDate(2019, 6, 15), QTime(7, 20, 30), Qt::UTC);
}

// One run over a clip that carries the camera's date, copied today, and one
// that does not: each MP4 gets its own clip's date.
void ConversionFfmpegTest::recordedDates()
{
    QFETCH(QString, clip);
    QFETCH(QString, sourceName);
    QFETCH(QDateTime, recorded);

    ClipFolder clips;
    QVERIFY(QFile::copy(generated.filePath(clip), clips.filePath(sourceName)));
    const QString undated = clips.filePath(QStringLiteral("00002.MTS"));
    QVERIFY(QFile::copy(generated.filePath("stereo.ts"), undated));
    const QDateTime undatedShotAt(QDate(2018, 7, 14), QTime(9, 41, 0), Qt::UTC);
    makeOld(undated, undatedShotAt);

    WindowUnderTest ui;
    ui.window.setEncoderPath(ffmpeg);
    ui.folderField->setText(clips.path());
    ModalWatcher watcher;
    QVERIFY(!pressProcess(ui, 30000).timedOut);

    QCOMPARE(watcher.boxes.value(0).text, QStringLiteral("2 files converted."));
    const QString output = clips.filePath(outputNameFor(sourceName));
    QCOMPARE(creationTime(output),
             recorded.toString(Qt::ISODateWithMs).chopped(1).toLatin1() + "000Z");
    QCOMPARE(QFileInfo(output).lastModified(), recorded);
    const QString undatedOutput = clips.filePath(QStringLiteral("00002.mp4"));
    QCOMPARE(creationTime(undatedOutput), QByteArray("2018-07-14T09:41:00.000000Z"));
    QCOMPARE(QFileInfo(undatedOutput).lastModified(), undatedShotAt);
    QCOMPARE(videoPackets(output).size(), 25);
}

QTEST_MAIN(ConversionFfmpegTest)
#include "tst_conversionffmpeg.moc"
