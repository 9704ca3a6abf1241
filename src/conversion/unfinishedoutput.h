// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

class RunFolder;

// The file an encoder writes one clip's MP4 into, held open by Tessel from
// before the encoder starts until it is put in place or discarded, so that
// the encoder never opens a name anyone else could change, and an MP4
// already at the final name stays whole until the new one replaces it.
//
// On Linux it is a file without a name (O_TMPFILE) in the clip's folder where
// the file system allows it, else a uniquely named hidden file made with
// O_EXCL and O_NOFOLLOW; either way it is locked (an open-file-description
// lock) for as long as it is held, so a run that sweeps leftovers, here or on
// another machine sharing the folder, leaves it alone. The encoder reaches it
// as /dev/fd/N. On Windows it is a uniquely named file made exclusively in a
// hidden work folder inside the clip's folder, held open without delete
// access, which the encoder opens by name; a sweep deletes only a file that
// nobody holds.
//
// A name, when the file has one, is "." + clip name + ".tessel-" + 16 hex
// digits + ".mp4". Every call waits for the disk: none belongs on the
// window's thread.
class UnfinishedOutput
{
public:
    // Makes the file for `sourceName` in `folder`. Null, with `error` saying
    // why, if it cannot be made.
    static std::unique_ptr<UnfinishedOutput> create(const RunFolder &folder,
                                                    const QString &sourceName, QString *error);

    // Removes the unfinished files that runs no longer writing left beside
    // these clips (a Tessel that was killed). A file that a run still holds,
    // here, in another container or on another machine sharing the folder,
    // is left alone.
    static void removeAbandoned(const RunFolder &folder, const QStringList &sourceNames);

    // The name of such a file for one clip. A long clip name is shortened so
    // that the result still fits a file system's name limit.
    static QString nameFor(const QString &sourceName, quint64 token);

    // Removes the file unless it was put in place.
    ~UnfinishedOutput();
    UnfinishedOutput(const UnfinishedOutput &) = delete;
    UnfinishedOutput &operator=(const UnfinishedOutput &) = delete;

    // The path to hand the encoder.
    QString encoderPath() const;
    // The descriptor the encoder must inherit, or -1 when it opens the file by name.
    int inheritedDescriptor() const;

    // Gives the whole file the name `outputName` in its folder: takes `date`
    // as its access and modification time, keeps the permission bits of an MP4
    // it replaces, is flushed to disk and atomically replaces whatever stands
    // at the name. Returns an empty text on success, else why it failed;
    // nothing at `outputName` has changed then. One call per object.
    QString commit(const QString &outputName, const QDateTime &date);

private:
    explicit UnfinishedOutput(const QString &sourceName) : sourceName(sourceName) {}

    QString randomName() const;

    // The platform's steps: unfinishedoutput_unix.cpp, unfinishedoutput_win.cpp.
    // Where named files are made, relative to the run's folder: empty for
    // the folder itself.
    static QString workFolder();
    bool make(const RunFolder &folder, QString *error);
    // `name` is relative to the run's folder.
    static void removeIfAbandoned(const RunFolder &folder, const QString &name);
    qint64 writtenSize() const;
    void stampDate(const QDateTime &date);
    void keepMode(const QString &outputName);
    bool flush(QString *error);
    bool giveName(QString *error);
    bool nameLeadsHere() const;
    bool renameTo(const QString &outputName, QString *error);
    void restampIfDropped(const QDateTime &date);
    void discard();
    void close();

    const QString sourceName;
    QString name; // empty while the file has no name
    bool committed = false;
    QString folderPath;
    int folder = -1; // the run's folder, duplicated: a file may outlast the run's handle
    int file = -1;
    void *handle = nullptr;
};
