// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// The sound of every kind of camera and disc through Tessel's conversion with
// the platform's real encoder: Debian's FFmpeg on Linux, the shipped
// ffmpeg.exe (FFmpeg 5.1 built for MPEG-TS only) under Wine. The clips are
// made at build time by Debian's FFmpeg; the encoder under test reads the
// clips' streams, the MP4s' are read from their boxes.
#include "support/testregistry.h"
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "conversion/conversiontestkit.h"
#include "support/isolatedsettings.h"
#include "support/mp4streams.h"

namespace {
const QString platformEncoder = QStringLiteral(PLATFORM_ENCODER);

struct Streams
{
    QString video; // codec and frame size: "h264 160x120"
    int videoFrames = -1;
    QString audio; // codec and channel layout: "ac3 5.1(side)"
};

// What the encoder finds in a transport stream, the video counted by copying
// it to nothing.
Streams streamsOf(const QString &file)
{
    QProcess encoder;
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    encoder.start(platformEncoder,
                  {QStringLiteral("-hide_banner"), QStringLiteral("-i"), file,
                   QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-c"),
                   QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("null"),
                   QStringLiteral("-")});
    if (!encoder.waitForFinished(30000))
        return {};
    const QString report = QString::fromUtf8(encoder.readAll());
    Streams streams;
    // The input's streams come first, before the null output's.
    const auto video =
        QRegularExpression(QStringLiteral(R"(Video: (\w+).*?, (\d+x\d+)[ ,])")).match(report);
    streams.video = video.captured(1) + QLatin1Char(' ') + video.captured(2);
    const auto audio =
        QRegularExpression(QStringLiteral(R"(Audio: (\w+).*?, \d+ Hz, ([^,\n]+),)")).match(report);
    streams.audio = audio.captured(1) + QLatin1Char(' ') + audio.captured(2);
    auto frames = QRegularExpression(QStringLiteral(R"(frame=\s*(\d+))")).globalMatch(report);
    while (frames.hasNext())
        streams.videoFrames = frames.next().captured(1).toInt();
    return streams;
}

// Clip made at build time, and its name on the card.
const QList<QPair<QString, QString>> cameraClips{
    {QStringLiteral("h264-ac3-stereo.ts"), QStringLiteral("00001.MTS")},
    {QStringLiteral("h264-ac3-5.1.ts"), QStringLiteral("00002.MTS")},
    {QStringLiteral("h264-eac3.ts"), QStringLiteral("00003.MTS")},
    {QStringLiteral("h264-lpcm.m2ts"), QStringLiteral("00004.M2TS")},
    {QStringLiteral("h264-mp2.ts"), QStringLiteral("00005.MTS")},
    {QStringLiteral("h264-aac.ts"), QStringLiteral("00006.MTS")},
    {QStringLiteral("hevc-ac3.ts"), QStringLiteral("00007.MTS")},
};
} // namespace

class CameraAudioTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convertsCameraSound_data();
    void convertsCameraSound();

private:
    IsolatedSettings isolatedSettings;
    ClipFolder clips;
    RunSeen seen;
};

void CameraAudioTest::initTestCase()
{
    QVERIFY2(QFileInfo(platformEncoder).isExecutable(), qPrintable(platformEncoder));
    for (const auto &[made, name] : cameraClips)
        QVERIFY2(QFile::copy(QStringLiteral(CAMERA_CLIPS "/") + made, clips.filePath(name)),
                 qPrintable(made));
    // One run over all the clips: one window, the encoder started once a clip.
    seen = runInWindow(platformEncoder, clips.path(), 90000);
    QVERIFY(!seen.timedOut);
}

void CameraAudioTest::convertsCameraSound_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QString>("sourceAudio");

    QTest::newRow("H.264, AC-3 stereo") << "00001.MTS"
                                        << "ac3 stereo";
    QTest::newRow("H.264, AC-3 5.1") << "00002.MTS"
                                     << "ac3 5.1(side)";
    QTest::newRow("H.264, E-AC-3") << "00003.MTS"
                                   << "eac3 stereo";
    QTest::newRow("H.264, Blu-ray LPCM, M2TS") << "00004.M2TS"
                                               << "pcm_bluray stereo";
    QTest::newRow("H.264, MP2") << "00005.MTS"
                                << "mp2 stereo";
    QTest::newRow("H.264, AAC") << "00006.MTS"
                                << "aac stereo";
    QTest::newRow("HEVC, AC-3") << "00007.MTS"
                                << "ac3 stereo";
}

void CameraAudioTest::convertsCameraSound()
{
    QFETCH(QString, clip);
    QFETCH(QString, sourceAudio);

    const QString output = clip.section(QLatin1Char('.'), 0, 0) + QStringLiteral(".mp4");
    const Row expected{clip + QStringLiteral(" converted to ") + output, lightGreen};
    QVERIFY2(seen.rows.contains(expected), qPrintable(seen.rows.value(0).text));

    const Streams source = streamsOf(clips.filePath(clip));
    QCOMPARE(source.audio, sourceAudio); // the clip holds what the row names
    QCOMPARE(source.videoFrames, 25);
    const Mp4Streams converted = mp4Streams(clips.filePath(output));
    QCOMPARE(converted.video, source.video);
    QCOMPARE(converted.videoSamples, source.videoFrames);
    QCOMPARE(converted.audio, QStringLiteral("mp3"));
    QVERIFY2(converted.audioChannels == 1 || converted.audioChannels == 2,
             qPrintable(QString::number(converted.audioChannels)));
}

TESSEL_TEST(CameraAudioTest)
#include "tst_cameraaudio.moc"
