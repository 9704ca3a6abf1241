// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/quitonsignal.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <functional>

#include <windows.h>

namespace {
// Sees the message before Qt's own handling, which only quits the event loop.
class SessionWatch : public QAbstractNativeEventFilter
{
public:
    explicit SessionWatch(std::function<void()> ending) : ending(std::move(ending)) {}

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        const MSG *const msg = static_cast<const MSG *>(message);
        // Every top-level window is told; the first is enough. A false
        // wParam: the session goes on after all.
        if (type == "windows_generic_MSG" && msg->message == WM_ENDSESSION && msg->wParam &&
            !ended) {
            ended = true;
            ending();
        }
        return false;
    }

private:
    const std::function<void()> ending;
    bool ended = false;
};
} // namespace

QuitOnSignal::QuitOnSignal(QObject *parent) : QObject(parent)
{
    sessionWatch = std::make_unique<SessionWatch>([this] {
        emit sessionEnding();
        QCoreApplication::quit();
    });
    QCoreApplication::instance()->installNativeEventFilter(sessionWatch.get());
}

QuitOnSignal::~QuitOnSignal()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(sessionWatch.get());
}

void QuitOnSignal::signalArrived() {}
