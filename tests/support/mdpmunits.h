#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// H.264 SEI units as AVCHD camcorders write them, for the tests that make
// clips carrying a recording date.

inline const QByteArray mdpmUuid = QByteArray::fromHex("17ee8c60f84d11d98cd60800200c9a66");

// The entries of an MDPM block: tag 0x18 (zone, century, year, month) and 0x19
// (day, hour, minute, second), between two tags of other data, as cameras
// write them. `zoneAndMonth` and `dayAndTime` are 4 bytes each, as recorded.
inline QByteArray mdpmEntries(const QByteArray &zoneAndMonth, const QByteArray &dayAndTime)
{
    return QByteArray::fromHex("1300000000") + '\x18' + zoneAndMonth + '\x19' + dayAndTime +
           QByteArray::fromHex("70c4ff00007100000000");
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
// the zone the byte `zone` names (0xFF: none).
inline QByteArray juneSei(uchar zone)
{
    return seiUnit({{5, mdpmPayload(mdpmEntries(char(zone) + QByteArray::fromHex("201906"),
                                                QByteArray::fromHex("15102030")))}});
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
