// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/transportstream.h"

#include "conversion/h264stream.h"

#include <algorithm>
#include <utility>

namespace {
constexpr uchar syncByte = 0x47;
constexpr qsizetype transportPacketSize = 188;
// Enough packets to tell 188-byte packets from 192-byte ones with certainty.
constexpr qsizetype framingProbe = 3 * 192;
constexpr qsizetype checksumSize = 4;

uchar byteAt(QByteArrayView bytes, qsizetype at)
{
    return uchar(bytes[at]);
}

// 188 or 192, or -1 for bytes that are no transport stream.
qsizetype packetSizeOf(QByteArrayView head)
{
    const auto syncedEvery = [head](qsizetype first, qsizetype stride) {
        int seen = 0;
        for (qsizetype at = first; at < head.size() && seen < 3; at += stride, ++seen) {
            if (byteAt(head, at) != syncByte)
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

// The program map tables' PIDs a program association section lists.
std::vector<int> programMapPidsOf(QByteArrayView section)
{
    std::vector<int> pids;
    for (qsizetype at = 8; at + 4 <= section.size(); at += 4) {
        const int program = (byteAt(section, at) << 8) | byteAt(section, at + 1);
        // Program 0 points at the network table.
        if (program != 0)
            pids.push_back(((byteAt(section, at + 2) & 0x1F) << 8) | byteAt(section, at + 3));
    }
    return pids;
}

// The PID of the first H.264 stream a program map section lists; -1 for none.
int h264PidOf(QByteArrayView section)
{
    constexpr uchar h264StreamType = 0x1B;
    if (section.size() < 12)
        return -1;
    const qsizetype programInfoLength = ((byteAt(section, 10) & 0x0F) << 8) | byteAt(section, 11);
    for (qsizetype at = 12 + programInfoLength; at + 5 <= section.size();) {
        const int pid = ((byteAt(section, at + 1) & 0x1F) << 8) | byteAt(section, at + 2);
        if (byteAt(section, at) == h264StreamType && pid != 0)
            return pid;
        at += 5 + (((byteAt(section, at + 3) & 0x0F) << 8) | byteAt(section, at + 4));
    }
    return -1;
}

// The size of the PES header that opens `payload`: start code, stream id,
// length, two flag bytes (the first with its marker bits 10) and the length
// of the rest of it. -1 when it is damaged.
qsizetype pesHeaderSize(QByteArrayView payload)
{
    if (payload.size() < 9 || !payload.startsWith(QByteArrayView("\0\0\1", 3)) ||
        (byteAt(payload, 6) & 0xC0) != 0x80)
        return -1;
    const qsizetype size = 9 + byteAt(payload, 8);
    return size <= payload.size() ? size : -1;
}
} // namespace

bool TransportStream::feed(QByteArrayView bytes)
{
    if (video.stopped() || packetSize < 0)
        return false;
    if (packetSize > 0)
        return feedPackets(bytes);
    if (pending.isEmpty() && bytes.size() >= framingProbe) {
        packetSize = packetSizeOf(bytes);
        return packetSize > 0 && feedPackets(bytes);
    }
    pending.append(bytes);
    if (pending.size() < framingProbe)
        return true;
    packetSize = packetSizeOf(pending);
    const QByteArray head = std::exchange(pending, QByteArray());
    return packetSize > 0 && feedPackets(head);
}

bool TransportStream::feedPackets(QByteArrayView bytes)
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
    for (; left >= packetSize && !video.stopped(); data += packetSize, left -= packetSize)
        packet(data + packetSize - transportPacketSize);
    if (video.stopped())
        return false;
    pending.append(reinterpret_cast<const char *>(data), left);
    return true;
}

void TransportStream::finish()
{
    if (packetSize != 0 || pending.isEmpty())
        return;
    packetSize = packetSizeOf(pending);
    const QByteArray head = std::exchange(pending, QByteArray());
    if (packetSize > 0)
        feedPackets(head);
}

void TransportStream::packet(const uchar *packet)
{
    if (packet[0] != syncByte || (packet[1] & 0x80)) // lost sync, or marked damaged
        return;
    const bool unitStart = packet[1] & 0x40;
    const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
    // Once the video is known only its packets count, and of each access unit
    // only what comes before its pictures: most of the bytes are passed over.
    if (videoPid >= 0 && (pid != videoPid || (video.picturesReached() && !unitStart)))
        return;
    const int fieldControl = (packet[3] >> 4) & 0x03;
    if (!(fieldControl & 0x01)) // no payload
        return;
    qsizetype at = 4;
    if (fieldControl & 0x02)
        at += 1 + packet[4];
    if (at >= transportPacketSize)
        return;
    const QByteArrayView payload(packet + at, transportPacketSize - at);
    if (pid == videoPid)
        videoPayload(payload, unitStart);
    else if (unitStart)
        table(pid, payload);
}

// The tables that lead to the video: only their first section part, which
// holds every entry of a camera's small tables.
void TransportStream::table(int pid, QByteArrayView payload)
{
    const qsizetype sectionStart = 1 + byteAt(payload, 0);
    if (sectionStart + 3 > payload.size())
        return;
    const QByteArrayView rest = payload.sliced(sectionStart);
    const qsizetype sectionLength = ((byteAt(rest, 1) & 0x0F) << 8) | byteAt(rest, 2);
    // Too short even for its checksum: no table at all.
    if (sectionLength < checksumSize)
        return;
    // Without its checksum, and no further than this packet goes.
    const QByteArrayView section =
        rest.first(std::min(3 + sectionLength - checksumSize, rest.size()));
    if (pid == 0 && byteAt(section, 0) == 0x00) {
        // The table repeats every few packets.
        for (const int mapPid : programMapPidsOf(section)) {
            if (std::find(programMapPids.cbegin(), programMapPids.cend(), mapPid) ==
                programMapPids.cend())
                programMapPids.push_back(mapPid);
        }
    } else if (byteAt(section, 0) == 0x02 &&
               std::find(programMapPids.cbegin(), programMapPids.cend(), pid) !=
                   programMapPids.cend()) {
        if (const int found = h264PidOf(section); found >= 0)
            videoPid = found;
    }
}

void TransportStream::videoPayload(QByteArrayView payload, bool unitStart)
{
    if (!unitStart) {
        if (inPes)
            video.feed(payload);
        return;
    }
    video.pesPacketStart();
    const qsizetype headerSize = pesHeaderSize(payload);
    inPes = headerSize >= 0;
    if (inPes)
        video.feed(payload.sliced(headerSize));
    else
        video.gap();
}
