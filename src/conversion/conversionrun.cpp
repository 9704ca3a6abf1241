#include "conversion/conversionrun.h"

#include "conversion/camerarecord.h"
#include "conversion/conversionnaming.h"
#include "conversion/outputplacement.h"
#include "conversion/unfinishedoutput.h"

#include <QDebug>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
constexpr int gracefulStopMs = 3000;
constexpr int killWaitMs = 3000;

void tieToThisProcess(QProcess &encoder, int inheritedDescriptor)
{
#ifdef Q_OS_UNIX
    const pid_t tessel = ::getpid();
    encoder.setChildProcessModifier([tessel, inheritedDescriptor] {
        // A group of its own: Ctrl-C or a closed terminal signals Tessel's
        // group, and Tessel then stops the encoder the one way it stops it;
        // that way also reaches whatever the encoder starts (a wrapper script).
        ::setpgid(0, 0);
#ifdef Q_OS_LINUX
        // Even a killed Tessel leaves no encoder writing on.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        if (::getppid() != tessel)
            ::_exit(127);
        // Only the encoder inherits its unfinished file, no other child of Tessel.
        if (inheritedDescriptor >= 0)
            ::fcntl(inheritedDescriptor, F_SETFD, 0);
    });
#else
    Q_UNUSED(encoder);
    Q_UNUSED(inheritedDescriptor);
#endif
}
} // namespace

ConversionRun::ConversionRun(const QString &encoder, const QString &folder,
                             const QStringList &sourceNames, QObject *parent)
    : QObject(parent), encoder(encoder), sourceNames(sourceNames), folder(folder)
{
#ifdef Q_OS_WIN
    job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job)
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
#endif
}

ConversionRun::~ConversionRun()
{
    // Whoever listens may be going too: the clip stopped here still has its
    // file removed, but nothing is signalled on the way out.
    blockSignals(true);
    stop();
    // The members its signals reach are going: it must not signal on its way out.
    if (process)
        process->disconnect(this);
#ifdef Q_OS_WIN
    if (job)
        CloseHandle(job);
#endif
}

void ConversionRun::start()
{
    removeAbandonedOutputs(folder, sourceNames);
    startNext();
}

void ConversionRun::startNext()
{
    if (state != State::Idle)
        return;
    while (next < sourceNames.size()) {
        const QString outputName = outputNameFor(sourceNames.at(next));
        // A clip whose MP4 an earlier clip is still putting in place is told
        // once that has ended; that end starts it.
        if (outputBeingPlaced(outputName))
            return;
        process.reset();
        clip = Clip{};
        clip.index = next++;
        clip.sourceName = sourceNames.at(clip.index);
        clip.outputName = outputName;
        emit clipStarted(clip.index, clip.sourceName);

        const auto maker = madeBy.constFind(clip.outputName);
        if (maker != madeBy.cend()) {
            report(clip, {EncoderOutcome::End::NameTaken,
                          0,
                          *maker + QStringLiteral(" already made ") + clip.outputName,
                          {}});
            continue;
        }
        if (!folder.stillInPlace()) {
            report(clip, {EncoderOutcome::End::FolderMoved, 0, QString(), {}});
            continue;
        }
        readDate();
        return; // the date's arrival starts the encoder, whose end starts the next clip
    }
    process.reset();
    if (placements.empty()) {
        state = State::Finished;
        emit finished();
    }
}

void ConversionRun::readDate()
{
    // Measured before the date is read, so the date is the measured file's.
    clip.identity = folder.identify(clip.sourceName);
    state = State::ReadingDate;
    // Up to 4 MiB of a clip without a date, from a slow card perhaps: not on
    // the window's thread.
    dateReader = std::make_unique<QFutureWatcher<CameraRecord>>();
    connect(dateReader.get(), &QFutureWatcherBase::finished, this, &ConversionRun::dateRead);
    dateReader->setFuture(
        QtConcurrent::run(cameraRecordOfFile, folder.path() + QLatin1Char('/') + clip.sourceName));
}

