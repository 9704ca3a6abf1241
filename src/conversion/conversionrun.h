// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QFutureWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>

#include "conversion/clipoutcome.h"

class ClipJob;
class QSemaphore;
class QThreadPool;
class RunFolder;

// One run of the encoder over the clips of a folder, one clip at a time, in
// the order given: a ClipJob per clip, each started from the end of the one
// before, so nothing else the program does (a dialog, a wait of its own)
// holds the run back.
//
// Each MP4 is written aside and put in place once whole, off the window's
// thread; the next clip may start meanwhile, and outcomes are still told in
// the clips' order. Nothing here waits for the disk on the thread the run
// lives on, but a stop, and that only for a moment.
class ConversionRun : public QObject
{
    Q_OBJECT

public:
    ConversionRun(const QString &encoder, const QString &folder, const QStringList &sourceNames,
                  QObject *parent = nullptr);
    // Stops the run if it is still going.
    ~ConversionRun() override;

    void start();

    // No further clip starts; the running encoder is asked to stop ("q" on its
    // input) and killed, with all it started, if it has not ended within 3 s.
    // MP4s being put in place are whole: they are waited for and keep their
    // outcomes, as are the unfinished files being removed, but only for about
    // the same 3 s: a disk that does not answer is left to the next run's
    // sweep. An encoder that had already exited keeps the outcome of its exit.
    void stop();

    int convertedCount() const { return converted; }
    int failedCount() const { return failed; }

signals:
    // Once, before the first clip starts: each clip's size in bytes, 0 for one
    // that cannot be measured.
    void clipsMeasured(const QList<qint64> &bytes);
    void clipStarted(int index, const QString &sourceName);
    // How far the encoder is with the clip, as it reports it; not at all when
    // it does not tell.
    void clipProgress(int index, double fraction);
    // In the clips' order, but may come after the next clip's clipStarted():
    // a clip is finished once its MP4 is in place.
    void clipFinished(int index, const QString &sourceName, const QString &outputName,
                      const ClipOutcome &outcome);
    // Every clip has its outcome. Not emitted after stop().
    void finished();

private:
    enum class State {
        Idle,     // not started
        Opening,  // the folder is opened, measured and swept of leftovers, on the disk
        Running,  // clips start one after another
        Stopped,  // no clip starts any more
        Finished, // every clip has its outcome and finished() was emitted
    };

    // A clip that has started and whose outcome is not told yet.
    struct Started
    {
        int index;
        QString sourceName;
        QString outputName;
        std::unique_ptr<ClipJob> job; // none for a clip settled before it needed one
        std::optional<ClipOutcome> outcome;
    };

    struct Opened;

    void opened();
    void startNext();
    void clipEnded(ClipJob *job, const ClipOutcome &outcome);
    void tellInOrder();
    bool outputBeingMade(const QString &outputName) const;
    void finishIfDone();

    const QString encoder;
    const QString folderPath;
    const QStringList sourceNames;
    // The application's pool: a thread that a silent disk holds must not be
    // waited for when the run goes (see main()).
    QThreadPool *const disk;
    // Released as each disk step ends, for a stop to wait on. Not the pool's
    // own waitForDone(), which also ends the pool's threads.
    const std::shared_ptr<QSemaphore> stepsEnded;
    const std::shared_ptr<Opened> opening;
    QFutureWatcher<void> openingStep;
    std::shared_ptr<const RunFolder> folder;

    State state = State::Idle;
    int next = 0;
    ClipJob *encoding = nullptr; // the clip that has or is about to have the encoder
    std::deque<Started> started;
    QHash<QString, QString> madeBy; // MP4 name -> the clip that made it in this run
    int converted = 0;
    int failed = 0;
};
