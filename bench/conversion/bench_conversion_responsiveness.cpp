// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// How live the window stays while the encoder prints its progress without
// pause (every line parsed, the running row repainted as it fills): the
// longest gap between two ticks of a 10 ms timer in the window's thread,
// against the same encoder read and dropped by a plain QProcess in the same
// rounds. The headline is the median over the rounds.
//
// A second part converts one clip whose MP4 is 1 GiB: flushing that to disk
// and renaming it happen at the clip's end, off the window's thread, against
// the same encoder writing the same file through a plain QProcess, which
// neither flushes nor renames.
#include <QTemporaryDir>

#include <algorithm>

#include "bench/conversion/benchkit.h"

namespace {
constexpr int chatterMs = 1500;
constexpr int rounds = 3;
constexpr int bigMebibytes = 1024;

// Longest gap between ticks of a 10 ms timer while `work` runs, in ms.
double longestGap(const std::function<void()> &work)
{
    QElapsedTimer sinceTick;
    qint64 longestUs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            longestUs = std::max(longestUs, sinceTick.nsecsElapsed() / 1000);
        sinceTick.start();
    });
    ticker.start(10);
    work();
    return double(longestUs) / 1000.0;
}
} // namespace

int main(int argc, char **argv)
{
    BenchApplication app(argc, argv);

    QTemporaryDir folder;
    const QByteArray script = "chatter " + QByteArray::number(chatterMs) + " ok";
    for (const char *name : {"a.mts", "b.mts"}) {
        QFile clip(folder.filePath(QString::fromLatin1(name)));
        if (clip.open(QIODevice::WriteOnly))
            clip.write(script);
    }

    BenchWindow ui;
    ui.window.setEncoderPath(QStringLiteral(STANDIN_ENCODER));
    QString countText;
    std::vector<double> window;
    std::vector<double> plain;
    for (int round = 0; round < rounds; ++round) {
        window.push_back(longestGap([&] { ui.convert(folder.path(), &countText); }));
        plain.push_back(longestGap([&] {
            for (const char *name : {"a.mts", "b.mts"}) {
                QProcess encoder;
                QObject::connect(&encoder, &QIODevice::readyRead,
                                 [&encoder] { encoder.readAll(); });
                QEventLoop loop;
                QObject::connect(&encoder, &QProcess::finished, &loop, &QEventLoop::quit);
                encoder.setProcessChannelMode(QProcess::MergedChannels);
                encoder.start(QStringLiteral(STANDIN_ENCODER),
                              {"-i", folder.filePath(QString::fromLatin1(name)),
                               folder.filePath(QStringLiteral("plain.mp4"))});
                loop.exec();
            }
        }));
        std::printf("round %d: longest gap %.1f ms through the window, %.1f ms plain\n", round + 1,
                    window.back(), plain.back());
    }
    std::printf("2 files, each encoder printing progress without pause for %d ms; window said "
                "\"%s\"\n",
                chatterMs, qPrintable(countText));
    std::printf("longest gap between ticks, median of %d rounds: %.1f ms (target < 20 ms); "
                "plain QProcess reading the same: %.1f ms\n",
                rounds, median(window), median(plain));

    // The clip is made once: the stand-in writes the 1 GiB MP4 from its script.
    QTemporaryDir bigFolder;
    {
        QFile clip(bigFolder.filePath(QStringLiteral("big.mts")));
        if (clip.open(QIODevice::WriteOnly))
            clip.write("fill " + QByteArray::number(bigMebibytes));
    }
    std::vector<double> bigWindow;
    std::vector<double> bigPlain;
    for (int round = 0; round < rounds; ++round) {
        bigWindow.push_back(longestGap([&] { ui.convert(bigFolder.path(), &countText); }));
        bigPlain.push_back(longestGap([&] {
            QProcess encoder;
            QEventLoop loop;
            QObject::connect(&encoder, &QProcess::finished, &loop, &QEventLoop::quit);
            encoder.start(QStringLiteral(STANDIN_ENCODER),
                          {"-i", bigFolder.filePath(QStringLiteral("big.mts")),
                           bigFolder.filePath(QStringLiteral("plain.mp4"))});
            loop.exec();
        }));
        std::printf("1 GiB round %d: longest gap %.1f ms through the window, %.1f ms plain\n",
                    round + 1, bigWindow.back(), bigPlain.back());
    }
    std::printf("1 clip whose MP4 is %d MiB, flushed and renamed at its end; window said \"%s\"\n",
                bigMebibytes, qPrintable(countText));
    std::printf("longest gap between ticks, median of %d rounds: %.1f ms (target < 20 ms); "
                "plain QProcess writing the same without a flush: %.1f ms\n",
                rounds, median(bigWindow), median(bigPlain));
    return 0;
}
