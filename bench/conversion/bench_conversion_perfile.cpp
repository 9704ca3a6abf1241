// Cost of the run itself per file: 2,000 clips, with an encoder that exits at
// once, and the growth of resident memory over the run.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "bench/conversion/benchkit.h"
#include "conversion/conversionnaming.h"

namespace {
constexpr int fileCount = 2000;
constexpr int warmUpCount = 100;

void fill(const QTemporaryDir &folder, int count)
{
    for (int i = 0; i < count; ++i) {
        QFile clip(folder.filePath(QStringLiteral("%1.mts").arg(i, 5, 10, QLatin1Char('0'))));
        clip.open(QIODevice::WriteOnly); // empty: the stand-in exits 0 at once
    }
}

} // namespace

int main(int argc, char **argv)
{
    headlessUnlessSet();
    QApplication app(argc, argv);
    const IsolatedSettings settings;
    dropDebugLines();

    QTemporaryDir warmUp;
    fill(warmUp, warmUpCount);
    QTemporaryDir folder;
    fill(folder, fileCount);

    BenchWindow ui;
    ui.window.setEncoderPath(QStringLiteral(STANDIN_ENCODER));
    const long startKiB = residentKiB();
    ui.convert(warmUp.path());
    const long beforeKiB = residentKiB();
    QString countText;
    const double totalMs = ui.convert(folder.path(), &countText);
    const long afterKiB = residentKiB();
    const double plainMs = plainEncoderLoop(
        QStringLiteral(STANDIN_ENCODER), folder.path(),
        QDir(folder.path()).entryList({QStringLiteral("*.mts")}, QDir::Files, QDir::Name));

    std::printf("files: %d, encoder: stand-in that exits at once; window said \"%s\"\n", fileCount,
                qPrintable(countText));
    std::printf("run: %.0f ms, %.3f ms per file (target < 5 ms)\n", totalMs, totalMs / fileCount);
    std::printf("plain QProcess loop, same commands: %.3f ms per file; the window adds %.3f ms\n",
                plainMs / fileCount, (totalMs - plainMs) / fileCount);
    std::printf("resident memory: %ld KiB at start, %ld KiB after a %d-file warm-up run, "
                "%ld KiB after the run\n",
                startKiB, beforeKiB, warmUpCount, afterKiB);
    std::printf("growth over the run: %.2f MiB (target < 2 MiB), of which the %d list rows are "
                "part\n",
                double(afterKiB - beforeKiB) / 1024.0, fileCount);
    return 0;
}
