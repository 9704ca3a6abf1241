#include "support/desktopsession.h"
#include "support/testregistry.h"

#include <QtTest>

// The real program, started as a user starts it and driven from outside
// through a private X server.
class tst_TesselProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startsShowsWindowAndClosesCleanly();

private:
    DesktopSession desktop;
};

void tst_TesselProgram::initTestCase()
{
    if (!desktop.problem().isEmpty())
        QSKIP(qPrintable(desktop.problem()));
}

void tst_TesselProgram::startsShowsWindowAndClosesCleanly()
{
    QTemporaryDir config;
    QVERIFY(config.isValid());
    const QString settingsFile = config.filePath(QStringLiteral("Ostrell/Tessel.conf"));
    {
        QSettings stored(settingsFile, QSettings::IniFormat);
        stored.setValue(QStringLiteral("lastOpenDirectory"), QStringLiteral("/earlier/folder"));
    }

    QProcess tessel;
    QString why;
    const QString window =
        desktop.startTessel(tessel, QStringLiteral(TESSEL_PROGRAM), config.path(), &why);
    QVERIFY2(!window.isEmpty(), qPrintable(why));
    QCOMPARE(desktop.windowSize(window), QSize(417, 276));

    // Type a folder over the remembered one: the text shown at exit is what is kept.
    desktop.clickFolderField(window);
    desktop.keys(window, {"ctrl+a"});
    desktop.type(window, QStringLiteral("/typed/by hand"));
    desktop.clickClose(window);
    QVERIFY2(tessel.waitForFinished(10000), "Close did not end the program");
    QCOMPARE(tessel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tessel.exitCode(), 0);

    const QSettings stored(settingsFile, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("lastOpenDirectory")).toString(),
             QStringLiteral("/typed/by hand"));
}

TESSEL_TEST(tst_TesselProgram)
#include "tst_tesselprogram.moc"
