#include "support/xvfbserver.h"

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
    QString xdotool(const QStringList &arguments, int timeoutMs = 10000);
    void click(const QString &window, int x, int y);

    std::unique_ptr<XvfbServer> xserver;
};

void tst_TesselProgram::initTestCase()
{
    if (QString::fromUtf8(XDOTOOL_PROGRAM).isEmpty())
        QSKIP("xdotool is not installed (scripts/install-deps.sh --test installs it)");
    xserver = std::make_unique<XvfbServer>();
    if (!xserver->isRunning())
        QSKIP(qPrintable(xserver->error()));
}

QString tst_TesselProgram::xdotool(const QStringList &arguments, int timeoutMs)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), xserver->display());
    tool.setProcessEnvironment(env);
    tool.start(QString::fromUtf8(XDOTOOL_PROGRAM), arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        return QString();
    }
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

void tst_TesselProgram::click(const QString &window, int x, int y)
{
    xdotool({"mousemove", "--window", window, QString::number(x), QString::number(y), "click",
             "1"});
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
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), xserver->display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    tessel.setProcessEnvironment(env);
    tessel.start(QString::fromUtf8(TESSEL_PROGRAM), {});
    QVERIFY2(tessel.waitForStarted(), qPrintable(tessel.errorString()));

    const QString window = xdotool({"search", "--sync", "--onlyvisible", "--name", "^Tessel$"});
    QVERIFY2(!window.isEmpty(), "no visible window titled Tessel appeared");

    QMap<QString, int> geometry;
    for (const QString &line : xdotool({"getwindowgeometry", "--shell", window}).split('\n')) {
        const QStringList pair = line.split('=');
        if (pair.size() == 2)
            geometry[pair[0]] = pair[1].toInt();
    }
    QCOMPARE(geometry.value("WIDTH"), 417);
    QCOMPARE(geometry.value("HEIGHT"), 276);

    // Type a folder over the remembered one: the text shown at exit is what is kept.
    click(window, 40, 22);
    xdotool({"key", "--window", window, "ctrl+a"});
    xdotool({"type", "--window", window, "--delay", "5", "/typed/by hand"});

    // Close is the last button of the bottom row.
    click(window, geometry.value("WIDTH") - 11 - 20, geometry.value("HEIGHT") - 11 - 10);
    QVERIFY2(tessel.waitForFinished(10000), "Close did not end the program");
    QCOMPARE(tessel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tessel.exitCode(), 0);

    const QSettings stored(settingsFile, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("lastOpenDirectory")).toString(),
             QStringLiteral("/typed/by hand"));
}

QTEST_GUILESS_MAIN(tst_TesselProgram)
#include "tst_tesselprogram.moc"
