#pragma once

#include <QString>
#include <QStringList>

class QListWidget;

// Bare names of the camcorder clips in a folder: every "*.mts" entry, then
// every "*.m2ts" entry, each group sorted by name ignoring case. Matching
// ignores case; hidden entries are left out; folders named like clips count.
// Both the folder scan and the conversion run list through here.
//
// The result is exactly what two QDir::entryList calls ("*.mts", then
// "*.m2ts"; QDir::NoFilter, QDir::NoSort on a default QDir) give, read in one
// walk of the folder instead of two. Names equal when lower-cased (possible on
// case-sensitive file systems) are ordered by their exact text, where QDir
// leaves their order open. Pure and reentrant: safe to call from any thread.
QStringList listVideoFiles(const QString &folder);

// Appends one plain row per name to `list`, in order, as the folder scan shows
// its result: a default QListWidgetItem with the name as text, inserted at
// row count(). GUI thread only.
void appendVideoRows(QListWidget *list, const QStringList &names);
