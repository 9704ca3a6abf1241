#include "mainwindow/runview.h"

#include "conversion/conversionreport.h"
#include "conversion/conversionrun.h"
#include "mainwindow/runrowdelegate.h"
#include "mainwindow/runrowstyle.h"

#include <QListWidget>
#include <QScrollBar>

#include <algorithm>

namespace {
constexpr int titleIntervalMs = 250;

QListWidgetItem *insertRow(QListWidget *list, int row, const QString &text, RowState state)
{
    auto *const item = new QListWidgetItem(text);
    list->insertItem(row, item);
    styleRow(item, state);
    return item;
}
} // namespace

RunView::RunView(const ConversionRun &run, QListWidget *list, QWidget *window)
    : list(list), window(window), windowTitle(window->windowTitle()),
      uniformRowsBefore(list->uniformItemSizes())
{
    list->setUniformItemSizes(true);
    connect(&run, &ConversionRun::clipsMeasured, this, &RunView::clipsMeasured);
    connect(&run, &ConversionRun::clipStarted, this, &RunView::clipStarted);
    connect(&run, &ConversionRun::clipProgress, this, &RunView::clipProgress);
    connect(&run, &ConversionRun::clipFinished, this, &RunView::clipFinished);
    titleInterval.setSingleShot(true);
    titleInterval.setInterval(titleIntervalMs);
    connect(&titleInterval, &QTimer::timeout, this, [this] {
        if (titleOutdated)
            retitle();
    });
    sinceStart.start();
}

RunView::~RunView()
{
    window->setWindowTitle(windowTitle);
    list->setUniformItemSizes(uniformRowsBefore);
    list->doItemsLayout();
}

void RunView::clipsMeasured(const QList<qint64> &bytes)
{
    clipCount = int(bytes.size());
    progress = RunProgress(bytes);
}

void RunView::clipStarted(int index, const QString &sourceName)
{
    const QScrollBar *const scroll = list->verticalScrollBar();
    const bool following = scroll->value() == scroll->maximum();
    QListWidgetItem *const item =
        insertRow(list, list->count(), announcementText(sourceName), RowState::Running);
    announcements.insert(index, list->indexFromItem(item));
    if (following)
        list->scrollToItem(item);
    progress.clipRunning(index, 0);
    showInTitle(index);
}

void RunView::clipProgress(int index, double fraction)
{
    const QPersistentModelIndex announcement = announcements.value(index);
    if (announcement.isValid())
        list->model()->setData(announcement, fraction, progressRole);
    progress.clipRunning(index, fraction);
    showInTitle(index);
}

void RunView::clipFinished(int index, const QString &sourceName, const QString &outputName,
                           const ClipOutcome &outcome)
{
    int row = list->count();
    const QPersistentModelIndex announcement = announcements.take(index);
    if (announcement.isValid()) {
        row = announcement.row();
        delete list->takeItem(row);
    } else {
        // Its row went with a folder chosen meanwhile: it still goes before
        // the rows of later clips.
        for (const QPersistentModelIndex &later : std::as_const(announcements)) {
            if (later.isValid())
                row = std::min(row, later.row());
        }
    }
    QListWidgetItem *const item =
        insertRow(list, row, resultText(sourceName, outputName, outcome),
                  outcome.converted() ? RowState::Converted : RowState::Failed);
    if (!outcome.encoderLines.isEmpty())
        item->setToolTip(outcome.encoderLines.join(QLatin1Char('\n')));
    progress.clipDone(index);
    showInTitle(std::max(index, runningIndex));
}

void RunView::showInTitle(int index)
{
    runningIndex = index;
    titleOutdated = true;
    if (!titleInterval.isActive())
        retitle();
}

void RunView::retitle()
{
    titleOutdated = false;
    titleInterval.start();
    window->setWindowTitle(runTitle(runningIndex + 1, clipCount, progress.fraction(),
                                    progress.secondsLeft(sinceStart.elapsed())));
}
