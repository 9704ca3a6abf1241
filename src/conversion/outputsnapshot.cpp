#include "conversion/outputsnapshot.h"

#include <QFile>
#include <QFileInfo>

OutputSnapshot OutputSnapshot::of(const QString &path)
{
    const QFileInfo info(path);
    OutputSnapshot snapshot;
    snapshot.present = info.exists();
    if (snapshot.present) {
        snapshot.size = info.size();
        snapshot.modified = info.lastModified();
        snapshot.metadataChanged = info.metadataChangeTime();
    }
    return snapshot;
}

bool OutputSnapshot::operator==(const OutputSnapshot &other) const
{
    return present == other.present && size == other.size && modified == other.modified &&
           metadataChanged == other.metadataChanged;
}

void settleOutput(const QString &outputPath, const OutputSnapshot &beforeRun, bool converted,
                  const QString &sourcePath)
{
    if (converted) {
        QFile output(outputPath);
        // ReadWrite keeps what the encoder wrote; ExistingOnly creates nothing
        // when an encoder reported success without writing.
        if (output.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
            output.setFileTime(QFileInfo(sourcePath).lastModified(),
                               QFileDevice::FileModificationTime);
        return;
    }
    if (OutputSnapshot::of(outputPath) != beforeRun)
        QFile::remove(outputPath);
}
