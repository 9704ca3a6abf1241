// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/openfolder.h"

#include "mainwindow/tesselmainwindow.h"
#include "ui_tesselmainwindow.h"

#include <QDesktopServices>
#include <QDir>

namespace {
bool isDriveLetterPath(const QString &text)
{
    return text.size() >= 2 && text.at(0).isLetter() && text.at(0).unicode() < 0x80 &&
           text.at(1) == QLatin1Char(':') &&
           (text.size() == 2 || text.at(2) == QLatin1Char('/') || text.at(2) == QLatin1Char('\\'));
}
} // namespace

QUrl folderAddress(const QString &folderText)
{
    if (folderText.isEmpty())
        return QUrl(QStringLiteral("file:///"));
    // Not absolute on Unix, yet plainly a Windows folder: fromLocalFile puts
    // the "/" before the drive on every platform.
    if (isDriveLetterPath(folderText))
        return QUrl::fromLocalFile(
            QDir::cleanPath(QString(folderText).replace(QLatin1Char('\\'), QLatin1Char('/'))));
    return QUrl::fromLocalFile(QDir::cleanPath(QDir().absoluteFilePath(folderText)));
}

// No check and no message: what the desktop makes of the address is its own
// affair.
void tesselMainWindow::on_pushButton_open_clicked()
{
    (void)QDesktopServices::openUrl(folderAddress(ui->lineEdit->text()));
}
