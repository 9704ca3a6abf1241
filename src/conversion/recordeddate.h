#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>

// AVCHD camcorders write the date and time of recording, with their time
// zone, into the H.264 stream of every clip ("MDPM" data in SEI units). Unlike
// the clip file's date, it survives copies that do not keep file dates.

// The most of a clip read for its recorded date: cameras repeat it every
// group of pictures, so a clip that has none by then has none at all.
inline constexpr qint64 recordedDateReadLimit = 4 * 1024 * 1024;

// The recorded instant, in UTC, found in the first bytes of a clip (MPEG
// transport stream of 188- or 192-byte packets), or nothing when the bytes
// hold no complete, valid date. Looks at no more than `recordedDateReadLimit`
// bytes and stops at the first complete date.
std::optional<QDateTime> recordedDate(QByteArrayView clipStart);

// The same for the clip file at `path`, read in pieces up to the first date
// or `recordedDateReadLimit` bytes. Nothing when the file cannot be read.
std::optional<QDateTime> recordedDateOfFile(const QString &path);
