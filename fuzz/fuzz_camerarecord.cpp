// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// Any bytes as the start of a clip. Read whole, and read in pieces of a size
// the last byte picks (a file's reads may end anywhere), the record is the
// same, and it is one an intact clip could give.
#include "conversion/camerarecord.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <tuple>

namespace {
bool plausible(const CameraRecord &read)
{
    // The zone byte goes to 15:30, and summer time adds an hour.
    constexpr int farthestOffset = (16 * 60 + 30) * 60;
    const std::optional<CameraPosition> &at = read.position;
    const bool printableModel = std::all_of(read.model.cbegin(), read.model.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7f;
    });
    return (!read.recorded || (read.recorded->isValid() && read.recorded->timeSpec() == Qt::UTC &&
                               std::abs(read.offsetSeconds) <= farthestOffset)) &&
           (!at || (std::abs(at->latitude) <= 90 && std::abs(at->longitude) <= 180 &&
                    (at->latitude != 0 || at->longitude != 0))) &&
           printableModel && !read.model.endsWith(QLatin1Char(' ')) &&
           (read.model.isEmpty() || read.make == QLatin1String("Sony"));
}

bool same(const CameraRecord &one, const CameraRecord &other)
{
    const auto place = [](const CameraRecord &record) {
        const std::optional<CameraPosition> &at = record.position;
        return at ? std::make_tuple(true, at->latitude, at->longitude, at->altitude)
                  : std::make_tuple(false, 0.0, 0.0, std::optional<double>());
    };
    return one.recorded == other.recorded && one.offsetSeconds == other.offsetSeconds &&
           place(one) == place(other) && one.make == other.make && one.model == other.model;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView clip(data, qsizetype(size));
    const CameraRecord whole = readCameraRecord(clip);

    const qsizetype piece = size ? 1 + data[size - 1] * 4 : 1;
    CameraRecordReader reader;
    for (qsizetype at = 0; at < clip.size(); at += piece) {
        if (!reader.feed(clip.sliced(at, std::min(piece, clip.size() - at))))
            break;
    }
    if (!plausible(whole) || !same(whole, reader.finish()))
        std::abort();
    return 0;
}
