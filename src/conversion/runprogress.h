// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>

#include <optional>

// How far a run is. Clips are weighed by their size in bytes, so a long clip
// counts for what it takes; finished clips count whole and the running clip
// by its own progress.
class RunProgress
{
public:
    explicit RunProgress(const QList<qint64> &clipBytes = {});

    void clipRunning(int index, double clipFraction);
    void clipDone(int index);

    double fraction() const;

    // Time left at the pace so far, once that pace means something: after a
    // few seconds and a little of the work. Unknown before.
    std::optional<qint64> secondsLeft(qint64 elapsedMs) const;

private:
    QList<qint64> weights;
    qint64 total = 0;
    qint64 done = 0;
    int runningIndex = -1; // a clip being put in place may finish after the next started
    qint64 runningWeight = 0;
    double runningFraction = 0;
};

// "Tessel — 3 of 12, 41%", then ", about 4 min left" once the time left is known.
QString runTitle(int clipNumber, int clipCount, double fraction, std::optional<qint64> secondsLeft);
