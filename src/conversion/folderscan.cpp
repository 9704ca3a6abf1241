#include "conversion/folderscan.h"

#include <QDir>
#include <QListWidget>

QStringList listVideoFiles(const QString &folder)
{
    QDir dir;
    dir.setPath(folder);
    return dir.entryList({QStringLiteral("*.mts")}, QDir::NoFilter, QDir::NoSort) +
           dir.entryList({QStringLiteral("*.m2ts")}, QDir::NoFilter, QDir::NoSort);
}

void appendVideoRows(QListWidget *list, const QStringList &names)
{
    list->addItems(names);
}
