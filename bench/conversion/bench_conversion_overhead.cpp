// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// Time for 20 real clips through the window, against the same 20 FFmpeg
// commands run one after another by a plain QProcess loop in the same run.
// Rounds alternate between the two, so both see the same load on the
// machine; the headline is the median of the rounds' ratios.
#include <QDir>
#include <QTemporaryDir>

#include "bench/conversion/benchkit.h"
#include "conversion/encodercommand.h"
#include "support/mediatools.h"

namespace {
constexpr int clipCount = 20;
constexpr int rounds = 5;

} // namespace

int main(int argc, char **argv)
{
    BenchApplication app(argc, argv);

    QTemporaryDir folder;
    const QString first = folder.filePath(QStringLiteral("clip00.mts"));
    if (!makeClip(first, 3, ClipOptions().frameSize(QStringLiteral("320x240")))) {
        std::fprintf(stderr, "cannot generate a clip with %s\n", qPrintable(ffmpegProgram));
        return 1;
    }
    QStringList names{QStringLiteral("clip00.mts")};
    for (int i = 1; i < clipCount; ++i) {
        names << QStringLiteral("clip%1.mts").arg(i, 2, 10, QLatin1Char('0'));
        QFile::copy(first, folder.filePath(names.last()));
    }

    BenchWindow ui;
    ui.window.setEncoderPath(ffmpegProgram);
    QString countText;
    ui.convert(folder.path(), &countText); // warm-up: caches, first start of FFmpeg

    std::vector<double> plain;
    std::vector<double> window;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        plain.push_back(plainEncoderLoop(ffmpegProgram, folder.path(), names));
        window.push_back(ui.convert(folder.path(), &countText));
        ratios.push_back(window.back() / plain.back());
        std::printf("round %d: plain loop %.1f ms, window %.1f ms, ratio %.3f\n", round + 1,
                    plain.back(), window.back(), ratios.back());
    }

    std::printf("clips: %d x 3 s 320x240 H.264 + AC-3 (MPEG-TS); window said \"%s\"\n", clipCount,
                qPrintable(countText));
    std::printf("plain QProcess loop: median %.1f ms (%.1f ms per clip)\n", median(plain),
                median(plain) / clipCount);
    std::printf("through the window:  median %.1f ms (%.1f ms per clip), MP4s written aside, "
                "flushed and renamed\n",
                median(window), median(window) / clipCount);
    std::printf("ratio window / plain, median of %d rounds: %.3f (target < 1.03)\n", rounds,
                median(ratios));
    return 0;
}
