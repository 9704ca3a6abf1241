// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// For the system tests: fingerprints of files and folders through raw byte
// paths, so names that are not valid UTF-8 are seen as the file system holds them.

#include "conversion/conversiontestkit.h"
#include "support/mediatools.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QMap>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

inline bool writeFile(const QByteArray &path, const QByteArray &content)
{
    std::FILE *file = std::fopen(path.constData(), "wb");
    if (!file)
        return false;
    const bool written =
        std::fwrite(content.constData(), 1, size_t(content.size()), file) == size_t(content.size());
    return std::fclose(file) == 0 && written;
}

// H.264 and MP3 in an MP4: what a player sees, as ffprobe reports it.
inline bool isRealMp4(const QString &path, QString *why)
{
    QStringList codecs;
    QString container;
    const QByteArray probed = runTool(ffprobeProgram, {"-v", "error", "-show_entries",
                                                       "stream=codec_name:format=format_name",
                                                       "-of", "default=noprint_wrappers=1", path});
    for (const QString &line : QString::fromUtf8(probed).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("codec_name=")))
            codecs << line.section('=', 1);
        else if (line.startsWith(QLatin1String("format_name=")))
            container = line.section('=', 1);
    }
    // The MP4 family's demuxer names itself "mov,mp4,m4a,3gp,3g2,mj2".
    const bool ok =
        codecs == QStringList{"h264", "mp3"} && container.split(',').contains(QLatin1String("mp4"));
    if (!ok && why)
        *why = path + QStringLiteral(": streams [") + codecs.join(',') + QStringLiteral("] in [") +
               container + QStringLiteral("]");
    return ok;
}

inline QByteArray contentDigest(const QByteArray &path)
{
    std::FILE *file = std::fopen(path.constData(), "rb");
    if (!file)
        return QByteArrayLiteral("unreadable");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        hash.addData(QByteArray::fromRawData(buffer, qsizetype(count)));
    std::fclose(file);
    return hash.result().toHex();
}

// What a path holds, without following a link at the path itself: a link's
// target text (and the content it reaches), a file's size, modification time
// and content, or that a folder is there.
inline QByteArray fingerprint(const QByteArray &path)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0)
        return QByteArrayLiteral("missing");
    if (S_ISLNK(info.st_mode)) {
        char target[4096];
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        QByteArray text = "link to " + QByteArray(target, length < 0 ? 0 : length);
        struct stat reached;
        if (::stat(path.constData(), &reached) == 0 && S_ISREG(reached.st_mode))
            text += " holding " + contentDigest(path);
        return text;
    }
    if (S_ISDIR(info.st_mode))
        return QByteArrayLiteral("folder");
    if (!S_ISREG(info.st_mode))
        return QByteArrayLiteral("special");
    return "file of " + QByteArray::number(qint64(info.st_size)) + " bytes, modified " +
           QByteArray::number(qint64(info.st_mtim.tv_sec)) + "." +
           QByteArray::number(qint64(info.st_mtim.tv_nsec)) + ", " + contentDigest(path);
}

// Names in a folder as the file system holds them, sorted; "." and ".." left out.
inline QList<QByteArray> entryNames(const QByteArray &folder)
{
    QList<QByteArray> names;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Every path under `root`, and `root`, with its fingerprint, leaving out
// `skip` and what lies below it. Links are not followed into.
inline QMap<QByteArray, QByteArray> fingerprintTree(const QString &root, const QString &skip)
{
    QMap<QByteArray, QByteArray> tree;
    const std::function<void(const QByteArray &)> walk = [&](const QByteArray &folder) {
        for (const QByteArray &name : entryNames(folder)) {
            const QByteArray path = folder + '/' + name;
            struct stat info;
            if (path == skip.toUtf8())
                continue;
            tree.insert(path, fingerprint(path));
            if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode))
                walk(path);
        }
    };
    tree.insert(root.toUtf8(), fingerprint(root.toUtf8()));
    walk(root.toUtf8());
    return tree;
}

// The differences between two fingerprints of a tree, one line each, for a failure message.
inline QString treeChanges(const QMap<QByteArray, QByteArray> &before,
                           const QMap<QByteArray, QByteArray> &after)
{
    QStringList changes;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key()))
            changes << QStringLiteral("removed ") + QString::fromUtf8(it.key());
        else if (after.value(it.key()) != it.value())
            changes << QStringLiteral("changed ") + QString::fromUtf8(it.key());
    }
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!before.contains(it.key()))
            changes << QStringLiteral("added ") + QString::fromUtf8(it.key());
    }
    return changes.join('\n');
}

// The list's rows, one a line, for a failure message.
inline QString rowsText(const QList<Row> &rows)
{
    QStringList lines;
    for (const Row &row : rows)
        lines << row.text + QStringLiteral(" [") + row.background.name() + QLatin1Char(']');
    return lines.join('\n');
}

// Processes whose command line mentions `text`, this one aside, with their arguments.
inline QMap<qint64, QByteArrayList> processesMentioning(const QByteArray &text)
{
    QMap<qint64, QByteArrayList> found;
    QDirIterator proc(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (proc.hasNext()) {
        bool isNumber = false;
        const qint64 pid = QFileInfo(proc.next()).fileName().toLongLong(&isNumber);
        QFile cmdline(proc.filePath() + QStringLiteral("/cmdline"));
        if (!isNumber || pid == QCoreApplication::applicationPid() ||
            !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray arguments = cmdline.readAll();
        if (arguments.contains(text))
            found.insert(pid, arguments.split('\0'));
    }
    return found;
}

// Bytes the running encoders whose command line mentions `source` (a clip, or
// the folder of clips) have written: their output has no name in the folder,
// they reach it as /dev/fd/N.
inline qint64 bytesWritten(const QString &source)
{
    qint64 size = 0;
    const QMap<qint64, QByteArrayList> encoders = processesMentioning(source.toUtf8());
    for (auto encoder = encoders.cbegin(); encoder != encoders.cend(); ++encoder) {
        QByteArrayList arguments = encoder.value();
        arguments.removeAll(QByteArray());
        const QByteArray output = arguments.value(arguments.size() - 1);
        struct stat info;
        if (output.startsWith("/dev/fd/") &&
            ::stat(
                ("/proc/" + QByteArray::number(encoder.key()) + "/fd/" + output.mid(8)).constData(),
                &info) == 0)
            size += info.st_size;
    }
    return size;
}
