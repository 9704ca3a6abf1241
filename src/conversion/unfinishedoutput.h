#pragma once

#include <QDateTime>
#include <QString>

#include <memory>

class RunFolder;

// The file an encoder writes one clip's MP4 into, held open by Tessel from
// before the encoder starts until it is in place or discarded, so that the
// encoder never opens a name anyone else could change.
//
// On Linux it is a file without a name (O_TMPFILE) in the clip's folder where
// the file system allows it, else a uniquely named hidden file made with
// O_EXCL and O_NOFOLLOW and locked (an open-file-description lock) for as long
// as it is held. The encoder reaches it as /dev/fd/N. On Windows it is a
// uniquely named file made exclusively, which the encoder opens by name; it
// cannot carry the hidden attribute there, as FFmpeg could not overwrite it.
class UnfinishedOutput
{
public:
    // Makes the file for `sourceName` in `folder`. Null, with `error` saying
    // why, if it cannot be made.
    static std::unique_ptr<UnfinishedOutput> create(const RunFolder &folder,
                                                    const QString &sourceName, QString *error);
    // Removes the unfinished file `name` in `folder` unless a run holds it.
    static void removeIfAbandoned(const RunFolder &folder, const QString &name);

    // Removes the file unless it was put in place.
    ~UnfinishedOutput();
    UnfinishedOutput(const UnfinishedOutput &) = delete;
    UnfinishedOutput &operator=(const UnfinishedOutput &) = delete;

    // The path to hand the encoder.
    QString encoderPath() const;
    // The descriptor the encoder must inherit, or -1 when it opens the file by name.
    int inheritedDescriptor() const;

    // Gives the whole file the name `outputName` in its folder: takes
    // `mp4Date` as its access and modification time, keeps the permission bits
    // of an MP4 it replaces, is flushed to disk and atomically replaces
    // whatever stands at the name. Returns an empty text on success, else
    // why it failed; nothing at `outputName` has changed then. Blocks on the
    // disk: meant for a worker thread, and one call per object.
    QString place(const QString &outputName, const QDateTime &mp4Date);

private:
    UnfinishedOutput() = default;
    void close();

    int folder = -1; // the run's folder, duplicated: a placement may outlast the run's handle
    int file = -1;
    QString sourceName;
    QString name; // empty while the file has no name
    bool placed = false;
#ifdef Q_OS_WIN
    void *handle = nullptr;
    QString folderPath;
#endif
};
