// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <cmath>
#include <optional>

// H.264 SEI units as AVCHD camcorders write them, for the tests that make
// clips carrying a recording date.

inline const QByteArray mdpmUuid = QByteArray::fromHex("17ee8c60f84d11d98cd60800200c9a66");

// The entries of an MDPM block: tag 0x18 (zone, century, year, month) and 0x19
// (day, hour, minute, second), between two tags of other data, as cameras
// write them, then `more` entries of higher tags. `zoneAndMonth` and
// `dayAndTime` are 4 bytes each, as recorded.
inline QByteArray mdpmEntries(const QByteArray &zoneAndMonth, const QByteArray &dayAndTime,
                              const QByteArray &more = {})
{
    return QByteArray::fromHex("1300000000") + '\x18' + zoneAndMonth + '\x19' + dayAndTime +
           QByteArray::fromHex("70c4ff00007100000000") + more;
}

// One entry: its tag, then 4 data bytes (a rational: numerator, denominator).
inline QByteArray mdpmEntry(uchar tag, const QByteArray &data)
{
    return char(tag) + data.leftJustified(4, '\0', true);
}
inline QByteArray mdpmRational(int numerator, int denominator)
{
    const char bytes[] = {char(numerator >> 8), char(numerator & 0xFF), char(denominator >> 8),
                          char(denominator & 0xFF)};
    return QByteArray(bytes, 4);
}

// A GPS receiver's entries (tags 0xb1 to 0xbe): degrees north and east
// (negative south and west), recorded as degrees, minutes and hundredths of
// seconds; the altitude in tenths of metres when given; the status 'A'
// (measured) or 'V' (void).
inline QByteArray gpsEntries(double latitude, double longitude,
                             std::optional<double> altitude = std::nullopt, char status = 'A')
{
    const auto angle = [](uchar referenceTag, char reference, double degrees) {
        const int hundredths = int(std::lround(std::abs(degrees) * 360000));
        return mdpmEntry(referenceTag, QByteArray(1, reference)) +
               mdpmEntry(referenceTag + 1, mdpmRational(hundredths / 360000, 1)) +
               mdpmEntry(referenceTag + 2, mdpmRational(hundredths / 6000 % 60, 1)) +
               mdpmEntry(referenceTag + 3, mdpmRational(hundredths % 6000, 100));
    };
    QByteArray entries = angle(0xb1, latitude < 0 ? 'S' : 'N', latitude) +
                         angle(0xb5, longitude < 0 ? 'W' : 'E', longitude);
    if (altitude)
        entries += mdpmEntry(0xb9, QByteArray(1, *altitude < 0 ? '\1' : '\0')) +
                   mdpmEntry(0xba, mdpmRational(int(std::lround(std::abs(*altitude) * 10)), 10));
    return entries + mdpmEntry(0xbe, QByteArray(1, status)) + mdpmEntry(0xc7, "WGS-") +
           mdpmEntry(0xc8, "84");
}

// The maker's code (0x0108 Sony, 0x0103 Panasonic) and, when not null, the
// model name over three entries, padded with NULs up to their 12 bytes.
inline QByteArray makerEntries(int code, const QByteArray &model = {})
{
    QByteArray entries = mdpmEntry(0xe0, mdpmRational(code, 0));
    if (model.isNull())
        return entries;
    const QByteArray padded = model.leftJustified(12, '\0', true);
    for (int part = 0; part < 3; ++part)
        entries += mdpmEntry(0xe4 + part, padded.mid(part * 4, 4));
    return entries;
}

// A user-data SEI payload: UUID, "MDPM", the number of entries, the entries.
inline QByteArray mdpmPayload(const QByteArray &entries, const QByteArray &uuid = mdpmUuid)
{
    return uuid + "MDPM" + char(entries.size() / 5) + entries;
}

// `rbsp` as it travels in a NAL unit: 00 00 followed by 00..03 gets a 03
// between, so that no start code appears inside a unit.
inline QByteArray withEmulationPrevention(const QByteArray &rbsp)
{
    QByteArray escaped;
    int zeros = 0;
    for (const char byte : rbsp) {
        if (zeros >= 2 && uchar(byte) <= 3) {
            escaped += '\x03';
            zeros = 0;
        }
        escaped += byte;
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    return escaped;
}

// One SEI NAL unit with a 4-byte start code, holding `messages` (payload type,
// payload) in order; types and sizes coded as runs of 0xFF plus a last byte.
inline QByteArray seiUnit(const QList<QPair<int, QByteArray>> &messages)
{
    const auto coded = [](qsizetype value) {
        QByteArray bytes(value / 255, '\xff');
        return bytes + char(value % 255);
    };
    QByteArray rbsp;
    for (const auto &[type, payload] : messages)
        rbsp += coded(type) + coded(payload.size()) + payload;
    rbsp += '\x80'; // stop bit
    return QByteArray::fromHex("0000000106") + withEmulationPrevention(rbsp);
}

// The SEI of a clip recorded June 15, 2019 10:20:30 on the camera's clock, in
// the zone the byte `zone` names (0xFF: none), with `more` entries after the date's.
inline QByteArray juneSei(uchar zone, const QByteArray &more = {})
{
    return seiUnit({{5, mdpmPayload(mdpmEntries(char(zone) + QByteArray::fromHex("201906"),
                                                QByteArray::fromHex("15102030"), more))}});
}

// Raw H.264 with `sei` before the first slice of every IDR picture, where
// camcorders put their date.
inline QByteArray withSeiBeforeIdr(const QByteArray &raw, const QByteArray &sei)
{
    const QByteArray startCode("\0\0\1", 3);
    QList<qsizetype> starts;
    for (qsizetype at = raw.indexOf(startCode); at >= 0; at = raw.indexOf(startCode, at + 3))
        starts << at;
    QByteArray result = raw.left(starts.value(0, raw.size()));
    bool inIdr = false;
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const bool idr = starts[i] + 3 < raw.size() && (raw.at(starts[i] + 3) & 0x1F) == 5;
        if (idr && !inIdr)
            result += sei;
        inIdr = idr;
        result += raw.mid(starts[i], starts.value(i + 1, raw.size()) - starts[i]);
    }
    return result;
}
