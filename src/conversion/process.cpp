#include "mainwindow/tesselmainwindow.h"

#include "conversion/conversionnaming.h"
#include "conversion/conversionreport.h"
#include "conversion/conversionrun.h"
#include "conversion/folderscan.h"
#include "mainwindow/localwait.h"
#include "mainwindow/runview.h"
#include "ui_tesselmainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>

namespace {
void warn(QWidget *parent, const QString &text)
{
    QMessageBox::warning(parent, QStringLiteral("Warning"), text, QMessageBox::Ok,
                         QMessageBox::NoButton);
}

// A list measures every row again whenever a row comes or goes, so a run
// over thousands of clips would slow down as its list grows. The run's rows
// are all one line high: while the run adds them, the list takes one size for
// all; afterwards it measures them once more, so long rows can be scrolled to.
class OneRowSize
{
public:
    explicit OneRowSize(QListWidget *list) : list(list), before(list->uniformItemSizes())
    {
        list->setUniformItemSizes(true);
    }
    ~OneRowSize()
    {
        list->setUniformItemSizes(before);
        list->doItemsLayout();
    }
    OneRowSize(const OneRowSize &) = delete;
    OneRowSize &operator=(const OneRowSize &) = delete;

private:
    QListWidget *const list;
    const bool before;
};

} // namespace

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
        warn(this, QStringLiteral("Please select directory with video files"));
        return;
    }
    if (!QDir().exists(folder)) {
        warn(this, QStringLiteral("Directory do not exists."));
        return;
    }
    if (!folderCanBeListed(folder)) {
        warn(this, QStringLiteral("Directory ") + folder + QStringLiteral(" cannot be read."));
        return;
    }

    ui->listWidget->clear();
    videoFiles = listVideoFiles(folder);
    if (videoFiles.isEmpty()) {
        warn(this, QStringLiteral("Directory ") + folder +
                       QStringLiteral(" don't have mts or m2ts videos files."));
        return;
    }

    QList<qint64> clipBytes;
    clipBytes.reserve(videoFiles.size());
    for (const QString &name : std::as_const(videoFiles))
        clipBytes << QFileInfo(folder + QLatin1Char('/') + name).size();

    ui->pushButton_Process->setEnabled(false);
    bool closing = false;
    int converted = 0;
    int failed = 0;
    {
        LocalWait wait;
        // The run keeps its own copy of the folder and the names: a folder
        // chosen meanwhile changes the list, not the run.
        ConversionRun run(encoder, folder, videoFiles, this);
        connect(&run, &ConversionRun::finished, this, [&wait] { wait.finish(); });
        const RunView view(run, clipBytes, ui->listWidget, this);
        const OneRowSize quickRows(ui->listWidget);
        run.start();
        closing = wait.wait() == LocalWait::End::ApplicationQuit;
        // The one way a run stops, whatever asked the program to close.
        if (closing)
            run.stop();
        converted = run.convertedCount();
        failed = run.failedCount();
    }
    ui->pushButton_Process->setEnabled(true);

    // Nobody is left to read a count when the program is closing.
    if (!closing)
        warn(this, summaryText(converted, failed));
}
