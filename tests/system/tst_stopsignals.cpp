// The real program stopped from outside in the middle of a conversion: Ctrl-C
// in its terminal, the terminal closed, the session ending (a signal to its
// process group), a signal to it alone, or a kill. No cut-off MP4 may carry a
// final name, no encoder may outlive it, and, unless it was killed, it closes
// as usual and keeps the folder typed into its field.
#include "support/desktopsession.h"
#include "support/testregistry.h"
#include "system/systemtestkit.h"

#include <QDirIterator>
#include <QSettings>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {
// Processes whose command line mentions `text`, this one aside.
QList<qint64> processesMentioning(const QByteArray &text)
{
    QList<qint64> found;
    QDirIterator proc(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (proc.hasNext()) {
        bool isNumber = false;
        const qint64 pid = QFileInfo(proc.next()).fileName().toLongLong(&isNumber);
        if (!isNumber || pid == QCoreApplication::applicationPid())
            continue;
        QFile cmdline(proc.filePath() + QStringLiteral("/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text))
            found << pid;
    }
    return found;
}
} // namespace

class tst_StopSignals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stoppedMidRun_data();
    void stoppedMidRun();

private:
    DesktopSession desktop;
    QTemporaryDir generated;
    QByteArray longClip;
};

void tst_StopSignals::initTestCase()
{
    if (!desktop.problem().isEmpty())
        QSKIP(qPrintable(desktop.problem()));
    // A long sound track keeps the encoder busy for seconds.
    const QString clip = generated.filePath(QStringLiteral("long.ts"));
    QVERIFY(makeClip(clip, 1, ClipOptions().audioFor(600)));
    longClip = readFile(clip.toUtf8());
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
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeFile((folder + QStringLiteral("/1.mts")).toUtf8(), longClip));
    QVERIFY(writeFile((folder + QStringLiteral("/2.mts")).toUtf8(), longClip));
    QTemporaryDir config;

    QProcess tessel;
    // A job of its own, as a shell starts it.
    tessel.setChildProcessModifier([] { ::setpgid(0, 0); });
    QString why;
    const QString window =
        desktop.startTessel(tessel, QStringLiteral(TESSEL_PROGRAM), config.path(), &why);
    QVERIFY2(!window.isEmpty(), qPrintable(why));
    desktop.clickFolderField(window);
    desktop.type(window, folder);
    desktop.clickProcess(window);

    // Mid-run: the encoder has written part of the first clip's MP4.
    const auto written = [&] {
        qint64 size = 0;
        for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
            size += file.fileName().endsWith(QLatin1String(".mp4")) ? file.size() : 0;
        return size;
    };
    QTRY_VERIFY_WITH_TIMEOUT(written() > 0, 20000);
    const QList<qint64> encoders = processesMentioning(folder.toUtf8());
    QVERIFY2(!encoders.isEmpty(), "no encoder seen");

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

TESSEL_TEST(tst_StopSignals)
#include "tst_stopsignals.moc"
