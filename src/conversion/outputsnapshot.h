#pragma once

#include <QDateTime>
#include <QString>

// What was at an output path at one moment: enough to tell afterwards whether
// an encoder run created, rewrote or left alone the file there.
class OutputSnapshot
{
public:
    static OutputSnapshot of(const QString &path);

    bool exists() const { return present; }

    bool operator==(const OutputSnapshot &other) const;
    bool operator!=(const OutputSnapshot &other) const { return !(*this == other); }

private:
    bool present = false;
    qint64 size = 0;
    QDateTime modified;
    QDateTime metadataChanged; // moves on truncation even when size and content come out equal
};

// Once the encoder is done with a clip. A converted output takes the source's
// modification time, so footage still sorts by the day it was shot. A failed
// run must not leave a half-written MP4 that looks finished: if the run
// created or changed the output, it is removed; a file it never touched stays.
void settleOutput(const QString &outputPath, const OutputSnapshot &beforeRun, bool converted,
                  const QString &sourcePath);
