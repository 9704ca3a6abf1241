#include "support/desktopsession.h"

#include <QCryptographicHash>
#include <QtTest>

// A user's whole path through the real program, driven from outside as a
// person would: type a folder, Browse and cancel, Process, read the count,
// Close. Then the files on disk and the stored folder are checked.
class tst_WholePath : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void typeBrowseProcessClose();

private:
    static QByteArray checksum(const QString &file);
    static QString run(const QString &program, const QStringList &arguments);

    std::unique_ptr<DesktopSession> desktop;
};

QByteArray tst_WholePath::checksum(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result().toHex();
}

QString tst_WholePath::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void tst_WholePath::initTestCase()
{
    if (QString::fromUtf8(FFMPEG_PROGRAM).isEmpty() || QString::fromUtf8(FFPROBE_PROGRAM).isEmpty())
        QSKIP("FFmpeg is not installed");
    desktop = std::make_unique<DesktopSession>();
    if (!desktop->problem().isEmpty())
        QSKIP(qPrintable(desktop->problem()));
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
        run(QString::fromUtf8(FFMPEG_PROGRAM), {"-v",      "error",
                                                "-f",      "lavfi",
                                                "-i",      "testsrc=size=160x120:rate=25",
                                                "-f",      "lavfi",
                                                "-i",      "sine=frequency=440",
                                                "-t",      "3",
                                                "-c:v",    "libx264",
                                                "-preset", "ultrafast",
                                                "-c:a",    "ac3",
                                                "-f",      "mpegts",
                                                path});
        before[clip] = checksum(path);
        QVERIFY2(!before[clip].isEmpty(), qPrintable("could not make " + path));
    }

    QTemporaryDir config;
    QProcess tessel;
    desktop->start(tessel, QString::fromUtf8(TESSEL_PROGRAM), config.path());
    QVERIFY2(tessel.waitForStarted(), qPrintable(tessel.errorString()));
    const QString window = desktop->waitForWindow(QStringLiteral("Tessel"));
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    const QSize size = desktop->windowSize(window);

    // Type the folder, then Browse (the next in the tab order) and cancel the
    // dialog: the typed folder is listed.
    desktop->click(window, QPoint(40, 22));
    desktop->type(window, folder);
    desktop->keys(window, {"Tab", "space"});
    const QString dialog = desktop->waitForWindow(QStringLiteral("Select Direcotory"));
    QVERIFY2(!dialog.isEmpty(), "the folder dialog did not appear");
    desktop->keysToFocus({"Escape"});

    // Process spans the window's width just below the folder row.
    desktop->click(window, QPoint(size.width() / 2, 50));
    const QString artifacts = QStringLiteral(ARTIFACTS_DIR);
    QDir().mkpath(artifacts);
    desktop->screenshot(window, artifacts + QStringLiteral("/wholepath-during-run.png"));

    const QString countBox = desktop->waitForWindow(QStringLiteral("Warning"), 60000);
    QVERIFY2(!countBox.isEmpty(), "no message box at the end of the run");
    QVERIFY2(desktop->screenshot(QStringLiteral("root"),
                                 artifacts + QStringLiteral("/wholepath-count-message.png")),
             "could not save a screenshot of the screen");
    desktop->keysToFocus({"Return"});
    QTRY_VERIFY_WITH_TIMEOUT(desktop->waitForWindow(QStringLiteral("Warning"), 100).isEmpty(),
                             10000);
    desktop->screenshot(window, artifacts + QStringLiteral("/wholepath-after-run.png"));

    desktop->click(window, QPoint(size.width() - 11 - 20, size.height() - 11 - 10));
    QVERIFY2(tessel.waitForFinished(15000), "Close did not end the program");
    QCOMPARE(tessel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tessel.exitCode(), 0);

    for (const QString &clip : clips) {
        QCOMPARE(checksum(folder + QLatin1Char('/') + clip), before[clip]);
        const QString output = folder + QLatin1Char('/') +
                               clip.toLower().replace(".mts", ".mp4").replace(".m2ts", ".mp4");
        QVERIFY2(QFileInfo::exists(output), qPrintable(output + " was not written"));
        const QString streams =
            run(QString::fromUtf8(FFPROBE_PROGRAM),
                {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", output});
        QCOMPARE(streams.split('\n'), (QStringList{"h264", "mp3"}));
    }
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2 * clips.size());

    const QSettings stored(config.filePath(QStringLiteral("Ostrell/Tessel.conf")),
                           QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("lastOpenDirectory")).toString(), folder);
}

QTEST_GUILESS_MAIN(tst_WholePath)
#include "tst_wholepath.moc"
