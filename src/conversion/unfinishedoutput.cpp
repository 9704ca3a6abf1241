// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/unfinishedoutput.h"

#include "conversion/runfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QRandomGenerator>
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

QString UnfinishedOutput::nameFor(const QString &sourceName, quint64 token)
{
    return QLatin1Char('.') + clipPart(sourceName) + marker +
           QStringLiteral("%1").arg(token, 16, 16, QLatin1Char('0')) + ending;
}

QString UnfinishedOutput::randomName() const
{
    return nameFor(sourceName, QRandomGenerator::system()->generate64());
}

std::unique_ptr<UnfinishedOutput>
UnfinishedOutput::create(const RunFolder &folder, const QString &sourceName, QString *error)
{
    std::unique_ptr<UnfinishedOutput> output(new UnfinishedOutput(sourceName));
    if (!output->make(folder, error))
        return nullptr;
    return output;
}

void UnfinishedOutput::removeAbandoned(const RunFolder &folder, const QStringList &sourceNames)
{
    QSet<QString> clipParts;
    for (const QString &name : sourceNames)
        clipParts.insert(clipPart(name));
    // The folder itself too where files are made in a work folder: Tessel
    // made them beside the clips before.
    QStringList places{QString()};
    if (!workFolder().isEmpty())
        places << workFolder() + QLatin1Char('/');
    for (const QString &place : places) {
        // Sifted here, not by a name filter: a filter is a regular expression,
        // whose per-thread state, left in a pool thread, hung the Windows
        // build's exit now and then under Wine. Walked an entry at a time: a
        // listing of a card's thousands of entries at once would stay
        // resident in the pool thread's heap.
        QStringList leftovers;
        QDirIterator entries(folder.filePath(place), QDir::Files | QDir::Hidden);
        while (entries.hasNext()) {
            entries.next();
            const QString name = entries.fileName();
            if (!name.startsWith(QLatin1Char('.')) || !name.endsWith(ending))
                continue;
            const qsizetype at = name.lastIndexOf(marker);
            const QString token =
                name.mid(at + marker.size(), name.size() - at - marker.size() - ending.size());
            bool isNumber = false;
            token.toULongLong(&isNumber, 16);
            if (at >= 1 && token.size() == 16 && isNumber &&
                clipParts.contains(name.mid(1, at - 1)))
                leftovers << name;
        }
        for (const QString &name : std::as_const(leftovers))
            removeIfAbandoned(folder, place + name);
    }
    // Only an empty one goes: another Tessel may be writing into it.
    if (!workFolder().isEmpty())
        QDir(folder.path()).rmdir(workFolder());
}

UnfinishedOutput::~UnfinishedOutput()
{
    if (!committed)
        discard();
    close();
}

QString UnfinishedOutput::commit(const QString &outputName, const QDateTime &date)
{
    if (writtenSize() <= 0)
        return QStringLiteral("the encoder wrote no file");
    stampDate(date);
    keepMode(outputName);
    QString why;
    // A rename can reach the disk before the data does; after a power cut the
    // MP4 would then be empty under its final name.
    if (!flush(&why))
        return QStringLiteral("the MP4 could not be written to disk: ") + why;
    if (!giveName(&why))
        return why;
    if (!nameLeadsHere())
        return QStringLiteral("the unfinished MP4 was replaced by another file");
    if (!renameTo(outputName, &why))
        return QStringLiteral("the MP4 could not be put in place: ") + why;
    committed = true;
    restampIfDropped(date);
    close();
    return QString();
}
