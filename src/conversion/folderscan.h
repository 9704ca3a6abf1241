#pragma once

#include <QString>
#include <QStringList>

class QListWidget;

// Bare names of the camcorder clips in a folder: every "*.mts" entry, then
// every "*.m2ts" entry, each group sorted by name ignoring case. Matching
// ignores case; hidden entries are left out; folders named like clips count.
// Both the folder scan and the conversion run list through here. Exactly two
// QDir::entryList calls on a default QDir (QDir::NoFilter, QDir::NoSort: its
// own filter and name order). Reentrant: safe to call from any thread.
QStringList listVideoFiles(const QString &folder);

// False for a folder that exists but that this user may not list (no read
// or no search permission), so it is not taken for one without clips. The
// text as the program uses it: relative to the current directory. Anything
// else is true, a missing path or an ordinary file included: listing those
// simply finds no clips.
bool folderCanBeListed(const QString &folder);

// Appends one plain row per name to `list`, in order, as the folder scan shows
// its result: a default QListWidgetItem with the name as text, inserted at
// row count(). GUI thread only.
void appendVideoRows(QListWidget *list, const QStringList &names);
