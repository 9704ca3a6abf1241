#pragma once

#include <QColor>
#include <QString>

#include "conversion/encoderoutcome.h"

// What the file list shows while a clip is being converted.
QString announcementText(const QString &sourceName);
QColor announcementColour();

// What the file list shows once the encoder is done with a clip.
QString resultText(const QString &sourceName, const QString &outputName,
                   const EncoderOutcome &outcome);
QColor resultColour(const EncoderOutcome &outcome);

// The closing count: "3 files converted.", followed on the same line by the
// failures when there were any ("1 file converted. 2 files failed.").
QString summaryText(int converted, int failed);
