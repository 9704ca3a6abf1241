// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// Times what Browse does with a folder of 10,000 entries, half of them clips:
// the listing and the filling of the file list, against a plain QDirIterator
// walk of the same folder. Prints medians over several repetitions.
//
//   bench_scan [repetitions]   (default 15)

#include "bench/conversion/benchkit.h"
#include "conversion/folderscan.h"
#include "folder/folderfixture.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double millisecondsOf(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    BenchApplication app(argc, argv);
    const int repetitions = std::max(3, argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 15);

    QTemporaryDir area;
    const QString folder = area.filePath(QStringLiteral("clips"));
    const QStringList expected = makeTenThousandEntries(folder);
    if (!area.isValid() || expected.isEmpty()) {
        std::fprintf(stderr, "bench_scan: could not make the folder of 10,000 entries\n");
        return 1;
    }
    const int entries = 10000;

    QListWidget list;
    list.show();
    QCoreApplication::processEvents();

    std::vector<double> walk, listing, fill, scanAndFill, byQDir, layout;
    qsizetype walked = 0;
    for (int round = 0; round < repetitions; ++round) {
        walk.push_back(millisecondsOf([&] {
            walked = 0;
            QDirIterator it(folder);
            while (it.hasNext()) {
                it.next();
                walked += it.fileName().size() > 0;
            }
        }));

        QStringList names;
        list.clear();
        QCoreApplication::processEvents();
        const double listed = millisecondsOf([&] { names = listVideoFiles(folder); });
        const double filled = millisecondsOf([&] { list.addItems(names); });
        if (names != expected || list.count() != expected.size()) {
            std::fprintf(stderr, "bench_scan: the listing is wrong\n");
            return 1;
        }
        listing.push_back(listed);
        fill.push_back(filled);
        scanAndFill.push_back(listed + filled);
        // What the window does once Browse returns: lay out and paint the rows.
        layout.push_back(millisecondsOf([&] { QCoreApplication::processEvents(); }));

        byQDir.push_back(millisecondsOf([&] {
            QDir dir;
            dir.setPath(folder);
            names = dir.entryList({QStringLiteral("*.mts")}, QDir::NoFilter, QDir::NoSort) +
                    dir.entryList({QStringLiteral("*.m2ts")}, QDir::NoFilter, QDir::NoSort);
        }));
    }

    const double perThousand = 1000.0 / entries;
    const double walkMs = median(walk);
    const double totalMs = median(scanAndFill);
    const double ratio = totalMs / walkMs;
    QTextStream out(stdout);
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(2);
    out << "bench_scan: " << entries << " entries (" << expected.size() << " clips; walk saw "
        << walked << "), median of " << repetitions << " repetitions\n";
    out << "  QDirIterator walk           " << walkMs << " ms  = " << walkMs * perThousand
        << " ms per 1,000 entries\n";
    out << "  scan + fill (Browse)        " << totalMs << " ms  = " << totalMs * perThousand
        << " ms per 1,000 entries  (listing " << median(listing) << " ms, filling " << median(fill)
        << " ms)\n";
    out << "  ratio scan+fill / walk      " << ratio << "\n";
    out << "  for comparison: two QDir::entryList calls " << median(byQDir)
        << " ms; layout and paint of the rows afterwards " << median(layout) << " ms\n";
    out << "  target: under 50 ms and ratio under 3: "
        << (totalMs < 50 && ratio < 3 ? "met" : "MISSED") << Qt::endl;
    return 0;
}
