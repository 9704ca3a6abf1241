// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

#include <memory>

class QAbstractNativeEventFilter;
class QSocketNotifier;

// The system asking Tessel to end closes it the way its Close button does,
// so a running conversion stops cleanly and the folder in the field is kept.
// Only one may exist at a time.
//
// On Unix: Ctrl-C in a terminal, a closed terminal, logging out or shutting
// down (SIGINT, SIGHUP, SIGTERM) quit the application, whose event loop then
// does the rest. On Windows: logging off or shutting down (WM_ENDSESSION).
// Windows may end the process as soon as that message has been answered, so
// sessionEnding() is emitted while it is being answered, for receivers that
// do at once what would otherwise wait for the event loop.
class QuitOnSignal : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

signals:
    void sessionEnding();

private:
    void signalArrived();

    // Unix
    int pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    // Windows
    std::unique_ptr<QAbstractNativeEventFilter> sessionWatch;
};
