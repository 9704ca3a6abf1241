// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/unfinishedoutput.h"

#include "conversion/runfolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int nameAttempts = 16;

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QByteArray native(const QString &name)
{
    return QFile::encodeName(name);
}

// Whether `name` in `folder` is, without following a link, the file open as `file`.
bool leadsTo(int folder, const QString &name, int file)
{
    struct stat atName;
    struct stat held;
    return ::fstatat(folder, native(name).constData(), &atName, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(file, &held) == 0 && atName.st_dev == held.st_dev &&
           atName.st_ino == held.st_ino;
}

// Tells any run, in any pid namespace or on another machine sharing the
// folder, that the file is being written. Linux locks the open file
// description, which no other process of Tessel's inherits; elsewhere the
// process's own lock is the nearest there is.
bool takeLock(int file)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
    return ::fcntl(file, F_OFD_SETLK, &lock) == 0;
#else
    return ::fcntl(file, F_SETLK, &lock) == 0;
#endif
}

// Some FUSE and network file systems have no flush and say so; their data
// is then as safe as they make it, which is no reason to fail the clip.
bool flushUnsupported(int code)
{
    return code == EINVAL || code == ENOTSUP || code == EOPNOTSUPP || code == ENOSYS;
}

struct timespec asFileTime(const QDateTime &date)
{
    const qint64 ms = date.toMSecsSinceEpoch();
    // Rounded down, also before 1970, where the nanoseconds must not be negative.
    const qint64 seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    return {time_t(seconds), long(ms - seconds * 1000) * 1000000};
}

// A file without a name that the folder's file system can make: the MP4 is
// then never seen half-written, and leaves nothing if Tessel is killed.
int makeNameless(int folder)
{
#ifdef O_TMPFILE
    const int file = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (file >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return file;
#else
    Q_UNUSED(folder);
#endif
    errno = EOPNOTSUPP;
    return -1;
}

// Links the nameless `file` into `folder` as `name`.
bool linkNameless(int file, int folder, const QByteArray &name)
{
#ifdef Q_OS_LINUX
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file);
    if (::linkat(AT_FDCWD, self.constData(), folder, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    // Without /proc mounted, only a privileged process can link a descriptor.
    return errno == ENOENT && ::linkat(file, "", folder, name.constData(), AT_EMPTY_PATH) == 0;
#else
    Q_UNUSED(file);
    Q_UNUSED(folder);
    Q_UNUSED(name);
    errno = ENOTSUP; // nameless files are Linux's alone, so never reached
    return false;
#endif
}
} // namespace

QString UnfinishedOutput::workFolder()
{
    return QString();
}

bool UnfinishedOutput::make(const RunFolder &runFolder, QString *error)
{
    folderPath = runFolder.path();
    folder = ::fcntl(runFolder.descriptor(), F_DUPFD_CLOEXEC, 3);
    if (folder < 0) {
        *error = QStringLiteral("the folder was moved or removed");
        return false;
    }
    file = makeNameless(folder);
    if (file < 0 && errno != EOPNOTSUPP) {
        *error = systemError(errno);
        return false;
    }
    // Locked even while it has no name: it gets one before the rename, and a
    // sweep in between must not take that name away.
    if (file >= 0)
        takeLock(file);
    for (int attempt = 0; attempt < nameAttempts && file < 0; ++attempt) {
        const QString candidate = randomName();
        const int made = ::openat(folder, native(candidate).constData(),
                                  O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, 0666);
        if (made < 0) {
            if (errno == EEXIST)
                continue;
            *error = systemError(errno);
            return false;
        }
        // A run that swept between the open and the lock took the name away.
        const bool lockTaken = takeLock(made);
        if ((!lockTaken && (errno == EAGAIN || errno == EACCES)) ||
            !leadsTo(folder, candidate, made)) {
            ::close(made);
            continue;
        }
        file = made;
        name = candidate;
    }
    // The encoder's descriptor must not fall on its standard input or output,
    // which are set up for it after this.
    if (file >= 0 && file < 3) {
        const int moved = ::fcntl(file, F_DUPFD_CLOEXEC, 3);
        ::close(file);
        file = moved;
    }
    if (file < 0) {
        *error = QStringLiteral("no name was free for the unfinished MP4");
        return false;
    }
    return true;
}

void UnfinishedOutput::removeIfAbandoned(const RunFolder &folder, const QString &name)
{
    const int file = ::openat(folder.descriptor(), native(name).constData(),
                              O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return;
    if (takeLock(file) && leadsTo(folder.descriptor(), name, file))
        ::unlinkat(folder.descriptor(), native(name).constData(), 0);
    ::close(file);
}

QString UnfinishedOutput::encoderPath() const
{
    return QStringLiteral("/dev/fd/") + QString::number(file);
}

int UnfinishedOutput::inheritedDescriptor() const
{
    return file;
}

qint64 UnfinishedOutput::writtenSize() const
{
    struct stat written;
    return ::fstat(file, &written) == 0 ? qint64(written.st_size) : -1;
}

void UnfinishedOutput::stampDate(const QDateTime &date)
{
    if (!date.isValid())
        return;
    const struct timespec times[2] = {asFileTime(date), asFileTime(date)};
    // Both times: a file system that drops a change of the modification
    // time alone (exfat-fuse) then takes it too.
    ::futimens(file, times);
}

void UnfinishedOutput::keepMode(const QString &outputName)
{
    struct stat replaced;
    if (::fstatat(folder, native(outputName).constData(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(replaced.st_mode))
        ::fchmod(file, replaced.st_mode & 0777);
}

bool UnfinishedOutput::flush(QString *error)
{
    if (::fsync(file) == 0 || flushUnsupported(errno))
        return true;
    *error = systemError(errno);
    return false;
}

// A nameless file gets one for the moment before the rename: the rename
// replaces what stands at the MP4's name, a link would not.
bool UnfinishedOutput::giveName(QString *error)
{
    for (int attempt = 0; attempt < nameAttempts && name.isEmpty(); ++attempt) {
        const QString candidate = randomName();
        if (linkNameless(file, folder, native(candidate))) {
            name = candidate;
        } else if (errno != EEXIST) {
            *error = QStringLiteral("the MP4 could not be put in place: ") + systemError(errno);
            return false;
        }
    }
    if (name.isEmpty()) {
        *error = QStringLiteral("no name was free for the unfinished MP4");
        return false;
    }
    return true;
}

bool UnfinishedOutput::nameLeadsHere() const
{
    return leadsTo(folder, name, file);
}

bool UnfinishedOutput::renameTo(const QString &outputName, QString *error)
{
    if (::renameat(folder, native(name).constData(), folder, native(outputName).constData()) == 0)
        return true;
    *error = systemError(errno);
    return false;
}

void UnfinishedOutput::restampIfDropped(const QDateTime &date)
{
    if (!date.isValid())
        return;
    struct stat info;
    const struct timespec wanted = asFileTime(date);
    if (::fstat(file, &info) != 0 || info.st_mtim.tv_sec != wanted.tv_sec ||
        info.st_mtim.tv_nsec != wanted.tv_nsec)
        stampDate(date);
}

void UnfinishedOutput::discard()
{
    if (!name.isEmpty() && leadsTo(folder, name, file))
        ::unlinkat(folder, native(name).constData(), 0);
}

void UnfinishedOutput::close()
{
    if (file >= 0)
        ::close(file);
    if (folder >= 0)
        ::close(folder);
    file = -1;
    folder = -1;
}
