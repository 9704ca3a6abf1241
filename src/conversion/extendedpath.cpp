// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/extendedpath.h"

#include <QStringList>

QString extendedLengthPath(const QString &path)
{
    QString native = path;
    native.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (native.startsWith(QLatin1String("\\\\?\\")) || native.startsWith(QLatin1String("\\\\.\\")))
        return native;
    const bool share = native.startsWith(QLatin1String("\\\\"));
    const bool drive = native.size() >= 3 && native.at(0).isLetter() &&
                       native.at(1) == QLatin1Char(':') && native.at(2) == QLatin1Char('\\');
    const QStringList parts = native.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    const int rootParts = share ? 2 : 1; // "server\share" or "C:"
    if ((!share && !drive) || parts.size() < rootParts)
        return native;

    QStringList kept = parts.mid(0, rootParts);
    for (const QString &part : parts.mid(rootParts)) {
        if (part == QLatin1String("..")) {
            if (kept.size() > rootParts)
                kept.removeLast();
        } else if (part != QLatin1String(".")) {
            kept << part;
        }
    }
    QString cleaned = kept.join(QLatin1Char('\\'));
    // The root itself keeps its separator: "\\?\C:" would name the drive, not its root.
    if (kept.size() == rootParts)
        cleaned += QLatin1Char('\\');
    return (share ? QStringLiteral("\\\\?\\UNC\\") : QStringLiteral("\\\\?\\")) + cleaned;
}
