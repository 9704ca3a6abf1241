// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/mdpm.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstring>

namespace {
constexpr std::array<uchar, 16> mdpmUuid{0x17, 0xee, 0x8c, 0x60, 0xf8, 0x4d, 0x11, 0xd9,
                                         0x8c, 0xd6, 0x08, 0x00, 0x20, 0x0c, 0x9a, 0x66};
constexpr qsizetype mdpmEntrySize = 5;

std::optional<int> fromBcd(uchar byte)
{
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    if (high > 9 || low > 9)
        return std::nullopt;
    return high * 10 + low;
}

// The 4 data bytes of each entry of one MDPM record, by tag (the first of a
// tag that comes again). Cameras write the tags in ascending order: where they
// do not, the record is damaged, and only the date, which checks itself, is
// taken from it.
class MdpmEntries
{
public:
    // `data` follows "MDPM": the number of entries, then entries of a tag byte
    // and four data bytes.
    MdpmEntries(const uchar *data, qsizetype size)
    {
        if (size < 1)
            return;
        int lastTag = -1;
        for (qsizetype entry = 0, at = 1; entry < data[0] && at + mdpmEntrySize <= size;
             ++entry, at += mdpmEntrySize) {
            inOrder = inOrder && data[at] > lastTag;
            lastTag = data[at];
            if (!entries[data[at]])
                entries[data[at]] = data + at + 1;
        }
    }
    const uchar *operator[](uchar tag) const { return entries[tag]; }
    bool ascending() const { return inOrder; }

private:
    std::array<const uchar *, 256> entries{};
    bool inOrder = true;
};

// How far ahead of UTC the camera's clock ran at `wallClock`, its reading.
int offsetSecondsOf(uchar zone, const QDateTime &wallClock)
{
    if (zone & 0x80) {
        // No zone recorded: the camera's clock is taken as this computer's.
        const QDateTime local(wallClock.date(), wallClock.time(), Qt::LocalTime);
        // Invalid in the hour summer time skips, yet the camera showed it:
        // read it with the offset from before the change.
        return local.isValid() ? local.offsetFromUtc()
                               : wallClock.addDays(-1).toLocalTime().offsetFromUtc();
    }
    // The zone byte: 0x20 set is west of UTC, (byte >> 1) & 0x0F the hours,
    // 0x01 half an hour more. Cameras set summer time (0x40) apart from the
    // zone, so with it the clock ran one hour ahead of the zone: 0x42 is UTC+2
    // (zone +1 in summer), 0x04 is UTC+2, 0x2B is UTC-5:30.
    int offsetMinutes = ((zone >> 1) & 0x0F) * 60 + (zone & 0x01) * 30;
    if (zone & 0x20)
        offsetMinutes = -offsetMinutes;
    if (zone & 0x40)
        offsetMinutes += 60;
    return offsetMinutes * 60;
}

void readDate(const MdpmEntries &entries, CameraRecord *record)
{
    const uchar *zoneAndMonth = entries[0x18];
    const uchar *dayAndTime = entries[0x19];
    if (!zoneAndMonth || !dayAndTime)
        return;
    const std::optional<int> century = fromBcd(zoneAndMonth[1]);
    const std::optional<int> yearInCentury = fromBcd(zoneAndMonth[2]);
    const std::optional<int> month = fromBcd(zoneAndMonth[3]);
    const std::optional<int> day = fromBcd(dayAndTime[0]);
    const std::optional<int> hour = fromBcd(dayAndTime[1]);
    const std::optional<int> minute = fromBcd(dayAndTime[2]);
    const std::optional<int> second = fromBcd(dayAndTime[3]);
    if (!century || !yearInCentury || !month || !day || !hour || !minute || !second)
        return;
    const QDate date(*century * 100 + *yearInCentury, *month, *day);
    const QTime time(*hour, *minute, *second);
    if (!date.isValid() || !time.isValid())
        return;
    const QDateTime wallClock(date, time, Qt::UTC);
    record->offsetSeconds = offsetSecondsOf(zoneAndMonth[0], wallClock);
    record->recorded = wallClock.addSecs(-record->offsetSeconds);
}

// A 2-byte numerator over a 2-byte denominator.
std::optional<double> rational(const uchar *data)
{
    const int denominator = (data[2] << 8) | data[3];
    if (!denominator)
        return std::nullopt;
    return double((data[0] << 8) | data[1]) / denominator;
}

// Degrees from the reference entry at `tag` and the degrees, minutes and
// seconds after it; negative for `negative`.
std::optional<double> coordinate(const MdpmEntries &entries, uchar tag, char positive,
                                 char negative, double limit)
{
    const uchar *reference = entries[tag];
    if (!reference || (reference[0] != positive && reference[0] != negative))
        return std::nullopt;
    std::array<double, 3> parts{};
    for (int part = 0; part < 3; ++part) {
        const uchar *entry = entries[uchar(tag + 1 + part)];
        const std::optional<double> value = entry ? rational(entry) : std::nullopt;
        if (!value)
            return std::nullopt;
        parts[part] = *value;
    }
    if (parts[1] >= 60 || parts[2] >= 60)
        return std::nullopt;
    const double degrees = parts[0] + parts[1] / 60 + parts[2] / 3600;
    if (degrees > limit)
        return std::nullopt;
    return reference[0] == positive ? degrees : -degrees;
}

void readPosition(const MdpmEntries &entries, MdpmRecord *record)
{
    if (!entries.ascending())
        return;
    for (uchar tag = 0xb1; tag <= 0xbe && !record->carriesGps; ++tag)
        record->carriesGps = entries[tag];
    // "V": the receiver has no fix yet; what it reports is no measurement.
    const uchar *status = entries[0xbe];
    if (status && status[0] == 'V')
        return;
    const std::optional<double> latitude = coordinate(entries, 0xb1, 'N', 'S', 90);
    const std::optional<double> longitude = coordinate(entries, 0xb5, 'E', 'W', 180);
    // 0,0 is where a receiver without a fix says it is, not where anyone films.
    if (!latitude || !longitude || (*latitude == 0 && *longitude == 0))
        return;
    CameraPosition position{*latitude, *longitude, std::nullopt};
    // A damaged altitude leaves the place as measured.
    if (const uchar *altitude = entries[0xba]) {
        position.altitude = rational(altitude);
        const uchar *below = entries[0xb9];
        if (position.altitude && below && below[0] != 0)
            position.altitude = -*position.altitude;
    }
    record->camera.position = position;
}

void readCamera(const MdpmEntries &entries, CameraRecord *record)
{
    const uchar *maker = entries[0xe0];
    if (!maker || !entries.ascending())
        return;
    switch ((maker[0] << 8) | maker[1]) {
    case 0x0103:
        record->make = QStringLiteral("Panasonic");
        return;
    case 0x1011:
        record->make = QStringLiteral("Canon");
        return;
    case 0x1104:
        record->make = QStringLiteral("JVC");
        return;
    case 0x0108:
        record->make = QStringLiteral("Sony");
        break;
    default:
        return;
    }
    // Sony's model name, over three entries, padded with NULs.
    QByteArray name;
    for (uchar tag = 0xe4; tag <= 0xe6; ++tag) {
        if (!entries[tag])
            return;
        name.append(reinterpret_cast<const char *>(entries[tag]), 4);
    }
    // Without its padding, the name may run on past the three entries.
    if (!name.contains('\0'))
        return;
    while (!name.isEmpty() && (name.back() == '\0' || name.back() == ' '))
        name.chop(1);
    if (std::all_of(name.cbegin(), name.cend(), [](char c) { return c >= 0x20 && c < 0x7f; }))
        record->model = QString::fromLatin1(name);
}

} // namespace

std::optional<MdpmRecord> readMdpm(QByteArrayView userData)
{
    constexpr qsizetype entriesStart = qsizetype(mdpmUuid.size()) + 4;
    const auto *data = reinterpret_cast<const uchar *>(userData.data());
    if (userData.size() <= entriesStart ||
        std::memcmp(data, mdpmUuid.data(), mdpmUuid.size()) != 0 ||
        std::memcmp(data + mdpmUuid.size(), "MDPM", 4) != 0)
        return std::nullopt;
    const MdpmEntries entries(data + entriesStart, userData.size() - entriesStart);
    MdpmRecord record;
    readDate(entries, &record.camera);
    readPosition(entries, &record);
    readCamera(entries, &record.camera);
    return record;
}
