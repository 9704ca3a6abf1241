#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

// Debian's FFmpeg and ffprobe, as found at configure time (FFMPEG_PROGRAM and
// FFPROBE_PROGRAM), and clips made with them for tests and benchmarks.
inline const QString ffmpegProgram = QStringLiteral(FFMPEG_PROGRAM);
inline const QString ffprobeProgram = QStringLiteral(FFPROBE_PROGRAM);

// Standard output of a tool that must succeed; empty (and a warning) if it did not.
inline QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        qWarning("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                 tool.readAllStandardError().constData());
        return QByteArray();
    }
    return tool.readAllStandardOutput();
}

// How a clip differs from the smallest one: ClipOptions().frameSize("320x240").
struct ClipOptions
{
    QString size = QStringLiteral("160x120");
    int audioSeconds = 0; // 0: as long as the picture
    int channels = 2;
    QStringList videoOptions;

    ClipOptions &frameSize(const QString &value) { return size = value, *this; }
    // A longer sound track makes the encoder's job (MP3) longer.
    ClipOptions &audioFor(int seconds) { return audioSeconds = seconds, *this; }
    ClipOptions &audioChannels(int value) { return channels = value, *this; }
    ClipOptions &video(const QStringList &options) { return videoOptions = options, *this; }
};

// A camcorder-like clip: H.264 video and AC-3 audio in MPEG-TS. False when
// FFmpeg failed or the file lacks those streams.
inline bool makeClip(const QString &path, int seconds, const ClipOptions &options = {})
{
    const int audioSeconds = options.audioSeconds > 0 ? options.audioSeconds : seconds;
    runTool(
        ffmpegProgram,
        QStringList{
            "-v", "error", "-y", "-f", "lavfi", "-i",
            QStringLiteral("testsrc=size=%1:rate=25:duration=%2").arg(options.size).arg(seconds),
            "-f", "lavfi", "-i", QStringLiteral("sine=frequency=440:duration=%1").arg(audioSeconds),
            "-ac", QString::number(options.channels), "-c:v", "libx264", "-preset", "ultrafast"} +
            options.videoOptions + QStringList{"-c:a", "ac3", "-f", "mpegts", path});
    // MPEG-TS lists its streams once more under its program, after a blank line.
    const QByteArray streams =
        runTool(ffprobeProgram,
                {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", path});
    return streams.startsWith("h264\nac3\n");
}

// SHA-256 of a file's content; empty when it cannot be read.
inline QByteArray checksum(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArray();
    return hash.result().toHex();
}
