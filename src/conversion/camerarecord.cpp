// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/camerarecord.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
constexpr uchar syncByte = 0x47;
constexpr qsizetype transportPacketSize = 188;
// Enough packets to tell 188-byte packets from 192-byte ones with certainty.
constexpr qsizetype framingProbe = 3 * 192;
// Cameras write SEI units of a few hundred bytes; a longer one is not kept.
constexpr qsizetype longestSei = 64 * 1024;

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

struct MdpmRecord
{
    std::optional<QDateTime> recorded;
    int offsetSeconds = 0;
    std::optional<CameraPosition> position;
    bool carriesGps = false;
    QString make;
    QString model;
};

void readDate(const MdpmEntries &entries, MdpmRecord *record)
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

    const uchar zone = zoneAndMonth[0];
    if (zone & 0x80) {
        // No zone recorded: the camera's clock is taken as this computer's.
        const QDateTime local(date, time, Qt::LocalTime);
        // Invalid in the hour summer time skips, yet the camera showed it:
        // read it with the offset from before the change.
        record->offsetSeconds = local.isValid()
                                    ? local.offsetFromUtc()
                                    : wallClock.addDays(-1).toLocalTime().offsetFromUtc();
    } else {
        // The zone byte: 0x20 set is west of UTC, (byte >> 1) & 0x0F the hours,
        // 0x01 half an hour more. Cameras set summer time (0x40) apart from the
        // zone, so with it the clock ran one hour ahead of the zone: 0x42 is UTC+2
        // (zone +1 in summer), 0x04 is UTC+2, 0x2B is UTC-5:30.
        int offsetMinutes = ((zone >> 1) & 0x0F) * 60 + (zone & 0x01) * 30;
        if (zone & 0x20)
            offsetMinutes = -offsetMinutes;
        if (zone & 0x40)
            offsetMinutes += 60;
        record->offsetSeconds = offsetMinutes * 60;
    }
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
    if (const uchar *altitude = entries[0xba]) {
        position.altitude = rational(altitude);
        if (!position.altitude)
            return;
        const uchar *below = entries[0xb9];
        if (below && below[0] != 0)
            position.altitude = -*position.altitude;
    }
    record->position = position;
}

void readCamera(const MdpmEntries &entries, MdpmRecord *record)
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

// A value coded as a run of 0xFF bytes plus a last byte, as SEI payload types
// and sizes are.
std::optional<qsizetype> seiNumber(const uchar *data, qsizetype size, qsizetype *at)
{
    qsizetype value = 0;
    while (*at < size && data[*at] == 0xFF) {
        value += 0xFF;
        ++*at;
    }
    if (*at >= size)
        return std::nullopt;
    return value + data[(*at)++];
}

// The MDPM records of a SEI unit's payload without its header byte, emulation
// prevention already removed, handed to `take` in order until it returns false.
template <typename Take> void seiRecords(const uchar *data, qsizetype size, Take take)
{
    constexpr qsizetype userDataUnregistered = 5;
    constexpr qsizetype mdpmStart = qsizetype(mdpmUuid.size()) + 4;
    qsizetype at = 0;
    while (at < size) {
        const std::optional<qsizetype> type = seiNumber(data, size, &at);
        if (!type)
            return;
        const std::optional<qsizetype> payloadSize = seiNumber(data, size, &at);
        if (!payloadSize || *payloadSize > size - at)
            return;
        const uchar *payload = data + at;
        if (*type == userDataUnregistered && *payloadSize > mdpmStart &&
            std::memcmp(payload, mdpmUuid.data(), mdpmUuid.size()) == 0 &&
            std::memcmp(payload + mdpmUuid.size(), "MDPM", 4) == 0) {
            const MdpmEntries entries(payload + mdpmStart, *payloadSize - mdpmStart);
            MdpmRecord record;
            readDate(entries, &record);
            readPosition(entries, &record);
            readCamera(entries, &record);
            if (!take(record))
                return;
        }
        at += *payloadSize;
    }
}

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

