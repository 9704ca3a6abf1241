// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

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

RunView::RunView(const ConversionRun &run, QListWidget *list, QWidget *window,
                 std::function<void(QAccessibleEvent *)> listener)
    : list(list), window(window), listener(std::move(listener)), windowTitle(window->windowTitle()),
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
    setTitle(windowTitle);
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
    announcements.insert(index, {list->indexFromItem(item), sourceName});
    if (following)
        list->scrollToItem(item);
    progress.clipRunning(index, 0);
    showInTitle(index);
}

void RunView::clipProgress(int index, double fraction)
{
    const auto announcement = announcements.find(index);
    if (announcement != announcements.end() && announcement->row.isValid()) {
        QAbstractItemModel *const model = list->model();
        model->setData(announcement->row, fraction, progressRole);
        // As RunRowDelegate paints it.
        const int percent = int(std::clamp(fraction, 0.0, 1.0) * 100);
        if (percent != announcement->percent) {
            announcement->percent = percent;
            model->setData(announcement->row, progressName(announcement->sourceName, percent),
                           Qt::AccessibleTextRole);
            // Not at 100%: the clip's outcome follows at once, and a screen
            // reader that reads the row's name late would say that twice.
            if (percent / 10 > announcement->tenthTold && percent < 100) {
                announcement->tenthTold = percent / 10;
                tellRow(announcement->row, QAccessible::NameChanged);
            }
        }
    }
    progress.clipRunning(index, fraction);
    showInTitle(index);
}

void RunView::clipFinished(int index, const QString &sourceName, const QString &outputName,
                           const ClipOutcome &outcome)
{
    const QPersistentModelIndex announcement = announcements.take(index).row;
    QListWidgetItem *item = nullptr;
    if (announcement.isValid()) {
        item = list->item(announcement.row());
    } else {
        // Its row went with a folder chosen meanwhile: it still goes before
        // the rows of later clips.
        int row = list->count();
        for (const Announcement &later : std::as_const(announcements)) {
            if (later.row.isValid())
                row = std::min(row, later.row.row());
        }
        item = new QListWidgetItem;
        list->insertItem(row, item);
    }
    item->setText(resultText(sourceName, outputName, outcome));
    item->setData(progressRole, QVariant());
    item->setData(Qt::AccessibleTextRole, QVariant());
    styleRow(item, outcome.converted() ? RowState::Converted : RowState::Failed);
    if (!outcome.encoderLines.isEmpty())
        item->setToolTip(outcome.encoderLines.join(QLatin1Char('\n')));
    const QModelIndex row = list->indexFromItem(item);
    tellRow(row, QAccessible::NameChanged);
    if (!outcome.converted()) {
        item->setData(Qt::AccessibleDescriptionRole, failureDetail(outcome));
        tellRow(row, QAccessible::DescriptionChanged);
        if (!firstFailed.isValid())
            firstFailed = row;
        emit clipFailed();
    }
    ++clipsFinished;
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
    const double fraction = progress.fraction();
    if (setTitle(runTitle(runningIndex + 1, clipCount, fraction,
                          progress.secondsLeft(sinceStart.elapsed()))))
        emit progressShown(fraction, clipCount - clipsFinished);
}

bool RunView::setTitle(const QString &title)
{
    if (title == window->windowTitle())
        return false;
    window->setWindowTitle(title);
    if (heard()) {
        QAccessibleEvent event(window, QAccessible::NameChanged);
        tell(&event);
    }
    return true;
}

void RunView::tellRow(const QModelIndex &row, QAccessible::Event change) const
{
    if (!heard())
        return;
    QAccessibleInterface *const listInterface = QAccessible::queryAccessibleInterface(list);
    QAccessibleTableInterface *const table =
        listInterface ? listInterface->tableInterface() : nullptr;
    QAccessibleInterface *const cell = table ? table->cellAt(row.row(), row.column()) : nullptr;
    if (!cell)
        return;
    QAccessibleEvent event(list, change);
    event.setChild(listInterface->indexOfChild(cell));
    tell(&event);
}

// Qt keeps the interfaces it made for the rows in step with the list only
// while a screen reader listens: one made at another time would go stale.
bool RunView::heard() const
{
    return QAccessible::isActive() || listener;
}

void RunView::tell(QAccessibleEvent *event) const
{
    if (QAccessible::isActive())
        QAccessible::updateAccessibility(event);
    else
        listener(event);
}
