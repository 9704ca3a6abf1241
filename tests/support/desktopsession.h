// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QStandardPaths>
#include <QThread>

// A person at a desktop: a private X server (Xvfb, on a free display it picks
// itself), the real program started in it, and xdotool for the mouse and
// keyboard. `problem()` says why a session cannot be had, so tests can skip.
class DesktopSession
{
public:
    DesktopSession() : xdotoolPath(QStandardPaths::findExecutable(QStringLiteral("xdotool")))
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xdotoolPath.isEmpty() || xvfb.isEmpty()) {
            why = QStringLiteral("Xvfb or xdotool is missing (scripts/install-deps.sh --test)");
            return;
        }
        xserver.start(xvfb, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        // The server writes its display number once it accepts connections.
        while (xserver.waitForStarted(5000) && !xserver.canReadLine() &&
               xserver.waitForReadyRead(10000)) {
        }
        display = QStringLiteral(":") + QString::fromLatin1(xserver.readLine().trimmed());
        if (display == QStringLiteral(":"))
            why = QStringLiteral("Xvfb gave no display number: ") + xserver.errorString();
    }

    ~DesktopSession()
    {
        xserver.terminate();
        if (!xserver.waitForFinished(3000))
            xserver.kill();
        xserver.waitForFinished(3000);
    }
    DesktopSession(const DesktopSession &) = delete;
    DesktopSession &operator=(const DesktopSession &) = delete;

    QString problem() const { return why; }

    // Starts `program` on this display with its settings kept in `configHome`.
    void start(QProcess &process, const QString &program, const QString &configHome,
               const QStringList &arguments = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        process.setProcessEnvironment(env);
        process.start(program, arguments);
    }

    // Starts Tessel (`program`) as start() does and returns the id of its
    // window once shown, or an empty id with the reason in `why`.
    QString startTessel(QProcess &process, const QString &program, const QString &configHome,
                        QString *why) const
    {
        start(process, program, configHome);
        if (!process.waitForStarted()) {
            *why = process.errorString();
            return QString();
        }
        const QString window = waitForWindow(QStringLiteral("Tessel"));
        if (window.isEmpty())
            *why = QStringLiteral("no visible window titled Tessel appeared");
        return window;
    }

    // Where a user clicks in Tessel's window, as its form lays it out.
    void clickFolderField(const QString &window) const { click(window, QPoint(40, 22)); }
    // Process spans the window's width just below the folder row.
    void clickProcess(const QString &window) const
    {
        click(window, QPoint(windowSize(window).width() / 2, 50));
    }
    // Close is the last button of the bottom row.
    void clickClose(const QString &window) const
    {
        const QSize size = windowSize(window);
        click(window, QPoint(size.width() - 31, size.height() - 21));
    }

    QString xdotool(const QStringList &arguments, int timeoutMs = 20000) const
    {
        return run(xdotoolPath, arguments, timeoutMs);
    }

    // The id of the visible window with exactly this title, waiting for it to appear.
    QString waitForWindow(const QString &title, int timeoutMs = 20000) const
    {
        const QStringList ids =
            xdotool({"search", "--sync", "--onlyvisible", "--name",
                     QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')},
                    timeoutMs)
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return ids.value(0);
    }

    QSize windowSize(const QString &window) const
    {
        QMap<QString, int> values;
        for (const QString &line : xdotool({"getwindowgeometry", "--shell", window}).split('\n')) {
            const QStringList pair = line.split('=');
            if (pair.size() == 2)
                values[pair[0]] = pair[1].toInt();
        }
        return QSize(values.value("WIDTH"), values.value("HEIGHT"));
    }

    void click(const QString &window, QPoint at) const
    {
        xdotool({"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()),
                 "click", "1"});
    }

    void keys(const QString &window, const QStringList &keys) const
    {
        xdotool(QStringList{"key", "--window", window, "--delay", "30"} + keys);
    }

    // Keys for `window` once it has the keyboard focus, through the XTEST
    // extension. Use this for a key that closes its window: a key sent to a
    // window that is gone before its release leaves the key held down. A
    // busy machine may map a window well before it takes the focus. False
    // when it did not take the focus within 20 s.
    bool keysToFocus(const QString &window, const QStringList &keys) const
    {
        QDeadlineTimer deadline(20000);
        while (xdotool({"getwindowfocus"}) != window && !deadline.hasExpired())
            QThread::msleep(20);
        if (deadline.hasExpired())
            return false;
        xdotool(QStringList{"key", "--delay", "30"} + keys);
        return true;
    }

    void type(const QString &window, const QString &text) const
    {
        xdotool({"type", "--window", window, "--delay", "5", text});
    }

    // Saves a PNG of the window, or of the whole screen for window "root"
    // (ImageMagick's import); returns false if that failed. Without a
    // compositing manager a window captured alone shows others on top of it
    // as black: take the screen to see a dialog with its window.
    bool screenshot(const QString &window, const QString &file) const
    {
        const QString import = QStandardPaths::findExecutable(QStringLiteral("import"));
        if (import.isEmpty())
            return false;
        run(import, {"-window", window, file}, 20000);
        return QFileInfo(file).size() > 0;
    }

private:
    QString run(const QString &program, const QStringList &arguments, int timeoutMs) const
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        tool.setProcessEnvironment(env);
        tool.start(program, arguments);
        if (!tool.waitForFinished(timeoutMs)) {
            tool.kill();
            tool.waitForFinished();
            return QString();
        }
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    QString xdotoolPath;
    QProcess xserver;
    QString display;
    QString why;
};
