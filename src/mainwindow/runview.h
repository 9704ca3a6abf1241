// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QAccessible>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>
#include <QTimer>

#include <functional>

#include "conversion/runprogress.h"

class ConversionRun;
class QListWidget;
class QWidget;
struct ClipOutcome;

// Shows a conversion run as it goes: a row per clip in the list, the running
// row's progress, and the whole run in the window's title. The running row
// stays in view as the list grows, unless the user has scrolled away from it.
// The title is given back when this ends.
//
// A clip's row changes where it stands, so the current row, the selection and
// the focus stay with the clip the user chose. Every change is also told to
// assistive technology (item views tell none of a row's text changing): the
// rows' names, the running row's percentage in tenths, a failed row's
// detail, and the title.
class RunView : public QObject
{
    Q_OBJECT

public:
    // `listener` hears what assistive technology is told when the platform
    // has none listening (see tesselMainWindow::setAccessibilityListener).
    RunView(const ConversionRun &run, QListWidget *list, QWidget *window,
            std::function<void(QAccessibleEvent *)> listener = {});
    ~RunView() override;

    // The row of the run's first failed clip, if it is still there.
    QPersistentModelIndex firstFailedRow() const { return firstFailed; }

signals:
    // Each time the title shows a new figure: the run's share, and the clips
    // not finished yet.
    void progressShown(double fraction, int clipsLeft);
    void clipFailed();

private:
    void clipsMeasured(const QList<qint64> &bytes);
    void clipStarted(int index, const QString &sourceName);
    void clipProgress(int index, double fraction);
    void clipFinished(int index, const QString &sourceName, const QString &outputName,
                      const ClipOutcome &outcome);
    void showInTitle(int index);
    void retitle();
    void tellRow(const QModelIndex &row, QAccessible::Event change) const;
    bool setTitle(const QString &title);
    bool heard() const;
    void tell(QAccessibleEvent *event) const;

    QListWidget *const list;
    QWidget *const window;
    const std::function<void(QAccessibleEvent *)> listener;
    const QString windowTitle;
    // A list measures every row again whenever a row comes or goes, so a run
    // over thousands of clips would slow down as its list grows. The run's
    // rows are all one line high: while the run adds them, the list takes one
    // size for all; afterwards it measures them once more, so long rows can be
    // scrolled to.
    const bool uniformRowsBefore;
    int clipCount = 0;
    int clipsFinished = 0;
    RunProgress progress;
    QElapsedTimer sinceStart;
    // Titles are cheap to set but not free to show: a run of many quick clips
    // would otherwise retitle the window thousands of times. Changes within
    // an interval are shown together at its end.
    QTimer titleInterval;
    bool titleOutdated = false;
    int runningIndex = 0;
    struct Announcement
    {
        QPersistentModelIndex row;
        QString sourceName;
        int percent = -1;
        int tenthTold = 0; // a screen reader hears the percentage only this often
    };
    // The rows of clips not finished yet, by clip: a clip is finished once
    // its MP4 is in place, which may be after the next clip started. Valid
    // only while the row is there: a folder chosen meanwhile clears the list,
    // and the new rows are not ours to change.
    QHash<int, Announcement> announcements;
    QPersistentModelIndex firstFailed;
};
