// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// Cost of the run itself per file: 2,000 clips, with an encoder that writes
// its output and exits at once, against the same commands in a plain QProcess
// loop (rounds alternate between the two; the headline is the median), and
// how resident memory grows as the run's rows accumulate.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "bench/conversion/benchkit.h"
#include "conversion/encodercommand.h"

namespace {
constexpr int fileCount = 2000;
constexpr int warmUpCount = 100;
constexpr int rounds = 5;

void fill(const QTemporaryDir &folder, int count)
{
    for (int i = 0; i < count; ++i) {
        QFile clip(folder.filePath(QStringLiteral("%1.mts").arg(i, 5, 10, QLatin1Char('0'))));
        if (clip.open(QIODevice::WriteOnly))
            clip.write("ok"); // the stand-in writes its MP4 and exits 0
    }
}

} // namespace

int main(int argc, char **argv)
{
    BenchApplication app(argc, argv);

    QTemporaryDir warmUp;
    fill(warmUp, warmUpCount);
    QTemporaryDir folder;
    fill(folder, fileCount);
    const QStringList names =
        QDir(folder.path()).entryList({QStringLiteral("*.mts")}, QDir::Files, QDir::Name);

    BenchWindow ui;
    ui.window.setEncoderPath(QStringLiteral(STANDIN_ENCODER));
    ui.convert(warmUp.path());

    // Resident memory each time another quarter of the rows is there, in the
    // first round (later rounds reuse what the first one freed).
    std::vector<long> residentAt;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const size_t quarters = size_t(ui.list->count() * 4 / fileCount);
        if (residentAt.size() <= quarters && residentAt.size() < 5)
            residentAt.push_back(residentKiB());
    });

    QString countText;
    std::vector<double> window;
    std::vector<double> plain;
    std::vector<double> placed;
    std::vector<double> ratios;
    std::vector<double> placedRatios;
    for (int round = 0; round < rounds; ++round) {
        if (round == 0)
            sampler.start(1);
        window.push_back(ui.convert(folder.path(), &countText));
        sampler.stop();
        plain.push_back(plainEncoderLoop(QStringLiteral(STANDIN_ENCODER), folder.path(), names));
        placed.push_back(
            plainEncoderLoop(QStringLiteral(STANDIN_ENCODER), folder.path(), names, true));
        ratios.push_back(window.back() / plain.back());
        placedRatios.push_back(window.back() / placed.back());
        std::printf("round %d: window %.3f ms per file, plain loop %.3f ms, plain loop with "
                    "flush and rename %.3f ms\n",
                    round + 1, window.back() / fileCount, plain.back() / fileCount,
                    placed.back() / fileCount);
    }

    std::printf("files: %d, encoder: stand-in that writes its MP4 at once; window said \"%s\"\n",
                fileCount, qPrintable(countText));
    std::printf("run: median %.3f ms per file (target < 3 ms); plain QProcess loop %.3f ms, "
                "ratio %.3f; plain loop that also flushes and renames %.3f ms, ratio %.3f "
                "(medians of %d rounds)\n",
                median(window) / fileCount, median(plain) / fileCount, median(ratios),
                median(placed) / fileCount, median(placedRatios), rounds);
    std::printf("resident memory as the rows of the first round came:");
    for (size_t i = 0; i < residentAt.size(); ++i)
        std::printf(" %zu%% +%.2f MiB", i * 25, double(residentAt[i] - residentAt[0]) / 1024.0);
    std::printf("\n");
    if (residentAt.size() == 5)
        std::printf("growth over %d files: %.2f MiB (target < 0.5 MiB); first half %.2f MiB, "
                    "second half %.2f MiB\n",
                    fileCount, double(residentAt[4] - residentAt[0]) / 1024.0,
                    double(residentAt[2] - residentAt[0]) / 1024.0,
                    double(residentAt[4] - residentAt[2]) / 1024.0);
    return 0;
}
