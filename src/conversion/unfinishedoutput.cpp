#include "conversion/unfinishedoutput.h"

#include "conversion/outputplacement.h"
#include "conversion/runfolder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
constexpr int nameAttempts = 16;

QString randomName(const QString &sourceName)
{
    return temporaryOutputName(sourceName, QRandomGenerator::system()->generate64());
}

#ifndef Q_OS_WIN
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

// An open-file-description lock: it tells any run, in any pid namespace or on
// another machine sharing the folder, that the file is being written.
bool takeLock(int file)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(file, F_OFD_SETLK, &lock) == 0;
}

bool holdsDate(int file, const struct timespec &when)
{
    struct stat info;
    return ::fstat(file, &info) == 0 && info.st_mtim.tv_sec == when.tv_sec &&
           info.st_mtim.tv_nsec == when.tv_nsec;
}

// Some FUSE and network file systems have no flush and say so; their data
// is then as safe as they make it, which is no reason to fail the clip.
bool flushUnsupported(int code)
{
    return code == EINVAL || code == ENOTSUP || code == EOPNOTSUPP || code == ENOSYS;
}
#endif
} // namespace

std::unique_ptr<UnfinishedOutput>
UnfinishedOutput::create(const RunFolder &folder, const QString &sourceName, QString *error)
{
    std::unique_ptr<UnfinishedOutput> output(new UnfinishedOutput);
    output->sourceName = sourceName;
#ifdef Q_OS_WIN
    for (int attempt = 0; attempt < nameAttempts && !output->handle; ++attempt) {
        const QString name = randomName(sourceName);
        const QString path = folder.path() + QLatin1Char('/') + name;
        // Without delete access: FFmpeg opens its output without sharing
        // deletion, which Windows refuses ("Permission denied") while another
        // handle may delete the file. Not hidden: FFmpeg truncates its output
        // with CREATE_ALWAYS and normal attributes, which Windows refuses for
        // a hidden file (Wine does not).
        const HANDLE made = CreateFileW(
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
            GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (made != INVALID_HANDLE_VALUE) {
            output->handle = made;
            output->name = name;
        } else if (GetLastError() != ERROR_FILE_EXISTS) {
            *error = qt_error_string(int(GetLastError()));
            return nullptr;
        }
    }
    if (!output->handle) {
        *error = QStringLiteral("no name was free for the unfinished MP4");
        return nullptr;
    }
    output->folderPath = folder.path();
#else
    output->folder = ::fcntl(folder.descriptor(), F_DUPFD_CLOEXEC, 3);
    if (output->folder < 0) {
        *error = QStringLiteral("the folder was moved or removed");
        return nullptr;
    }
#ifdef O_TMPFILE
    output->file = ::openat(output->folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (output->file < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        *error = systemError(errno);
        return nullptr;
    }
#endif
    for (int attempt = 0; attempt < nameAttempts && output->file < 0; ++attempt) {
        const QString name = randomName(sourceName);
        const int made = ::openat(output->folder, native(name).constData(),
                                  O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, 0666);
        if (made < 0) {
            if (errno == EEXIST)
                continue;
            *error = systemError(errno);
            return nullptr;
        }
        // The lock tells a starting run that this file is not abandoned. A
        // run that cleaned up between the open and the lock took the name away.
        const bool lockTaken = takeLock(made);
        if ((!lockTaken && (errno == EAGAIN || errno == EACCES)) ||
            !leadsTo(output->folder, name, made)) {
            ::close(made);
            continue;
        }
        output->file = made;
        output->name = name;
    }
    // The encoder's descriptor must not fall on its standard input or output,
    // which are set up for it after this.
    if (output->file >= 0 && output->file < 3) {
        const int moved = ::fcntl(output->file, F_DUPFD_CLOEXEC, 3);
        ::close(output->file);
        output->file = moved;
    }
    if (output->file < 0) {
        *error = QStringLiteral("no name was free for the unfinished MP4");
        return nullptr;
    }
#endif
    return output;
}

void UnfinishedOutput::removeIfAbandoned(const RunFolder &folder, const QString &name)
{
#ifdef Q_OS_WIN
    // A file still open for writing cannot be removed: the same test.
    QFile::remove(folder.path() + QLatin1Char('/') + name);
#else
    const int file = ::openat(folder.descriptor(), native(name).constData(),
                              O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return;
    if (takeLock(file) && leadsTo(folder.descriptor(), name, file))
        ::unlinkat(folder.descriptor(), native(name).constData(), 0);
    ::close(file);
#endif
}

UnfinishedOutput::~UnfinishedOutput()
{
#ifdef Q_OS_WIN
    if (handle && !placed) {
        // Deleted through a second handle on the same file, not by name: the
        // one held has no delete access (see create()).
        const HANDLE deleter =
            ReOpenFile(handle, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
        if (deleter != INVALID_HANDLE_VALUE) {
            FILE_DISPOSITION_INFO remove = {TRUE};
            SetFileInformationByHandle(deleter, FileDispositionInfo, &remove, sizeof remove);
            CloseHandle(deleter);
        }
    }
#else
    if (!placed && !name.isEmpty() && leadsTo(folder, name, file))
        ::unlinkat(folder, native(name).constData(), 0);
#endif
    close();
}

void UnfinishedOutput::close()
{
#ifdef Q_OS_WIN
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
#else
    if (file >= 0)
        ::close(file);
    if (folder >= 0)
        ::close(folder);
    file = -1;
    folder = -1;
#endif
}

QString UnfinishedOutput::encoderPath() const
{
#ifdef Q_OS_WIN
    return folderPath + QLatin1Char('/') + name;
#else
    return QStringLiteral("/dev/fd/") + QString::number(file);
#endif
}

int UnfinishedOutput::inheritedDescriptor() const
{
    return file;
}

QString UnfinishedOutput::place(const QString &outputName, const QDateTime &mp4Date)
{
#ifdef Q_OS_WIN
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(handle, &size) || size.QuadPart == 0)
        return QStringLiteral("the encoder wrote no file");
    if (mp4Date.isValid()) {
        // 100 ns steps since 1601.
        const qint64 ticks = (mp4Date.toMSecsSinceEpoch() + 11644473600000LL) * 10000;
        FILETIME time;
        time.dwLowDateTime = DWORD(ticks);
        time.dwHighDateTime = DWORD(ticks >> 32);
        SetFileTime(handle, nullptr, &time, &time);
    }
    if (!FlushFileBuffers(handle))
        return QStringLiteral("the MP4 could not be written to disk: ") +
               qt_error_string(int(GetLastError()));
    const QString target = folderPath + QLatin1Char('/') + outputName;
    if (!MoveFileExW(
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(encoderPath()).utf16()),
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()),
            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return QStringLiteral("the MP4 could not be put in place: ") +
               qt_error_string(int(GetLastError()));
    placed = true;
    close();
    return QString();
#else
    struct stat written;
    if (::fstat(file, &written) != 0 || written.st_size == 0)
        return QStringLiteral("the encoder wrote no file");

    struct timespec date[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    if (mp4Date.isValid()) {
        const qint64 ms = mp4Date.toMSecsSinceEpoch();
        // Rounded down, also before 1970, where the nanoseconds must not be negative.
        const qint64 seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
        date[0].tv_sec = time_t(seconds);
        date[0].tv_nsec = long(ms - seconds * 1000) * 1000000;
        date[1] = date[0];
        // Both times: a file system that drops a change of the modification
        // time alone (exfat-fuse) then takes it too.
        ::futimens(file, date);
    }
    struct stat replaced;
    if (::fstatat(folder, native(outputName).constData(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(replaced.st_mode))
        ::fchmod(file, replaced.st_mode & 0777);

    // A rename can reach the disk before the data does; after a power cut the
    // MP4 would then be empty under its final name.
    if (::fsync(file) != 0 && !flushUnsupported(errno))
        return QStringLiteral("the MP4 could not be written to disk: ") + systemError(errno);

    // A file without a name gets one for the moment before the rename: the
    // rename replaces what stands at the MP4's name, a link would not.
    for (int attempt = 0; attempt < nameAttempts && name.isEmpty(); ++attempt) {
        const QString linkName = randomName(sourceName);
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(file);
        const QByteArray link = native(linkName);
        // Without /proc mounted, only a privileged process can link a descriptor.
        if (::linkat(AT_FDCWD, self.constData(), folder, link.constData(), AT_SYMLINK_FOLLOW) ==
                0 ||
            (errno == ENOENT && ::linkat(file, "", folder, link.constData(), AT_EMPTY_PATH) == 0))
            name = linkName;
        else if (errno != EEXIST)
            return QStringLiteral("the MP4 could not be put in place: ") + systemError(errno);
    }
    if (name.isEmpty())
        return QStringLiteral("no name was free for the unfinished MP4");
    if (!leadsTo(folder, name, file))
        return QStringLiteral("the unfinished MP4 was replaced by another file");
    if (::renameat(folder, native(name).constData(), folder, native(outputName).constData()) != 0)
        return QStringLiteral("the MP4 could not be put in place: ") + systemError(errno);
    placed = true;

    if (mp4Date.isValid() && !holdsDate(file, date[1]))
        ::futimens(file, date);
    close();
    return QString();
#endif
}
