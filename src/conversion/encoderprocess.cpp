// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/encoderprocess.h"

void EncoderProcess::startEncoder(const QString &program, const QStringList &arguments,
                                  int inheritedDescriptor)
{
    setProcessChannelMode(QProcess::MergedChannels);
    tieToTessel(inheritedDescriptor);
    start(program, arguments, QIODevice::ReadWrite);
    if (state() != QProcess::NotRunning)
        joinGroup();
}
