// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// Time to read one clip's camera record from its file, against reading the
// first 4 MiB of the same file with a plain QFile::read, in the same rounds.
// Two clips of 1080p H.264 in 192-byte packets, as AVCHD writes them: one with
// a record (date, position, make and model) in its first frame, one without a
// record (the reader goes through its whole 4 MiB). The files are read once before the rounds, so
// both sides find them in the page cache; the headline is the median of the rounds.
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "bench/conversion/benchkit.h"
#include "conversion/camerarecord.h"
#include "conversion/encodercommand.h"
#include "conversion/runfolder.h"
#include "support/mdpmunits.h"
#include "support/mediatools.h"

namespace {
constexpr int rounds = 31;

// Two seconds of detailed 1080p at a high quality: about 10 MiB, more than the
// reader's bound.
bool makeClips(const QTemporaryDir &dir)
{
    const ClipOptions large =
        ClipOptions().frameSize(QStringLiteral("1920x1080")).pattern(QStringLiteral("testsrc2"));
    return makeClip(dir.filePath(QStringLiteral("plain.MTS")), 2,
                    ClipOptions(large).video({"-qp", "8"}).m2ts()) &&
           makeClip(dir.filePath(QStringLiteral("dated.MTS")), 2,
                    ClipOptions(large)
                        .video({"-qp", "8"})
                        .m2ts()
                        .withSei(juneSei(0x04, gpsEntries(48.8577, 2.2950) +
                                                   makerEntries(0x0108, "HDR-CX405"))));
}

double msOf(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

qint64 plainRead(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.read(cameraRecordReadLimit).size();
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!makeClips(dir)) {
        std::fprintf(stderr, "cannot make the clips with %s\n", qPrintable(ffmpegProgram));
        return 1;
    }

    const RunFolder folder(dir.path());
    for (const char *name : {"dated.MTS", "plain.MTS"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        const CameraRecord camera = cameraRecordOfClip(folder, QString::fromLatin1(name));
        const QStringList tags = cameraMetadataArguments(camera);
        std::printf("%s: %.1f MiB, record: %s\n", name, double(QFileInfo(path).size()) / (1 << 20),
                    tags.isEmpty() ? "none" : qPrintable(tags.join(' ')));
        plainRead(path); // into the page cache
        std::vector<double> reader;
        std::vector<double> plain;
        for (int round = 0; round < rounds; ++round) {
            reader.push_back(msOf([&] { cameraRecordOfClip(folder, QString::fromLatin1(name)); }));
            plain.push_back(msOf([&] { plainRead(path); }));
        }
        std::printf("  record reader %.2f ms (target < 5 ms), plain QFile::read of 4 MiB %.2f ms: "
                    "%.2f x; medians of %d interleaved rounds\n",
                    median(reader), median(plain), median(reader) / median(plain), rounds);
    }
    return 0;
}
