#include "conversion/conversionrun.h"

#include "conversion/conversionnaming.h"
#include "conversion/outputplacement.h"
#include "conversion/recordeddate.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {
constexpr int gracefulStopMs = 3000;
constexpr int killWaitMs = 3000;

void tieToThisProcess(QProcess &encoder)
{
#ifdef Q_OS_LINUX
    const pid_t tessel = ::getpid();
    encoder.setChildProcessModifier([tessel] {
        // A group of its own: Ctrl-C or a closed terminal signals Tessel's
        // group, and Tessel then stops the encoder the one way it stops it.
        ::setpgid(0, 0);
        // Even a killed Tessel leaves no encoder writing on.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != tessel)
            ::_exit(127);
    });
#else
    Q_UNUSED(encoder);
#endif
}
} // namespace

ConversionRun::ConversionRun(const QString &encoder, const QString &folder,
                             const QStringList &sourceNames, QObject *parent)
    : QObject(parent), encoder(encoder), folder(folder), sourceNames(sourceNames)
{}

ConversionRun::~ConversionRun()
{
    stop();
    // The members its signals reach are going: it must not signal on its way out.
    if (process)
        process->disconnect(this);
}

void ConversionRun::start()
{
    removeAbandonedOutputs(folder, sourceNames);
    startNext();
}

void ConversionRun::startNext()
{
    while (!stopping && next < sourceNames.size()) {
        process.reset();
        clip = Clip{};
        clip.index = next++;
        clip.sourceName = sourceNames.at(clip.index);
        clip.outputName = outputNameFor(clip.sourceName);
        clip.sourcePath = folder + QLatin1Char('/') + clip.sourceName;
        clip.outputPath = folder + QLatin1Char('/') + clip.outputName;
        clip.temporaryPath =
            folder + QLatin1Char('/') +
            temporaryOutputName(clip.sourceName, QCoreApplication::applicationPid());
        emit clipStarted(clip.index, clip.sourceName);

        const auto maker = madeBy.constFind(clip.outputName);
        if (maker != madeBy.cend()) {
            settle({EncoderOutcome::End::NameTaken,
                    0,
                    *maker + QStringLiteral(" already made ") + clip.outputName,
                    {}});
            continue;
        }
        readShotAt();
        return; // the date's arrival starts the encoder
    }
    process.reset();
    if (!stopping)
        emit finished();
}

void ConversionRun::readShotAt()
{
    const QFileInfo source(clip.sourcePath);
    clip.sourceSize = source.size();
    clip.sourceModified = source.lastModified();
    // Up to 4 MiB of a clip without a date, from a slow card perhaps: not on
    // the window's thread.
    dateReader = std::make_unique<QFutureWatcher<std::optional<QDateTime>>>();
    connect(dateReader.get(), &QFutureWatcherBase::finished, this, &ConversionRun::shotAtRead);
    dateReader->setFuture(QtConcurrent::run(recordedDateOfFile, clip.sourcePath));
}

void ConversionRun::shotAtRead()
{
    const std::optional<QDateTime> recorded = dateReader->result();
    // Not deleted inside its own signal.
    dateReader.release()->deleteLater();
    clip.shotAt = recorded.value_or(clip.sourceModified);
    // An encoder that could not start has settled its clip already.
    if (!startEncoder())
        QMetaObject::invokeMethod(this, &ConversionRun::startNext, Qt::QueuedConnection);
}

bool ConversionRun::startEncoder()
{
    const QStringList arguments =
        encoderArguments(clip.sourcePath, clip.shotAt, clip.temporaryPath);

    output = EncoderOutput();
    reportedFraction = -1;
    process = std::make_unique<QProcess>(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    tieToThisProcess(*process);
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

    awaitingEnd = true;
    inStart = true;
    // ReadWrite keeps the encoder's input open, so it can be asked to stop.
    process->start(encoder, arguments, QIODevice::ReadWrite);
    inStart = false;
    return awaitingEnd;
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
    if (stopRequested)
        outcome.end = EncoderOutcome::End::Stopped;
    else if (status == QProcess::CrashExit)
        outcome.end = EncoderOutcome::End::Crashed;
    else if (exitCode != 0 || output.outputUnfinished())
        outcome = {EncoderOutcome::End::ExitedWithError,
                   exitCode,
                   output.errorReason({clip.sourcePath, clip.temporaryPath}),
                   {}};
    else
        outcome.end = EncoderOutcome::End::Succeeded;
    outcome.encoderLines = output.lastLines();
    settle(outcome);
    // Queued: the process object that signalled is released there.
    if (!stopping)
        QMetaObject::invokeMethod(this, &ConversionRun::startNext, Qt::QueuedConnection);
}

void ConversionRun::encoderFailedToStart()
{
    settle({EncoderOutcome::End::CouldNotStart, 0, QString(), {}});
    if (!inStart && !stopping)
        QMetaObject::invokeMethod(this, &ConversionRun::startNext, Qt::QueuedConnection);
}

void ConversionRun::settle(EncoderOutcome outcome)
{
    awaitingEnd = false;
    if (outcome.end == EncoderOutcome::End::Succeeded) {
        const QFileInfo source(clip.sourcePath);
        QString why;
        if (source.size() != clip.sourceSize || source.lastModified() != clip.sourceModified)
            outcome.end = EncoderOutcome::End::SourceChanged;
        else if (!placeOutput(clip.temporaryPath, clip.outputPath, clip.shotAt, &why))
            outcome = {EncoderOutcome::End::NotPlaced, 0, why, outcome.encoderLines};
        else
            madeBy.insert(clip.outputName, clip.sourceName);
    }
    if (!outcome.converted() && outcome.end != EncoderOutcome::End::NameTaken)
        QFile::remove(clip.temporaryPath);
    ++(outcome.converted() ? converted : failed);
    emit clipFinished(clip.index, clip.sourceName, clip.outputName, outcome);
}

void ConversionRun::stop()
{
    stopping = true;
    if (dateReader) {
        // The read ends by itself within its 4 MiB; no encoder has started.
        dateReader.reset();
        settle({EncoderOutcome::End::Stopped, 0, QString(), {}});
        return;
    }
    if (!process || process->state() == QProcess::NotRunning)
        return;
    // An encoder that has already exited keeps the outcome of its exit.
    if (process->waitForFinished(0))
        return;
    stopRequested = true;
    // FFmpeg ends cleanly on "q" from its input on every platform, where
    // terminate() does not reach a console program on Windows.
    process->write("q");
    if (process->waitForFinished(gracefulStopMs))
        return;
    process->kill();
    process->waitForFinished(killWaitMs);
}
