// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/clipjob.h"

#include "conversion/camerarecord.h"
#include "conversion/conversionreport.h"
#include "conversion/encodercommand.h"
#include "conversion/encoderkeeper.h"
#include "conversion/encoderprocess.h"
#include "conversion/runfolder.h"
#include "conversion/unfinishedoutput.h"

#include <QDebug>
#include <QThreadPool>

#include <algorithm>
#include <optional>

namespace {
int millisecondsLeft(QDeadlineTimer deadline)
{
    return deadline.isForever() ? -1 : int(std::max<qint64>(deadline.remainingTime(), 0));
}
} // namespace

struct ClipJob::Files
{
    std::shared_ptr<const RunFolder> folder;
    QString sourceName;
    QString outputName;
    ClipIdentity identity; // compared before and after the encoder
    CameraRecord camera;   // what the camera recorded in the clip
    QDateTime mp4Date;     // the date the MP4 takes
    std::unique_ptr<UnfinishedOutput> output;
    // Known once a step has failed or the encoder has ended; after Closing,
    // the clip's.
    std::optional<ClipOutcome> outcome;

    QString sourcePath() const { return folder->filePath(sourceName); }
};

ClipJob::ClipJob(const QString &encoder, std::shared_ptr<const RunFolder> folder,
                 const QString &sourceName, const QString &outputName, QThreadPool *disk,
                 QObject *parent)
    : QObject(parent), encoder(encoder), files(std::make_shared<Files>()), diskStep(disk)
{
    files->folder = std::move(folder);
    files->sourceName = sourceName;
    files->outputName = outputName;
    connect(&diskStep, &DiskStep::ended, this, &ClipJob::diskStepEnded);
    stopTimer.setSingleShot(true);
    // A coarse timer may fire 5% early: the encoder gets its whole 3 s.
    stopTimer.setTimerType(Qt::PreciseTimer);
    connect(&stopTimer, &QTimer::timeout, this, &ClipJob::stopTimeUp);
}

ClipJob::~ClipJob()
{
    // Whoever listens may be going too.
    blockSignals(true);
    // A QProcess waits for its process as it goes, and its unfinished file
    // is the disk's to remove, not this thread's.
    if (encoderRuns())
        giveUpEncoder();
    if (diskStep.isIdle() && files->output)
        QThreadPool::globalInstance()->start([files = files] { files->output.reset(); });
}

QString ClipJob::sourceName() const
{
    return files->sourceName;
}

QString ClipJob::outputName() const
{
    return files->outputName;
}

void ClipJob::start()
{
    current = State::Preparing;
    diskStep.start([files = files] { prepare(*files); });
}

void ClipJob::prepare(Files &files)
{
    if (!files.folder->stillInPlace()) {
        files.outcome = ClipOutcome::folderMoved();
        return;
    }
    // Measured before the date is read, so the date is the measured file's.
    files.identity = files.folder->identify(files.sourceName);
    files.camera = cameraRecordOfClip(*files.folder, files.sourceName);
    files.mp4Date = files.camera.recorded.value_or(files.identity.modified());
    QString why;
    files.output = UnfinishedOutput::create(*files.folder, files.sourceName, &why);
    if (!files.output)
        files.outcome = ClipOutcome::notPlaced(why);
}

void ClipJob::finish(Files &files)
{
    if (files.outcome->converted()) {
        // The encoder's last lines stay with the clip whatever else goes wrong.
        const QStringList lines = files.outcome->encoderLines;
        QString why;
        if (!files.folder->stillInPlace())
            files.outcome = ClipOutcome::folderMoved();
        else if (files.folder->identify(files.sourceName) != files.identity)
            files.outcome = ClipOutcome::sourceChanged();
        else if (!(why = files.output->commit(files.outputName, files.mp4Date)).isEmpty())
            files.outcome = ClipOutcome::notPlaced(why);
        files.outcome->encoderLines = lines;
    }
    // Discarded unless it was put in place.
    files.output.reset();
}

void ClipJob::diskStepEnded()
{
    switch (current) {
    case State::Preparing:
        if (files->outcome) {
            // Nothing was made that needs discarding.
            current = State::Ended;
            emit encoderDone();
            emit finished(*files->outcome);
        } else {
            startEncoder();
        }
        return;
    case State::Cancelled:
        close(files->outcome.value_or(ClipOutcome::stopped()));
        emit encoderDone();
        return;
    case State::Closing:
        current = State::Ended;
        emit finished(*files->outcome);
        return;
    default:
        return;
    }
}

