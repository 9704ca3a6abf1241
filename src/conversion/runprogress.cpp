// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/runprogress.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr qint64 settledAfterMs = 5000;
constexpr double settledAfterFraction = 0.02;
} // namespace

RunProgress::RunProgress(const QList<qint64> &clipBytes)
{
    weights.reserve(clipBytes.size());
    for (const qint64 bytes : clipBytes) {
        // An empty or unreadable clip still counts as a step.
        weights << std::max<qint64>(bytes, 1);
        total += weights.constLast();
    }
}

void RunProgress::clipRunning(int index, double clipFraction)
{
    runningIndex = index;
    runningWeight = weights.value(index);
    runningFraction = std::clamp(clipFraction, 0.0, 1.0);
}

void RunProgress::clipDone(int index)
{
    done += weights.value(index);
    if (index != runningIndex)
        return;
    runningIndex = -1;
    runningWeight = 0;
    runningFraction = 0;
}

double RunProgress::fraction() const
{
    if (total == 0)
        return 0;
    return std::clamp((double(done) + double(runningWeight) * runningFraction) / double(total), 0.0,
                      1.0);
}

std::optional<qint64> RunProgress::secondsLeft(qint64 elapsedMs) const
{
    const double sofar = fraction();
    if (elapsedMs < settledAfterMs || sofar < settledAfterFraction)
        return std::nullopt;
    return qint64(std::llround(double(elapsedMs) / 1000.0 * (1.0 - sofar) / sofar));
}

QString runTitle(int clipNumber, int clipCount, double fraction, std::optional<qint64> secondsLeft)
{
    QString title = QStringLiteral("Tessel \u2014 %1 of %2, %3%")
                        .arg(clipNumber)
                        .arg(clipCount)
                        .arg(int(std::floor(fraction * 100)));
    if (secondsLeft) {
        const qint64 minutes = std::llround(double(*secondsLeft) / 60.0);
        title += minutes < 1 ? QStringLiteral(", less than a minute left")
                             : QStringLiteral(", about %1 min left").arg(minutes);
    }
    return title;
}
