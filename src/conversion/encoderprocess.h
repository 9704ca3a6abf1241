// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The encoder of one clip together with everything it starts, a wrapper
// script's real FFmpeg included, so that it can be ended whole and dies with
// Tessel: on Unix a process group of its own, which a killed Tessel takes
// with it on Linux; on Windows a job object that ends when Tessel does.
class EncoderProcess : public QProcess
{
    Q_OBJECT

public:
    explicit EncoderProcess(QObject *parent = nullptr);
    ~EncoderProcess() override;

    // Starts `program` with its input open, so it can be asked to stop. Only
    // the encoder inherits `inheritedDescriptor` (-1: none), no other child
    // of Tessel. A start that fails is reported through errorOccurred().
    void startEncoder(const QString &program, const QStringList &arguments,
                      int inheritedDescriptor);

    // Ends whatever the encoder started, and the encoder with it.
    void endWhole();

    // Whether the encoder has left, though QProcess may not have heard yet.
    // Asks the system only: nothing is reaped or emitted.
    bool hasExited() const;

    // The encoder's file name on this platform: "ffmpeg", "ffmpeg.exe".
    static QString programFileName();

private:
    // The platform's part: encoderprocess_unix.cpp, encoderprocess_win.cpp.
    void tieToTessel(int inheritedDescriptor);
    void joinGroup();

    qint64 group = 0; // the encoder's process group on Unix, its pid on Windows
    void *job = nullptr;
};
