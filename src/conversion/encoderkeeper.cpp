// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/encoderkeeper.h"

#include "conversion/encoderprocess.h"

#include <QCoreApplication>

#include <algorithm>

EncoderKeeper::EncoderKeeper(QObject *application) : QObject(application) {}

EncoderKeeper::~EncoderKeeper() = default;

EncoderKeeper *EncoderKeeper::ofApplication()
{
    QCoreApplication *const application = QCoreApplication::instance();
    EncoderKeeper *keeper =
        application->findChild<EncoderKeeper *>(QString(), Qt::FindDirectChildrenOnly);
    return keeper ? keeper : new EncoderKeeper(application);
}

void EncoderKeeper::keep(EncoderProcess *encoder)
{
    encoder->disconnect();
    encoder->setParent(this);
    dropLeft();
}

bool EncoderKeeper::waitForAll(QDeadlineTimer deadline)
{
    for (EncoderProcess *encoder : findChildren<EncoderProcess *>()) {
        if (!encoder->waitForFinished(int(std::max<qint64>(deadline.remainingTime(), 0))))
            break;
    }
    dropLeft();
    return findChildren<EncoderProcess *>().isEmpty();
}

// Not from their own finished(): a QProcess must not be destroyed inside it.
void EncoderKeeper::dropLeft()
{
    for (EncoderProcess *encoder : findChildren<EncoderProcess *>()) {
        if (encoder->state() == QProcess::NotRunning)
            delete encoder;
    }
}
