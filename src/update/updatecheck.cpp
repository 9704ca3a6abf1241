// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/tesselmainwindow.h"

#include "mainwindow/buildinfo.h"
#include "update/updateaddress.h"
#include "update/versioncheck.h"

#include <QDesktopServices>
#include <QMessageBox>

namespace {
void showNotice(const QString &text)
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Notice"));
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
} // namespace

void tesselMainWindow::on_pushButton_clicked()
{
    const TextFetchResult fetched = fetchUrlText(versionFileUrl(updateBaseUrl).toString());
    if (fetched.quitting)
        return; // the user closed the program meanwhile: no answer is wanted

    switch (decideUpdate(fetched, buildNumber)) {
    case UpdateAnswer::OpenInstaller:
        QDesktopServices::openUrl(installerUrl(updateBaseUrl));
        return;
    case UpdateAnswer::Newest:
        showNotice(QStringLiteral("You have newest version."));
        return;
    case UpdateAnswer::CouldNotCheck:
        showNotice(QStringLiteral("Could not check for updates."));
        return;
    }
}
