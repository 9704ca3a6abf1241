// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/quitonsignal.h"
#include "conversion/encoderkeeper.h"
#include "mainwindow/tesselmainwindow.h"

#include <QApplication>
#include <QThreadPool>

#include <cstdlib>

namespace {
// How long the way out waits for the disk work still under way.
constexpr int diskWaitAtExitMs = 1000;
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Lets Wayland compositors match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.ostrell.tessel"));
    const QuitOnSignal quitOnSignal;
    int code = 0;
    {
        // Destroyed before the application: the window's destructor stores
        // the folder while Qt is still fully alive.
        tesselMainWindow window;
        QObject::connect(&quitOnSignal, &QuitOnSignal::sessionEnding, &window,
                         &tesselMainWindow::stopNow);
        window.show();
        code = app.exec();
    }
    // A card or a share that stopped answering may still hold a thread that
    // was checking a clip or removing its unfinished file, or an encoder
    // that was killed, and the application would wait for them on its way
    // out for as long as the disk stays silent. The folder is stored by now;
    // the next run sweeps what the disk still holds.
    const QDeadlineTimer diskWait(diskWaitAtExitMs);
    if (!QThreadPool::globalInstance()->waitForDone(int(diskWait.remainingTime())) ||
        !EncoderKeeper::ofApplication()->waitForAll(diskWait))
        std::_Exit(code);
    return code;
}
