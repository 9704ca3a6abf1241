// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// The encoder's console output: any bytes after the first, fed in pieces of
// a size the first byte picks, then finished. The progress stays within its
// bounds all along; at the end every reading does, and is what the same
// output fed whole gives.
#include "conversion/encoderoutput.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {
const QStringList paths{QStringLiteral("/tmp/cap/Clip.MTS"), QStringLiteral("/tmp/cap/.x.mp4")};

bool withinBounds(const EncoderOutput &reader)
{
    const std::optional<double> fraction = reader.fraction();
    const std::optional<double> duration = reader.durationSeconds();
    const std::optional<double> progress = reader.progressSeconds();
    const QStringList lines = reader.lastLines();
    return (!fraction || (*fraction >= 0 && *fraction <= 1)) && (!duration || *duration >= 0) &&
           (!progress || (std::isfinite(*progress) && *progress >= 0)) &&
           reader.inputReadError().size() <= EncoderOutput::maxLineLength &&
           lines.size() <= EncoderOutput::keptLines &&
           std::all_of(lines.cbegin(), lines.cend(),
                       [](const QString &line) {
                           return !line.isEmpty() && line.size() <= EncoderOutput::maxLineLength;
                       }) &&
           reader.errorReason(paths).size() <= EncoderOutput::maxReasonLength;
}

bool same(const EncoderOutput &one, const EncoderOutput &other)
{
    return one.durationSeconds() == other.durationSeconds() && one.fraction() == other.fraction() &&
           one.lastLines() == other.lastLines() &&
           one.errorReason(paths) == other.errorReason(paths) &&
           one.outputUnfinished() == other.outputUnfinished() &&
           one.progressSeconds() == other.progressSeconds() &&
           one.inputReadError() == other.inputReadError();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // From single bytes (every line end split from its line) to 4 KiB.
    const qsizetype piece = 1 + data[0] * data[0] / 16;
    const QByteArrayView output(data + 1, qsizetype(size) - 1);
    EncoderOutput pieces(paths.first());
    for (qsizetype at = 0; at < output.size(); at += piece) {
        pieces.feed(output.sliced(at, std::min(piece, output.size() - at)));
        const std::optional<double> fraction = pieces.fraction();
        if (fraction && !(*fraction >= 0 && *fraction <= 1))
            std::abort();
    }
    pieces.finish();
    EncoderOutput whole(paths.first());
    whole.feed(output);
    whole.finish();
    if (!withinBounds(pieces) || !same(pieces, whole))
        std::abort();
    return 0;
}
