// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// The real program stopped from outside mid-run (signals to its group or to it
// alone): no cut-off MP4 may carry a final name, no encoder may outlive it, and,
// unless killed, it closes as usual and keeps the folder typed into its field.
#include "support/desktopsession.h"
#include "support/testregistry.h"
#include "system/systemtestkit.h"

#include <QScopeGuard>
#include <QSettings>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {
// Of the processes whose command line mentions `text`, those in another pid
// namespace than this one.
QList<qint64> inOtherNamespace(const QByteArray &text)
{
    // "pid:[inode]": read raw, as a path resolved against its folder would differ.
    const auto namespaceOf = [](const QByteArray &process) {
        char target[64] = {};
        const ssize_t size =
            ::readlink(("/proc/" + process + "/ns/pid").constData(), target, sizeof target - 1);
        return size > 0 ? QByteArray(target, int(size)) : QByteArray();
    };
    const QByteArray own = namespaceOf("self");
    QList<qint64> found;
    for (const qint64 pid : processesMentioning(text).keys()) {
        if (namespaceOf(QByteArray::number(pid)) != own)
            found << pid;
    }
    return found;
}

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
}

// Types `folder` into the field of Tessel's `window` and presses Process.
void convert(const DesktopSession &desktop, const QString &window, const QString &folder)
{
    desktop.clickFolderField(window);
    desktop.type(window, folder);
    desktop.clickProcess(window);
}

} // namespace

class tst_StopSignals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stoppedMidRun_data();
    void stoppedMidRun();
    void otherNamespaceClosedMidRun();

private:
    // A folder of two copies of `clip`, 1.mts and 2.mts.
    static bool makeCard(const QString &folder, const QString &clip)
    {
        return QDir().mkpath(folder) && QFile::copy(clip, folder + "/1.mts") &&
               QFile::copy(clip, folder + "/2.mts");
    }

    // Starts Tessel converting `folder` and returns once the encoder has
    // written part of the first clip's MP4: mid-run.
    void startMidRun(QProcess &tessel, const QString &config, const QString &folder,
                     QString *window)
    {
        QString why;
        *window = desktop.startTessel(tessel, QStringLiteral(TESSEL_PROGRAM), config, &why);
        QVERIFY2(!window->isEmpty(), qPrintable(why));
        convert(desktop, *window, folder);
        QTRY_VERIFY_WITH_TIMEOUT(bytesWritten(folder) > 0, 20000);
    }

    DesktopSession desktop;
    QTemporaryDir generated;
    QString longClip;
    QString minuteClip;
};

void tst_StopSignals::initTestCase()
{
    if (!desktop.problem().isEmpty())
        QSKIP(qPrintable(desktop.problem()));
    // A long sound track keeps the encoder busy for seconds.
    longClip = generated.filePath(QStringLiteral("long.ts"));
    QVERIFY(makeClip(longClip, 1, ClipOptions().audioFor(600)));
    minuteClip = generated.filePath(QStringLiteral("minute.ts"));
    QVERIFY(makeClip(minuteClip, 1, ClipOptions().audioFor(60)));
}

void tst_StopSignals::stoppedMidRun_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("toGroup");

    QTest::newRow("Ctrl-C in the terminal (INT to the group)") << int(SIGINT) << true;
    QTest::newRow("terminal closed (HUP to the group)") << int(SIGHUP) << true;
    QTest::newRow("session ends (TERM to the group)") << int(SIGTERM) << true;
    QTest::newRow("TERM to Tessel alone") << int(SIGTERM) << false;
    QTest::newRow("KILL to Tessel alone") << int(SIGKILL) << false;
}

