#include "mainwindow/tesselmainwindow.h"

#include "conversion/applicationquitting.h"
#include "conversion/conversionnaming.h"
#include "conversion/conversionreport.h"
#include "conversion/encoderrun.h"
#include "conversion/folderscan.h"
#include "conversion/outputsnapshot.h"
#include "ui_tesselmainwindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPersistentModelIndex>
#include <QProcess>

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

void insertRow(QListWidget *list, int row, const QString &text, const QColor &colour)
{
    list->insertItem(row, text);
    list->item(row)->setBackground(colour);
}
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

    ui->listWidget->clear();
    videoFiles = listVideoFiles(folder);
    if (videoFiles.isEmpty()) {
        warn(this, QStringLiteral("Directory ") + folder +
                       QStringLiteral(" don't have mts or m2ts videos files."));
        return;
    }

    // A folder chosen during the run changes the list, not the run.
    const QStringList sources = videoFiles;
    ui->pushButton_Process->setEnabled(false);
    int converted = 0;
    int failed = 0;
    bool closing = false;
    {
        const OneRowSize quickRows(ui->listWidget);
        for (const QString &sourceName : sources) {
            closing = applicationIsQuitting();
            if (closing)
                break;
            const EncoderOutcome outcome = convertFile(encoder, folder, sourceName);
            ++(outcome.converted() ? converted : failed);
            closing = outcome.end == EncoderOutcome::End::Stopped;
            if (closing)
                break;
        }
    }
    ui->pushButton_Process->setEnabled(true);

    // Nobody is left to read a count when the program is closing.
    if (!closing)
        warn(this, summaryText(converted, failed));
}

EncoderOutcome tesselMainWindow::convertFile(const QString &encoder, const QString &folder,
                                             const QString &sourceName)
{
    QListWidget *const list = ui->listWidget;
    insertRow(list, list->count(), announcementText(sourceName), announcementColour());
    // Valid only while the announcement row is there: a folder chosen
    // meanwhile clears the list, and the new rows are not ours to replace.
    const QPersistentModelIndex announcement(list->model()->index(list->count() - 1, 0));

    const QString sourcePath = folder + QLatin1Char('/') + sourceName;
    const QString outputName = outputNameFor(sourceName);
    const QString outputPath = folder + QLatin1Char('/') + outputName;
    const QStringList arguments = encoderArguments(sourcePath, outputPath);

    EncoderRun run(encoder, arguments, this);
    connect(run.process(), &QProcess::finished, this, &tesselMainWindow::encodeFinished);
    connect(run.process(), &QProcess::errorOccurred, this, &tesselMainWindow::encodeFinished);
    connect(run.process(), &QProcess::finished, this, &tesselMainWindow::produceVideoFinished);
    // refreshUI() is left unconnected: the wait already delivers every event,
    // and running the event loop from inside the encoder's own readyRead
    // would only re-enter QProcess.

    qDebug() << encoder;
    qDebug() << arguments;

    // The MP4 replaces whatever has its name. A link there would have the
    // encoder write where it points: outside the folder, or over a clip.
    if (QFileInfo(outputPath).isSymLink())
        QFile::remove(outputPath);
    const OutputSnapshot beforeRun = OutputSnapshot::of(outputPath);
    encoderProcess = run.process();
    const EncoderOutcome outcome = run.run();
    encoderProcess = nullptr;
    settleOutput(outputPath, beforeRun, outcome.converted(), sourcePath);

    int row = list->count();
    if (announcement.isValid()) {
        row = announcement.row();
        delete list->takeItem(row);
    }
    insertRow(list, row, resultText(sourceName, outputName, outcome), resultColour(outcome));
    return outcome;
}
