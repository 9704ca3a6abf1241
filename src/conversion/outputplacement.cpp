#include "conversion/outputplacement.h"

#include "conversion/runfolder.h"
#include "conversion/unfinishedoutput.h"

#include <QDir>
#include <QFile>
#include <QSet>

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
        bool isNumber = false;
        token.toULongLong(&isNumber, 16);
        if (at >= 1 && token.size() == 16 && isNumber && clipParts.contains(name.mid(1, at - 1)))
            UnfinishedOutput::removeIfAbandoned(folder, name);
    }
}