void tst_StopSignals::stoppedMidRun()
{
    QFETCH(int, signal);
    QFETCH(bool, toGroup);

    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("Card"));
    QVERIFY(makeCard(folder, longClip));
    QTemporaryDir config;

    QProcess tessel;
    // A job of its own, as a shell starts it.
    tessel.setChildProcessModifier([] { ::setpgid(0, 0); });
    QString window;
    startMidRun(tessel, config.path(), folder, &window);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(!processesMentioning(folder.toUtf8()).isEmpty(), "no encoder seen");

    const pid_t target = pid_t(tessel.processId());
    QCOMPARE(::kill(toGroup ? -target : target, signal), 0);
    QVERIFY2(tessel.waitForFinished(15000), "Tessel did not end");

    if (signal == SIGKILL) {
        QCOMPARE(tessel.exitStatus(), QProcess::CrashExit);
    } else {
        QCOMPARE(tessel.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tessel.exitCode(), 0);
    }
    // The encoder goes with Tessel, even a killed one.
    QTRY_VERIFY_WITH_TIMEOUT(processesMentioning(folder.toUtf8()).isEmpty(), 5000);

    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QVERIFY2(left.removeAll(QStringLiteral("1.mts")) == 1 &&
                 left.removeAll(QStringLiteral("2.mts")) == 1,
             "a clip went missing");
    if (signal == SIGKILL) {
        // Only what a killed program cannot clean up: its own hidden file.
        for (const QString &name : left)
            QVERIFY2(name.startsWith(QLatin1Char('.')), qPrintable(name));
    } else {
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    }

    const QSettings stored(config.filePath(QStringLiteral("Ostrell/Tessel.conf")),
                           QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("lastOpenDirectory")).toString(),
             signal == SIGKILL ? QString() : folder);
}

void tst_StopSignals::otherNamespaceClosedMidRun()
{
    // A second Tessel in another pid namespace (a container, a sandbox, or
    // another machine on a network share) sees no process of the first. It
    // starts a run on the same folder and is closed while the first converts:
    // the first one's MP4s come out whole.
    QProcess probe;
    probe.start(QStringLiteral("unshare"), {"-pf", "--mount-proc", "true"});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0)
        QSKIP("no pid namespace can be made here (unshare -pf --mount-proc)");

    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("Shared"));
    QVERIFY(makeCard(folder, minuteClip));
    QTemporaryDir firstConfig;
    QTemporaryDir secondConfig;

    QProcess first;
    QString firstWindow;
    startMidRun(first, firstConfig.path(), folder, &firstWindow);
    if (QTest::currentTestFailed())
        return;
    // Held mid-clip while the second acts, however fast this machine is.
    const QList<qint64> firstEncoders = processesMentioning(folder.toUtf8()).keys();
    QVERIFY2(!firstEncoders.isEmpty(), "the first Tessel's encoder has gone already");
    const auto signalFirst = [&firstEncoders](int signal) {
        for (const qint64 pid : firstEncoders)
            ::kill(pid_t(pid), signal);
    };
    signalFirst(SIGSTOP);
    const auto resume = qScopeGuard([&] { signalFirst(SIGCONT); });

    QProcess second;
    desktop.start(second, QStringLiteral("unshare"), secondConfig.path(),
                  {"-pf", "--mount-proc", QStringLiteral(TESSEL_PROGRAM)});
    // The first window's title shows its progress by now: "Tessel" alone is the second.
    const QString secondWindow = desktop.waitForWindow(QStringLiteral("Tessel"));
    QVERIFY2(!secondWindow.isEmpty() && secondWindow != firstWindow,
             "the second window did not appear");
    convert(desktop, secondWindow, folder);
    QTRY_VERIFY_WITH_TIMEOUT(!inOtherNamespace(folder.toUtf8()).isEmpty(), 20000);
    const qint64 secondTessel = parentOf(inOtherNamespace(folder.toUtf8()).value(0));
    QVERIFY(secondTessel > 0);
    QCOMPARE(::kill(pid_t(secondTessel), SIGTERM), 0);
    QVERIFY2(second.waitForFinished(15000), "the second Tessel did not end");
    signalFirst(SIGCONT);

    const auto firstDone = [&] {
        return processesMentioning(folder.toUtf8()).isEmpty() &&
               QFileInfo::exists(folder + QStringLiteral("/2.mp4"));
    };
    QTRY_VERIFY_WITH_TIMEOUT(firstDone(), 60000);
    for (const char *name : {"/1.mp4", "/2.mp4"}) {
        const QString mp4 = folder + QLatin1String(name);
        QString why;
        QVERIFY2(isRealMp4(mp4, &why), qPrintable(why));
        const double seconds = runTool(ffprobeProgram, {"-v", "error", "-show_entries",
                                                        "format=duration", "-of", "csv=p=0", mp4})
                                   .trimmed()
                                   .toDouble();
        QVERIFY2(seconds > 59, qPrintable(mp4 + QStringLiteral(": %1 s").arg(seconds)));
    }
    ::kill(pid_t(first.processId()), SIGTERM);
    if (!first.waitForFinished(15000))
        first.kill();
}

TESSEL_TEST(tst_StopSignals)
#include "tst_stopsignals.moc"
