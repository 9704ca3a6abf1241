// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "support/mdpmunits.h"

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
    QString picture = QStringLiteral("testsrc");
    int audioSeconds = 0; // 0: as long as the picture
    int channels = 2;
    QStringList videoOptions;
    QByteArray sei;           // an SEI unit before every IDR picture, where camcorders date it
    bool m2tsPackets = false; // 192-byte packets, as AVCHD writes them

    ClipOptions &frameSize(const QString &value) { return size = value, *this; }
    ClipOptions &pattern(const QString &value) { return picture = value, *this; }
    ClipOptions &withSei(const QByteArray &unit) { return sei = unit, *this; }
    ClipOptions &m2ts() { return m2tsPackets = true, *this; }
    // A longer sound track makes the encoder's job (MP3) longer.
    ClipOptions &audioFor(int seconds) { return audioSeconds = seconds, *this; }
    ClipOptions &audioChannels(int value) { return channels = value, *this; }
    ClipOptions &video(const QStringList &options) { return videoOptions = options, *this; }
};

// A camcorder-like clip: H.264 video and AC-3 audio in MPEG-TS. False when
// FFmpeg failed or the file lacks those streams.
inline bool makeClip(const QString &path, int seconds, const ClipOptions &options = {})
{
    const QString video = QStringLiteral("%1=size=%2:rate=25:duration=%3")
                              .arg(options.picture, options.size)
                              .arg(seconds);
    const QString audio = QStringLiteral("sine=frequency=440:duration=%1")
                              .arg(options.audioSeconds > 0 ? options.audioSeconds : seconds);
    const QStringList h264 =
        QStringList{"-c:v", "libx264", "-preset", "ultrafast"} + options.videoOptions;
    QStringList input{"-f", "lavfi", "-i", video};
    QTemporaryDir work;
    if (!options.sei.isEmpty()) {
        // Raw H.264 first, then the unit put in, then into the container as is.
        const QString raw = work.filePath(QStringLiteral("raw.h264"));
        runTool(ffmpegProgram,
                QStringList{"-v", "error", "-y"} + input + h264 + QStringList{"-f", "h264", raw});
        QFile rawFile(raw);
        QFile dated(work.filePath(QStringLiteral("dated.h264")));
        if (!rawFile.open(QIODevice::ReadOnly) || !dated.open(QIODevice::WriteOnly) ||
            dated.write(withSeiBeforeIdr(rawFile.readAll(), options.sei)) < 0)
            return false;
        dated.close();
        input = QStringList{"-framerate", "25", "-f", "h264", "-i", dated.fileName()};
    }
    runTool(ffmpegProgram,
            QStringList{"-v", "error", "-y"} + input +
                QStringList{"-f", "lavfi", "-i", audio, "-ac", QString::number(options.channels)} +
                (options.sei.isEmpty() ? h264 : QStringList{"-c:v", "copy"}) +
                QStringList{"-c:a", "ac3", "-f", "mpegts", "-mpegts_m2ts_mode",
                            options.m2tsPackets ? "1" : "0", path});
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
