// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// Bare names of the camcorder clips in a folder: every "*.mts" entry, then
// every "*.m2ts" entry, each group sorted by name ignoring case. Matching
// ignores case; hidden entries are left out; folders named like clips count.
// Exactly two QDir::entryList calls on a default QDir (QDir::NoFilter,
// QDir::NoSort: its own filter and name order). Reentrant: safe to call from
// any thread.
QStringList listVideoFiles(const QString &folder);

// False for a folder that exists but that this user may not list (no read
// or no search permission), so it is not taken for one without clips. The
// text as the program uses it: relative to the current directory. Anything
// else is true, a missing path or an ordinary file included: listing those
// simply finds no clips.
bool folderCanBeListed(const QString &folder);

// The clips of the folder text as the window takes it (relative to the
// current directory; a file counts as an entry), or why there are none to
// show, in the words the window warns with: no such entry (an empty text
// included), a folder that cannot be read, or one without clips. `listed`:
// the folder was listed, so the window's list shows the outcome, clips or none.
struct FolderClips
{
    bool listed = false;
    QStringList clips;
    QString warning; // empty when there are clips
};
FolderClips checkFolder(const QString &folder);
