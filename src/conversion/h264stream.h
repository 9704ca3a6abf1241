// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <functional>

// The SEI units of an H.264 elementary stream that arrives in pieces, as
// cameras write it: each access unit in a PES packet of its own, its SEI
// before its first slice. The rest of a PES packet after a slice begins is
// passed over, and most of the stream with it.
class H264SeiUnits
{
public:
    // Gets each SEI unit once it ends: its RBSP, emulation prevention
    // removed, without the NAL header and the zero bytes of the next start
    // code. Returns false when no later unit is wanted.
    using Take = std::function<bool(QByteArrayView rbsp)>;

    explicit H264SeiUnits(Take take) : take(std::move(take)) {}

    void pesPacketStart();
    void feed(QByteArrayView bytes);
    // Bytes are missing here: a unit cut by the gap would read as garbage.
    void gap();
    // No more bytes come: a unit cut off at the end is taken as far as it goes.
    void finish();

    // Only slices are left in this PES packet.
    bool picturesReached() const { return pictures; }
    // `take` wants no more units.
    bool stopped() const { return done; }

private:
    qsizetype afterStartCode(const uchar *data, qsizetype at, qsizetype size);
    void unitByte(uchar byte);
    void unitHeader(uchar byte);
    void endUnit();

    enum class Nal { Skipped, AwaitingHeader, Sei };

    const Take take;
    Nal nal = Nal::Skipped;
    int zeros = 0; // zero bytes just before, for start codes and emulation prevention
    bool pictures = false;
    bool done = false;
    QByteArray sei;
};

// The payloads of the user data messages (unregistered: a UUID, then data)
// of one SEI unit's RBSP, in order, as far as the RBSP holds them whole.
QList<QByteArrayView> seiUserData(QByteArrayView rbsp);
