// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/diskstep.h"

#include <QMutex>
#include <QWaitCondition>
#include <QtConcurrent/QtConcurrentRun>

struct DiskStep::Gate
{
    QMutex mutex;
    QWaitCondition opened;
    bool open = false;

    void openNow()
    {
        const QMutexLocker locker(&mutex);
        open = true;
        opened.wakeAll();
    }

    bool waitUntilOpen(QDeadlineTimer deadline)
    {
        const QMutexLocker locker(&mutex);
        while (!open) {
            if (!opened.wait(&mutex, deadline))
                return open;
        }
        return true;
    }
};

DiskStep::DiskStep(QThreadPool *pool, QObject *parent) : QObject(parent), pool(pool)
{
    connect(&watcher, &QFutureWatcherBase::finished, this, &DiskStep::noticeEnd);
}

// A step still under way goes on without this object: its work holds all it
// touches, and nobody hears its end.
DiskStep::~DiskStep() = default;

void DiskStep::start(std::function<void()> work)
{
    Q_ASSERT(!underWay);
    underWay = true;
    gate = std::make_shared<Gate>();
    watcher.setFuture(QtConcurrent::run(pool, [work = std::move(work), gate = gate] {
        work();
        gate->openNow();
    }));
}

bool DiskStep::waitForIdle(QDeadlineTimer deadline)
{
    if (!underWay)
        return true;
    if (!gate->waitUntilOpen(deadline))
        return false;
    // Its work is over: only the task's return is left.
    watcher.waitForFinished();
    noticeEnd();
    return true;
}

void DiskStep::noticeEnd()
{
    // The watcher may still tell an end that waitForIdle() told, and then
    // while the next step runs: only a future that has finished ends a step.
    if (!underWay || !watcher.future().isFinished())
        return;
    underWay = false;
    emit ended();
}