void ConversionRun::dateRead()
{
    clip.camera = dateReader->result();
    // Not deleted inside its own signal.
    dateReader.release()->deleteLater();
    clip.mp4Date = clip.camera.recorded.value_or(clip.identity.modified());
    state = State::Idle;
    // A clip whose encoder could not start has its outcome already.
    if (!startEncoder() && state == State::Idle)
        QMetaObject::invokeMethod(this, &ConversionRun::startNext, Qt::QueuedConnection);
}

bool ConversionRun::startEncoder()
{
    QString why;
    clip.output = UnfinishedOutput::create(folder, clip.sourceName, &why);
    if (!clip.output) {
        report(clip, {EncoderOutcome::End::NotPlaced, 0, why, {}});
        return false;
    }
    const QString sourcePath = folder.path() + QLatin1Char('/') + clip.sourceName;
    const QStringList arguments =
        encoderArguments(sourcePath, clip.mp4Date, clip.camera, clip.output->encoderPath());

    output = EncoderOutput();
    reportedFraction = -1;
    process = std::make_unique<QProcess>(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    tieToThisProcess(*process, clip.output->inheritedDescriptor());
    QProcess *const encoderProcess = process.get();
    connect(encoderProcess, &QIODevice::readyRead, this, &ConversionRun::readEncoder);
    connect(encoderProcess, &QProcess::finished, this, &ConversionRun::encoderFinished);
    connect(encoderProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A crash is followed by finished(); a failed start is not.
        if (error == QProcess::FailedToStart)
            encoderFailedToStart();
    });

    qDebug() << encoder;
    qDebug() << arguments;

    state = State::Starting;
    // ReadWrite keeps the encoder's input open, so it can be asked to stop.
    process->start(encoder, arguments, QIODevice::ReadWrite);
    if (state != State::Starting)
        return false; // it could not start, and has its outcome
    state = State::Encoding;
    encoderGroup = process->processId();
#ifdef Q_OS_WIN
    if (job) {
        const HANDLE started =
            OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(encoderGroup));
        if (started) {
            AssignProcessToJobObject(job, started);
            CloseHandle(started);
        }
    }
#endif
    return true;
}

void ConversionRun::readEncoder()
{
    // Read as it comes, in pieces: a chatty encoder never fills memory.
    char chunk[16 * 1024];
    qint64 count;
    while ((count = process->read(chunk, sizeof chunk)) > 0)
        output.feed(QByteArrayView(chunk, count));
    const std::optional<double> fraction = output.fraction();
    if (fraction && *fraction != reportedFraction) {
        reportedFraction = *fraction;
        emit clipProgress(clip.index, *fraction);
    }
}

void ConversionRun::encoderFinished(int exitCode, QProcess::ExitStatus status)
{
    readEncoder();
    output.finish();
    EncoderOutcome outcome;
    if (state == State::StopAsked)
        outcome.end = EncoderOutcome::End::Stopped;
    else if (status == QProcess::CrashExit)
        outcome.end = EncoderOutcome::End::Crashed;
    else if (exitCode != 0 || output.outputUnfinished())
        outcome = {EncoderOutcome::End::ExitedWithError,
                   exitCode,
                   output.errorReason({folder.path() + QLatin1Char('/') + clip.sourceName,
                                       clip.output->encoderPath()}),
                   {}};
    else
        outcome.end = EncoderOutcome::End::Succeeded;
    outcome.encoderLines = output.lastLines();
    state = stopping() ? State::Stopped : State::Idle;
    // Nothing the encoder started may write on into a file being placed.
    endWholeEncoder();
    encoderEnded(outcome);
    // Queued: the process object that signalled is released there.
    if (state == State::Idle)
        QMetaObject::invokeMethod(this, &ConversionRun::startNext, Qt::QueuedConnection);
}

void ConversionRun::encoderFailedToStart()
{
    const bool inStart = state == State::Starting;
    if (!stopping())
        state = State::Idle;
    encoderGroup = 0;
    encoderEnded({EncoderOutcome::End::CouldNotStart, 0, QString(), {}});
    if (!inStart && state == State::Idle)
        QMetaObject::invokeMethod(this, &ConversionRun::startNext, Qt::QueuedConnection);
}