void ClipJob::startEncoder()
{
    const QStringList arguments = encoderArguments(files->sourcePath(), files->mp4Date,
                                                   files->camera, files->output->encoderPath());
    output = EncoderOutput(files->sourcePath());
    process = new EncoderProcess(this);
    connect(process, &QIODevice::readyRead, this, &ClipJob::readEncoder);
    connect(process, &QProcess::finished, this, &ClipJob::encoderFinished);
    connect(process, &QProcess::errorOccurred, this, &ClipJob::encoderFailed);

    qDebug() << encoder;
    qDebug() << arguments;

    current = State::Encoding;
    process->startEncoder(encoder, arguments, files->output->inheritedDescriptor());
}

void ClipJob::encoderFailed(QProcess::ProcessError error)
{
    // A crash is followed by finished(); a failed start is not.
    if (error != QProcess::FailedToStart || !encoderRuns())
        return;
    stopTimer.stop();
    close(current == State::Encoding ? ClipOutcome::couldNotStart() : ClipOutcome::stopped());
    emit encoderDone();
}

bool ClipJob::encoderRuns() const
{
    return current == State::Encoding || current == State::Stopping || current == State::Killed;
}

void ClipJob::readEncoder()
{
    // Read as it comes, in pieces: a chatty encoder never fills memory.
    char chunk[16 * 1024];
    qint64 count;
    while ((count = process->read(chunk, sizeof chunk)) > 0)
        output.feed(QByteArrayView(chunk, count));
    const std::optional<double> fraction = output.fraction();
    if (fraction && *fraction != reportedFraction) {
        reportedFraction = *fraction;
        emit progress(*fraction);
    }
}

void ClipJob::encoderFinished(int exitCode, QProcess::ExitStatus status)
{
    readEncoder();
    output.finish();
    // Nothing the encoder started may write on into a file being placed.
    process->endWhole();
    stopTimer.stop();
    // A stopped encoder's file is not trusted, whatever it says.
    ClipOutcome outcome =
        current == State::Encoding ? outcomeOfExit(exitCode, status) : ClipOutcome::stopped();
    outcome.encoderLines = output.lastLines();
    close(outcome);
    emit encoderDone();
}

ClipOutcome ClipJob::outcomeOfExit(int exitCode, QProcess::ExitStatus status)
{
    if (status == QProcess::CrashExit)
        return ClipOutcome::crashed();
    // FFmpeg puts what it could read into the MP4, and exits with 0.
    if (!output.inputReadError().isEmpty())
        return ClipOutcome::readFailed(
            readFailureText(output.inputReadError(), output.progressSeconds()));
    if (exitCode != 0 || output.outputUnfinished())
        return ClipOutcome::exitedWithError(
            exitCode, output.errorReason({files->sourcePath(), files->output->encoderPath()}));
    return ClipOutcome::succeeded();
}

void ClipJob::close(const ClipOutcome &outcome)
{
    current = State::Closing;
    files->outcome = outcome;
    diskStep.start([files = files] { finish(*files); });
}

void ClipJob::stop()
{
    switch (current) {
    case State::Preparing:
        current = State::Cancelled;
        return;
    case State::Encoding:
        // It keeps the outcome of its exit, which the event loop has yet to tell.
        if (process->hasExited())
            return;
        current = State::Stopping;
        // FFmpeg ends cleanly on "q" from its input on every platform, where
        // terminate() does not reach a console program on Windows.
        process->write("q");
        stopTimer.start(gracefulStopMs);
        return;
    default:
        return;
    }
}

void ClipJob::stopTimeUp()
{
    if (current == State::Stopping) {
        current = State::Killed;
        process->endWhole();
        process->kill();
        stopTimer.start(killWaitMs);
    } else if (current == State::Killed) {
        // A killed process ends at once, unless it waits for a disk that
        // does not answer: then nothing ends it, and it is not waited for.
        giveUpEncoder();
        close(ClipOutcome::stopped());
        emit encoderDone();
    }
}

void ClipJob::giveUpEncoder()
{
    stopTimer.stop();
    process->endWhole();
    process->kill();
    EncoderKeeper::ofApplication()->keep(process);
    process = nullptr;
}

bool ClipJob::waitForStopped(QDeadlineTimer deadline)
{
    while (current != State::Ended) {
        switch (current) {
        case State::Preparing:
        case State::Cancelled:
        case State::Closing:
            if (!diskStep.waitForIdle(deadline))
                return false;
            break;
        case State::Encoding:
            if (!process->waitForFinished(millisecondsLeft(deadline)))
                return false;
            break;
        case State::Stopping:
        case State::Killed: {
            // Until the timer's end or the deadline, whichever comes first.
            const QDeadlineTimer timeUp(std::max(stopTimer.remainingTime(), 0));
            if (process->waitForFinished(millisecondsLeft(std::min(timeUp, deadline))))
                break;
            if (deadline.hasExpired())
                return false;
            stopTimer.stop();
            stopTimeUp();
            break;
        }
        case State::Waiting:
        case State::Ended:
            return current == State::Ended;
        }
    }
    return true;
}
