// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

class H264SeiUnits;

// An MPEG transport stream read as it arrives, in pieces of any size: its
// packets (188 bytes, or 192 with the 4 bytes of arrival time of AVCHD's
// .m2ts), the tables that lead to its H.264 video, and the payload of the
// video's PES packets, which goes to `video`. Once the video is known only its
// packets count, and of each PES packet only what `video` still wants.
class TransportStream
{
public:
    explicit TransportStream(H264SeiUnits &video) : video(video) {}

    // False once more bytes cannot matter: the bytes are no transport
    // stream, or the video wants no more.
    bool feed(QByteArrayView bytes);
    // No more bytes come: a stream too short to tell its packets' size by
    // the usual probe is read as far as it goes.
    void finish();

private:
    bool feedPackets(QByteArrayView bytes);
    void packet(const uchar *packet);
    void table(int pid, QByteArrayView payload);
    void videoPayload(QByteArrayView payload, bool unitStart);

    H264SeiUnits &video;
    qsizetype packetSize = 0; // 0 until known, -1 for bytes that are no transport stream
    QByteArray pending;       // bytes short of a whole packet, or of the probe
    std::vector<int> programMapPids;
    int videoPid = -1;
    bool inPes = false; // the current PES packet of the video began intact
};
