// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <vector>

#include "conversion/camerarecord.h"
#include "conversion/encodercommand.h"
#include "conversion/runfolder.h"
#include "conversion/unfinishedoutput.h"
#include "mainwindow/tesselmainwindow.h"
#include "support/isolatedsettings.h"

// Shared by the conversion benchmarks: they drive the real window, headless
// unless told otherwise, with the program's settings kept away from the user's.

inline void headlessUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The middle value: one slow round does not move it.
inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Resident memory of this process in KiB, as the kernel counts it.
inline long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The debug lines (two per file) are formatted as in the program, then
// dropped, so the figures are not about the terminal.
inline void dropDebugLines()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
}

// A benchmark's application: headless unless told otherwise, the program's
// settings kept away from the user's, its debug lines dropped.
class BenchApplication : public QApplication
{
public:
    BenchApplication(int &argc, char **argv) : QApplication((headlessUnlessSet(), argc), argv)
    {
        dropDebugLines();
    }

private:
    const IsolatedSettings settings;
};

// The baseline: the same encoder commands the window would run, one after
// another in a plain QProcess loop. With `placed`, each output is written
// aside and then flushed and renamed into place as the window does, so the
// window's own cost can be told from that of keeping files safe. Returns
// milliseconds.
inline double plainEncoderLoop(const QString &encoder, const QString &folder,
                               const QStringList &names, bool placed = false)
{
    QElapsedTimer clock;
    clock.start();
    const RunFolder runFolder(folder);
    for (const QString &name : names) {
        QProcess process;
        const QString source = folder + QLatin1Char('/') + name;
        const QDateTime shotAt = QFileInfo(source).lastModified();
        const QString output = outputNameFor(name);
        QString error;
        std::unique_ptr<UnfinishedOutput> written;
        if (placed) {
            written = UnfinishedOutput::create(runFolder, name, &error);
            const int inherited = written->inheritedDescriptor();
            process.setChildProcessModifier([inherited] { ::fcntl(inherited, F_SETFD, 0); });
        }
        process.start(encoder, encoderArguments(source, shotAt, CameraRecord(),
                                                placed ? written->encoderPath()
                                                       : folder + QLatin1Char('/') + output));
        process.waitForFinished(-1);
        if (placed)
            written->commit(output, shotAt);
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

// The window, shown, with the widgets a user works with.
class BenchWindow
{
public:
    BenchWindow()
    {
        window.show();
        folderField = window.findChild<QLineEdit *>(QStringLiteral("lineEdit"));
        processButton = window.findChild<QPushButton *>(QStringLiteral("pushButton_Process"));
        list = window.findChild<QListWidget *>(QStringLiteral("listWidget"));
    }

    // Presses Process on `folder` and returns the milliseconds until the
    // final box showed; the box is then closed as a user would. `countText`
    // receives its text. Nothing polls meanwhile: the run has the machine.
    double convert(const QString &folder, QString *countText = nullptr)
    {
        folderField->setText(folder);
        QElapsedTimer clock;
        double elapsedMs = -1;
        BoxShown shown([&](QMessageBox *box) {
            elapsedMs = double(clock.nsecsElapsed()) / 1e6;
            if (countText)
                *countText = box->text();
            QTimer::singleShot(0, box, [box] { box->buttons().value(0)->click(); });
        });
        qApp->installEventFilter(&shown);
        clock.start();
        processButton->click();
        qApp->removeEventFilter(&shown);
        return elapsedMs;
    }

    tesselMainWindow window;
    QLineEdit *folderField = nullptr;
    QPushButton *processButton = nullptr;
    QListWidget *list = nullptr;

private:
    class BoxShown : public QObject
    {
    public:
        explicit BoxShown(std::function<void(QMessageBox *)> onShow) : onShow(std::move(onShow)) {}
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Show) {
                if (auto *box = qobject_cast<QMessageBox *>(watched))
                    onShow(box);
            }
            return false;
        }

    private:
        std::function<void(QMessageBox *)> onShow;
    };
};
