#pragma once

#include <QString>
#include <QStringList>

class RunFolder;

// An unfinished MP4 that has a name in the clip's folder (see
// UnfinishedOutput) is called "." + clip name + ".tessel-" + a random token +
// ".mp4", and is locked by the run writing it for as long as it is written.

// The name of such a file for one clip. A long clip name is shortened so that
// the result still fits a file system's name limit.
QString temporaryOutputName(const QString &sourceName, quint64 token);

// Removes the unfinished files that runs no longer writing left beside these
// clips (a Tessel that was killed). A file another run still writes, here or
// in another container or on another machine sharing the folder, is locked,
// and is left alone.
void removeAbandonedOutputs(const RunFolder &folder, const QStringList &sourceNames);