// Reads a transport stream piece by piece: packets, then the H.264 stream's
// PES payloads joined into one stream, then its NAL units, then their SEI.
class ClipScanner
{
public:
    // False once more bytes cannot change the outcome.
    bool feed(QByteArrayView bytes);
    // No more bytes come: an SEI unit cut off at the end is read as far as it goes.
    void finish();
    CameraRecord record() const { return found; }

private:
    bool feedPackets(QByteArrayView bytes);
    void packet(const uchar *packet);
    void programAssociation(const uchar *section, qsizetype size);
    void programMap(const uchar *section, qsizetype size);
    void videoPayload(const uchar *payload, qsizetype size, bool unitStart);
    void elementaryStream(const uchar *data, qsizetype size);
    void endNal();
    void dropNal();
    bool take(const MdpmRecord &record);

    enum class Nal { Skipped, AwaitingHeader, Sei };

    qsizetype packetSize = 0; // 0 until known, -1 for a file that is no transport stream
    QByteArray pending;       // bytes short of a whole packet, or of the framing probe
    std::vector<int> programMapPids;
    int videoPid = -1;
    bool inPes = false;
    bool picturesReached = false; // in this PES packet: the rest is no SEI
    Nal nal = Nal::Skipped;
    int zeros = 0; // zero bytes just before, for start codes and emulation prevention
    QByteArray sei;
    CameraRecord found;
    bool positionToCome = true;
    bool complete = false; // no later record can add to `found`
};

qsizetype detectPacketSize(QByteArrayView head)
{
    const auto syncedEvery = [head](qsizetype first, qsizetype stride) {
        int seen = 0;
        for (qsizetype at = first; at < head.size() && seen < 3; at += stride, ++seen) {
            if (uchar(head[at]) != syncByte)
                return false;
        }
        return seen > 0;
    };
    if (syncedEvery(0, transportPacketSize))
        return transportPacketSize;
    // AVCHD's .m2ts: 4 bytes of arrival time before each packet.
    if (syncedEvery(4, transportPacketSize + 4))
        return transportPacketSize + 4;
    return -1;
}

bool ClipScanner::feed(QByteArrayView bytes)
{
    if (complete || packetSize < 0)
        return false;
    if (packetSize > 0)
        return feedPackets(bytes);
    pending.append(bytes);
    if (pending.size() < framingProbe)
        return true;
    packetSize = detectPacketSize(pending);
    const QByteArray head = std::exchange(pending, QByteArray());
    return packetSize > 0 && feedPackets(head);
}

bool ClipScanner::feedPackets(QByteArrayView bytes)
{
    const uchar *data = reinterpret_cast<const uchar *>(bytes.data());
    qsizetype left = bytes.size();
    if (!pending.isEmpty()) {
        const qsizetype taken = std::min(left, packetSize - pending.size());
        pending.append(reinterpret_cast<const char *>(data), taken);
        data += taken;
        left -= taken;
        if (pending.size() < packetSize)
            return true;
        packet(reinterpret_cast<const uchar *>(pending.constData()) + packetSize -
               transportPacketSize);
        pending.clear();
    }
    for (; left >= packetSize && !complete; data += packetSize, left -= packetSize)
        packet(data + packetSize - transportPacketSize);
    if (complete)
        return false;
    pending.append(reinterpret_cast<const char *>(data), left);
    return true;
}

void ClipScanner::finish()
{
    if (packetSize == 0 && !pending.isEmpty()) {
        packetSize = detectPacketSize(pending);
        const QByteArray head = std::exchange(pending, QByteArray());
        if (packetSize > 0)
            feedPackets(head);
    }
    if (!complete && nal == Nal::Sei)
        endNal();
}

