// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

class QWidget;

// What a run asks of the desktop while it lives: that the computer does not
// go to sleep, and that the taskbar or dock shows how far the run is. Given
// back when this ends, however the run ends. Nothing here waits for the
// desktop: a service that is missing, refuses or stops answering leaves the
// run as it would be without it.
class RunOnDesktop : public QObject
{
    Q_OBJECT

public:
    explicit RunOnDesktop(QWidget *window);
    ~RunOnDesktop() override;

    // The share the window's title shows, and the clips not finished yet.
    void showProgress(double fraction, int clipsLeft);
    void clipFailed();

    // For a window that is not the active one when its run ends: the taskbar
    // button flashes, or the window manager marks the window.
    static void askForAttention(QWidget *window);

private:
    struct Platform;
    // Shared with work that may outlive the run: a bus that answers late.
    const std::shared_ptr<Platform> platform;
};
