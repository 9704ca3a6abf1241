// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDateTime>
#include <QtGlobal>

// What tells one clip file from another: a clip copied over in place, or
// another file of the same size and date moved over it, differs from the
// file it replaced in its inode or its change time even where size and
// modification time are the same again.
struct ClipIdentity
{
    bool exists = false;
    qint64 device = -1;
    qint64 inode = -1;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    // The modification time, to the millisecond; invalid for a missing file.
    QDateTime modified() const
    {
        return exists ? QDateTime::fromMSecsSinceEpoch(modifiedNs / 1000000, Qt::UTC) : QDateTime();
    }

    bool operator==(const ClipIdentity &other) const
    {
        return exists == other.exists && device == other.device && inode == other.inode &&
               size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
    }
    bool operator!=(const ClipIdentity &other) const { return !(*this == other); }
};
