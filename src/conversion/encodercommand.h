// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The encoder's command for one clip: which program, what it is told, and
// the name of the MP4 it makes.

struct CameraRecord;

// Name of the MP4 written beside a clip: the clip's name lower-cased, then
// ".mts" and ".m2ts" replaced by ".mp4" ("Trip.M2TS" gives "trip.mp4").
QString outputNameFor(const QString &sourceName);

// The encoder's options that put the record into an MP4 under the keys phones
// use, which photo libraries read: place, make, model and local time with its
// offset. Empty when the record holds none of them.
QStringList cameraMetadataArguments(const CameraRecord &camera);

// The encoder's command line for one clip: video copied unchanged, audio
// encoded as MP3 into an MP4 container, an existing output overwritten
// without a question. When `mp4Date` is known it is recorded inside the MP4 as
// its creation time, so photo libraries that read the date from the file
// place the clip on its day; what else the camera recorded follows it.
// `sourcePath` must be absolute: a relative name with a colon would be read as
// a protocol ("Rome:1/00001.MTS").
QStringList encoderArguments(const QString &sourcePath, const QDateTime &mp4Date,
                             const CameraRecord &camera, const QString &outputPath);

// FFmpeg is shipped in "encoder/" beside the program's own executable.
QString defaultEncoderPath(const QString &applicationDir);
