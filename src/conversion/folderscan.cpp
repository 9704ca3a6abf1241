#include "conversion/folderscan.h"

#include <QDir>
#include <QDirIterator>
#include <QListWidget>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace {
// The order QDir::Name | QDir::IgnoreCase gives: lower-cased names compared
// by UTF-16 code unit, no locale rules. Exact text breaks ties.
void sortIgnoringCase(QStringList &names)
{
    struct Keyed
    {
        QString key;
        QString name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(names.size()));
    for (QString &name : names) {
        QString key = name.toLower();
        keyed.push_back({std::move(key), std::move(name)});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        const int byKey = a.key.compare(b.key);
        return byKey != 0 ? byKey < 0 : a.name.compare(b.name) < 0;
    });
    names.clear();
    for (Keyed &entry : keyed)
        names.append(std::move(entry.name));
}
} // namespace

QStringList listVideoFiles(const QString &folder)
{
    // The path as a default QDir given this text would hold it (separators
    // normalised, one trailing slash dropped), and the filter of a default
    // QDir (AllEntries, no Hidden, no System). One walk with both patterns:
    // QDirIterator applies them exactly as QDir::entryList does.
    const QString mtsPattern = QStringLiteral("*.mts");
    const QString m2tsPattern = QStringLiteral("*.m2ts");
    QDir dir;
    dir.setPath(folder);
    QDirIterator it(dir.path(), QStringList{mtsPattern, m2tsPattern}, QDir::AllEntries);

    // A name that passed "*.m2ts" cannot also match "*.mts" (its last four
    // characters are "m2ts", not ".mts"), so the wildcard "*.mts" decides
    // which group an entry belongs to.
    const QRegularExpression mts(QRegularExpression::wildcardToRegularExpression(mtsPattern),
                                 QRegularExpression::CaseInsensitiveOption);
    QStringList mtsNames;
    QStringList m2tsNames;
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        (mts.match(name).hasMatch() ? mtsNames : m2tsNames).append(name);
    }
    sortIgnoringCase(mtsNames);
    sortIgnoringCase(m2tsNames);
    return mtsNames + m2tsNames;
}

void appendVideoRows(QListWidget *list, const QStringList &names)
{
    for (const QString &name : names)
        list->insertItem(list->count(), new QListWidgetItem(name));
}
