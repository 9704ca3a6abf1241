#include "conversion/outputplacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace {
const QString marker = QStringLiteral(".tessel-");
const QString ending = QStringLiteral(".mp4");

// Room for the dot, the marker, a process id and the ending within the 255
// bytes that common file systems allow in a name.
constexpr int longestClipPart = 200;

QString clipPart(const QString &sourceName)
{
    QString part = sourceName;
    while (part.toUtf8().size() > longestClipPart) {
        part.chop(1);
        if (!part.isEmpty() && part.back().isHighSurrogate())
            part.chop(1);
    }
    return part;
}

bool processIsRunning(qint64 processId)
{
#ifdef Q_OS_WIN
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(processId));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    return ::kill(pid_t(processId), 0) == 0 || errno == EPERM;
#endif
}

bool flushToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}
} // namespace

QString temporaryOutputName(const QString &sourceName, qint64 processId)
{
    return QLatin1Char('.') + clipPart(sourceName) + marker + QString::number(processId) + ending;
}

void removeAbandonedOutputs(const QString &folder, const QStringList &sourceNames)
{
    QDir dir;
    dir.setPath(folder);
    const QStringList candidates = dir.entryList(
        {QStringLiteral(".*") + marker + QLatin1Char('*') + ending}, QDir::Files | QDir::Hidden);
    if (candidates.isEmpty())
        return;

    QSet<QString> clipParts;
    for (const QString &name : sourceNames)
        clipParts.insert(clipPart(name));
    for (const QString &name : candidates) {
        const qsizetype at = name.lastIndexOf(marker);
        bool isNumber = false;
        const qint64 owner =
            name.mid(at + marker.size(), name.size() - at - marker.size() - ending.size())
                .toLongLong(&isNumber);
        if (at < 1 || !isNumber || owner <= 0 || !clipParts.contains(name.mid(1, at - 1)))
            continue;
        if (!processIsRunning(owner))
            dir.remove(name);
    }
}

bool placeOutput(const QString &temporaryPath, const QString &outputPath, const QDateTime &shotAt,
                 QString *error)
{
    QFile written(temporaryPath);
    if (!written.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        *error = QStringLiteral("the encoder wrote no file");
        return false;
    }
    // Set on the file before it moves, so the MP4 never shows today's date.
    if (shotAt.isValid())
        written.setFileTime(shotAt, QFileDevice::FileModificationTime);
    // A rename can reach the disk before the data does; after a power cut the
    // MP4 would then be empty under its final name.
    if (!flushToDisk(written)) {
        *error = QStringLiteral("the MP4 could not be written to disk");
        return false;
    }
    written.close();

    std::error_code failure;
    std::filesystem::rename(QFileInfo(temporaryPath).filesystemFilePath(),
                            QFileInfo(outputPath).filesystemFilePath(), failure);
    if (failure) {
        *error = QStringLiteral("the MP4 could not be put in place: ") +
                 QString::fromStdString(failure.message());
        return false;
    }
    return true;
}
