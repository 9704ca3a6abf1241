// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// Closing the program while a conversion runs: the running encoder is asked
// to stop, its file is not kept, nothing else starts, and the program exits
// as usual.
#include "support/testregistry.h"
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include "conversion/conversiontestkit.h"
#include "support/isolatedsettings.h"

namespace {
const QString standIn = QStringLiteral(STANDIN_ENCODER);

// A zombie has ended; only its parent has not heard yet.
bool isRunning(qint64 processId)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(processId));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}
} // namespace

class ConversionQuitTest : public QObject
{
    Q_OBJECT

private slots:
    void closeDuringRun_data();
    void closeDuringRun();

private:
    IsolatedSettings isolatedSettings;
};

void ConversionQuitTest::closeDuringRun_data()
{
    QTest::addColumn<bool>("byCloseButton"); // else the window manager closes the window
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("encoderListens");
    // Another Tessel on the same folder puts its a.mp4 in place meanwhile.
    QTest::addColumn<bool>("otherTessel");
    // The encoder is a script that starts the real one, as some systems ship it.
    QTest::addColumn<bool>("wrapped");

    QTest::newRow("Close pressed")
        << true << QByteArray("sleep 20000 ok") << true << false << false;
    QTest::newRow("window closed")
        << false << QByteArray("sleep 20000 ok") << true << false << false;
    QTest::newRow("encoder deaf to the request")
        << true << QByteArray("write deaf 20000 ok") << false << false << false;
    QTest::newRow("another Tessel's MP4 stays")
        << true << QByteArray("sleep 20000 ok") << true << true << false;
#ifdef Q_OS_UNIX
    QTest::newRow("deaf encoder behind a wrapper script")
        << true << QByteArray("pid write deaf 20000 ok") << false << false << true;
#endif
}

void ConversionQuitTest::closeDuringRun()
{
    QFETCH(bool, byCloseButton);
    QFETCH(QByteArray, script);
    QFETCH(bool, encoderListens);
    QFETCH(bool, otherTessel);
    QFETCH(bool, wrapped);

    ClipFolder tools;
    // Not the last command, so the shell forks rather than replacing itself.
    const QString encoder =
        wrapped ? tools.add(QStringLiteral("ffmpeg"),
                            "#!/bin/sh\n\"" + standIn.toUtf8() + "\" \"$@\"\nexit $?\n")
                : standIn;
    if (wrapped)
        QVERIFY(QFile::setPermissions(encoder, QFile::ReadOwner | QFile::ExeOwner));

    ClipFolder clips;
    clips.add(QStringLiteral("a.mts"), script);
    clips.add(QStringLiteral("b.mts"), "ok");
    StandInLog log;
    const ShownBoxes shown;
    qint64 stopMs = -1;
    {
        WindowUnderTest ui;
        ui.window.setEncoderPath(encoder);
        ui.folderField->setText(clips.path());
        ui.window.show();

        QElapsedTimer sinceClose;
        const Sampler closer(
            [&] {
                if (sinceClose.isValid() || log.starts().isEmpty())
                    return;
                if (otherTessel)
                    clips.add(QStringLiteral("a.mp4"), "made by the other Tessel");
                sinceClose.start();
                if (byCloseButton)
                    ui.closeButton->click();
                else
                    ui.window.close();
            },
            10);

        const LoopRun run = runApplicationLoop([&] { ui.processButton->click(); }, 15000);
        stopMs = sinceClose.elapsed();

        QVERIFY2(!run.timedOut, "the program did not exit");
        QCOMPARE(run.exitCode, 0);
        QVERIFY(ui.window.findChildren<QProcess *>().isEmpty());
    }

    QCOMPARE(log.startedNames(), QStringList{QStringLiteral("a.mts")});
    if (encoderListens) {
        QCOMPARE(log.stopRequests(), QStringList{clips.filePath(QStringLiteral("a.mts"))});
        QVERIFY2(stopMs < 2500, qPrintable(QStringLiteral("stopping took %1 ms").arg(stopMs)));
    } else {
        QVERIFY2(log.endedSources().isEmpty(), "the deaf encoder was not killed");
        QVERIFY2(stopMs >= 2900 && stopMs < 8000,
                 qPrintable(QStringLiteral("killed after %1 ms").arg(stopMs)));
    }
    // Nothing the encoder started writes on into a file that is gone.
    for (const QString &id : log.processIds()) {
        QTRY_VERIFY2(!isRunning(id.toLongLong()), qPrintable("process " + id + " is left"));
    }
    QCOMPARE(log.processIds().size(), wrapped ? 1 : 0);
    if (otherTessel)
        QCOMPARE(clips.read(QStringLiteral("a.mp4")), QByteArray("made by the other Tessel"));
    else
        QVERIFY2(!clips.has(QStringLiteral("a.mp4")), "the stopped file's output was kept");
    QVERIFY2(clips.hiddenFiles().isEmpty(), "the encoder's own file was left behind");
    QVERIFY(!clips.has(QStringLiteral("b.mp4")));
    QVERIFY2(shown.boxes.isEmpty(), qPrintable(shown.boxes.value(0).text));
    QCOMPARE(isolatedSettings.storedFolder().toString(), clips.path());
}

TESSEL_TEST(ConversionQuitTest)
#include "tst_conversionquit.moc"
