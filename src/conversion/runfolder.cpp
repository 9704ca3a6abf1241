#include "conversion/runfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
#ifdef Q_OS_UNIX
ClipIdentity fromStat(const struct stat &info)
{
    ClipIdentity identity;
    identity.exists = true;
    identity.device = qint64(info.st_dev);
    identity.inode = qint64(info.st_ino);
    identity.size = qint64(info.st_size);
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.changedNs = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    return identity;
}
#elif defined(Q_OS_WIN)
// Windows file times count 100 ns steps since 1601.
qint64 sinceEpochNs(const LARGE_INTEGER &time)
{
    return (time.QuadPart - 116444736000000000LL) * 100;
}

// The volume and file index are Windows' device and inode; ChangeTime moves
// with every write, also one that puts size and date back as they were.
ClipIdentity identifyFile(const QString &path)
{
    ClipIdentity identity;
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                    FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return identity;
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO times;
    if (GetFileInformationByHandle(file, &info) &&
        GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times)) {
        identity.exists = true;
        identity.device = qint64(info.dwVolumeSerialNumber);
        identity.inode = (qint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        identity.size = (qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        identity.modifiedNs = sinceEpochNs(times.LastWriteTime);
        identity.changedNs = sinceEpochNs(times.ChangeTime);
    }
    CloseHandle(file);
    return identity;
}
#else
ClipIdentity identifyFile(const QString &path)
{
    const QFileInfo info(path);
    ClipIdentity identity;
    if (!info.exists())
        return identity;
    identity.exists = true;
    identity.size = info.size();
    identity.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    identity.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000;
    return identity;
}
#endif
} // namespace

RunFolder::RunFolder(const QString &path) : absolutePath(QFileInfo(path).absoluteFilePath())
{
#ifdef Q_OS_UNIX
    handle =
        ::open(QFile::encodeName(absolutePath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
}

RunFolder::~RunFolder()
{
#ifdef Q_OS_UNIX
    if (handle >= 0)
        ::close(handle);
#endif
}

bool RunFolder::stillInPlace() const
{
#ifdef Q_OS_UNIX
    struct stat now;
    struct stat held;
    return handle >= 0 && ::stat(QFile::encodeName(absolutePath).constData(), &now) == 0 &&
           ::fstat(handle, &held) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino;
#else
    // Without a handle on the folder, the best check is that the path is
    // still a folder.
    return QFileInfo(absolutePath).isDir();
#endif
}

ClipIdentity RunFolder::identify(const QString &name) const
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (handle < 0 || ::fstatat(handle, QFile::encodeName(name).constData(), &info, 0) != 0)
        return ClipIdentity();
    return fromStat(info);
#else
    return identifyFile(absolutePath + QLatin1Char('/') + name);
#endif
}