void ClipScanner::packet(const uchar *packet)
{
    if (packet[0] != syncByte || (packet[1] & 0x80)) // lost sync, or marked damaged
        return;
    const bool unitStart = packet[1] & 0x40;
    const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
    // Once the video is known only its packets count, and of each access unit
    // only what comes before its pictures: most of the bytes are passed over.
    if (videoPid >= 0 && (pid != videoPid || (picturesReached && !unitStart)))
        return;
    const int fieldControl = (packet[3] >> 4) & 0x03;
    if (!(fieldControl & 0x01)) // no payload
        return;
    qsizetype at = 4;
    if (fieldControl & 0x02)
        at += 1 + packet[4];
    if (at >= transportPacketSize)
        return;
    const uchar *payload = packet + at;
    const qsizetype size = transportPacketSize - at;

    if (pid == videoPid) {
        videoPayload(payload, size, unitStart);
        return;
    }
    // The tables that lead to the video: only their first section part, which
    // holds every entry of a camera's small tables.
    if (!unitStart)
        return;
    const qsizetype sectionStart = 1 + payload[0];
    if (sectionStart + 3 > size)
        return;
    const uchar *section = payload + sectionStart;
    const qsizetype sectionLength = ((section[1] & 0x0F) << 8) | section[2];
    // Without its 4-byte checksum, and no further than this packet goes.
    const qsizetype end = std::min(3 + sectionLength - 4, size - sectionStart);
    if (pid == 0 && section[0] == 0x00)
        programAssociation(section, end);
    else if (section[0] == 0x02 && std::find(programMapPids.cbegin(), programMapPids.cend(), pid) !=
                                       programMapPids.cend())
        programMap(section, end);
}

void ClipScanner::programAssociation(const uchar *section, qsizetype size)
{
    for (qsizetype at = 8; at + 4 <= size; at += 4) {
        const int program = (section[at] << 8) | section[at + 1];
        const int pid = ((section[at + 2] & 0x1F) << 8) | section[at + 3];
        // Program 0 points at the network table; the table repeats every few packets.
        if (program != 0 &&
            std::find(programMapPids.cbegin(), programMapPids.cend(), pid) == programMapPids.cend())
            programMapPids.push_back(pid);
    }
}

void ClipScanner::programMap(const uchar *section, qsizetype size)
{
    constexpr uchar h264StreamType = 0x1B;
    if (size < 12)
        return;
    const qsizetype programInfoLength = ((section[10] & 0x0F) << 8) | section[11];
    for (qsizetype at = 12 + programInfoLength; at + 5 <= size;) {
        const int pid = ((section[at + 1] & 0x1F) << 8) | section[at + 2];
        if (section[at] == h264StreamType && pid != 0) {
            videoPid = pid;
            return;
        }
        at += 5 + (((section[at + 3] & 0x0F) << 8) | section[at + 4]);
    }
}

void ClipScanner::videoPayload(const uchar *payload, qsizetype size, bool unitStart)
{
    if (unitStart) {
        if (std::exchange(picturesReached, false))
            zeros = 0; // the bytes passed over may have ended in some
        // A PES header: start code, stream id, length, two flag bytes (the
        // first with its marker bits 10) and the length of the rest of it.
        inPes = size >= 9 && payload[0] == 0 && payload[1] == 0 && payload[2] == 1 &&
                (payload[6] & 0xC0) == 0x80 && 9 + payload[8] <= size;
        if (!inPes) {
            // The stream has a gap: a unit cut by it would read as garbage.
            dropNal();
            return;
        }
        const qsizetype headerSize = 9 + payload[8];
        elementaryStream(payload + headerSize, size - headerSize);
    } else if (inPes) {
        elementaryStream(payload, size);
    }
}

void ClipScanner::elementaryStream(const uchar *data, qsizetype size)
{
    qsizetype at = 0;
    while (at < size && !complete && !picturesReached) {
        if (nal == Nal::Skipped) {
            // Most of the stream is picture data: jump from one 0x01 byte to
            // the next, the only place a start code (00 00 01) can end.
            const void *one = std::memchr(data + at, 0x01, size_t(size - at));
            if (!one) {
                zeros = trailingZeros(data + at, size - at, zeros);
                return;
            }
            const qsizetype oneAt = static_cast<const uchar *>(one) - data;
            const int zerosBefore = trailingZeros(data + at, oneAt - at, zeros);
            at = oneAt + 1;
            zeros = 0;
            if (zerosBefore >= 2)
                nal = Nal::AwaitingHeader;
            continue;
        }
        const uchar byte = data[at++];
        if (zeros >= 2 && byte == 0x01) {
            endNal();
            nal = Nal::AwaitingHeader;
            zeros = 0;
            continue;
        }
        if (nal == Nal::AwaitingHeader) {
            // forbidden_zero_bit clear and NAL unit type 6, whatever the importance bits.
            nal = (byte & 0x9F) == 0x06 ? Nal::Sei : Nal::Skipped;
            zeros = byte == 0 ? 1 : 0;
            // A slice: SEI comes before an access unit's pictures, and cameras
            // start each access unit in a PES packet of its own.
            const int type = byte & 0x1F;
            picturesReached = !(byte & 0x80) && type >= 1 && type <= 5;
            continue;
        }
        // Emulation prevention: 00 00 03 stands for 00 00.
        if (zeros >= 2 && byte == 0x03) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? std::min(2, zeros + 1) : 0;
        if (sei.size() >= longestSei) {
            sei.clear();
            nal = Nal::Skipped;
            continue;
        }
        sei.append(char(byte));
    }
}

