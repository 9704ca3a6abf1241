// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// Fills `folder` with `entries`: a name ending in "/" is made a folder,
// "name -> target" a symbolic link to `target` in the folder, "name|" a named
// pipe (Unix), any other name an empty file (with its parent folders).
// Returns false on the first failure.
inline bool makeEntries(const QString &folder, const QStringList &entries)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return false;
    for (const QString &entry : entries) {
        const QString path = dir.filePath(entry.section(QStringLiteral(" -> "), 0, 0));
        bool made = false;
        if (entry.contains(QStringLiteral(" -> "))) {
            made = QFile::link(dir.filePath(entry.section(QStringLiteral(" -> "), 1)), path);
        } else if (entry.endsWith(QLatin1Char('/'))) {
            made = dir.mkpath(entry);
        } else if (entry.endsWith(QLatin1Char('|'))) {
#ifdef Q_OS_UNIX
            made = ::mkfifo(QFile::encodeName(path.chopped(1)).constData(), 0600) == 0;
#endif
        } else {
            QFile file(path);
            made = QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly);
        }
        if (!made)
            return false;
    }
    return true;
}

// Every entry under `folder`, the folder itself and hidden ones included, with
// its size and its modification and status-change times: any write into the
// folder changes this.
inline QStringList folderSnapshot(const QString &folder)
{
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        lines << info.filePath() + QLatin1Char('|') + QString::number(info.size()) +
                     QLatin1Char('|') + QString::number(info.lastModified().toMSecsSinceEpoch()) +
                     QLatin1Char('|') +
                     QString::number(info.metadataChangeTime().toMSecsSinceEpoch());
    }
    lines.sort();
    return lines;
}

// 10,000 entries, half of them clips: v00000.mts, V00001.M2TS, v00002.txt,
// v00003.mp4, ... Returns the listing the scan must give, or an empty list
// when the folder could not be made.
inline QStringList makeTenThousandEntries(const QString &folder)
{
    const char *const patterns[] = {"v%1.mts", "V%1.M2TS", "v%1.txt", "v%1.mp4"};
    QStringList entries;
    QStringList mts;
    QStringList m2ts;
    for (int i = 0; i < 10000; ++i) {
        entries << QString::fromLatin1(patterns[i % 4]).arg(i, 5, 10, QLatin1Char('0'));
        if (i % 4 == 0)
            mts << entries.constLast();
        else if (i % 4 == 1)
            m2ts << entries.constLast();
    }
    if (!makeEntries(folder, entries))
        return {};
    return mts + m2ts;
}
