// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/folderscan.h"

#include <QDir>
#include <QFileInfo>

QStringList listVideoFiles(const QString &folder)
{
    QDir dir;
    dir.setPath(folder);
    return dir.entryList({QStringLiteral("*.mts")}, QDir::NoFilter, QDir::NoSort) +
           dir.entryList({QStringLiteral("*.m2ts")}, QDir::NoFilter, QDir::NoSort);
}

bool folderCanBeListed(const QString &folder)
{
    const QFileInfo info(folder);
    return !info.isDir() || (info.isReadable() && info.isExecutable());
}

FolderClips checkFolder(const QString &folder)
{
    FolderClips found;
    // The empty text first: QDir warns on an empty name.
    if (folder.isEmpty() || !QDir().exists(folder))
        found.warning = QStringLiteral("Directory do not exists.");
    else if (!folderCanBeListed(folder))
        found.warning = QStringLiteral("Directory ") + folder + QStringLiteral(" cannot be read.");
    if (!found.warning.isEmpty())
        return found;
    found.listed = true;
    found.clips = listVideoFiles(folder);
    if (found.clips.isEmpty())
        found.warning = QStringLiteral("Directory ") + folder +
                        QStringLiteral(" don't have mts or m2ts videos files.");
    return found;
}
