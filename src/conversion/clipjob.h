// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <memory>

#include "conversion/clipoutcome.h"
#include "conversion/diskstep.h"
#include "conversion/encoderoutput.h"

class EncoderProcess;
class QThreadPool;
class RunFolder;

// One clip carried from its file to its MP4, a step at a time, each started
// from the end of the one before: the clip is measured, its camera's record
// read and its unfinished MP4 made; the encoder runs; the clip is checked
// unchanged and the MP4 put in place. The steps that wait for the disk run
// on the `disk` pool's threads, never on this object's: a card or a share
// can stall for minutes. Ends in one finished(), stopped or not.
class ClipJob : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Waiting,   // not started
        Preparing, // on the disk: measured, its record read, the unfinished MP4 made
        Cancelled, // asked to stop while preparing: discarded once prepared
        Encoding,  // the encoder runs
        Stopping,  // the encoder was asked to stop ("q" on its input); killed after 3 s
        Killed,    // the encoder was ended with all it started; given up after 1 s more
        Closing,   // on the disk: checked and put in place, or the unfinished MP4 discarded
        Ended,     // finished() was emitted
    };

    // The longest a stop takes: the encoder's time to stop, then to die.
    static constexpr int gracefulStopMs = 3000;
    static constexpr int killWaitMs = 1000;

    ClipJob(const QString &encoder, std::shared_ptr<const RunFolder> folder,
            const QString &sourceName, const QString &outputName, QThreadPool *disk,
            QObject *parent = nullptr);
    ~ClipJob() override;

    void start();

    // Asks the job to stop and returns at once; it ends through finished() as
    // it would have anyway. A clip being prepared is discarded once its disk
    // step is over; a running encoder is asked to stop, ended whole if it has
    // not within 3 s, and given up (to EncoderKeeper) if it has not died 1 s
    // later, stuck in a disk that does not answer; a whole MP4 being put in
    // place is still put in place. An encoder that had already exited keeps
    // the outcome of its exit.
    void stop();

    // For a program that must leave now: waits for the job to end, at most
    // until `deadline`, doing meanwhile what the event loop would have done.
    // True once it has ended.
    bool waitForStopped(QDeadlineTimer deadline);

    State state() const { return current; }
    // The clip may still be using the encoder, or is still to.
    bool beforeEncoderDone() const { return current < State::Closing; }
    QString sourceName() const;
    QString outputName() const;

signals:
    // How far the encoder is with the clip, as it reports it.
    void progress(double fraction);
    // The clip needs the encoder no more, or never did: the next clip may
    // start while this one is put in place.
    void encoderDone();
    void finished(const ClipOutcome &outcome);

private:
    struct Files;

    // The disk steps, on the pool's threads.
    static void prepare(Files &files);
    static void finish(Files &files);

    void diskStepEnded();
    void startEncoder();
    void readEncoder();
    void encoderFinished(int exitCode, QProcess::ExitStatus status);
    ClipOutcome outcomeOfExit(int exitCode, QProcess::ExitStatus status);
    void encoderFailed(QProcess::ProcessError error);
    bool encoderRuns() const;
    void stopTimeUp();
    void giveUpEncoder();
    void close(const ClipOutcome &outcome);

    const QString encoder;
    // Handed to each disk step and back: touched by one thread at a time.
    const std::shared_ptr<Files> files;
    State current = State::Waiting;
    DiskStep diskStep;
    EncoderProcess *process = nullptr; // a child from the start of the encoder
    EncoderOutput output;
    double reportedFraction = -1;
    QTimer stopTimer; // the end of Stopping, then of Killed
};
