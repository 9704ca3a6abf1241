#include "conversion/unfinishedoutput.h"

#include "conversion/runfolder.h"

#include <QDir>
#include <QFile>

#include <windows.h>

namespace {
constexpr int nameAttempts = 16;

const wchar_t *native(const QString &path)
{
    return reinterpret_cast<const wchar_t *>(path.utf16());
}

QString lastError()
{
    return qt_error_string(int(GetLastError()));
}
} // namespace

bool UnfinishedOutput::make(const RunFolder &folder, QString *error)
{
    folderPath = QDir::toNativeSeparators(folder.path());
    for (int attempt = 0; attempt < nameAttempts && !handle; ++attempt) {
        const QString candidate = randomName();
        // Without delete access: FFmpeg opens its output without sharing
        // deletion, which Windows refuses ("Permission denied") while another
        // handle may delete the file. Not hidden: FFmpeg truncates its output
        // with CREATE_ALWAYS and normal attributes, which Windows refuses for
        // a hidden file (Wine does not).
        const HANDLE made = CreateFileW(native(folderPath + QLatin1Char('\\') + candidate),
                                        GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (made != INVALID_HANDLE_VALUE) {
            handle = made;
            name = candidate;
        } else if (GetLastError() != ERROR_FILE_EXISTS) {
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
    // The holder shares deletion with FFmpeg, so this removes a file that a
    // running Tessel still holds as well.
    QFile::remove(folder.filePath(name));
}

QString UnfinishedOutput::encoderPath() const
{
    return QDir::fromNativeSeparators(folderPath) + QLatin1Char('/') + name;
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
        CreateFileW(native(folderPath + QLatin1Char('\\') + name), FILE_READ_ATTRIBUTES,
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
    if (MoveFileExW(native(folderPath + QLatin1Char('\\') + name),
                    native(folderPath + QLatin1Char('\\') + outputName),
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
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
}
