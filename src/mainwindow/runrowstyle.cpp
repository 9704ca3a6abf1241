// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/runrowstyle.h"

#include <QApplication>
#include <QListWidget>
#include <QStyle>

namespace {
const char lightRed[] = "#F4ABAB";
const char lightGreen[] = "#D6FCD4";
const char darkText[] = "#1F1F1F"; // 8.8:1 on the red, 14:1 on the green
} // namespace

void styleRow(QListWidgetItem *item, RowState state)
{
    item->setBackground(QColor(state == RowState::Converted ? lightGreen : lightRed));
    item->setForeground(QColor(darkText));
    QIcon icon;
    if (state == RowState::Failed) {
        const QListWidget *list = item->listWidget();
        const QStyle *style = list ? list->style() : QApplication::style();
        icon = style->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, list);
    }
    item->setIcon(icon);
}
