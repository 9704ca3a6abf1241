// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// AVCHD camcorders write what they know at each moment of recording into the
// H.264 stream of every clip ("MDPM" data in SEI units): the date and time
// with their time zone, the GPS position where they have a receiver, their
// make and model. Unlike the clip file's date, it survives copies that do not
// keep file dates.

// The most of a clip read for its record: cameras repeat it every group of
// pictures, so a clip that has none by then has none at all.
inline constexpr qint64 cameraRecordReadLimit = 4 * 1024 * 1024;

struct CameraPosition
{
    double latitude = 0;            // degrees, north positive
    double longitude = 0;           // degrees, east positive
    std::optional<double> altitude; // metres above sea level, when recorded
};

struct CameraRecord
{
    // The recorded instant, in UTC: nothing when the clip holds no complete, valid date.
    std::optional<QDateTime> recorded;
    // How far ahead of UTC the camera's clock ran: its zone with summer time,
    // or this computer's offset at that instant when the camera recorded no zone.
    int offsetSeconds = 0;
    // The first position the camera measured, if any.
    std::optional<CameraPosition> position;
    QString make;  // empty when unknown
    QString model; // empty when unknown
};

// What the first bytes of a clip (MPEG transport stream of 188- or 192-byte
// packets) record. Looks at no more than `cameraRecordReadLimit` bytes and
// stops once more bytes cannot add to what was found.
CameraRecord readCameraRecord(QByteArrayView clipStart);

// The same for the clip file at `path`, read in pieces. Empty when the file
// cannot be read.
CameraRecord cameraRecordOfFile(const QString &path);

// The encoder's options that put the record into an MP4 under the keys phones
// use, which photo libraries read: place, make, model and local time with its
// offset. Empty when the record holds none of them.
QStringList cameraMetadataArguments(const CameraRecord &camera);
