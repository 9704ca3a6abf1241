// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A run of the real program on a desktop of its own (a private X server with
// openbox, a system and a session dbus-daemon): what it asks of the desktop,
// given back however the run ends, and never waited for.
#include "support/desktopsession.h"
#include "support/testregistry.h"
#include "system/systemtestkit.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QLocalServer>
#include <QSocketNotifier>
#include <QtTest>

#include <csignal>
#include <fcntl.h>

using Heard = QSet<QString>;

namespace {
// What the dock hears of a run, when it hears anything.
Heard dockShownThenHidden()
{
    return {"dock shown", "dock hidden"};
}
} // namespace

class tst_DesktopRun : public QObject
{
    Q_OBJECT

public slots:
    // Only logind is a stand-in, as it cannot run here: it answers with one
    // end of a pipe, as logind does.
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why,
                                    const QString &mode)
    {
        heard << QStringList{"inhibit", what, who, why, mode}.join('|');
        int ends[2] = {-1, -1};
        ::pipe2(ends, O_CLOEXEC);
        // Readable once every copy of the other end is closed.
        auto *const hangUp = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
        connect(hangUp, &QSocketNotifier::activated, this, [this, hangUp] {
            heard << "released";
            hangUp->setEnabled(false);
        });
        const QDBusUnixFileDescriptor given(ends[1]);
        ::close(ends[1]);
        return given;
    }
    uint Inhibit(const QString &who, const QString &why)
    {
        heard << "screensaver " + who + '|' + why;
        return 7;
    }
    void UnInhibit(uint cookie) { heard << "screensaver released " + QString::number(cookie); }
    void Update(const QString &app, const QVariantMap &entry)
    {
        const bool shown = entry.value("progress-visible").toBool();
        const bool valid = app == "application://com.ostrell.tessel.desktop" &&
                           entry.value("count-visible") == shown &&
                           entry.value("count").typeId() == QMetaType::LongLong &&
                           entry.value("progress").typeId() == QMetaType::Double;
        heard << (!valid ? "dock wrong" : shown ? "dock shown" : "dock hidden");
    }

private slots:
    void initTestCase();
    void run_data();
    void run();

private:
    DesktopSession desktop;
    QTemporaryDir scratch;
    QProcess windowManager;
    QProcess daemons[2]; // the system bus, the session bus
    QStringList addresses;
    Heard heard;
};

void tst_DesktopRun::initTestCase()
{
    if (!desktop.problem().isEmpty())
        QSKIP(qPrintable(desktop.problem()));
    desktop.start(windowManager, QStringLiteral("openbox"), scratch.path());
    QVERIFY2(windowManager.waitForStarted(), "no openbox (scripts/install-deps.sh --test)");
    for (QProcess &bus : daemons) {
        bus.start("dbus-daemon",
                  {"--nofork", "--print-address", "--address=unix:dir=" + scratch.path(),
                   "--config-file=" + QFINDTESTDATA("data/bus.conf")});
        QVERIFY2(bus.waitForReadyRead(10000), "no dbus-daemon (scripts/install-deps.sh --test)");
        addresses << QString::fromUtf8(bus.readLine().trimmed());
        QVERIFY(QDBusConnection::connectToBus(addresses.last(), addresses.last()).isConnected());
    }
    QDBusConnection session(addresses[1]);
    QVERIFY(QDBusConnection(addresses[0])
                .registerObject("/org/freedesktop/login1", "org.freedesktop.login1.Manager", this,
                                QDBusConnection::ExportAllSlots) &&
            session.registerObject("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                                   this, QDBusConnection::ExportAllSlots) &&
            session.registerService("org.freedesktop.ScreenSaver") &&
            session.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update",
                            this, SLOT(Update(QString, QVariantMap))));
    QVERIFY(makeClip(scratch.filePath("120"), 1, ClipOptions().audioFor(120)) &&
            makeClip(scratch.filePath("600"), 1, ClipOptions().audioFor(600)));
}

