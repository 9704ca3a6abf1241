#pragma once

#include <QString>

#include "conversion/clipoutcome.h"

// What the file list shows while a clip is being converted.
QString announcementText(const QString &sourceName);

// What the file list shows once the encoder is done with a clip.
QString resultText(const QString &sourceName, const QString &outputName,
                   const ClipOutcome &outcome);

// The closing count: "3 files converted.", followed on the same line by the
// failures when there were any ("1 file converted. 2 files failed.").
QString summaryText(int converted, int failed);
