#include "conversion/folderscan.h"

#include <QDir>
#include <QFileInfo>
#include <QListWidget>

QStringList listVideoFiles(const QString &folder)
{
    QDir dir;
    dir.setPath(folder);
    return dir.entryList({QStringLiteral("*.mts")}, QDir::NoFilter, QDir::NoSort) +
           dir.entryList({QStringLiteral("*.m2ts")}, QDir::NoFilter, QDir::NoSort);
}

bool folderCanBeListed(const QString &folder)
{
    const QFileInfo info(folder);
    return !info.isDir() || (info.isReadable() && info.isExecutable());
}

void appendVideoRows(QListWidget *list, const QStringList &names)
{
    list->addItems(names);
}
