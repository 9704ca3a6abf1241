// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDateTime>
#include <QFutureWatcher>
#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>

#include "conversion/clipoutcome.h"
#include "conversion/encoderoutput.h"

class EncoderProcess;
class QSemaphore;
class QThreadPool;
class RunFolder;

// One clip carried from its file to its MP4, a step at a time, each started
// from the end of the one before: the clip is measured, its camera's record
// read and its unfinished MP4 made; the encoder runs; the clip is checked
// unchanged and the MP4 put in place. The steps that wait for the disk run
// on the `disk` pool's threads, never on this object's: a card or a share
// can stall for minutes; each releases `stepsEnded` as it ends. Ends in one
// finished().
class ClipJob : public QObject
{
    Q_OBJECT

public:
    enum class Step {
        Waiting,   // not started
        Preparing, // on the disk: measured, its record read, the unfinished MP4 made
        Encoding,  // the encoder runs
        Closing,   // on the disk: checked and put in place, or the unfinished MP4 discarded
        Ended,     // finished() was emitted
    };

    ClipJob(const QString &encoder, std::shared_ptr<const RunFolder> folder,
            const QString &sourceName, const QString &outputName, QThreadPool *disk,
            std::shared_ptr<QSemaphore> stepsEnded, QObject *parent = nullptr);
    ~ClipJob() override;

    void start();

    // Stops the current step. A clip being prepared ends as stopped once its
    // disk step is over; a running encoder is asked to stop ("q" on its
    // input) and ended whole if it has not within 3 s; a whole MP4 being put
    // in place is still put in place. Returns once the encoder has ended, or
    // could not be ended (stuck in a disk that does not answer). An encoder
    // that had already exited keeps the outcome of its exit.
    void stop();

    // Goes on at once from a disk step that is over, without waiting for the
    // event that says so: for a stop that waits for the disk itself.
    void settle();

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

    void onDisk(void (*work)(Files &), void (ClipJob::*then)());
    void diskStepEnded();
    void prepared();
    void startEncoder();
    void readEncoder();
    void encoderFinished(int exitCode, QProcess::ExitStatus status);
    void encoderEnded(const ClipOutcome &outcome);
    void abandonEncoder();
    void close(const ClipOutcome &outcome);
    void closed();

    const QString encoder;
    QThreadPool *const disk;
    const std::shared_ptr<QSemaphore> stepsEnded; // released as each disk step ends
    // Handed to each disk step and back: touched by one thread at a time.
    const std::shared_ptr<Files> files;
    Step current = Step::Waiting;
    bool stopAsked = false;
    QFutureWatcher<void> diskStep;
    void (ClipJob::*afterDisk)() = nullptr;
    std::unique_ptr<EncoderProcess> process;
    EncoderOutput output;
    double reportedFraction = -1;
};
