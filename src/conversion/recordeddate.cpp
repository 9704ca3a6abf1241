#include "conversion/recordeddate.h"

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
constexpr uchar zoneAndMonthTag = 0x18;
constexpr uchar dayAndTimeTag = 0x19;
constexpr qsizetype mdpmEntrySize = 5;

std::optional<int> fromBcd(uchar byte)
{
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    if (high > 9 || low > 9)
        return std::nullopt;
    return high * 10 + low;
}

// `data` follows "MDPM": the number of entries, then entries of a tag byte
// and four data bytes.
std::optional<QDateTime> mdpmDate(const uchar *data, qsizetype size)
{
    if (size < 1)
        return std::nullopt;
    const uchar *zoneAndMonth = nullptr;
    const uchar *dayAndTime = nullptr;
    for (qsizetype entry = 0, at = 1; entry < data[0] && at + mdpmEntrySize <= size;
         ++entry, at += mdpmEntrySize) {
        if (data[at] == zoneAndMonthTag)
            zoneAndMonth = data + at + 1;
        else if (data[at] == dayAndTimeTag)
            dayAndTime = data + at + 1;
    }
    if (!zoneAndMonth || !dayAndTime)
        return std::nullopt;

    const std::optional<int> century = fromBcd(zoneAndMonth[1]);
    const std::optional<int> yearInCentury = fromBcd(zoneAndMonth[2]);
    const std::optional<int> month = fromBcd(zoneAndMonth[3]);
    const std::optional<int> day = fromBcd(dayAndTime[0]);
    const std::optional<int> hour = fromBcd(dayAndTime[1]);
    const std::optional<int> minute = fromBcd(dayAndTime[2]);
    const std::optional<int> second = fromBcd(dayAndTime[3]);
    if (!century || !yearInCentury || !month || !day || !hour || !minute || !second)
        return std::nullopt;
    const QDate date(*century * 100 + *yearInCentury, *month, *day);
    const QTime time(*hour, *minute, *second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;

    const uchar zone = zoneAndMonth[0];
    if (zone & 0x80) {
        // No zone recorded: the camera's clock is taken as this computer's.
        const QDateTime local(date, time, Qt::LocalTime);
        return local.isValid() ? std::optional<QDateTime>(local.toUTC()) : std::nullopt;
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
    // No place on earth is further than 14 hours from UTC.
    if (std::abs(offsetMinutes) > 14 * 60)
        return std::nullopt;
    return QDateTime(date, time, Qt::OffsetFromUTC, offsetMinutes * 60).toUTC();
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

// `data` is a SEI unit's payload without its header byte, emulation
// prevention already removed.
std::optional<QDateTime> seiDate(const uchar *data, qsizetype size)
{
    constexpr qsizetype userDataUnregistered = 5;
    constexpr qsizetype mdpmStart = qsizetype(mdpmUuid.size()) + 4;
    qsizetype at = 0;
    while (at < size) {
        const std::optional<qsizetype> type = seiNumber(data, size, &at);
        if (!type)
            return std::nullopt;
        const std::optional<qsizetype> payloadSize = seiNumber(data, size, &at);
        if (!payloadSize || *payloadSize > size - at)
            return std::nullopt;
        const uchar *payload = data + at;
        if (*type == userDataUnregistered && *payloadSize > mdpmStart &&
            std::memcmp(payload, mdpmUuid.data(), mdpmUuid.size()) == 0 &&
            std::memcmp(payload + mdpmUuid.size(), "MDPM", 4) == 0) {
            if (std::optional<QDateTime> date =
                    mdpmDate(payload + mdpmStart, *payloadSize - mdpmStart))
                return date;
        }
        at += *payloadSize;
    }
    return std::nullopt;
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
    std::optional<QDateTime> date() const { return found; }

private:
    bool feedPackets(QByteArrayView bytes);
    void packet(const uchar *packet);
    void programAssociation(const uchar *section, qsizetype size);
    void programMap(const uchar *section, qsizetype size);
    void videoPayload(const uchar *payload, qsizetype size, bool unitStart);
    void elementaryStream(const uchar *data, qsizetype size);
    void endNal();
    void dropNal();

    enum class Nal { Skipped, AwaitingHeader, Sei };

    qsizetype packetSize = 0; // 0 until known, -1 for a file that is no transport stream
    QByteArray pending;       // bytes short of a whole packet, or of the framing probe
    std::vector<int> programMapPids;
    int videoPid = -1;
    bool inPes = false;
    Nal nal = Nal::Skipped;
    int zeros = 0; // zero bytes just before, for start codes and emulation prevention
    QByteArray sei;
    std::optional<QDateTime> found;
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
    if (found || packetSize < 0)
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
    for (; left >= packetSize && !found; data += packetSize, left -= packetSize)
        packet(data + packetSize - transportPacketSize);
    if (found)
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
    if (!found && nal == Nal::Sei)
        endNal();
}

void ClipScanner::packet(const uchar *packet)
{
    if (packet[0] != syncByte || (packet[1] & 0x80)) // lost sync, or marked damaged
        return;
    const bool unitStart = packet[1] & 0x40;
    const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
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
    if (!unitStart || videoPid >= 0)
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
    while (at < size && !found) {
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
        found = seiDate(reinterpret_cast<const uchar *>(sei.constData()), size);
    }
    sei.clear();
    nal = Nal::Skipped;
}

void ClipScanner::dropNal()
{
    sei.clear();
    nal = Nal::Skipped;
    zeros = 0;
}
} // namespace

std::optional<QDateTime> recordedDate(QByteArrayView clipStart)
{
    ClipScanner scanner;
    scanner.feed(clipStart.first(std::min(clipStart.size(), recordedDateReadLimit)));
    scanner.finish();
    return scanner.date();
}

std::optional<QDateTime> recordedDateOfFile(const QString &path)
{
    // Only a regular file: opening a FIFO under a clip's name would wait for a
    // writer forever.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    ClipScanner scanner;
    // Small pieces: a date in the first frame costs little more than that frame.
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    for (qint64 left = recordedDateReadLimit; left > 0;) {
        const qint64 count = file.read(piece.data(), std::min<qint64>(piece.size(), left));
        if (count <= 0 || !scanner.feed(QByteArrayView(piece.constData(), count)))
            break;
        left -= count;
    }
    scanner.finish();
    return scanner.date();
}
