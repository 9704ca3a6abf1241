// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/tesselmainwindow.h"

#include "conversion/folderscan.h"
#include "mainwindow/settingskeys.h"
#include "ui_tesselmainwindow.h"

#include <QFileDialog>
#include <QListWidget>
#include <QSettings>
#include <QStandardPaths>

void tesselMainWindow::browse()
{
    // Empty while the dialog is up, and stays so unless the scan finds clips.
    ui->listWidget->clear();

    // The stored folder as stored, without an existence check; a folder typed
    // into the field plays no part here.
    QString startFolder = settings->value(lastOpenDirectoryKey, QString()).toString();
    if (startFolder.isEmpty())
        startFolder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);

    const QString picked = QFileDialog::getExistingDirectory(
        this, tr("Select Direcotory"), startFolder, QFileDialog::ShowDirsOnly);

    // Stored before the scan, so it is remembered even when it holds no clips.
    // A cancel goes on with whatever the field holds.
    if (!picked.isEmpty()) {
        ui->lineEdit->setText(picked);
        settings->setValue(lastOpenDirectoryKey, picked);
        settings->sync();
    }

    const FolderClips found = checkFolder(ui->lineEdit->text());
    if (found.listed)
        videoFiles = found.clips;
    if (!found.warning.isEmpty()) {
        warn(found.warning);
        return;
    }
    ui->listWidget->addItems(videoFiles);
}
