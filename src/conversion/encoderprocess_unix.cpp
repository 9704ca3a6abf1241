// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/encoderprocess.h"

#include <csignal>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

EncoderProcess::EncoderProcess(QObject *parent) : QProcess(parent) {}

EncoderProcess::~EncoderProcess() = default;

QString EncoderProcess::programFileName()
{
    return QStringLiteral("ffmpeg");
}

void EncoderProcess::tieToTessel(int inheritedDescriptor)
{
    const pid_t tessel = ::getpid();
    setChildProcessModifier([tessel, inheritedDescriptor] {
        // A group of its own: Ctrl-C or a closed terminal signals Tessel's
        // group, and Tessel then stops the encoder the one way it stops it;
        // that way also reaches whatever the encoder starts.
        ::setpgid(0, 0);
#ifdef Q_OS_LINUX
        // Linux alone can tie a child to its parent's death: even a killed
        // Tessel leaves no encoder writing on.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        if (::getppid() != tessel)
            ::_exit(127);
        if (inheritedDescriptor >= 0)
            ::fcntl(inheritedDescriptor, F_SETFD, 0);
    });
}

void EncoderProcess::joinGroup()
{
    group = processId();
}

void EncoderProcess::endWhole()
{
    if (group > 0)
        ::kill(-pid_t(group), SIGKILL);
    group = 0;
}

bool EncoderProcess::hasExited() const
{
    const pid_t pid = pid_t(processId());
    if (pid <= 0)
        return state() == QProcess::NotRunning;
    // WNOWAIT leaves the exit to be collected by QProcess.
    siginfo_t info = {};
    return ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}
