// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/desktopsession.h"
#include "support/testregistry.h"
#include "system/systemtestkit.h"

#include <QtTest>

// A user's whole path through the real program, started as a user starts it
// and driven from outside as a person would.
class tst_WholePath : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void typeBrowseProcessClose();

private:
    DesktopSession desktop;
};

void tst_WholePath::initTestCase()
{
    if (!desktop.problem().isEmpty())
        QSKIP(qPrintable(desktop.problem()));
}

void tst_WholePath::typeBrowseProcessClose()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString folder = root.filePath(QStringLiteral("My Trip"));
    QVERIFY(QDir().mkpath(folder));

    const QStringList clips{"00001.MTS", "Beach Day.m2ts", "Zoë.mts"};
    QMap<QString, QByteArray> before;
    for (const QString &clip : clips) {
        const QString path = folder + QLatin1Char('/') + clip;
        QVERIFY2(makeClip(path, 3), qPrintable("could not make " + path));
        before[clip] = checksum(path);
    }

    QTemporaryDir config;
    const QString settingsFile = config.filePath(QStringLiteral("Ostrell/Tessel.conf"));
    QSettings(settingsFile, QSettings::IniFormat)
        .setValue(QStringLiteral("lastOpenDirectory"), QStringLiteral("/earlier/folder"));
    QProcess tessel;
    QString why;
    const QString window =
        desktop.startTessel(tessel, QStringLiteral(TESSEL_PROGRAM), config.path(), &why);
    QVERIFY2(!window.isEmpty(), qPrintable(why));
    QCOMPARE(desktop.windowSize(window), QSize(417, 276));

    // Type the folder over the remembered one, then Browse (the next in the
    // tab order) and cancel the dialog: the typed folder is listed.
    desktop.clickFolderField(window);
    desktop.keys(window, {"ctrl+a"});
    desktop.type(window, folder);
    desktop.keys(window, {"Tab", "space"});
    const QString dialog = desktop.waitForWindow(QStringLiteral("Select Direcotory"));
    QVERIFY2(!dialog.isEmpty(), "the folder dialog did not appear");
    QVERIFY2(desktop.keysToFocus(dialog, {"Escape"}), "the folder dialog did not take the focus");
    QTRY_VERIFY_WITH_TIMEOUT(
        desktop.waitForWindow(QStringLiteral("Select Direcotory"), 100).isEmpty(), 20000);

    desktop.clickProcess(window);
    const QString artifacts = QStringLiteral(ARTIFACTS_DIR);
    QDir().mkpath(artifacts);
    desktop.screenshot(window, artifacts + QStringLiteral("/wholepath-during-run.png"));

    const QString countBox = desktop.waitForWindow(QStringLiteral("Warning"), 60000);
    QVERIFY2(!countBox.isEmpty(), "no message box at the end of the run");
    QVERIFY2(desktop.screenshot(QStringLiteral("root"),
                                artifacts + QStringLiteral("/wholepath-count-message.png")),
             "could not save a screenshot of the screen");
    QVERIFY2(desktop.keysToFocus(countBox, {"Return"}), "the count did not take the focus");
    QTRY_VERIFY_WITH_TIMEOUT(desktop.waitForWindow(QStringLiteral("Warning"), 100).isEmpty(),
                             10000);
    desktop.screenshot(window, artifacts + QStringLiteral("/wholepath-after-run.png"));

    desktop.clickClose(window);
    QVERIFY2(tessel.waitForFinished(15000), "Close did not end the program");
    QCOMPARE(tessel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tessel.exitCode(), 0);

    for (const QString &clip : clips) {
        QCOMPARE(checksum(folder + QLatin1Char('/') + clip), before[clip]);
        const QString output = folder + QLatin1Char('/') +
                               clip.toLower().replace(".mts", ".mp4").replace(".m2ts", ".mp4");
        QString why;
        QVERIFY2(isRealMp4(output, &why), qPrintable(why));
    }
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2 * clips.size());

    const QSettings stored(settingsFile, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("lastOpenDirectory")).toString(), folder);
}

TESSEL_TEST(tst_WholePath)
#include "tst_wholepath.moc"
