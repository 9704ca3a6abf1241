#include "conversion/encoderrun.h"

#include "mainwindow/localwait.h"

#include <QProcess>

namespace {
constexpr int gracefulStopMs = 3000;
constexpr int killWaitMs = 3000;
} // namespace

EncoderRun::EncoderRun(const QString &program, const QStringList &arguments, QObject *owner)
    : program(program), arguments(arguments), encoder(std::make_unique<QProcess>(owner))
{
    encoder->setProcessChannelMode(QProcess::MergedChannels);
    QProcess *const process = encoder.get();
    QObject::connect(process, &QIODevice::readyRead, process,
                     [process] { process->skip(process->bytesAvailable()); });
}

EncoderRun::~EncoderRun() = default;

EncoderOutcome EncoderRun::run()
{
    LocalWait wait;
    bool couldNotStart = false;
    {
        // Connections end with this scope, before `wait` goes.
        QObject scope;
        QObject::connect(encoder.get(), &QProcess::finished, &scope, [&wait] { wait.finish(); });
        QObject::connect(encoder.get(), &QProcess::errorOccurred, &scope,
                         [&](QProcess::ProcessError error) {
                             // A crash is followed by finished(); only a failed start
                             // ends the run by itself. It may be reported inside
                             // start() or later: wait() copes with either.
                             if (error == QProcess::FailedToStart) {
                                 couldNotStart = true;
                                 wait.finish();
                             }
                         });
        // ReadWrite keeps the encoder's input open, so it can be asked to stop.
        encoder->start(program, arguments, QIODevice::ReadWrite);
        if (wait.wait() == LocalWait::End::ApplicationQuit) {
            stop();
            return {EncoderOutcome::End::Stopped, 0};
        }
    }
    if (couldNotStart)
        return {EncoderOutcome::End::CouldNotStart, 0};
    if (encoder->exitStatus() == QProcess::CrashExit)
        return {EncoderOutcome::End::Crashed, 0};
    const int code = encoder->exitCode();
    return {code == 0 ? EncoderOutcome::End::Succeeded : EncoderOutcome::End::ExitedWithError,
            code};
}

void EncoderRun::stop()
{
    if (encoder->state() == QProcess::NotRunning)
        return;
    // FFmpeg ends cleanly on "q" from its input on every platform, where
    // terminate() does not reach a console program on Windows.
    encoder->write("q");
    if (encoder->waitForFinished(gracefulStopMs))
        return;
    encoder->kill();
    encoder->waitForFinished(killWaitMs);
}
