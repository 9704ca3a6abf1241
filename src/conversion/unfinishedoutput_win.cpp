// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/unfinishedoutput.h"

#include "conversion/extendedpath.h"
#include "conversion/runfolder.h"

#include <windows.h>

namespace {
constexpr int nameAttempts = 16;

// A leading dot hides nothing in Explorer, and the file itself cannot be
// hidden (see make()): it lies in a hidden folder beside the clips, on their
// volume, so the rename stays one step.
const QString workFolderName = QStringLiteral(".tessel-unfinished");

// Every path Tessel hands Windows itself, in the form that passes MAX_PATH.
QString inFolder(const QString &folder, const QString &name)
{
    return extendedLengthPath(folder + QLatin1Char('/') + name);
}

QString inWorkFolder(const QString &folder, const QString &name)
{
    return inFolder(folder, workFolderName + QLatin1Char('/') + name);
}

const wchar_t *native(const QString &path)
{
    return reinterpret_cast<const wchar_t *>(path.utf16());
}

QString lastError()
{
    return qt_error_string(int(GetLastError()));
}

// The name was taken, or the work folder went since it was made: Windows
// says the path is not found, Wine the file when the folder goes during the
// open.
bool worthAnotherAttempt(DWORD failure)
{
    return failure == ERROR_FILE_EXISTS || failure == ERROR_PATH_NOT_FOUND ||
           failure == ERROR_FILE_NOT_FOUND;
}
} // namespace

QString UnfinishedOutput::workFolder()
{
    return workFolderName;
}

bool UnfinishedOutput::make(const RunFolder &folder, QString *error)
{
    folderPath = folder.path();
    const QString work = inFolder(folderPath, workFolderName);
    for (int attempt = 0; attempt < nameAttempts && !handle; ++attempt) {
        // Made again when the clip before this one, or the last Tessel to
        // leave it, took it away meanwhile.
        if (CreateDirectoryW(native(work), nullptr)) {
            SetFileAttributesW(native(work), FILE_ATTRIBUTE_HIDDEN);
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            *error = lastError();
            return false;
        }
        const QString candidate = randomName();
        // Without delete access: FFmpeg opens its output without sharing
        // deletion, which Windows refuses ("Permission denied") while another
        // handle may delete the file. Not hidden: FFmpeg truncates its output
        // with CREATE_ALWAYS and normal attributes, which Windows refuses for
        // a hidden file (Wine does not). Held from its making to its end,
        // which is what keeps another Tessel's sweep away (see
        // removeIfAbandoned()).
        const HANDLE made =
            CreateFileW(native(inWorkFolder(folderPath, candidate)), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (made != INVALID_HANDLE_VALUE) {
            handle = made;
            name = candidate;
        } else if (!worthAnotherAttempt(GetLastError())) {
            *error = lastError();
            return false;
        }
    }
    if (!handle) {
        *error = QStringLiteral("no name was free for the unfinished MP4");
        return false;
    }
    return true;
}

void UnfinishedOutput::removeIfAbandoned(const RunFolder &folder, const QString &name)
{
    // A running Tessel shares deletion (see make()), so a deletion by name
    // would only mark its file, and FFmpeg's open or the rename would then
    // fail. Opened without sharing, the file opens only while nobody holds
    // it, and is deleted through this handle before anyone can.
    const HANDLE file =
        CreateFileW(native(inFolder(folder.path(), name)), DELETE | FILE_READ_ATTRIBUTES, 0,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    BY_HANDLE_FILE_INFORMATION info;
    // A link planted at such a name stays, as on Linux.
    if (GetFileInformationByHandle(file, &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        FILE_DISPOSITION_INFO remove = {TRUE};
        SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
    }
    CloseHandle(file);
}

// FFmpeg extends a long path itself.
QString UnfinishedOutput::encoderPath() const
{
    return folderPath + QLatin1Char('/') + workFolderName + QLatin1Char('/') + name;
}

int UnfinishedOutput::inheritedDescriptor() const
{
    return -1;
}

qint64 UnfinishedOutput::writtenSize() const
{
    LARGE_INTEGER size = {};
    return GetFileSizeEx(handle, &size) ? qint64(size.QuadPart) : -1;
}

void UnfinishedOutput::stampDate(const QDateTime &date)
{
    if (!date.isValid())
        return;
    // 100 ns steps since 1601.
    const qint64 ticks = (date.toMSecsSinceEpoch() + 11644473600000LL) * 10000;
    FILETIME time;
    time.dwLowDateTime = DWORD(ticks);
    time.dwHighDateTime = DWORD(ticks >> 32);
    SetFileTime(handle, nullptr, &time, &time);
}

// The new file's security comes from the folder, as a replaced one's did.
void UnfinishedOutput::keepMode(const QString &) {}

bool UnfinishedOutput::flush(QString *error)
{
    if (FlushFileBuffers(handle))
        return true;
    *error = lastError();
    return false;
}

// Made with its name, which it keeps until the rename.
bool UnfinishedOutput::giveName(QString *)
{
    return true;
}

// The holder shares deletion (see make()), so once the encoder has closed
// the file another program could have moved something else to its name.
bool UnfinishedOutput::nameLeadsHere() const
{
    const HANDLE atName =
        CreateFileW(native(inWorkFolder(folderPath, name)), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (atName == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION there;
    BY_HANDLE_FILE_INFORMATION held;
    const bool same =
        GetFileInformationByHandle(atName, &there) && GetFileInformationByHandle(handle, &held) &&
        there.dwVolumeSerialNumber == held.dwVolumeSerialNumber &&
        there.nFileIndexHigh == held.nFileIndexHigh && there.nFileIndexLow == held.nFileIndexLow;
    CloseHandle(atName);
    return same;
}

bool UnfinishedOutput::renameTo(const QString &outputName, QString *error)
{
    if (MoveFileExW(native(inWorkFolder(folderPath, name)),
                    native(inFolder(folderPath, outputName)),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = lastError();
    return false;
}

// The date is set on the held handle, which the rename does not change.
void UnfinishedOutput::restampIfDropped(const QDateTime &) {}

void UnfinishedOutput::discard()
{
    if (!handle)
        return;
    // Deleted through a second handle on the same file, not by name: the
    // one held has no delete access (see make()).
    const HANDLE deleter =
        ReOpenFile(handle, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (deleter != INVALID_HANDLE_VALUE) {
        FILE_DISPOSITION_INFO remove = {TRUE};
        SetFileInformationByHandle(deleter, FileDispositionInfo, &remove, sizeof remove);
        CloseHandle(deleter);
    }
}

void UnfinishedOutput::close()
{
    if (!handle)
        return;
    // A discarded file goes with the last handle on it; then the work folder
    // goes too, unless another Tessel's file is in it.
    CloseHandle(handle);
    handle = nullptr;
    RemoveDirectoryW(native(inFolder(folderPath, workFolderName)));
}
