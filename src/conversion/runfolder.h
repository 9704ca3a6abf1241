// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <memory>

#include "conversion/clipidentity.h"

class QFile;

// The folder a run converts, held open from the run's start: its clips are
// measured and its files made relative to the folder itself, so a folder
// renamed meanwhile neither leaves files behind in it nor makes a clip look
// changed, and a name planted in the folder's path cannot redirect the run.
//
// Every call may wait for the disk: a card or a share can stall for minutes,
// so none is made on the window's thread.
class RunFolder
{
public:
    explicit RunFolder(const QString &path);
    ~RunFolder();
    RunFolder(const RunFolder &) = delete;
    RunFolder &operator=(const RunFolder &) = delete;

    // The absolute path given at the start, as the encoder reads clips by it.
    QString path() const { return absolutePath; }
    QString filePath(const QString &name) const { return absolutePath + QLatin1Char('/') + name; }
    // Where the platform has descriptors for folders, the open folder; else -1.
    int descriptor() const { return handle; }

    // Whether the path still leads to the folder opened at the start.
    bool stillInPlace() const;

    ClipIdentity identify(const QString &name) const;

    // The regular file `name`, opened for reading without waiting on it; null
    // for anything else: a FIFO would wait for a writer, a device may never
    // answer, and either may be swapped in under a clip's name at any time.
    std::unique_ptr<QFile> openForReading(const QString &name) const;

private:
    const QString absolutePath;
    int handle = -1;
};
