// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>

#include <optional>

#include "conversion/camerarecord.h"

// AVCHD camcorders write their record as "MDPM" data: the payload of an H.264
// SEI message of user data under the camera makers' UUID, the string "MDPM",
// a count of entries, and entries of a tag byte and four data bytes. This is
// the one place that knows which tag means what.

struct MdpmRecord
{
    // What this one record says; each part empty when absent or damaged.
    CameraRecord camera;
    // The camera has a GPS receiver, whether or not it measured anything.
    bool carriesGps = false;
};

// The record in `userData` (an SEI user data payload, its UUID first), or
// nothing when that payload is no MDPM.
std::optional<MdpmRecord> readMdpm(QByteArrayView userData);
