#pragma once

#include <QString>
#include <QStringList>

// Name of the MP4 written beside a clip: the clip's name lower-cased, then
// ".mts" and ".m2ts" replaced by ".mp4" ("Trip.M2TS" gives "trip.mp4").
QString outputNameFor(const QString &sourceName);

// The encoder's command line for one clip: video copied unchanged, audio
// encoded as MP3, an existing output overwritten without a question.
QStringList encoderArguments(const QString &sourcePath, const QString &outputPath);

// FFmpeg is shipped in "encoder/" beside the program's own executable.
QString defaultEncoderPath(const QString &applicationDir);
