// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// How the conversion of one clip ended.
struct ClipOutcome
{
    enum class End {
        Succeeded,       // the encoder exited normally with code 0 and its MP4 is in place
        ExitedWithError, // exited normally with another code, or said its MP4 is cut off
        Crashed,
        ReadFailed, // the clip could not be read to its end (a failing card); `detail` says why and
                    // where
        CouldNotStart,
        Stopped,       // the program was closing; the file is not trusted whatever the code
        SourceChanged, // the clip changed while it was read: still being copied, perhaps
        NameTaken,     // an earlier clip of the run made the MP4 of this name; `detail` names it
        NotPlaced,     // the MP4 could not be written aside or put in place; `detail` says why
        FolderMoved,   // the clip's folder was renamed or removed during the run
    };

    End end = End::CouldNotStart;
    int exitCode = 0;
    QString detail;           // for a failure, the reason in the encoder's own words if it gave one
    QStringList encoderLines; // the last lines the encoder printed

    bool converted() const { return end == End::Succeeded; }

    static ClipOutcome succeeded() { return of(End::Succeeded); }
    static ClipOutcome exitedWithError(int code, const QString &reason)
    {
        return of(End::ExitedWithError, reason, code);
    }
    static ClipOutcome crashed() { return of(End::Crashed); }
    static ClipOutcome readFailed(const QString &why) { return of(End::ReadFailed, why); }
    static ClipOutcome couldNotStart() { return of(End::CouldNotStart); }
    static ClipOutcome stopped() { return of(End::Stopped); }
    static ClipOutcome sourceChanged() { return of(End::SourceChanged); }
    static ClipOutcome nameTaken(const QString &madeBy) { return of(End::NameTaken, madeBy); }
    static ClipOutcome notPlaced(const QString &why) { return of(End::NotPlaced, why); }
    static ClipOutcome folderMoved() { return of(End::FolderMoved); }

private:
    static ClipOutcome of(End end, const QString &detail = QString(), int exitCode = 0)
    {
        ClipOutcome outcome;
        outcome.end = end;
        outcome.exitCode = exitCode;
        outcome.detail = detail;
        return outcome;
    }
};
