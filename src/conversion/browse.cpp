#include "mainwindow/tesselmainwindow.h"

#include "conversion/folderscan.h"
#include "mainwindow/settingskeys.h"
#include "ui_tesselmainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
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

    // The text as written: relative to the current directory, a file counts,
    // an empty text fails (tested first: QDir warns on an empty name).
    const QString folder = ui->lineEdit->text();
    if (folder.isEmpty() || !QDir().exists(folder)) {
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("Directory do not exists."), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }

    if (!folderCanBeListed(folder)) {
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("Directory ") + folder +
                                 QStringLiteral(" cannot be read."),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }

    videoFiles = listVideoFiles(folder);

    if (videoFiles.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("Directory ") + folder +
                                 QStringLiteral(" don't have mts or m2ts videos files."),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }

    appendVideoRows(ui->listWidget, videoFiles);
}
