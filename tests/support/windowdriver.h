// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QBrush>
#include <QColor>
#include <QDebug>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "mainwindow/tesselmainwindow.h"

struct Row
{
    QString text;
    QColor background;
    bool operator==(const Row &other) const
    {
        return text == other.text && background == other.background;
    }
};

inline QDebug operator<<(QDebug debug, const Row &row)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "Row(" << row.text << ", " << row.background.name() << ")";
    return debug;
}

inline const QColor lightRed{QStringLiteral("#F4ABAB")};
inline const QColor lightGreen{QStringLiteral("#D6FCD4")};

// The main window and the widgets a user works with: the one place that
// knows their object names.
class WindowUnderTest
{
public:
    WindowUnderTest()
        : folderField(window.findChild<QLineEdit *>(QStringLiteral("lineEdit"))),
          browseButton(window.findChild<QPushButton *>(QStringLiteral("pushButton_browse"))),
          openButton(window.findChild<QPushButton *>(QStringLiteral("pushButton_open"))),
          processButton(window.findChild<QPushButton *>(QStringLiteral("pushButton_Process"))),
          updateButton(window.findChild<QPushButton *>(QStringLiteral("pushButton"))),
          closeButton(window.findChild<QPushButton *>(QStringLiteral("pushButton_2"))),
          list(window.findChild<QListWidget *>(QStringLiteral("listWidget")))
    {
        if (!folderField || !browseButton || !openButton || !processButton || !updateButton ||
            !closeButton || !list)
            qFatal("the window lacks a widget the tests use");
    }

    QStringList rowTexts() const
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    }

    QList<Row> rows() const
    {
        QList<Row> result;
        for (int i = 0; i < list->count(); ++i) {
            const QBrush background = list->item(i)->background();
            // A plain row has no background of its own: an invalid colour.
            result << Row{list->item(i)->text(),
                          background.style() == Qt::NoBrush ? QColor() : background.color()};
        }
        return result;
    }

    tesselMainWindow window;
    QLineEdit *const folderField;
    QPushButton *const browseButton;
    QPushButton *const openButton;
    QPushButton *const processButton;
    QPushButton *const updateButton; // Check for Updates
    QPushButton *const closeButton;
    QListWidget *const list;
};
