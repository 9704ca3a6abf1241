#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>

// A private X server for tests that drive the real program from outside, as a
// person would. Picks a free display itself (-displayfd), so runs never collide.
class XvfbServer
{
public:
    XvfbServer()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            problem = QStringLiteral("Xvfb is not installed");
            return;
        }
        server.start(xvfb,
                     {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                      QStringLiteral("0"), QStringLiteral("1024x768x24"),
                      QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!server.waitForStarted(5000)) {
            problem = QStringLiteral("Xvfb did not start: ") + server.errorString();
            return;
        }
        // The server writes its display number once it accepts connections.
        while (!server.canReadLine() && server.waitForReadyRead(10000)) {
        }
        const QByteArray line = server.readLine().trimmed();
        if (line.isEmpty()) {
            problem = QStringLiteral("Xvfb gave no display number");
            return;
        }
        name = QStringLiteral(":") + QString::fromLatin1(line);
    }

    ~XvfbServer()
    {
        server.terminate();
        if (!server.waitForFinished(3000)) {
            server.kill();
            server.waitForFinished(3000);
        }
    }

    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    bool isRunning() const { return !name.isEmpty(); }
    QString display() const { return name; }
    QString error() const { return problem; }

private:
    QProcess server;
    QString name;
    QString problem;
};
