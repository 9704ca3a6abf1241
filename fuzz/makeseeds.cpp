// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// Makes the seeds the fuzz targets start from: the heads of clips that
// Debian's FFmpeg makes with camcorders' MDPM records put in (the tests' kit),
// and the encoder's captured outputs, each behind the byte that picks the
// size of the pieces it is fed in.
// Usage: fuzz_seeds <corpus folder> <folder of captured encoder outputs>
#include <QCoreApplication>
#include <QDir>

#include <vector>

#include "support/mdpmunits.h"
#include "support/mediatools.h"

namespace {
// The first frames: enough for the tables, the record and a few access units
// passed over, small enough to be read fast.
constexpr qint64 longestClipSeed = 16 * 1024;

bool writeSeed(const QString &path, const QByteArray &bytes)
{
    QFile seed(path);
    return seed.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           seed.write(bytes) == bytes.size();
}

bool makeClipSeeds(const QDir &corpus)
{
    struct Clip
    {
        const char *name;
        ClipOptions options;
    };
    const QByteArray paris = gpsEntries(48.8577, 2.2950, 35);
    const std::vector<Clip> clips{
        {"sony-paris.m2ts",
         ClipOptions().m2ts().withSei(juneSei(0x04, paris + makerEntries(0x0108, "HDR-CX405")))},
        {"panasonic-no-zone.mts", ClipOptions().withSei(juneSei(0xFF, makerEntries(0x0103)))},
        {"no-fix-yet-summer-west.m2ts",
         ClipOptions().m2ts().withSei(juneSei(0x6B, gpsEntries(-33.8568, -151.2153, -12, 'V')))},
        {"no-record.m2ts", ClipOptions().m2ts()},
    };
    QTemporaryDir work;
    for (const Clip &clip : clips) {
        const QString made = work.filePath(QString::fromLatin1(clip.name));
        QFile head(made);
        if (!makeClip(made, 1, clip.options) || !head.open(QIODevice::ReadOnly) ||
            !writeSeed(corpus.filePath(QString::fromLatin1(clip.name)), head.read(longestClipSeed)))
            return false;
    }
    return true;
}

bool makeOutputSeeds(const QDir &corpus, const QDir &captures)
{
    // Pieces of 1, 5, 101, 626, 1581 and 4065 bytes.
    const QByteArray pieceBytes = QByteArray::fromHex("000828649fff");
    const QStringList names =
        captures.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    for (qsizetype i = 0; i < names.size(); ++i) {
        QFile capture(captures.filePath(names.at(i)));
        if (!capture.open(QIODevice::ReadOnly) ||
            !writeSeed(corpus.filePath(names.at(i)),
                       pieceBytes.at(i % pieceBytes.size()) + capture.readAll()))
            return false;
    }
    return !names.isEmpty();
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <corpus folder> <captured outputs folder>\n", argv[0]);
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    const QDir captures(QString::fromLocal8Bit(argv[2]));
    if (!corpus.mkpath(QStringLiteral("camerarecord")) ||
        !corpus.mkpath(QStringLiteral("encoderoutput")) ||
        !makeClipSeeds(QDir(corpus.filePath(QStringLiteral("camerarecord")))) ||
        !makeOutputSeeds(QDir(corpus.filePath(QStringLiteral("encoderoutput"))), captures)) {
        std::fprintf(stderr, "fuzz_seeds: could not make the seeds in %s\n", argv[1]);
        return 1;
    }
    return 0;
}
