// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/runfolder.h"

#include "conversion/extendedpath.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {
// Windows file times count 100 ns steps since 1601.
qint64 sinceEpochNs(const LARGE_INTEGER &time)
{
    return (time.QuadPart - 116444736000000000LL) * 100;
}
} // namespace

RunFolder::RunFolder(const QString &path) : absolutePath(QFileInfo(path).absoluteFilePath()) {}

RunFolder::~RunFolder() = default;

bool RunFolder::stillInPlace() const
{
    // Without a handle on the folder, the best check is that the path is
    // still a folder.
    return QFileInfo(absolutePath).isDir();
}

// The volume and file index are Windows' device and inode; ChangeTime moves
// with every write, also one that puts size and date back as they were.
ClipIdentity RunFolder::identify(const QString &name) const
{
    ClipIdentity identity;
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t *>(extendedLengthPath(filePath(name)).utf16()),
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

std::unique_ptr<QFile> RunFolder::openForReading(const QString &name) const
{
    const HANDLE handle =
        CreateFileW(reinterpret_cast<const wchar_t *>(extendedLengthPath(filePath(name)).utf16()),
                    GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        return nullptr;
    }
    // Binary: in text mode the C library would turn CR LF into LF and stop at Ctrl-Z.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        _close(fd); // closes the handle too
        return nullptr;
    }
    return file;
}