void ConversionRun::endWholeEncoder()
{
#ifdef Q_OS_UNIX
    if (encoderGroup > 0)
        ::kill(-pid_t(encoderGroup), SIGKILL);
#elif defined(Q_OS_WIN)
    if (job && encoderGroup > 0)
        TerminateJobObject(job, 1);
#endif
    encoderGroup = 0;
}

void ConversionRun::encoderEnded(EncoderOutcome outcome)
{
    if (outcome.end == EncoderOutcome::End::Succeeded) {
        if (!folder.stillInPlace()) {
            outcome.end = EncoderOutcome::End::FolderMoved;
        } else if (folder.identify(clip.sourceName) != clip.identity) {
            outcome.end = EncoderOutcome::End::SourceChanged;
        } else {
            auto placement = std::make_unique<Placement>();
            placement->clip = clip;
            placement->outcome = outcome;
            Placement *const started = placement.get();
            connect(&started->watcher, &QFutureWatcherBase::finished, this,
                    [this, started] { placementEnded(started); });
            placements.push_back(std::move(placement));
            const std::shared_ptr<UnfinishedOutput> file = clip.output;
            const QString name = clip.outputName;
            const QDateTime date = clip.mp4Date;
            started->watcher.setFuture(
                QtConcurrent::run([file, name, date] { return file->place(name, date); }));
            clip.output.reset();
            return;
        }
    }
    clip.output.reset();
    report(clip, outcome);
}

void ConversionRun::placementEnded(Placement *placement)
{
    const auto at = std::find_if(placements.begin(), placements.end(),
                                 [placement](const auto &held) { return held.get() == placement; });
    if (at == placements.end())
        return;
    const std::unique_ptr<Placement> ended = std::move(*at);
    placements.erase(at);

    EncoderOutcome outcome = ended->outcome;
    const QString why = ended->watcher.result();
    if (why.isEmpty())
        madeBy.insert(ended->clip.outputName, ended->clip.sourceName);
    else
        outcome = {EncoderOutcome::End::NotPlaced, 0, why, outcome.encoderLines};
    ended->clip.output.reset();
    report(ended->clip, outcome);
    startNext();
}

bool ConversionRun::outputBeingPlaced(const QString &outputName) const
{
    return std::any_of(placements.cbegin(), placements.cend(), [&outputName](const auto &held) {
        return held->clip.outputName == outputName;
    });
}

void ConversionRun::report(const Clip &ended, const EncoderOutcome &outcome)
{
    // Told in the clips' order, so the rows and the count follow the run even
    // where a later clip ends before an earlier one's MP4 is in place.
    const auto at = std::find_if(held.cbegin(), held.cend(), [&ended](const Report &waiting) {
        return waiting.index > ended.index;
    });
    held.insert(at, {ended.index, ended.sourceName, ended.outputName, outcome});
    while (!held.empty() &&
           std::none_of(placements.cbegin(), placements.cend(), [this](const auto &placing) {
               return placing->clip.index < held.front().index;
           })) {
        const Report told = held.front();
        held.erase(held.begin());
        ++(told.outcome.converted() ? converted : failed);
        emit clipFinished(told.index, told.sourceName, told.outputName, told.outcome);
    }
}

void ConversionRun::stop()
{
    if (state == State::Finished)
        return;
    const bool encoding = state == State::Encoding;
    const bool readingDate = state == State::ReadingDate;
    state = State::Stopped;
    if (readingDate) {
        // The read ends by itself within its 4 MiB; no encoder has started.
        dateReader.reset();
        report(clip, {EncoderOutcome::End::Stopped, 0, QString(), {}});
    }
    // An encoder that has already exited keeps the outcome of its exit.
    if (encoding && process && !process->waitForFinished(0)) {
        state = State::StopAsked;
        // FFmpeg ends cleanly on "q" from its input on every platform, where
        // terminate() does not reach a console program on Windows.
        process->write("q");
        if (!process->waitForFinished(gracefulStopMs)) {
            endWholeEncoder();
            process->kill();
            process->waitForFinished(killWaitMs);
        }
    }
    state = State::Stopped;
    // MP4s being put in place are whole; they are not abandoned halfway.
    while (!placements.empty()) {
        Placement *const placement = placements.front().get();
        placement->watcher.waitForFinished();
        placementEnded(placement);
    }
}
