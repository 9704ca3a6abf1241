// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>

#include "conversion/h264stream.h"
#include "conversion/transportstream.h"

class RunFolder;

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

// The same for the clip `name` of `folder`, read in pieces. Empty when it is
// no regular file or cannot be read.
CameraRecord cameraRecordOfClip(const RunFolder &folder, const QString &name);

// The record of a clip read in pieces as they come: the first date, the first
// measured position and the first camera of all its MDPM records.
class CameraRecordReader
{
public:
    CameraRecordReader();
    CameraRecordReader(const CameraRecordReader &) = delete;
    CameraRecordReader &operator=(const CameraRecordReader &) = delete;

    // False once more bytes cannot add to what was found.
    bool feed(QByteArrayView bytes) { return stream.feed(bytes); }
    // No more bytes come.
    CameraRecord finish();

private:
    bool takeUnit(QByteArrayView sei);
    bool take(const CameraRecord &record, bool carriesGps);

    H264SeiUnits units;
    TransportStream stream{units};
    CameraRecord found;
    bool positionToCome = true;
};
