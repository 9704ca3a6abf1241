// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/quitonsignal.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
// A signal handler can reach nothing but what is global, and may do little
// more than write to a pipe; the event loop reads the other end.
volatile sig_atomic_t signalPipe = -1;
constexpr int handledSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void writeToSignalPipe(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe, &byte, 1);
    errno = savedErrno;
}
} // namespace

QuitOnSignal::QuitOnSignal(QObject *parent) : QObject(parent)
{
    if (::pipe(pipe) != 0) {
        qWarning("cannot watch for signals: %s", strerror(errno));
        return;
    }
    for (const int end : pipe) {
        // Close-on-exec: the encoder must not hold Tessel's pipe. Non-blocking:
        // the handler must never wait, nor the reader once the pipe is empty.
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    }
    signalPipe = pipe[1];
    notifier = std::make_unique<QSocketNotifier>(pipe[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &QuitOnSignal::signalArrived);

    struct sigaction action = {};
    action.sa_handler = writeToSignalPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : handledSignals)
        ::sigaction(signal, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal()
{
    if (pipe[0] < 0)
        return;
    for (const int signal : handledSignals)
        ::signal(signal, SIG_DFL);
    signalPipe = -1;
    notifier.reset();
    ::close(pipe[0]);
    ::close(pipe[1]);
}

void QuitOnSignal::signalArrived()
{
    char bytes[64];
    while (::read(pipe[0], bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
}
