// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/clipjob.h"

#include "conversion/camerarecord.h"
#include "conversion/encodercommand.h"
#include "conversion/encoderprocess.h"
#include "conversion/runfolder.h"
#include "conversion/unfinishedoutput.h"

#include <QDebug>
#include <QSemaphore>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <optional>
#include <utility>

namespace {
constexpr int gracefulStopMs = 3000;
// A killed process ends at once, unless it waits for a disk that does not
// answer: then nothing ends it, and it is not waited for.
constexpr int killWaitMs = 1000;
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
    ClipOutcome outcome; // after Preparing, a failure only; after Closing, the clip's
    bool failed = false;
    std::atomic<bool> stepDone{false}; // the step's work is over; its future ends next

    QString sourcePath() const { return folder->filePath(sourceName); }
};

ClipJob::ClipJob(const QString &encoder, std::shared_ptr<const RunFolder> folder,
                 const QString &sourceName, const QString &outputName, QThreadPool *disk,
                 std::shared_ptr<QSemaphore> stepsEnded, QObject *parent)
    : QObject(parent), encoder(encoder), disk(disk), stepsEnded(std::move(stepsEnded)),
      files(std::make_shared<Files>())
{
    files->folder = std::move(folder);
    files->sourceName = sourceName;
    files->outputName = outputName;
    connect(&diskStep, &QFutureWatcherBase::finished, this, &ClipJob::diskStepEnded);
}

ClipJob::~ClipJob()
{
    // Whoever listens may be going too.
    blockSignals(true);
    if (process)
        process->disconnect(this);
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
    current = Step::Preparing;
    onDisk(prepare, &ClipJob::prepared);
}

void ClipJob::onDisk(void (*work)(Files &), void (ClipJob::*then)())
{
    afterDisk = then;
    files->stepDone = false;
    diskStep.setFuture(QtConcurrent::run(disk, [work, files = files, ended = stepsEnded] {
        work(*files);
        files->stepDone = true;
        ended->release();
    }));
}

void ClipJob::diskStepEnded()
{
    // settle() may have gone on already; the event still comes.
    if (const auto then = std::exchange(afterDisk, nullptr))
        (this->*then)();
}

void ClipJob::settle()
{
    if (!afterDisk || !files->stepDone)
        return;
    // Its work is over: only the task's return is left.
    diskStep.waitForFinished();
    diskStepEnded();
}

void ClipJob::prepare(Files &files)
{
    if (!files.folder->stillInPlace()) {
        files.failed = true;
        files.outcome = {ClipOutcome::End::FolderMoved, 0, QString(), {}};
        return;
    }
    // Measured before the date is read, so the date is the measured file's.
    files.identity = files.folder->identify(files.sourceName);
    files.camera = cameraRecordOfFile(files.sourcePath());
    files.mp4Date = files.camera.recorded.value_or(files.identity.modified());
    QString why;
    files.output = UnfinishedOutput::create(*files.folder, files.sourceName, &why);
    if (!files.output) {
        files.failed = true;
        files.outcome = {ClipOutcome::End::NotPlaced, 0, why, {}};
    }
}

void ClipJob::finish(Files &files)
{
    ClipOutcome &outcome = files.outcome;
    if (outcome.converted()) {
        if (!files.folder->stillInPlace()) {
            outcome.end = ClipOutcome::End::FolderMoved;
        } else if (files.folder->identify(files.sourceName) != files.identity) {
            outcome.end = ClipOutcome::End::SourceChanged;
        } else {
            const QString why = files.output->commit(files.outputName, files.mp4Date);
            if (!why.isEmpty())
                outcome = {ClipOutcome::End::NotPlaced, 0, why, outcome.encoderLines};
        }
    }
    // Discarded unless it was put in place.
    files.output.reset();
}

void ClipJob::prepared()
{
    if (stopAsked) {
        close({ClipOutcome::End::Stopped, 0, QString(), {}});
        emit encoderDone();
        return;
    }
    if (files->failed) {
        current = Step::Ended;
        emit encoderDone();
        emit finished(files->outcome);
        return;
    }
    startEncoder();
}

void ClipJob::startEncoder()
{
    const QStringList arguments = encoderArguments(files->sourcePath(), files->mp4Date,
                                                   files->camera, files->output->encoderPath());
    process = std::make_unique<EncoderProcess>(this);
    EncoderProcess *const encoderProcess = process.get();
    connect(encoderProcess, &QIODevice::readyRead, this, &ClipJob::readEncoder);
    connect(encoderProcess, &QProcess::finished, this, &ClipJob::encoderFinished);
    connect(encoderProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A crash is followed by finished(); a failed start is not.
        if (error == QProcess::FailedToStart)
            encoderEnded({ClipOutcome::End::CouldNotStart, 0, QString(), {}});
    });

    qDebug() << encoder;
    qDebug() << arguments;

    current = Step::Encoding;
    encoderProcess->startEncoder(encoder, arguments, files->output->inheritedDescriptor());
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
    ClipOutcome outcome;
    if (stopAsked)
        outcome.end = ClipOutcome::End::Stopped;
    else if (status == QProcess::CrashExit)
        outcome.end = ClipOutcome::End::Crashed;
    else if (exitCode != 0 || output.outputUnfinished())
        outcome = {ClipOutcome::End::ExitedWithError,
                   exitCode,
                   output.errorReason({files->sourcePath(), files->output->encoderPath()}),
                   {}};
    else
        outcome.end = ClipOutcome::End::Succeeded;
    outcome.encoderLines = output.lastLines();
    // Nothing the encoder started may write on into a file being placed.
    process->endWhole();
    encoderEnded(outcome);
}

void ClipJob::encoderEnded(const ClipOutcome &outcome)
{
    if (current != Step::Encoding)
        return;
    // Not deleted inside its own signal, but before anything else happens:
    // a deferred delete would wait for the loop it was asked in, which a
    // nested wait may never return to.
    process->disconnect(this);
    QMetaObject::invokeMethod(
        this, [this] { process.reset(); }, Qt::QueuedConnection);
    close(outcome);
    emit encoderDone();
}

void ClipJob::close(const ClipOutcome &outcome)
{
    current = Step::Closing;
    files->outcome = outcome;
    onDisk(finish, &ClipJob::closed);
}

void ClipJob::closed()
{
    current = Step::Ended;
    emit finished(files->outcome);
}

void ClipJob::stop()
{
    // An encoder that has already exited keeps the outcome of its exit.
    if (current == Step::Encoding && !process->waitForFinished(0)) {
        stopAsked = true;
        // FFmpeg ends cleanly on "q" from its input on every platform, where
        // terminate() does not reach a console program on Windows.
        process->write("q");
        if (!process->waitForFinished(gracefulStopMs)) {
            process->endWhole();
            process->kill();
            if (!process->waitForFinished(killWaitMs))
                abandonEncoder();
        }
    }
    stopAsked = true;
}

void ClipJob::abandonEncoder()
{
    // Never deleted: a QProcess waits for its process when it goes.
    EncoderProcess *const stuck = process.release();
    stuck->disconnect(this);
    stuck->setParent(nullptr);
    close({ClipOutcome::End::Stopped, 0, QString(), {}});
    emit encoderDone();
}
