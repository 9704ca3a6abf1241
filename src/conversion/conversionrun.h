// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

#include "conversion/clipjob.h"
#include "conversion/clipoutcome.h"
#include "conversion/diskstep.h"

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
// lives on, but waitForStopped(), and that only until its deadline.
class ConversionRun : public QObject
{
    Q_OBJECT

public:
    // How long a program that must leave waits for a stop: as long as the
    // encoder has to stop, and a moment for a killed one to die and its
    // unfinished file to go.
    static constexpr int stopWaitMs = ClipJob::gracefulStopMs + 200;

    ConversionRun(const QString &encoder, const QString &folder, const QStringList &sourceNames,
                  QObject *parent = nullptr);
    // A run still going is stopped and waited for, as a closing program
    // does; one already stopping is left to its owner's wait.
    ~ConversionRun() override;

    void start();

    // Asks the run to stop and returns at once: no further clip starts, and
    // each clip under way stops as ClipJob::stop() says; MP4s being put in
    // place are whole and keep their outcomes. finished() follows once every
    // clip that started has ended.
    void stop();

    // For a program that must leave now (Close, a signal, the end of the
    // session): after stop(), waits for the clips under way to end, at most
    // until `deadline` and never past stopWaitMs after the stop was asked,
    // however often it is called. What a disk that does not answer still
    // holds is left to the next run's sweep. True once every clip has ended.
    bool waitForStopped(QDeadlineTimer deadline);

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
    // Every clip that started has its outcome: all of them, or after a stop
    // those that had started.
    void finished();

private:
    enum class State {
        Idle,     // not started
        Opening,  // the folder is opened, measured and swept of leftovers, on the disk
        Running,  // clips start one after another
        Stopping, // no clip starts any more; those under way end
        Finished, // finished() was emitted
    };

    struct Opened;

    void opened();
    void startNext();
    bool encoderWanted() const;
    bool outputBeingMade(const QString &outputName) const;
    void clipEnded(ClipJob *job, int index, const ClipOutcome &outcome);
    void tellInOrder();
    void finishIfDone();

    const QString encoder;
    const QString folderPath;
    const QStringList sourceNames;
    // The application's pool: a thread that a silent disk holds must not be
    // waited for when the run goes (see main()).
    QThreadPool *const disk;
    const std::shared_ptr<Opened> opening;
    DiskStep openingStep;
    std::shared_ptr<const RunFolder> folder;

    State state = State::Idle;
    QDeadlineTimer stopBy;          // stopWaitMs after stop()
    int next = 0;                   // the next clip to start
    int nextToTell = 0;             // the next clip whose outcome is told
    std::vector<ClipJob *> jobs;    // children, in the clips' order, until they have ended
    QMap<int, ClipOutcome> untold;  // outcomes of clips after the next to tell
    QHash<QString, QString> madeBy; // MP4 name -> the clip that made it in this run
    int converted = 0;
    int failed = 0;
};
