#include "conversion/outputplacement.h"

#include "conversion/runfolder.h"

#include <QDir>
#include <QFile>
#include <QSet>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
const QString marker = QStringLiteral(".tessel-");
const QString ending = QStringLiteral(".mp4");

// Room for the dot, the marker, a token and the ending within the 255
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

// Removes `name` if no one holds it. On Windows a file still open for writing
// cannot be removed, which is the same test.
void removeIfAbandoned(const RunFolder &folder, const QString &name)
{
#ifdef Q_OS_WIN
    QFile::remove(folder.path() + QLatin1Char('/') + name);
#else
    const QByteArray native = QFile::encodeName(name);
    const int file = ::openat(folder.descriptor(), native.constData(),
                              O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    struct stat held;
    struct stat atName;
    if (::fcntl(file, F_OFD_SETLK, &lock) == 0 && ::fstat(file, &held) == 0 &&
        ::fstatat(folder.descriptor(), native.constData(), &atName, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_dev == atName.st_dev && held.st_ino == atName.st_ino)
        ::unlinkat(folder.descriptor(), native.constData(), 0);
    ::close(file);
#endif
}
} // namespace

QString temporaryOutputName(const QString &sourceName, quint64 token)
{
    return QLatin1Char('.') + clipPart(sourceName) + marker +
           QStringLiteral("%1").arg(token, 16, 16, QLatin1Char('0')) + ending;
}

void removeAbandonedOutputs(const RunFolder &folder, const QStringList &sourceNames)
{
    const QStringList candidates =
        QDir(folder.path())
            .entryList({QStringLiteral(".*") + marker + QLatin1Char('*') + ending},
                       QDir::Files | QDir::Hidden);
    if (candidates.isEmpty())
        return;

    QSet<QString> clipParts;
    for (const QString &name : sourceNames)
        clipParts.insert(clipPart(name));
    for (const QString &name : candidates) {
        const qsizetype at = name.lastIndexOf(marker);
        const QString token =
            name.mid(at + marker.size(), name.size() - at - marker.size() - ending.size());
        bool isToken = token.size() == 16;
        token.toULongLong(&isToken, 16);
        if (at >= 1 && isToken && clipParts.contains(name.mid(1, at - 1)))
            removeIfAbandoned(folder, name);
    }
}
