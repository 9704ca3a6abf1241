// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/runfolder.h"

#include "conversion/extendedpath.h"

#include <QFileInfo>

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
