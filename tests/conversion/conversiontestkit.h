// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include "mainwindow/tesselmainwindow.h"
#include "support/modalwatcher.h"
#include "support/windowdriver.h"

// A temporary folder the tests fill with clips. For the stand-in encoder a
// clip's content is its script (see standinencoder.cpp).
class ClipFolder
{
public:
    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

    QString add(const QString &name, const QByteArray &content = {}) const
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }
    void addFolder(const QString &name) const { QDir(dir.path()).mkdir(name); }

    QByteArray read(const QString &name) const
    {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool has(const QString &name) const { return QFileInfo::exists(dir.filePath(name)); }

    // What the stand-in encoder writes for a clip of this folder.
    QByteArray standInOutput(const QString &clipName) const
    {
        return "converted from " + filePath(clipName).toUtf8() + '\n';
    }
    // Hidden files, and the hidden folder they are made in on Windows: the
    // encoder's own, which no run may leave behind.
    QStringList hiddenFiles() const
    {
        return QDir(dir.path())
            .entryList({QStringLiteral(".*")},
                       QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private:
    QTemporaryDir dir;
};

// What the stand-in encoder wrote about its runs. Points the stand-in at a
// fresh log for the life of this object.
class StandInLog
{
public:
    StandInLog() { qputenv("TESSEL_STANDIN_LOG", logFile().toLocal8Bit()); }
    ~StandInLog() { qunsetenv("TESSEL_STANDIN_LOG"); }

    QList<QStringList> lines() const
    {
        QList<QStringList> result;
        QFile file(logFile());
        if (!file.open(QIODevice::ReadOnly))
            return result;
        const QList<QByteArray> raw = file.readAll().split('\n');
        for (const QByteArray &line : raw) {
            if (!line.isEmpty())
                result << QString::fromUtf8(line).split(QLatin1Char('\t'));
        }
        return result;
    }

    // Argument lists of every start, in order.
    QList<QStringList> starts() const { return withTag(QStringLiteral("start")); }

    // File names of the sources started, in order.
    QStringList startedNames() const
    {
        QStringList names;
        for (const QStringList &arguments : starts())
            names << QFileInfo(arguments.value(arguments.indexOf(QStringLiteral("-i")) + 1))
                         .fileName();
        return names;
    }

    // Sources that were asked to stop ("q" on their input).
    QStringList stopRequests() const { return firstWords(QStringLiteral("q")); }
    // Process ids the stand-ins told (the "pid" word), in order.
    QStringList processIds() const { return firstWords(QStringLiteral("pid")); }
    // Sources whose stand-in ended by itself (not killed), in order.
    QStringList endedSources() const { return firstWords(QStringLiteral("end")); }

private:
    QString logFile() const { return dir.filePath(QStringLiteral("standin.log")); }
    QStringList firstWords(const QString &tag) const
    {
        QStringList words;
        for (const QStringList &line : withTag(tag))
            words << line.value(0);
        return words;
    }
    QList<QStringList> withTag(const QString &tag) const
    {
        QList<QStringList> result;
        for (QStringList line : lines()) {
            if (line.value(0) == tag) {
                line.removeFirst();
                result << line;
            }
        }
        return result;
    }

    QTemporaryDir dir;
};

// Runs the application's own event loop (so that quitting behaves as in the
// program) and posts `action` into it. The loop ends when something calls
// QCoreApplication::exit() or quit(), or after `timeoutMs`, which counts as a
// stall: the watchdog then ends every loop.
struct LoopRun
{
    int exitCode = 0;
    bool timedOut = false;
};

inline LoopRun runApplicationLoop(const std::function<void()> &action, int timeoutMs)
{
    LoopRun result;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&result] {
        result.timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(timeoutMs);
    QTimer::singleShot(0, qApp, action);
    result.exitCode = QApplication::exec();
    return result;
}

// Presses Process and returns when the run is over; the caller answers the
// boxes (a ModalWatcher).
inline constexpr int processReturned = 7;
inline LoopRun pressProcess(WindowUnderTest &ui, int timeoutMs = 20000)
{
    return runApplicationLoop(
        [&ui] {
            ui.processButton->click();
            QCoreApplication::exit(processReturned);
        },
        timeoutMs);
}

// Calls `sample` every few milliseconds while it lives; the run's waits keep
// delivering timer events, so this sees the window as a user would.
class Sampler
{
public:
    explicit Sampler(std::function<void()> sample, int intervalMs = 5)
    {
        QObject::connect(&timer, &QTimer::timeout, std::move(sample));
        timer.start(intervalMs);
    }

private:
    QTimer timer;
};

// An old modification time, so that "unchanged" cannot hide in the same
// millisecond as the run.
inline void makeOld(const QString &path, const QDateTime &when)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly) ||
        !file.setFileTime(when, QFileDevice::FileModificationTime))
        qFatal("cannot set the time of %s", qPrintable(path));
}

// A clip for the stand-in encoder: its name and its script.
struct Clip
{
    QString name;
    QByteArray script;
};

// What the user saw of a run through the window.
struct RunSeen
{
    bool timedOut = false;
    QList<Row> rows;
    QList<SeenBox> boxes;
};

// Presses Process and returns once the run is over; every box is answered
// with its first button.
inline RunSeen seeRun(WindowUnderTest &ui, int timeoutMs)
{
    ModalWatcher watcher;
    const LoopRun loop = pressProcess(ui, timeoutMs);
    return {loop.timedOut, ui.rows(), watcher.boxes};
}

// The arrangement most conversion tests share: a folder of clips, the
// stand-in encoder's log, and the window pointed at both, running the
// stand-in unless told another encoder.
class ClipRun
{
public:
    explicit ClipRun(const QList<Clip> &clipList = {},
                     const QString &encoder = QStringLiteral(STANDIN_ENCODER))
    {
        for (const Clip &clip : clipList)
            clips.add(clip.name, clip.script);
        ui.window.setEncoderPath(encoder);
        ui.folderField->setText(clips.path());
    }

    RunSeen run(int timeoutMs = 20000) { return seeRun(ui, timeoutMs); }

    ClipFolder clips;
    StandInLog log;
    WindowUnderTest ui;
};

// A run through a window of its own with `encoder` on `folder`, every box
// answered: for clips made by a test's own means.
inline RunSeen runInWindow(const QString &encoder, const QString &folder, int timeoutMs)
{
    WindowUnderTest ui;
    ui.window.setEncoderPath(encoder);
    ui.folderField->setText(folder);
    return seeRun(ui, timeoutMs);
}
