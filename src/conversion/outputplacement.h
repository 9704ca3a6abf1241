#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The encoder never writes at a clip's final MP4 name. It writes a hidden file
// beside the clip ("." + clip name + ".tessel-" + process id + ".mp4"), which
// is put in place only once it is whole: an older MP4 stays intact until the
// new one replaces it, a link at the final name is replaced rather than
// written through, and a cut-off file never carries the final name.

// The name of that file for one clip of this process. The ".mp4" ending lets
// the encoder pick the container from the name. A long clip name is
// shortened so that the result still fits a file system's name limit.
QString temporaryOutputName(const QString &sourceName, qint64 processId);

// Removes the temporary files that processes no longer running left beside
// these clips (a Tessel that was killed). Files of a Tessel still running,
// another window working in the same folder, are left alone.
void removeAbandonedOutputs(const QString &folder, const QStringList &sourceNames);

// Puts a finished temporary file in place: it takes `shotAt` as its
// modification time, is flushed to disk, and atomically replaces whatever
// stands at `outputPath`. On failure nothing at `outputPath` has changed and
// `error` says why.
bool placeOutput(const QString &temporaryPath, const QString &outputPath, const QDateTime &shotAt,
                 QString *error);
