// How live the window stays while the encoder prints without pause: the
// longest gap between two ticks of a 10 ms timer in the window's thread.
#include <QTemporaryDir>

#include <algorithm>

#include "bench/conversion/benchkit.h"

int main(int argc, char **argv)
{
    headlessUnlessSet();
    QApplication app(argc, argv);
    const IsolatedSettings settings;
    dropDebugLines();

    constexpr int chatterMs = 3000;
    QTemporaryDir folder;
    for (const char *name : {"a.mts", "b.mts"}) {
        QFile clip(folder.filePath(QString::fromLatin1(name)));
        clip.open(QIODevice::WriteOnly);
        clip.write(QByteArray("chatter ") + QByteArray::number(chatterMs) + " ok");
    }

    BenchWindow ui;
    ui.window.setEncoderPath(QStringLiteral(STANDIN_ENCODER));

    QElapsedTimer sinceTick;
    qint64 longestGapUs = 0;
    long ticks = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            longestGapUs = std::max(longestGapUs, sinceTick.nsecsElapsed() / 1000);
        sinceTick.start();
        ++ticks;
    });
    ticker.start(10);
    QString countText;
    const double totalMs = ui.convert(folder.path(), &countText);
    ticker.stop();

    std::printf("2 files, each encoder printing without pause for %d ms; window said \"%s\"\n",
                chatterMs, qPrintable(countText));
    std::printf("run: %.0f ms, %ld ticks of a 10 ms timer\n", totalMs, ticks);
    std::printf("longest gap between ticks: %.1f ms (target < 50 ms)\n", longestGapUs / 1000.0);
    return 0;
}
