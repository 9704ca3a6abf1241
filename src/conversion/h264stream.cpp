// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/h264stream.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {
// Cameras write SEI units of a few hundred bytes; a longer one is not kept.
constexpr qsizetype longestSei = 64 * 1024;

// Zero bytes at the end of `data`, counting on from `carried` when all are zero.
// Two are all a start code needs, so the count stops there.
int trailingZeros(const uchar *data, qsizetype size, int carried)
{
    int zeros = 0;
    for (qsizetype at = size; at > 0 && zeros < 2; --at) {
        if (data[at - 1] != 0)
            return zeros;
        ++zeros;
    }
    return std::min(2, zeros + carried);
}

// A value coded as a run of 0xFF bytes plus a last byte, as SEI payload types
// and sizes are.
std::optional<qsizetype> seiNumber(QByteArrayView data, qsizetype *at)
{
    qsizetype value = 0;
    while (*at < data.size() && uchar(data[*at]) == 0xFF) {
        value += 0xFF;
        ++*at;
    }
    if (*at >= data.size())
        return std::nullopt;
    return value + uchar(data[(*at)++]);
}
} // namespace

void H264SeiUnits::pesPacketStart()
{
    if (std::exchange(pictures, false))
        zeros = 0; // the bytes passed over may have ended in some
}

void H264SeiUnits::feed(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    qsizetype at = 0;
    while (at < bytes.size() && !done && !pictures) {
        if (nal == Nal::Skipped)
            at = afterStartCode(data, at, bytes.size());
        else
            unitByte(data[at++]);
    }
}

// Most of the stream is picture data: jump from one 0x01 byte to the next,
// the only place a start code (00 00 01) can end.
qsizetype H264SeiUnits::afterStartCode(const uchar *data, qsizetype at, qsizetype size)
{
    const void *one = std::memchr(data + at, 0x01, size_t(size - at));
    if (!one) {
        zeros = trailingZeros(data + at, size - at, zeros);
        return size;
    }
    const qsizetype oneAt = static_cast<const uchar *>(one) - data;
    const int zerosBefore = trailingZeros(data + at, oneAt - at, zeros);
    zeros = 0;
    if (zerosBefore >= 2)
        nal = Nal::AwaitingHeader;
    return oneAt + 1;
}

void H264SeiUnits::unitByte(uchar byte)
{
    if (zeros >= 2 && byte == 0x01) {
        endUnit();
        nal = Nal::AwaitingHeader;
        zeros = 0;
        return;
    }
    if (nal == Nal::AwaitingHeader) {
        unitHeader(byte);
        return;
    }
    // Emulation prevention: 00 00 03 stands for 00 00.
    if (zeros >= 2 && byte == 0x03) {
        zeros = 0;
        return;
    }
    zeros = byte == 0 ? std::min(2, zeros + 1) : 0;
    if (sei.size() >= longestSei) {
        sei.clear();
        nal = Nal::Skipped;
        return;
    }
    sei.append(char(byte));
}

void H264SeiUnits::unitHeader(uchar byte)
{
    // forbidden_zero_bit clear and NAL unit type 6, whatever the importance bits.
    nal = (byte & 0x9F) == 0x06 ? Nal::Sei : Nal::Skipped;
    zeros = byte == 0 ? 1 : 0;
    // A slice: SEI comes before an access unit's pictures, and cameras
    // start each access unit in a PES packet of its own.
    const int type = byte & 0x1F;
    pictures = !(byte & 0x80) && type >= 1 && type <= 5;
}

void H264SeiUnits::endUnit()
{
    if (nal == Nal::Sei) {
        // Zero bytes at the end belong to the next start code.
        qsizetype size = sei.size();
        while (size > 0 && sei.at(size - 1) == 0)
            --size;
        done = !take(QByteArrayView(sei.constData(), size));
    }
    sei.clear();
    nal = Nal::Skipped;
}

void H264SeiUnits::gap()
{
    sei.clear();
    nal = Nal::Skipped;
    zeros = 0;
}

void H264SeiUnits::finish()
{
    if (!done && nal == Nal::Sei)
        endUnit();
}

QList<QByteArrayView> seiUserData(QByteArrayView rbsp)
{
    constexpr qsizetype userDataUnregistered = 5;
    QList<QByteArrayView> found;
    qsizetype at = 0;
    while (at < rbsp.size()) {
        const std::optional<qsizetype> type = seiNumber(rbsp, &at);
        if (!type)
            break;
        const std::optional<qsizetype> payloadSize = seiNumber(rbsp, &at);
        if (!payloadSize || *payloadSize > rbsp.size() - at)
            break;
        if (*type == userDataUnregistered)
            found << rbsp.sliced(at, *payloadSize);
        at += *payloadSize;
    }
    return found;
}
