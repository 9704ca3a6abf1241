// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// Runs the current test function and data row again in a copy of this test
// program as user "nobody" (through setpriv), for what permissions decide:
// root, who runs the tests, is above them. The copy finds its part's input in
// an environment variable; this side arranges, runs it and reads its verdict.
class OtherUser
{
public:
    OtherUser()
    {
        if (::geteuid() != 0) {
            why = QStringLiteral("Needs root, to run a copy of this test as another user.");
            return;
        }
        setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty()) {
            why = QStringLiteral("setpriv (util-linux) is missing.");
            return;
        }
        // A folder the other user reaches whatever the permissions on the way
        // to this build (QTemporaryDir is 0700), with a copy of this program.
        const QString temp = shared.filePath(QStringLiteral("tmp"));
        if (!shared.isValid() || !QFile::setPermissions(shared.path(), open) ||
            !QFile::copy(QCoreApplication::applicationFilePath(), program()) ||
            !QFile::setPermissions(program(), open) || !QDir().mkdir(temp) ||
            !QFile::setPermissions(temp, open | QFileDevice::WriteOther))
            why = QStringLiteral("could not copy the test program to ") + shared.path();
    }

    // Why it cannot run here; empty when it can.
    QString unavailable() const { return why; }
    // A path the other user can reach, for what it should find there.
    QString filePath(const QString &name) const { return shared.filePath(name); }

    // Runs the current function and row of test `testName` as the other user,
    // with `variable` set to `value`; false with its output when it did not pass.
    bool runCurrentTest(const QString &testName, const char *variable, const QString &value,
                        QString *output) const
    {
        const QString temp = shared.filePath(QStringLiteral("tmp"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(variable), value);
        environment.insert(QStringLiteral("TMPDIR"), temp);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setWorkingDirectory(temp);
        child.setProcessChannelMode(QProcess::MergedChannels);
        const QString function = QString::fromLatin1(QTest::currentTestFunction()) +
                                 QLatin1Char(':') + QString::fromUtf8(QTest::currentDataTag());
        child.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", program(),
                              testName, function});
        const bool ended = child.waitForFinished(60000);
        *output = ended ? QString::fromUtf8(child.readAll()) : child.errorString();
        if (!ended || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            return false;
        // Its own verdict on this very row, not just any pass.
        const QString passed =
            QStringLiteral("::") + QString::fromLatin1(QTest::currentTestFunction()) +
            QLatin1Char('(') + QString::fromUtf8(QTest::currentDataTag()) + QLatin1Char(')');
        for (const QString &line : output->split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("PASS   : ")) && line.endsWith(passed))
                return true;
        return false;
    }

    static constexpr QFileDevice::Permissions open =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
        QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
        QFileDevice::ExeOther;

private:
    QString program() const { return shared.filePath(QStringLiteral("test-program")); }

    QTemporaryDir shared;
    QString setpriv;
    QString why;
};
