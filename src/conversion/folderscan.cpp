#include "conversion/folderscan.h"

#include <QDir>

namespace {
QStringList entriesMatching(const QDir &dir, const QString &pattern)
{
    // A default QDir already filters AllEntries and sorts Name | IgnoreCase;
    // NoFilter and NoSort keep those defaults.
    return dir.entryList(QStringList{pattern}, QDir::NoFilter, QDir::NoSort);
}
} // namespace

QStringList listVideoFiles(const QString &folder)
{
    QDir dir;
    dir.setPath(folder);
    return entriesMatching(dir, QStringLiteral("*.mts")) +
           entriesMatching(dir, QStringLiteral("*.m2ts"));
}
