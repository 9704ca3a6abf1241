#pragma once

#include <QString>
#include <QStringList>

// Bare names of the camcorder clips in a folder: every "*.mts" entry, then
// every "*.m2ts" entry, each group sorted by name ignoring case. Matching
// ignores case; hidden entries are left out; folders named like clips count.
// Both the folder scan and the conversion run list through here.
QStringList listVideoFiles(const QString &folder);
