// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/tesselmainwindow.h"

#include "conversion/conversionreport.h"
#include "conversion/conversionrun.h"
#include "conversion/encodercommand.h"
#include "conversion/folderscan.h"
#include "mainwindow/localwait.h"
#include "mainwindow/runondesktop.h"
#include "mainwindow/runview.h"
#include "mainwindow/shutdownblock.h"
#include "ui_tesselmainwindow.h"

#include <QCoreApplication>
#include <QListWidget>

QString tesselMainWindow::encoderPath() const
{
    if (!encoderPathOverride.isEmpty())
        return encoderPathOverride;
    return defaultEncoderPath(QCoreApplication::applicationDirPath());
}

void tesselMainWindow::process()
{
    const QString encoder = encoderPath();

    const QString folder = ui->lineEdit->text();
    if (folder.isEmpty()) {
        warn(QStringLiteral("Please select directory with video files"));
        return;
    }
    const FolderClips found = checkFolder(folder);
    if (!found.listed) {
        warn(found.warning);
        return;
    }
    ui->listWidget->clear();
    videoFiles = found.clips;
    if (!found.warning.isEmpty()) {
        warn(found.warning);
        return;
    }

    ui->pushButton_Process->setEnabled(false);
    bool closing = false;
    int converted = 0;
    int failed = 0;
    QPersistentModelIndex firstFailed;
    {
        LocalWait wait;
        // The run keeps its own copy of the folder and the names: a folder
        // chosen meanwhile changes the list, not the run.
        ConversionRun run(encoder, folder, videoFiles, this);
        connect(&run, &ConversionRun::finished, this, [&wait] { wait.finish(); });
        const RunView view(run, ui->listWidget, this, accessibilityListener);
        const ShutdownBlock block(this, QStringLiteral("Converting clips"));
        RunOnDesktop desktop(this);
        connect(&view, &RunView::progressShown, &desktop, &RunOnDesktop::showProgress);
        connect(&view, &RunView::clipFailed, &desktop, &RunOnDesktop::clipFailed);
        running = &run;
        run.start();
        closing = wait.wait() == LocalWait::End::ApplicationQuit;
        running = nullptr;
        // The one way a run stops, whatever asked the program to close.
        if (closing) {
            run.stop();
            run.waitForStopped(QDeadlineTimer(ConversionRun::stopWaitMs));
        }
        converted = run.convertedCount();
        failed = run.failedCount();
        firstFailed = view.firstFailedRow();
    }
    ui->pushButton_Process->setEnabled(true);

    // Nobody is left to read a count when the program is closing.
    if (closing)
        return;
    RunOnDesktop::askForAttention(this);
    warn(summaryText(converted, failed));
    // Whoever comes back to the list lands on what needs attention, and the
    // view stays where the user may have scrolled it.
    if (firstFailed.isValid()) {
        QListWidget *const list = ui->listWidget;
        const bool autoScroll = list->hasAutoScroll();
        list->setAutoScroll(false);
        list->setCurrentIndex(firstFailed);
        list->setAutoScroll(autoScroll);
    }
}