void tst_DesktopRun::run_data()
{
    // How logind is there; the seconds of the clip's sound; how the run ends;
    // what the desktop heard.
    QTest::addColumn<QString>("logind");
    QTest::addColumn<int>("sound");
    QTest::addColumn<QString>("ending");
    QTest::addColumn<Heard>("expected");

    const Heard held{"inhibit|sleep:idle|Tessel|Converting clips|block", "released"};
    const Heard dock = dockShownThenHidden();
    QTest::newRow("held for the run, on the dock, calling back")
        << "there" << 120 << "end" << (dock | held);
    QTest::newRow("given back at Close") << "there" << 600 << "close" << held;
    QTest::newRow("given back when killed") << "there" << 600 << "kill" << held;
    QTest::newRow("no logind: the screen saver")
        << "absent" << 120 << "end"
        << (dock | Heard{"screensaver Tessel|Converting clips", "screensaver released 7"});
    QTest::newRow("a system bus that never answers holds nothing back")
        << "silent" << 120 << "end" << Heard();
}

void tst_DesktopRun::run()
{
    QFETCH(QString, logind);
    QFETCH(int, sound);
    QFETCH(QString, ending);
    QFETCH(Heard, expected);
    const Heard dock = dockShownThenHidden();
    heard.clear();
    QDBusConnection(addresses[0]).unregisterService("org.freedesktop.login1");
    QVERIFY(logind == "absent" ||
            QDBusConnection(addresses[0]).registerService("org.freedesktop.login1"));
    QTemporaryDir card;
    QLocalServer silent;
    QVERIFY(silent.listen(card.filePath("silent")));
    const QString system =
        logind == "silent" ? "unix:path=" + silent.fullServerName() : addresses[0];
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", system.toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", addresses[1].toUtf8());

    QVERIFY(QFile::copy(scratch.filePath(QString::number(sound)), card.filePath("00001.MTS")));
    QProcess tessel;
    QString why;
    const QString window = desktop.startTessel(tessel, TESSEL_PROGRAM, card.path(), &why);
    QVERIFY2(!window.isEmpty(), qPrintable(why));
    desktop.clickFolderField(window);
    desktop.type(window, card.path());
    desktop.clickProcess(window);
    // Answered before the test waits for X again.
    QTRY_VERIFY_WITH_TIMEOUT(logind == "silent" || !(heard - dock).isEmpty(), 10000);
    if (ending != "end") {
        // Held while the encoder writes.
        QTRY_VERIFY_WITH_TIMEOUT(bytesWritten(card.path()) > 0, 20000);
        QVERIFY(!heard.contains("released"));
        if (ending == "kill")
            ::kill(pid_t(tessel.processId()), SIGKILL);
        else
            desktop.clickClose(window);
        QVERIFY2(tessel.waitForFinished(15000), "Tessel did not end");
    } else {
        // The user turns to another window meanwhile.
        QProcess other;
        desktop.start(other, "xmessage", card.path(), {"-title", "other", "other"});
        desktop.xdotool({"windowactivate", "--sync", desktop.waitForWindow("other")});
        const QString count = desktop.waitForWindow("Warning");
        QVERIFY2(!count.isEmpty(), "no count at the end");
        QProcess xprop;
        desktop.start(xprop, "xprop", card.path(), {"-id", window, "_NET_WM_STATE"});
        QVERIFY(xprop.waitForFinished() && xprop.readAll().contains("DEMANDS_ATTENTION"));
        // Nor does anything on a bus hold the way out back.
        QVERIFY(desktop.keysToFocus(count, {"Return"}));
        desktop.clickClose(window);
        QVERIFY2(tessel.waitForFinished(5000), "Tessel did not close");
        QVERIFY(tessel.exitStatus() == QProcess::NormalExit && tessel.exitCode() == 0);
    }
    // The dock hears as the title changes: maybe not at all before a run is stopped.
    QTRY_COMPARE_WITH_TIMEOUT(ending == "end" ? heard : heard - dock, expected, 5000);
}

TESSEL_TEST(tst_DesktopRun)
#include "tst_desktoprun.moc"
