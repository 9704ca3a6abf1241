// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDir>
#include <QTemporaryDir>

// A private temporary folder, and the process's working folder put back as it
// was when this goes; for tests of paths relative to the working folder.
class WorkingFolder
{
public:
    WorkingFolder() : start(QDir::currentPath()) {}
    ~WorkingFolder() { QDir::setCurrent(start); }
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

    bool isValid() const { return area.isValid(); }
    QString path() const { return area.path(); }
    QString filePath(const QString &name) const { return area.filePath(name); }

    // Makes `folder` (the area itself by default) the working folder.
    bool enter(const QString &folder = {}) const
    {
        return QDir::setCurrent(folder.isEmpty() ? area.path() : folder);
    }

private:
    const QString start;
    QTemporaryDir area;
};