void ClipScanner::endNal()
{
    if (nal == Nal::Sei) {
        // Zero bytes at the end belong to the next start code.
        qsizetype size = sei.size();
        while (size > 0 && sei.at(size - 1) == 0)
            --size;
        seiRecords(reinterpret_cast<const uchar *>(sei.constData()), size,
                   [this](const MdpmRecord &record) { return take(record); });
    }
    sei.clear();
    nal = Nal::Skipped;
}

bool ClipScanner::take(const MdpmRecord &record)
{
    if (!found.recorded && record.recorded) {
        found.recorded = record.recorded;
        found.offsetSeconds = record.offsetSeconds;
        // A camera without a receiver: no later record brings a position.
        positionToCome = record.carriesGps;
    }
    if (!found.position && record.position)
        found.position = record.position;
    if (found.make.isEmpty() && !record.make.isEmpty()) {
        found.make = record.make;
        found.model = record.model;
    }
    complete = found.recorded && (found.position || !positionToCome);
    return !complete;
}

void ClipScanner::dropNal()
{
    sei.clear();
    nal = Nal::Skipped;
    zeros = 0;
}
} // namespace

CameraRecord readCameraRecord(QByteArrayView clipStart)
{
    ClipScanner scanner;
    scanner.feed(clipStart.first(std::min(clipStart.size(), cameraRecordReadLimit)));
    scanner.finish();
    return scanner.record();
}

CameraRecord cameraRecordOfFile(const QString &path)
{
    // Only a regular file: opening a FIFO under a clip's name would wait for a
    // writer forever.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    ClipScanner scanner;
    // Small pieces: a record in the first frame costs little more than that frame.
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    for (qint64 left = cameraRecordReadLimit; left > 0;) {
        const qint64 count = file.read(piece.data(), std::min<qint64>(piece.size(), left));
        if (count <= 0 || !scanner.feed(QByteArrayView(piece.constData(), count)))
            break;
        left -= count;
    }
    scanner.finish();
    return scanner.record();
}

QStringList cameraMetadataArguments(const CameraRecord &camera)
{
    QStringList tags;
    if (const std::optional<CameraPosition> &position = camera.position) {
        // ISO 6709 as phones write it: +DD.DDDD+DDD.DDDD, altitude in metres, "/".
        QString place =
            QString::asprintf("%+08.4f%+09.4f", position->latitude, position->longitude);
        if (position->altitude)
            place += QString::asprintf("%+08.3f", *position->altitude);
        tags << QStringLiteral("com.apple.quicktime.location.ISO6709=") + place + QLatin1Char('/');
    }
    if (!camera.make.isEmpty())
        tags << QStringLiteral("com.apple.quicktime.make=") + camera.make;
    if (!camera.model.isEmpty())
        tags << QStringLiteral("com.apple.quicktime.model=") + camera.model;
    if (camera.recorded) {
        const int offsetMinutes = std::abs(camera.offsetSeconds) / 60;
        tags << QStringLiteral("com.apple.quicktime.creationdate=") +
                    camera.recorded->addSecs(camera.offsetSeconds)
                        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
                    QString::asprintf("%c%02d%02d", camera.offsetSeconds < 0 ? '-' : '+',
                                      offsetMinutes / 60, offsetMinutes % 60);
    }
    if (tags.isEmpty())
        return {};
    // Keys of their own ("mdta"), as phones write them, rather than iTunes' tags.
    QStringList arguments{QStringLiteral("-movflags"), QStringLiteral("use_metadata_tags")};
    for (const QString &tag : std::as_const(tags))
        arguments << QStringLiteral("-metadata") << tag;
    return arguments;
}
