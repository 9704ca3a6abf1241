#pragma once

#include "support/xvfbserver.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QStandardPaths>
#include <QThread>

#include <memory>

// A person at a desktop: a private X server, the real program started in it,
// and xdotool for the mouse and keyboard. `problem()` says why a session
// cannot be had (a missing tool), so tests can skip with the reason.
class DesktopSession
{
public:
    DesktopSession() : xdotoolPath(QStandardPaths::findExecutable(QStringLiteral("xdotool")))
    {
        if (xdotoolPath.isEmpty()) {
            why = QStringLiteral("xdotool is not installed (scripts/install-deps.sh --test)");
            return;
        }
        xserver = std::make_unique<XvfbServer>();
        if (!xserver->isRunning())
            why = xserver->error();
    }

    QString problem() const { return why; }

    // Starts `program` on this display with its settings kept in `configHome`.
    void start(QProcess &process, const QString &program, const QString &configHome,
               const QStringList &arguments = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), xserver->display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        process.setProcessEnvironment(env);
        process.start(program, arguments);
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

    // Keys for whatever window has the keyboard focus, through the XTEST
    // extension. Use this for a key that closes its window: a key sent to a
    // window that is gone before its release leaves the key held down.
    void keysToFocus(const QStringList &keys) const
    {
        xdotool(QStringList{"key", "--delay", "30"} + keys);
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
        env.insert(QStringLiteral("DISPLAY"), xserver->display());
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
    std::unique_ptr<XvfbServer> xserver;
    QString why;
};
