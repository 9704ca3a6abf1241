// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/tesselmainwindow.h"

#include "conversion/conversionrun.h"
#include "mainwindow/buildinfo.h"
#include "mainwindow/runrowdelegate.h"
#include "mainwindow/settingskeys.h"
#include "ui_tesselmainwindow.h"
#include "update/updateaddress.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QSettings>

tesselMainWindow::tesselMainWindow(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::tesselMainWindow>()),
      updateBaseUrl(defaultUpdateBaseUrl()), updateTimeoutMs(defaultUpdateTimeoutMs)
{
    ui->setupUi(this);
    ui->listWidget->setItemDelegate(new RunRowDelegate(ui->listWidget));
    // A failed row's icon at the size of a line of text, so rows keep one height.
    ui->listWidget->setIconSize(QSize(16, 16));

    connect(ui->pushButton_browse, SIGNAL(clicked()), this, SLOT(browse()));
    connect(ui->pushButton_Process, SIGNAL(clicked()), this, SLOT(process()));

    ui->label_build->setText(QStringLiteral("Version 1.0 (build ") + QString::number(buildNumber) +
                             QStringLiteral(")"));

    settings = std::make_unique<QSettings>(QStringLiteral("Ostrell"), QStringLiteral("Tessel"));

    const QString lastFolder = settings->value(lastOpenDirectoryKey, QString()).toString();
    if (!lastFolder.isEmpty())
        ui->lineEdit->setText(lastFolder);

    setWindowFlags(Qt::WindowTitleHint);
}

tesselMainWindow::~tesselMainWindow()
{
    storeFolder();
}

void tesselMainWindow::storeFolder()
{
    settings->setValue(lastOpenDirectoryKey, ui->lineEdit->text());
    // QSettings writes lazily; the value must be on disk when the process ends.
    settings->sync();
}

void tesselMainWindow::stopNow()
{
    if (running) {
        running->stop();
        running->waitForStopped(QDeadlineTimer(ConversionRun::stopWaitMs));
    }
    storeFolder();
}

void tesselMainWindow::warn(const QString &text)
{
    QMessageBox::warning(this, QStringLiteral("Warning"), text, QMessageBox::Ok,
                         QMessageBox::NoButton);
}

void tesselMainWindow::refreshUI()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void tesselMainWindow::encodeFinished() {}

void tesselMainWindow::produceVideoFinished() {}

void tesselMainWindow::on_pushButton_2_clicked()
{
    QCoreApplication::quit();
}
