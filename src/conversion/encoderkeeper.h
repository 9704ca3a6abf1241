// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDeadlineTimer>
#include <QObject>

class EncoderProcess;

// Holds the encoders that could not be ended, for as long as the application
// lives: a process stuck in a disk that does not answer outlasts even a
// kill, and a QProcess waits for its process when it is destroyed. Each goes
// once it has left. One for the application, its child.
class EncoderKeeper : public QObject
{
    Q_OBJECT

public:
    static EncoderKeeper *ofApplication();
    ~EncoderKeeper() override;

    // Takes `encoder` over, whoever held it, and hears no more of it.
    void keep(EncoderProcess *encoder);

    // For the way out: true once every encoder kept has left, waiting at most
    // until `deadline`.
    bool waitForAll(QDeadlineTimer deadline);

private:
    explicit EncoderKeeper(QObject *application);
    void dropLeft();
};
