// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "mainwindow/settingskeys.h"

// Points the program's settings store at a private temporary folder for the
// life of this object, so a test never reads or writes the user's own
// settings. Create it before the first window. On Windows the store is the
// registry, which setPath() does not move: the Windows tests run in a Wine
// prefix of their own (scripts/wine-run.sh), one window test at a time.
class IsolatedSettings
{
public:
    IsolatedSettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }

    QString folder() const { return dir.path(); }

    // Read and written through a fresh store each time, as the next run of
    // the program would see it.
    QVariant storedFolder() const
    {
        const QSettings store(QStringLiteral("Ostrell"), QStringLiteral("Tessel"));
        return store.value(lastOpenDirectoryKey);
    }
    void storeFolder(const QString &folder) const
    {
        QSettings store(QStringLiteral("Ostrell"), QStringLiteral("Tessel"));
        store.setValue(lastOpenDirectoryKey, folder);
    }
    void clear() const
    {
        QSettings store(QStringLiteral("Ostrell"), QStringLiteral("Tessel"));
        store.clear();
    }

private:
    QTemporaryDir dir;
};
