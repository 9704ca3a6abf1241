// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/conversionrun.h"

#include "conversion/encodercommand.h"
#include "conversion/runfolder.h"
#include "conversion/unfinishedoutput.h"

#include <QThreadPool>

#include <algorithm>

struct ConversionRun::Opened
{
    std::shared_ptr<const RunFolder> folder;
    QList<qint64> bytes;
};

ConversionRun::ConversionRun(const QString &encoder, const QString &folder,
                             const QStringList &sourceNames, QObject *parent)
    : QObject(parent), encoder(encoder), folderPath(folder), sourceNames(sourceNames),
      disk(QThreadPool::globalInstance()), opening(std::make_shared<Opened>()), openingStep(disk)
{
    connect(&openingStep, &DiskStep::ended, this, &ConversionRun::opened);
}

ConversionRun::~ConversionRun()
{
    // Whoever listens may be going too: the clip stopped here still has its
    // file removed, but nothing is signalled on the way out.
    blockSignals(true);
    if (state == State::Opening || state == State::Running) {
        stop();
        waitForStopped(QDeadlineTimer(stopWaitMs));
    }
}

void ConversionRun::start()
{
    state = State::Opening;
    openingStep.start([opening = opening, path = folderPath, names = sourceNames] {
        auto runFolder = std::make_shared<RunFolder>(path);
        for (const QString &name : names)
            opening->bytes << std::max<qint64>(runFolder->identify(name).size, 0);
        UnfinishedOutput::removeAbandoned(*runFolder, names);
        opening->folder = std::move(runFolder);
    });
}

void ConversionRun::opened()
{
    folder = opening->folder;
    if (state != State::Opening) {
        finishIfDone();
        return;
    }
    state = State::Running;
    emit clipsMeasured(opening->bytes);
    startNext();
}

void ConversionRun::startNext()
{
    if (state != State::Running || encoderWanted())
        return;
    while (next < sourceNames.size()) {
        const QString outputName = outputNameFor(sourceNames.at(next));
        // A clip whose MP4 an earlier clip is still making is told once that
        // has ended; that end starts it.
        if (outputBeingMade(outputName))
            return;
        const int index = next++;
        const QString sourceName = sourceNames.at(index);
        emit clipStarted(index, sourceName);

        const auto maker = madeBy.constFind(outputName);
        if (maker != madeBy.cend()) {
            untold.insert(index, ClipOutcome::nameTaken(*maker + QStringLiteral(" already made ") +
                                                        outputName));
            tellInOrder();
            continue;
        }
        auto *const job = new ClipJob(encoder, folder, sourceName, outputName, disk, this);
        jobs.push_back(job);
        connect(job, &ClipJob::progress, this,
                [this, index](double fraction) { emit clipProgress(index, fraction); });
        connect(job, &ClipJob::encoderDone, this, &ConversionRun::startNext);
        // Heard from the event loop, where none of the job's own code runs,
        // so that it can go at once.
        connect(
            job, &ClipJob::finished, this,
            [this, job, index](const ClipOutcome &outcome) { clipEnded(job, index, outcome); },
            Qt::QueuedConnection);
        job->start();
        return; // the end of its encoder starts the next clip
    }
    finishIfDone();
}

bool ConversionRun::encoderWanted() const
{
    return std::any_of(jobs.cbegin(), jobs.cend(),
                       [](const ClipJob *job) { return job->beforeEncoderDone(); });
}

bool ConversionRun::outputBeingMade(const QString &outputName) const
{
    return std::any_of(jobs.cbegin(), jobs.cend(), [&outputName](const ClipJob *job) {
        return job->outputName() == outputName;
    });
}

void ConversionRun::clipEnded(ClipJob *job, int index, const ClipOutcome &outcome)
{
    if (outcome.converted())
        madeBy.insert(job->outputName(), job->sourceName());
    jobs.erase(std::find(jobs.begin(), jobs.end(), job));
    delete job;
    untold.insert(index, outcome);
    tellInOrder();
    startNext();
    finishIfDone();
}

void ConversionRun::tellInOrder()
{
    // Told in the clips' order, so the rows and the count follow the run even
    // where a later clip ends before an earlier one's MP4 is in place.
    for (auto at = untold.find(nextToTell); at != untold.end(); at = untold.find(nextToTell)) {
        const ClipOutcome outcome = at.value();
        untold.erase(at);
        const int index = nextToTell++;
        ++(outcome.converted() ? converted : failed);
        const QString sourceName = sourceNames.at(index);
        emit clipFinished(index, sourceName, outputNameFor(sourceName), outcome);
    }
}

void ConversionRun::finishIfDone()
{
    const bool noneToStart =
        state == State::Stopping || (state == State::Running && next == sourceNames.size());
    if (noneToStart && jobs.empty() && openingStep.isIdle()) {
        state = State::Finished;
        emit finished();
    }
}

void ConversionRun::stop()
{
    if (state != State::Opening && state != State::Running)
        return;
    state = State::Stopping;
    stopBy.setRemainingTime(stopWaitMs);
    for (ClipJob *job : jobs)
        job->stop();
}

bool ConversionRun::waitForStopped(QDeadlineTimer deadline)
{
    deadline = std::min(deadline, stopBy);
    if (!openingStep.waitForIdle(deadline))
        return false;
    // Jobs leave the list only from the event loop, which does not run here.
    const std::vector<ClipJob *> underWay = jobs;
    for (ClipJob *job : underWay) {
        if (!job->waitForStopped(deadline))
            return false;
    }
    return true;
}
