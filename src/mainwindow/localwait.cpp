// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/localwait.h"

namespace {
// Any code but the 0 that QCoreApplication::exit() hands every loop, and the
// -1 that exec() returns when the application is already quitting.
constexpr int finishedCode = 0x7e55;
} // namespace

void LocalWait::finish()
{
    finished = true;
    loop.exit(finishedCode);
}

LocalWait::End LocalWait::wait()
{
    if (finished)
        return End::Finished;
    return loop.exec() == finishedCode ? End::Finished : End::ApplicationQuit;
}
