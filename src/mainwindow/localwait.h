// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QEventLoop>

// A blocking-style wait that keeps the window live. Each wait runs an event
// loop of its own: with one loop shared between waits, a wait started inside
// another (an update check pressed during a conversion) would return at once,
// and ending one would end the other.
class LocalWait
{
public:
    enum class End { Finished, ApplicationQuit };

    // Ends the wait. Safe before wait() runs (wait() then returns at once),
    // which matters for errors reported synchronously while a job starts.
    void finish();
    bool isFinished() const { return finished; }

    // Returns ApplicationQuit when the application is quitting: Qt's quit ends
    // every loop of the thread and makes every later one return at once.
    End wait();

private:
    QEventLoop loop;
    bool finished = false;
};
