// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/conversionrun.h"

#include "conversion/clipjob.h"
#include "conversion/encodercommand.h"
#include "conversion/runfolder.h"
#include "conversion/unfinishedoutput.h"

#include <QDeadlineTimer>
#include <QSemaphore>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <vector>

namespace {
// How long a stop waits for the disk: as long as the encoder has to stop,
// and a moment after it ended for its unfinished file to go.
constexpr int stopDiskWaitMs = 3000;
constexpr int stopMomentMs = 200;
} // namespace

struct ConversionRun::Opened
{
    std::shared_ptr<const RunFolder> folder;
    QList<qint64> bytes;
    std::atomic<bool> done{false};
};

ConversionRun::ConversionRun(const QString &encoder, const QString &folder,
                             const QStringList &sourceNames, QObject *parent)
    : QObject(parent), encoder(encoder), folderPath(folder), sourceNames(sourceNames),
      disk(QThreadPool::globalInstance()), stepsEnded(std::make_shared<QSemaphore>()),
      opening(std::make_shared<Opened>())
{
    connect(&openingStep, &QFutureWatcherBase::finished, this, &ConversionRun::opened);
}

ConversionRun::~ConversionRun()
{
    // Whoever listens may be going too: the clip stopped here still has its
    // file removed, but nothing is signalled on the way out.
    blockSignals(true);
    stop();
}

void ConversionRun::start()
{
    state = State::Opening;
    openingStep.setFuture(QtConcurrent::run(
        disk, [opening = opening, path = folderPath, names = sourceNames, ended = stepsEnded] {
            auto runFolder = std::make_shared<RunFolder>(path);
            for (const QString &name : names)
                opening->bytes << std::max<qint64>(runFolder->identify(name).size, 0);
            UnfinishedOutput::removeAbandoned(*runFolder, names);
            opening->folder = std::move(runFolder);
            opening->done = true;
            ended->release();
        }));
}

void ConversionRun::opened()
{
    if (state != State::Opening)
        return;
    state = State::Running;
    folder = opening->folder;
    emit clipsMeasured(opening->bytes);
    startNext();
}

void ConversionRun::startNext()
{
    if (state != State::Running || encoding)
        return;
    while (next < sourceNames.size()) {
        const QString outputName = outputNameFor(sourceNames.at(next));
        // A clip whose MP4 an earlier clip is still making is told once that
        // has ended; that end starts it.
        if (outputBeingMade(outputName))
            return;
        const int index = next++;
        const QString sourceName = sourceNames.at(index);
        started.push_back({index, sourceName, outputName, nullptr, std::nullopt});
        emit clipStarted(index, sourceName);

        const auto maker = madeBy.constFind(outputName);
        if (maker != madeBy.cend()) {
            started.back().outcome =
                ClipOutcome{ClipOutcome::End::NameTaken,
                            0,
                            *maker + QStringLiteral(" already made ") + outputName,
                            {}};
            tellInOrder();
            continue;
        }
        auto job = std::make_unique<ClipJob>(encoder, folder, sourceName, outputName, disk,
                                             stepsEnded, this);
        ClipJob *const clip = job.get();
        started.back().job = std::move(job);
        connect(clip, &ClipJob::progress, this,
                [this, index](double fraction) { emit clipProgress(index, fraction); });
        connect(clip, &ClipJob::encoderDone, this, [this, clip] {
            if (encoding == clip)
                encoding = nullptr;
            startNext();
        });
        connect(clip, &ClipJob::finished, this,
                [this, clip](const ClipOutcome &outcome) { clipEnded(clip, outcome); });
        encoding = clip;
        clip->start();
        return; // the end of its encoder starts the next clip
    }
    finishIfDone();
}

void ConversionRun::clipEnded(ClipJob *job, const ClipOutcome &outcome)
{
    const auto at = std::find_if(started.begin(), started.end(),
                                 [job](const Started &clip) { return clip.job.get() == job; });
    if (at == started.end())
        return;
    if (outcome.converted())
        madeBy.insert(at->outputName, at->sourceName);
    at->outcome = outcome;
    // Not deleted inside its own signal.
    at->job.release()->deleteLater();
    tellInOrder();
    startNext();
}

bool ConversionRun::outputBeingMade(const QString &outputName) const
{
    return std::any_of(started.cbegin(), started.cend(), [&outputName](const Started &clip) {
        return clip.job && clip.outputName == outputName;
    });
}

void ConversionRun::tellInOrder()
{
    // Told in the clips' order, so the rows and the count follow the run even
    // where a later clip ends before an earlier one's MP4 is in place.
    while (!started.empty() && started.front().outcome) {
        const Started told = std::move(started.front());
        started.pop_front();
        ++(told.outcome->converted() ? converted : failed);
        emit clipFinished(told.index, told.sourceName, told.outputName, *told.outcome);
    }
}

void ConversionRun::finishIfDone()
{
    if (state == State::Running && next == sourceNames.size() && !encoding && started.empty()) {
        state = State::Finished;
        emit finished();
    }
}

void ConversionRun::stop()
{
    if (state == State::Finished || state == State::Stopped)
        return;
    const bool opening = state == State::Opening;
    state = State::Stopped;
    QDeadlineTimer diskWait(stopDiskWaitMs);
    if (encoding)
        encoding->stop();
    if (diskWait.remainingTime() < stopMomentMs)
        diskWait.setRemainingTime(stopMomentMs);
    // Disk steps in flight: a whole MP4 is put in place, an unfinished one
    // removed; each may start the next (a stopped clip's file goes).
    const auto inFlight = [this, opening] {
        return (opening && !this->opening->done) ||
               std::any_of(started.cbegin(), started.cend(),
                           [](const Started &clip) { return bool(clip.job); });
    };
    // Woken by each disk step that ends. Each step also says so itself, so
    // what ended before is settled first, and only then waited past.
    stepsEnded->tryAcquire(stepsEnded->available());
    for (;;) {
        // Settling tells outcomes, which takes clips off the list.
        std::vector<ClipJob *> jobs;
        for (const Started &clip : started) {
            if (clip.job)
                jobs.push_back(clip.job.get());
        }
        for (ClipJob *job : jobs)
            job->settle();
        if (!inFlight() || diskWait.hasExpired())
            return;
        stepsEnded->tryAcquire(1, int(std::max<qint64>(diskWait.remainingTime(), 1)));
    }
}
