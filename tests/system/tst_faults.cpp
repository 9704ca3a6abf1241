// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// Faults from outside the program, with the real FFmpeg: a full disk, a killed
// encoder, a disk that stops answering, settings unwritable or corrupt at
// start (also for the real program).
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTest>

#include "support/desktopsession.h"
#include "support/isolatedsettings.h"
#include "support/privatebuses.h"
#include "system/systemtestkit.h"

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {
// A tmpfs over a folder for the life of this object: a disk of a known size
// that the test can fill, or make read-only.
class ScratchMount
{
public:
    ScratchMount(const QString &where, const QByteArray &options) : path(where.toUtf8())
    {
        if (::mount("tessel-test", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    options.constData()) == 0)
            mounted = true;
        else
            problem = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~ScratchMount()
    {
        // A lazy unmount still detaches it when something holds it open.
        if (mounted && ::umount2(path.constData(), 0) != 0)
            ::umount2(path.constData(), MNT_DETACH);
    }
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;

    bool isMounted() const { return mounted; }
    QString error() const { return problem; }

    bool makeReadOnly() const
    {
        return ::mount(nullptr, path.constData(), nullptr,
                       MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
    }

    qint64 bytesAvailable() const { return QStorageInfo(QString::fromUtf8(path)).bytesAvailable(); }

private:
    QByteArray path;
    bool mounted = false;
    QString problem;
};

// A folder of its own, backing(), seen at card() through data/forgetfulfs.py,
// a FUSE file system as some network and FUSE file systems behave; with
// `stalls`, it stops answering while stallFile() exists; reads past
// `readsFailPast` bytes of a file fail, as a failing card's do.
class ForgetfulMount
{
public:
    explicit ForgetfulMount(bool stalls = false, qint64 readsFailPast = -1)
    {
        QDir().mkpath(backing());
        QDir().mkpath(card());
        QStringList arguments{QFINDTESTDATA("data/forgetfulfs.py"), backing(), card()};
        if (stalls)
            arguments << QStringLiteral("--stall") << stallFile();
        if (readsFailPast >= 0)
            arguments << QStringLiteral("--fail-past") << QString::number(readsFailPast);
        server.setProcessChannelMode(QProcess::ForwardedChannels);
        server.start(QStringLiteral("/usr/bin/python3"), arguments);
        QDeadlineTimer deadline(10000);
        while (!isMounted() && server.state() != QProcess::NotRunning && !deadline.hasExpired())
            QThread::msleep(20);
    }
    ~ForgetfulMount()
    {
        QFile::remove(stallFile());
        ::umount2(card().toUtf8().constData(), MNT_DETACH);
        if (!server.waitForFinished(10000))
            server.kill();
    }
    ForgetfulMount(const ForgetfulMount &) = delete;
    ForgetfulMount &operator=(const ForgetfulMount &) = delete;

    QString backing() const { return base.filePath(QStringLiteral("backing")); }
    QString card() const { return base.filePath(QStringLiteral("card")); }
    QString stallFile() const { return base.filePath(QStringLiteral("stall")); }
    bool isMounted() const { return QStorageInfo(card()).rootPath() == card(); }

    // Why no such mount can be made here; empty when it can.
    static QString unavailable(bool privateMounts)
    {
        if (!privateMounts)
            return QStringLiteral(
                "a FUSE mount of this test's own needs root and a private mount namespace");
        if (!QFileInfo::exists(QStringLiteral("/dev/fuse")) ||
            QProcess::execute(QStringLiteral("/usr/bin/python3"), {"-c", "import fusepy"}) != 0)
            return QStringLiteral(
                "needs /dev/fuse and python3-fusepy (scripts/install-deps.sh --test)");
        return QString();
    }

private:
    const QTemporaryDir base;
    QProcess server;
};

// As root, the mounts these tests make live in a mount namespace of this
// process alone: no one else sees them, and they go with the process even if
// it dies before its cleanup. Must run before any thread starts.
inline bool enterPrivateMounts()
{
    return ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// What changed in `folder` since `before` (its fingerprintTree()) besides the
// run's MP4 `made`: empty when the clips are as they were and nothing else was
// made or left behind.
QString changesBesides(const QString &folder, const QMap<QByteArray, QByteArray> &before,
                       const QString &made)
{
    QMap<QByteArray, QByteArray> after = fingerprintTree(folder, QString());
    after.remove((folder + QLatin1Char('/') + made).toUtf8());
    return treeChanges(before, after);
}

// Where the settings store's file goes, and what it holds.
enum class Layout { File, FileIsFolder, FolderIsFile, ReadOnlyFolder };

// A settings folder under `configHome` laid out as `layout` says, its file
// holding `content` (no file if empty); `skip` says why it cannot be made here.
struct BadSettingsFolder
{
    BadSettingsFolder(Layout layout, const QByteArray &content, const QString &configHome)
    {
        const QString folder = configHome + QStringLiteral("/Ostrell");
        const QByteArray file = (folder + QStringLiteral("/Tessel.conf")).toUtf8();
        if (layout == Layout::ReadOnlyFolder) {
            // Root writes through any permission bits; a read-only mount stops it.
            if (::geteuid() != 0) {
                skip = QStringLiteral("a read-only settings folder needs a mount, made as root");
                return;
            }
            QDir().mkpath(folder);
            mount = std::make_unique<ScratchMount>(folder, "size=64k,mode=0755");
            if (!mount->isMounted()) {
                skip = QStringLiteral("cannot mount a tmpfs: ") + mount->error();
                return;
            }
        }
        if (layout == Layout::FolderIsFile)
            ready = QDir().mkpath(configHome) && writeFile(folder.toUtf8(), "not a folder\n");
        else if (layout == Layout::FileIsFolder)
            ready = QDir().mkpath(QString::fromUtf8(file)) &&
                    writeFile(file + "/keep", "not settings\n");
        else
            ready = QDir().mkpath(folder) && (content.isEmpty() || writeFile(file, content));
        ready = ready && (!mount || mount->makeReadOnly());
        before = fingerprintTree(configHome, QString());
    }

    std::unique_ptr<ScratchMount> mount;
    QString skip;
    bool ready = false;
    QMap<QByteArray, QByteArray> before; // the folder as arranged
};
} // namespace

Q_DECLARE_METATYPE(Layout)

class tst_Faults : public QObject
{
    Q_OBJECT

public:
    explicit tst_Faults(bool privateMounts) : privateMounts(privateMounts) {}

private slots:
    void initTestCase();
    void cleanup();
    void faultDuringRun_data();
    void faultDuringRun();
    void fileSystemWithoutFlush();
    void diskStopsAnswering();
    void badSettingsAtStart_data();
    void badSettingsAtStart();

private:
    const bool privateMounts;
    IsolatedSettings isolatedSettings;
    QTemporaryDir generated;
    QString smallClip;
    QString bigClip;
    QString longClip;
    qint64 smallOutputSize = 0;
    qint64 bigOutputSize = 0;
    std::unique_ptr<DesktopSession> desktop;
};

void tst_Faults::initTestCase()
{
    QVERIFY(generated.isValid());
    if (::geteuid() == 0 && !privateMounts)
        qWarning("no private mount namespace: mounts are visible to others until unmounted");

    smallClip = generated.filePath(QStringLiteral("small.ts"));
    bigClip = generated.filePath(QStringLiteral("big.ts"));
    longClip = generated.filePath(QStringLiteral("long.ts"));
    QVERIFY(makeClip(smallClip, 1));
    // Lossless pictures: a big file quickly.
    QVERIFY(makeClip(bigClip, 2, ClipOptions().frameSize("320x240").video({"-qp", "0"})));
    // A long sound track keeps the encoder busy for most of a second.
    QVERIFY(makeClip(longClip, 1, ClipOptions().audioFor(40)));

    // How big the MP4s come out, to size the disk in faultDuringRun().
    const auto outputSize = [this](const QString &source) {
        const QString output = generated.filePath(QStringLiteral("measure.mp4"));
        runTool(ffmpegProgram,
                {"-v", "error", "-y", "-i", source, "-vcodec", "copy", "-acodec", "mp3", output});
        const qint64 size = QFileInfo(output).size();
        QFile::remove(output);
        return size;
    };
    smallOutputSize = outputSize(smallClip);
    bigOutputSize = outputSize(bigClip);
    QVERIFY2(
        bigOutputSize > 4 * smallOutputSize && smallOutputSize > 0,
        qPrintable(QStringLiteral("MP4 sizes: %1, %2").arg(bigOutputSize).arg(smallOutputSize)));
}

void tst_Faults::cleanup()
{
    // badSettingsAtStart() points the settings at a store of each row's own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, isolatedSettings.folder());
}

void tst_Faults::faultDuringRun_data()
{
    // Sent to the encoder of the first clip; 0: the disk fills; -1: the card's
    // reads fail past half of the big clip.
    QTest::addColumn<int>("signal");
    QTest::addColumn<QStringList>("clips"); // named after the clip of initTestCase() each copies
    QTest::addColumn<QStringList>("rows");  // a pattern for each row's text
    QTest::addColumn<QString>("count");

    const QString diskFull = QStringLiteral(" was not converted: .*No space left on device$");
    // The card fills until the small clip's MP4 still fits, and a big one's does not.
    QTest::newRow("disk fills") << 0 << QStringList{"1 big.mts", "2 small.mts", "3 big.mts"}
                                << QStringList{"^1 big.mts" + diskFull,
                                               "^2 small.mts converted to 2 small.mp4$",
                                               "^3 big.mts" + diskFull}
                                << "1 file converted. 2 files failed.";
    // Once it has written part of the MP4, as another program (or the user,
    // in a task manager) would.
    QTest::newRow("encoder killed (SIGKILL)")
        << int(SIGKILL) << QStringList{"1 long.mts", "2 small.mts"}
        << QStringList{"^1 long.mts was not converted: the encoder crashed$",
                       "^2 small.mts converted to 2 small.mp4$"}
        << "1 file converted. 1 file failed.";
    // FFmpeg ends on SIGTERM as asked, writing a complete-looking but cut-off MP4.
    QTest::newRow("encoder asked to end (SIGTERM)")
        << int(SIGTERM) << QStringList{"1 long.mts", "2 small.mts"}
        << QStringList{"^1 long.mts was not converted: the encoder exited with code [1-9][0-9]*$",
                       "^2 small.mts converted to 2 small.mp4$"}
        << "1 file converted. 1 file failed.";
    // FFmpeg puts what it read into the MP4 and exits with 0: the MP4 at the
    // name must stay, or the clip's end is lost with the card.
    QTest::newRow("card fails mid-clip")
        << -1 << QStringList{"1 big.mts", "1 big.mp4", "2 small.mts"}
        << QStringList{"^1 big.mts was not converted: Input/output error after 0:0\\d$",
                       "^2 small.mts converted to 2 small.mp4$"}
        << "1 file converted. 1 file failed.";
}

// A fault from outside mid-run fails that clip in FFmpeg's words and no other;
// no partial MP4 is left, nor the space it took.
void tst_Faults::faultDuringRun()
{
    QFETCH(int, signal);
    QFETCH(QStringList, clips);
    QFETCH(QStringList, rows);
    QFETCH(QString, count);

    QTemporaryDir base;
    QString card = base.filePath(QStringLiteral("card"));
    QVERIFY(QDir().mkpath(card));
    std::unique_ptr<ScratchMount> mount;
    std::unique_ptr<ForgetfulMount> failing;
    if (signal < 0) {
        if (const QString why = ForgetfulMount::unavailable(privateMounts); !why.isEmpty())
            QSKIP(qPrintable(why));
        failing = std::make_unique<ForgetfulMount>(false, QFileInfo(bigClip).size() / 2);
        QVERIFY2(failing->isMounted(), "the FUSE file system did not mount");
        card = failing->card();
    }
    if (!signal) {
        if (::geteuid() != 0)
            QSKIP("filling a disk needs a small file system of its own, mounted as root");
        mount = std::make_unique<ScratchMount>(card, "size=1024k,mode=0755");
        if (!mount->isMounted())
            QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs: ") + mount->error()));
    }
    const QString folder = card + QStringLiteral("/DCIM");
    // Where the clips lie, read by the test without the card's faults.
    const QString stored = failing ? failing->backing() + QStringLiteral("/DCIM") : folder;
    QVERIFY(QDir().mkpath(stored));
    const QMap<QString, QString> made{{"big", bigClip}, {"small", smallClip}, {"long", longClip}};
    for (const QString &clip : clips)
        QVERIFY(QFile::copy(made.value(clip.section(' ', 1).section('.', 0, 0)),
                            stored + QLatin1Char('/') + clip));
    qint64 available = 0;
    if (mount) {
        const qint64 filler = mount->bytesAvailable() - 3 * smallOutputSize;
        QVERIFY2(filler > 0, "the card is too small for the clips");
        QVERIFY(writeFile(card.toUtf8() + "/filler", QByteArray(filler, '\0')));
        available = mount->bytesAvailable();
        QVERIFY2(available > smallOutputSize + 8192 && available < bigOutputSize - 8192,
                 qPrintable(QStringLiteral("%1 bytes free").arg(available)));
    }
    const QMap<QByteArray, QByteArray> before = fingerprintTree(stored, QString());
    QCOMPARE(before.size(), clips.size() + 1);

    const QString first = folder + QLatin1Char('/') + clips.first();
    bool killed = false;
    const Sampler killer(
        [&] {
            if (signal <= 0 || killed || bytesWritten(first) == 0)
                return;
            for (const qint64 encoder : processesMentioning(first.toUtf8()).keys())
                killed = ::kill(pid_t(encoder), signal) == 0;
        },
        20);
    const RunSeen seen = runInWindow(ffmpegProgram, folder, 60000);
    QVERIFY2(!seen.timedOut, "the run did not end within 60 s");
    QVERIFY2(killed || signal <= 0, "the encoder ended before the test could kill it");

    QVERIFY2(seen.rows.size() == rows.size(), qPrintable(rowsText(seen.rows)));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Row &row = seen.rows[i];
        QVERIFY2(QRegularExpression(rows[i]).match(row.text).hasMatch(),
                 qPrintable(rowsText(seen.rows)));
        QCOMPARE(row.background, row.text.contains(" converted to ") ? lightGreen : lightRed);
    }
    QCOMPARE(seen.boxes.size(), 1);
    QCOMPARE(seen.boxes[0].text, count);
    QCOMPARE(changesBesides(stored, before, QStringLiteral("2 small.mp4")), QString());
    QString why;
    QVERIFY2(isRealMp4(folder + QStringLiteral("/2 small.mp4"), &why), qPrintable(why));
    if (mount)
        QVERIFY(mount->bytesAvailable() >= available - smallOutputSize - 8192);
}

void tst_Faults::fileSystemWithoutFlush()
{
    // Some FUSE and network file systems refuse a flush as unsupported, drop a
    // change of a file's date, and cannot make a file without a name: the
    // clip is converted all the same, through a hidden named file, and the MP4
    // has the clip's date.
    if (const QString why = ForgetfulMount::unavailable(privateMounts); !why.isEmpty())
        QSKIP(qPrintable(why));

    const ForgetfulMount mount;
    QVERIFY2(mount.isMounted(), "the FUSE file system did not mount");
    const QString backing = mount.backing();
    const QString card = mount.card();
    QVERIFY(QFile::copy(smallClip, backing + QStringLiteral("/clip.mts")));
    const QDateTime shotAt(QDate(2019, 5, 4), QTime(12, 30, 15), Qt::UTC);
    makeOld(backing + QStringLiteral("/clip.mts"), shotAt);

    const RunSeen seen = runInWindow(ffmpegProgram, card, 60000);
    QVERIFY2(!seen.timedOut, "the run did not end within 60 s");

    QCOMPARE(seen.rows,
             (QList<Row>{{QStringLiteral("clip.mts converted to clip.mp4"), lightGreen}}));
    QString why;
    QVERIFY2(isRealMp4(card + QStringLiteral("/clip.mp4"), &why), qPrintable(why));
    QCOMPARE(QFileInfo(backing + QStringLiteral("/clip.mp4")).lastModified(), shotAt);
    QCOMPARE(entryNames(backing.toUtf8()), (QList<QByteArray>{"clip.mp4", "clip.mts"}));
}

// A card or a share whose server stops answering mid-run: the window stays
// live, and Close ends the run within its 3 s and a moment, leaving what the
// disk still holds to the next run's sweep.
void tst_Faults::diskStopsAnswering()
{
    if (const QString why = ForgetfulMount::unavailable(privateMounts); !why.isEmpty())
        QSKIP(qPrintable(why));
    const ForgetfulMount mount(true);
    QVERIFY2(mount.isMounted(), "the FUSE file system did not mount");
    const QString card = mount.card();
    const QString stall = mount.stallFile();
    QFile clip(mount.backing() + QStringLiteral("/clip.mts"));
    // The stand-in ends by itself once the disk has stopped, writing nothing.
    QVERIFY(clip.open(QIODevice::WriteOnly) && clip.write("deaf 1500 exit 0") > 0);
    clip.close();

    StandInLog log;
    WindowUnderTest ui;
    ui.window.setEncoderPath(QStringLiteral(STANDIN_ENCODER));
    ui.folderField->setText(card);
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    const Sampler ticks([&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    QElapsedTimer sinceClose;
    qint64 frozenAtMost = -1;
    const Sampler stopDisk(
        [&] {
            if (log.starts().isEmpty() || QFileInfo::exists(stall))
                return;
            QFile(stall).open(QIODevice::WriteOnly);
            longestGap = 0;
            QTimer::singleShot(2500, [&] {
                frozenAtMost = std::max(longestGap, sinceTick.elapsed());
                sinceClose.start();
                ui.closeButton->click();
            });
        },
        20);
    sinceTick.start();
    const LoopRun loop = pressProcess(ui, 15000);
    const qint64 closing = sinceClose.elapsed();

    QVERIFY2(!loop.timedOut, "the run did not end");
    QVERIFY2(sinceClose.isValid(), "the encoder never started");
    QVERIFY2(frozenAtMost < 1000,
             qPrintable(QStringLiteral("the window froze for %1 ms").arg(frozenAtMost)));
    QVERIFY2(closing < 4500, qPrintable(QStringLiteral("Close took %1 ms").arg(closing)));
}

void tst_Faults::badSettingsAtStart_data()
{
    QTest::addColumn<Layout>("layout");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("shownAtStart");
    QTest::addColumn<bool>("writable");    // else the store must be left exactly as it was
    QTest::addColumn<bool>("realProgram"); // started in a private X server, typed into

    QRandomGenerator random(405);
    QByteArray randomBytes(4096, '\0');
    for (char &byte : randomBytes)
        byte = char(random.bounded(256));
    const QByteArray garbage = "[General\n==\n\x01\x02lastOpenDirectory\n[[[]]]\n"
                               "=@Variant(\n\"unterminated\nlastOpenDirectory\n";
    const QByteArray unknownType = "[General]\nlastOpenDirectory=@Variant(\\0\\0\\0\\x7f\\0\\0\\0"
                                   "\\nNoSuchType\\0\\x1\\x2)\n";
    const QByteArray notText = "[General]\nlastOpenDirectory=@Rect(1 2 3 4)\n";
    const QByteArray stored = "[General]\nlastOpenDirectory=/stored/clips\n";
    const auto row = [](const char *name, Layout layout, const QByteArray &content, bool writable,
                        bool realProgram, const QString &shown = QString()) {
        QTest::newRow(name) << layout << content << shown << writable << realProgram;
    };
    row("random bytes", Layout::File, randomBytes, true, false);
    row("garbage lines", Layout::File, garbage, true, false);
    row("value of an unknown type", Layout::File, unknownType, true, false);
    row("value that is not text", Layout::File, notText, true, false);
    row("settings file is a folder", Layout::FileIsFolder, {}, false, false);
    row("settings folder is a file", Layout::FolderIsFile, {}, false, false);
    row("read-only, nothing stored", Layout::ReadOnlyFolder, {}, false, false);
    row("read-only, a folder stored", Layout::ReadOnlyFolder, stored, false, false,
        "/stored/clips");
    row("real program, random bytes", Layout::File, randomBytes, true, true);
    row("real program, settings file is a folder", Layout::FileIsFolder, {}, false, true);
}

void tst_Faults::badSettingsAtStart()
{
    QFETCH(Layout, layout);
    QFETCH(QByteArray, content);
    QFETCH(QString, shownAtStart);
    QFETCH(bool, writable);
    QFETCH(bool, realProgram);

    if (realProgram && !desktop)
        desktop = std::make_unique<DesktopSession>();
    if (realProgram && !desktop->problem().isEmpty())
        QSKIP(qPrintable(desktop->problem()));
    // A store of this row's own: Qt keeps settings files it has read in a
    // cache, which must not carry one row's file into the next.
    const IsolatedSettings store;
    const BadSettingsFolder arranged(layout, content, store.folder());
    if (!arranged.skip.isEmpty())
        QSKIP(qPrintable(arranged.skip));
    QVERIFY(arranged.ready);

    // The real program gets it typed at the end of the field: stored as typed
    // only if the field was empty.
    const QString typed = QStringLiteral("/typed/before exit");
    if (realProgram) {
        QProcess tessel;
        QString why;
        const QString window =
            desktop->startTessel(tessel, QStringLiteral(TESSEL_PROGRAM), store.folder(), &why);
        QVERIFY2(!window.isEmpty(), qPrintable(why));
        desktop->clickFolderField(window);
        desktop->keys(window, {"End"});
        desktop->type(window, typed);
        desktop->clickClose(window);
        QVERIFY2(tessel.waitForFinished(15000), "Close did not end the program");
        QVERIFY2(tessel.exitStatus() == QProcess::NormalExit && tessel.exitCode() == 0,
                 qPrintable(QStringLiteral("exit code %1: ").arg(tessel.exitCode()) +
                            QString::fromLocal8Bit(tessel.readAllStandardError())));
    } else {
        WindowUnderTest ui;
        QCOMPARE(ui.folderField->text(), shownAtStart);
        ui.folderField->setText(typed);
    }

    if (writable) {
        // The damaged file gave way to one the next start can read.
        const QSettings stored(store.folder() + QStringLiteral("/Ostrell/Tessel.conf"),
                               QSettings::IniFormat);
        QCOMPARE(stored.value(lastOpenDirectoryKey).toString(), typed);
    } else {
        const QMap<QByteArray, QByteArray> after = fingerprintTree(store.folder(), QString());
        QVERIFY2(after == arranged.before, qPrintable(treeChanges(arranged.before, after)));
    }
}

int main(int argc, char **argv)
{
    const bool privateMounts = enterPrivateMounts();
    pointBusesAtNothing();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    tst_Faults test(privateMounts);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
