#include "support/desktopsession.h"

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
    std::unique_ptr<DesktopSession> desktop;
};

void tst_TesselProgram::initTestCase()
{
    desktop = std::make_unique<DesktopSession>();
    if (!desktop->problem().isEmpty())
        QSKIP(qPrintable(desktop->problem()));
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
    desktop->start(tessel, QString::fromUtf8(TESSEL_PROGRAM), config.path());
    QVERIFY2(tessel.waitForStarted(), qPrintable(tessel.errorString()));

    const QString window = desktop->waitForWindow(QStringLiteral("Tessel"));
    QVERIFY2(!window.isEmpty(), "no visible window titled Tessel appeared");
    const QSize size = desktop->windowSize(window);
    QCOMPARE(size, QSize(417, 276));

    // Type a folder over the remembered one: the text shown at exit is what is kept.
    desktop->click(window, QPoint(40, 22));
    desktop->keys(window, {"ctrl+a"});
    desktop->type(window, QStringLiteral("/typed/by hand"));

    // Close is the last button of the bottom row.
    desktop->click(window, QPoint(size.width() - 11 - 20, size.height() - 11 - 10));
    QVERIFY2(tessel.waitForFinished(10000), "Close did not end the program");
    QCOMPARE(tessel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tessel.exitCode(), 0);

    const QSettings stored(settingsFile, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("lastOpenDirectory")).toString(),
             QStringLiteral("/typed/by hand"));
}

QTEST_GUILESS_MAIN(tst_TesselProgram)
#include "tst_tesselprogram.moc"
