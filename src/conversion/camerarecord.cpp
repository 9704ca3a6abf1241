// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/camerarecord.h"

#include "conversion/mdpm.h"
#include "conversion/runfolder.h"

#include <QByteArray>
#include <QFile>

#include <memory>

CameraRecordReader::CameraRecordReader()
    : units([this](QByteArrayView sei) { return takeUnit(sei); })
{}

CameraRecord CameraRecordReader::finish()
{
    stream.finish();
    units.finish();
    return found;
}

bool CameraRecordReader::takeUnit(QByteArrayView sei)
{
    for (const QByteArrayView userData : seiUserData(sei)) {
        const std::optional<MdpmRecord> mdpm = readMdpm(userData);
        if (mdpm && !take(mdpm->camera, mdpm->carriesGps))
            return false;
    }
    return true;
}

bool CameraRecordReader::take(const CameraRecord &record, bool carriesGps)
{
    if (!found.recorded && record.recorded) {
        found.recorded = record.recorded;
        found.offsetSeconds = record.offsetSeconds;
        // A camera without a receiver: no later record brings a position.
        positionToCome = carriesGps;
    }
    if (!found.position && record.position)
        found.position = record.position;
    if (found.make.isEmpty() && !record.make.isEmpty()) {
        found.make = record.make;
        found.model = record.model;
    }
    return !found.recorded || (!found.position && positionToCome);
}

CameraRecord readCameraRecord(QByteArrayView clipStart)
{
    CameraRecordReader reader;
    reader.feed(clipStart.first(std::min(clipStart.size(), cameraRecordReadLimit)));
    return reader.finish();
}

CameraRecord cameraRecordOfClip(const RunFolder &folder, const QString &name)
{
    const std::unique_ptr<QFile> file = folder.openForReading(name);
    if (!file)
        return {};
    CameraRecordReader reader;
    // A small first piece: a record in the first frame costs little more than
    // that frame. Then larger ones, so a clip without a record costs little
    // more than reading its bytes.
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    for (qint64 left = cameraRecordReadLimit; left > 0;) {
        const qint64 count = file->read(piece.data(), std::min<qint64>(piece.size(), left));
        if (count <= 0 || !reader.feed(QByteArrayView(piece.constData(), count)))
            break;
        left -= count;
        if (piece.size() < 1024 * 1024)
            piece.resize(piece.size() * 2);
    }
    return reader.finish();
}
