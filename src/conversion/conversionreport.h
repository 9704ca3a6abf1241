#pragma once

#include <QString>

#include "conversion/encoderoutcome.h"

class QListWidgetItem;

// What the file list shows while a clip is being converted.
QString announcementText(const QString &sourceName);

// What the file list shows once the encoder is done with a clip.
QString resultText(const QString &sourceName, const QString &outputName,
                   const EncoderOutcome &outcome);

// How a row of the run looks. The backgrounds are light on every theme, so
// each row also gets a dark text colour that reads on them (at least 4.5:1)
// whatever the palette; a failure also gets the style's critical icon, so it
// stands apart from the row still running in the same red.
enum class RowState { Running, Converted, Failed };
void styleRow(QListWidgetItem *item, RowState state);

// On the running row: how far the encoder is, a double in [0, 1]; absent
// while that is not known.
inline constexpr int progressRole = Qt::UserRole + 1;

// The closing count: "3 files converted.", followed on the same line by the
// failures when there were any ("1 file converted. 2 files failed.").
QString summaryText(int converted, int failed);
