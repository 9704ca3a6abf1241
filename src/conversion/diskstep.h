// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDeadlineTimer>
#include <QFutureWatcher>
#include <QObject>

#include <functional>
#include <memory>

class QThreadPool;

// Work that waits for the disk, run on a pool's thread and never on this
// object's: a card or a share can stall for minutes. One step at a time;
// whoever started it learns that it is over from ended(), once a step, and
// from nothing else.
class DiskStep : public QObject
{
    Q_OBJECT

public:
    explicit DiskStep(QThreadPool *pool, QObject *parent = nullptr);
    ~DiskStep() override;

    // Starts `work` on the pool. No step may be under way.
    void start(std::function<void()> work);

    bool isIdle() const { return !underWay; }

    // For a program that must leave now: waits for the step under way, at
    // most until `deadline`, and if it ended, emits ended() before it returns.
    // True when the step has ended (or none was under way). A step that ends
    // later, once a silent disk answers, emits ended() from the event loop.
    bool waitForIdle(QDeadlineTimer deadline);

signals:
    void ended();

private:
    struct Gate;

    void noticeEnd();

    QThreadPool *const pool;
    QFutureWatcher<void> watcher;
    // Opened by the step's work as it returns, for waitForIdle() alone:
    // QFuture has no wait with a time limit.
    std::shared_ptr<Gate> gate;
    bool underWay = false;
};
