// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/encodercommand.h"

#include "conversion/encoderprocess.h"

#include "conversion/camerarecord.h"

#include <cstdlib>

QString outputNameFor(const QString &sourceName)
{
    QString name = sourceName.toLower();
    name.replace(QStringLiteral(".mts"), QStringLiteral(".mp4"));
    name.replace(QStringLiteral(".m2ts"), QStringLiteral(".mp4"));
    return name;
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

QStringList encoderArguments(const QString &sourcePath, const QDateTime &mp4Date,
                             const CameraRecord &camera, const QString &outputPath)
{
    QStringList arguments{
        QStringLiteral("-y"),      QStringLiteral("-i"),   sourcePath,
        QStringLiteral("-vcodec"), QStringLiteral("copy"), QStringLiteral("-acodec"),
        QStringLiteral("mp3")};
    if (mp4Date.isValid())
        arguments << QStringLiteral("-metadata")
                  << QStringLiteral("creation_time=") + mp4Date.toUTC().toString(Qt::ISODateWithMs);
    arguments << cameraMetadataArguments(camera);
    // The output's name tells the encoder nothing (/dev/fd/N).
    arguments << QStringLiteral("-f") << QStringLiteral("mp4") << outputPath;
    return arguments;
}

QString defaultEncoderPath(const QString &applicationDir)
{
    return applicationDir + QStringLiteral("/encoder/") + EncoderProcess::programFileName();
}
