// Time for 20 real clips through the window, against the same 20 FFmpeg
// commands run one after another by a plain QProcess loop in the same run.
// Rounds alternate between the two, so both see the same load on the
// machine; the headline is the median of the rounds' ratios.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "bench/conversion/benchkit.h"
#include "conversion/conversionnaming.h"

namespace {
constexpr int clipCount = 20;
constexpr int rounds = 5;

bool generateClip(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral(FFMPEG_PATH), {"-v",
                                               "error",
                                               "-y",
                                               "-f",
                                               "lavfi",
                                               "-i",
                                               "testsrc=size=320x240:rate=25:duration=3",
                                               "-f",
                                               "lavfi",
                                               "-i",
                                               "sine=frequency=440:duration=3",
                                               "-ac",
                                               "2",
                                               "-c:v",
                                               "libx264",
                                               "-preset",
                                               "ultrafast",
                                               "-c:a",
                                               "ac3",
                                               "-f",
                                               "mpegts",
                                               path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    headlessUnlessSet();
    QApplication app(argc, argv);
    const IsolatedSettings settings;
    dropDebugLines();

    QTemporaryDir folder;
    const QString first = folder.filePath(QStringLiteral("clip00.mts"));
    if (!generateClip(first)) {
        std::fprintf(stderr, "cannot generate a clip with %s\n", FFMPEG_PATH);
        return 1;
    }
    QStringList names{QStringLiteral("clip00.mts")};
    for (int i = 1; i < clipCount; ++i) {
        names << QStringLiteral("clip%1.mts").arg(i, 2, 10, QLatin1Char('0'));
        QFile::copy(first, folder.filePath(names.last()));
    }

    BenchWindow ui;
    ui.window.setEncoderPath(QStringLiteral(FFMPEG_PATH));
    QString countText;
    ui.convert(folder.path(), &countText); // warm-up: caches, first start of FFmpeg

    std::vector<double> plain;
    std::vector<double> window;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        plain.push_back(plainEncoderLoop(QStringLiteral(FFMPEG_PATH), folder.path(), names));
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
