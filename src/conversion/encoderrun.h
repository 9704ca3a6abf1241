#pragma once

#include <QString>
#include <QStringList>

#include <memory>

#include "conversion/encoderoutcome.h"

class QObject;
class QProcess;

// One run of the encoder over one clip, from start to end. The encoder's
// console output (standard error merged in) is read and dropped as it comes,
// so a chatty encoder never fills memory. The process object lives only as
// long as this run.
class EncoderRun
{
public:
    // The process object is a child of `owner` while it exists.
    EncoderRun(const QString &program, const QStringList &arguments, QObject *owner);
    ~EncoderRun();

    EncoderRun(const EncoderRun &) = delete;
    EncoderRun &operator=(const EncoderRun &) = delete;

    QProcess *process() const { return encoder.get(); }

    // Starts the encoder and keeps the application live until it has ended.
    // If the application starts quitting meanwhile, the encoder is stopped
    // and the outcome is Stopped.
    EncoderOutcome run();

private:
    void stop();

    QString program;
    QStringList arguments;
    std::unique_ptr<QProcess> encoder;
};
