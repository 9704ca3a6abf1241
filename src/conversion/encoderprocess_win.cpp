// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/encoderprocess.h"

#include <windows.h>

EncoderProcess::EncoderProcess(QObject *parent) : QProcess(parent)
{
    job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job)
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

EncoderProcess::~EncoderProcess()
{
    // Whatever the encoder started ends with the job.
    if (job)
        CloseHandle(job);
}

QString EncoderProcess::programFileName()
{
    return QStringLiteral("ffmpeg.exe");
}

// The encoder opens its file by name on Windows; nothing is inherited.
void EncoderProcess::tieToTessel(int) {}

void EncoderProcess::joinGroup()
{
    group = processId();
    if (!job)
        return;
    const HANDLE started = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(group));
    if (started) {
        AssignProcessToJobObject(job, started);
        CloseHandle(started);
    }
}

void EncoderProcess::endWhole()
{
    if (job && group > 0)
        TerminateJobObject(job, 1);
    group = 0;
}

bool EncoderProcess::hasExited() const
{
    const qint64 pid = processId();
    if (pid <= 0)
        return state() == QProcess::NotRunning;
    // QProcess holds the process's handle, so its id names no other process.
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return true;
    const bool exited = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return exited;
}
