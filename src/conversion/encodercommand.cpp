// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/encodercommand.h"

#include "conversion/encoderprocess.h"

#include "conversion/camerarecord.h"

QString outputNameFor(const QString &sourceName)
{
    QString name = sourceName.toLower();
    name.replace(QStringLiteral(".mts"), QStringLiteral(".mp4"));
    name.replace(QStringLiteral(".m2ts"), QStringLiteral(".mp4"));
    return name;
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
