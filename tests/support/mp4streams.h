// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

// What an MP4 holds, read from its boxes: the shipped Windows encoder reads
// transport streams only, and ffprobe does not run under Wine.
struct Mp4Streams
{
    QString video;         // codec and frame size: "h264 160x120"
    int videoSamples = -1; // frames
    QString audio;         // codec: "mp3", "aac", or the sample entry's type
    int audioChannels = -1;
};

namespace mp4detail {
// The payload of the first box of this type within [from, to).
inline QByteArray box(const QByteArray &data, const QByteArray &type, qsizetype from = 0,
                      qsizetype to = -1)
{
    if (to < 0)
        to = data.size();
    for (qsizetype at = from; at + 8 <= to;) {
        quint64 size = qFromBigEndian<quint32>(data.constData() + at);
        qsizetype header = 8;
        if (size == 1 && at + 16 <= to) {
            size = qFromBigEndian<quint64>(data.constData() + at + 8);
            header = 16;
        } else if (size == 0) {
            size = to - at;
        }
        if (size < quint64(header) || at + qsizetype(size) > to)
            return {};
        if (data.mid(at + 4, 4) == type)
            return data.mid(at + header, qsizetype(size) - header);
        at += qsizetype(size);
    }
    return {};
}
inline QByteArray path(QByteArray data, const QList<QByteArray> &types)
{
    for (const QByteArray &type : types)
        data = box(data, type);
    return data;
}
inline quint8 u8(const QByteArray &data, qsizetype at)
{
    return at >= 0 && at < data.size() ? quint8(data[at]) : 0;
}
inline quint16 u16(const QByteArray &data, qsizetype at)
{
    return at + 2 <= data.size() ? qFromBigEndian<quint16>(data.constData() + at) : 0;
}
inline quint32 u32(const QByteArray &data, qsizetype at)
{
    return at + 4 <= data.size() ? qFromBigEndian<quint32>(data.constData() + at) : 0;
}
// MPEG-4 descriptor lengths take 1 to 4 bytes of 7 bits.
inline qsizetype skipLength(const QByteArray &data, qsizetype at)
{
    for (int i = 0; i < 4 && at < data.size(); ++i)
        if (!(quint8(data[at++]) & 0x80))
            break;
    return at;
}
} // namespace mp4detail

inline Mp4Streams mp4Streams(const QString &file)
{
    using namespace mp4detail;
    QFile mp4(file);
    if (!mp4.open(QIODevice::ReadOnly))
        return {};
    const QByteArray moov = box(mp4.readAll(), "moov");
    Mp4Streams streams;
    for (qsizetype at = 0; at + 8 <= moov.size(); at += u32(moov, at)) {
        if (u32(moov, at) < 8)
            break;
        if (moov.mid(at + 4, 4) != "trak")
            continue;
        const QByteArray mdia = path(moov.mid(at + 8, u32(moov, at) - 8), {"mdia"});
        const QByteArray handler = box(mdia, "hdlr").mid(8, 4);
        const QByteArray stbl = path(mdia, {"minf", "stbl"});
        const QByteArray stsd = box(stbl, "stsd");
        // The first sample entry: its type, then its own fields.
        const QByteArray entryType = stsd.mid(12, 4);
        const QByteArray entry = stsd.mid(16, qsizetype(u32(stsd, 8)) - 8);
        if (handler == "vide") {
            const QString codec = entryType == "avc1" ? QStringLiteral("h264")
                                  : (entryType == "hvc1" || entryType == "hev1")
                                      ? QStringLiteral("hevc")
                                      : QString::fromLatin1(entryType);
            streams.video =
                QStringLiteral("%1 %2x%3").arg(codec).arg(u16(entry, 24)).arg(u16(entry, 26));
            streams.videoSamples = int(u32(box(stbl, "stsz"), 8));
        } else if (handler == "soun") {
            streams.audioChannels = u16(entry, 16);
            streams.audio = QString::fromLatin1(entryType);
            if (entryType == "mp4a") {
                // esds: ES descriptor (tag 3, ES_ID, flags 0), then the
                // decoder configuration (tag 4) whose first byte names the codec.
                const QByteArray esds = box(entry, "esds", 28);
                qsizetype d = skipLength(esds, 5) + 3;
                if (u8(esds, 4) == 3 && u8(esds, d) == 4) {
                    const quint8 objectType = u8(esds, skipLength(esds, d + 1));
                    streams.audio = objectType == 0x6B || objectType == 0x69 ? QStringLiteral("mp3")
                                    : objectType == 0x40                     ? QStringLiteral("aac")
                                                         : QStringLiteral("mp4a");
                }
            }
        }
    }
    return streams;
}
