// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// The conversion run driven through the window, with the stand-in encoder
// (standinencoder.cpp) in place of FFmpeg.
#include "support/testregistry.h"
#include <QAccessible>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <csignal>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif
#ifdef Q_OS_UNIX
#include <sys/wait.h>
#endif

#include "conversion/conversionreport.h"
#include "conversion/conversionrun.h"
#include "conversion/conversiontestkit.h"
#include "mainwindow/runrowdelegate.h"
#include "support/cannedhttpserver.h"
#include "support/isolatedsettings.h"
#include "support/modalwatcher.h"
#include "support/workingfolder.h"

namespace {
const QString standIn = QStringLiteral(STANDIN_ENCODER);
const QDateTime shotAt(QDate(2019, 5, 4), QTime(12, 30, 15), Qt::UTC);
const QDateTime longAgo(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);

// How a clip's conversion ended, in a word or two.
QString describe(const ClipOutcome &outcome)
{
    using End = ClipOutcome::End;
    const QMap<End, QString> words{
        {End::Succeeded, "converted"}, {End::ExitedWithError, "exit %1"},
        {End::Crashed, "crashed"},     {End::CouldNotStart, "not started"},
        {End::Stopped, "stopped"},     {End::SourceChanged, "source changed"},
        {End::NotPlaced, "not placed"}};
    if (outcome.end == End::NameTaken) // the clip that made it
        return outcome.detail;
    const QString word = words.value(outcome.end, QStringLiteral("unknown"));
    return outcome.end == End::ExitedWithError ? word.arg(outcome.exitCode) : word;
}

// What the window's runs tell assistive technology goes into `told`, as
// "name <object>[ row]: text" and "description ...".
void listenToAccessibility(WindowUnderTest &ui, QStringList &told)
{
    ui.window.setObjectName(QStringLiteral("window"));
    ui.list->setObjectName(QStringLiteral("list"));
    ui.window.setAccessibilityListener([&told](QAccessibleEvent *event) {
        const bool name = event->type() == QAccessible::NameChanged;
        if (!name && event->type() != QAccessible::DescriptionChanged)
            return;
        QString line = (name ? QStringLiteral("name ") : QStringLiteral("description ")) +
                       event->object()->objectName();
        if (event->child() >= 0)
            line += QLatin1Char(' ') + QString::number(event->child());
        const QAccessibleInterface *changed = event->accessibleInterface();
        told << line + QStringLiteral(": ") +
                    (changed ? changed->text(name ? QAccessible::Name : QAccessible::Description)
                             : QStringLiteral("(none)"));
    });
}

// The value that follows `option` in an argument list.
QString optionValue(const QStringList &arguments, const QString &option)
{
    const int at = arguments.indexOf(option);
    return at < 0 ? QString() : arguments.value(at + 1);
}
} // namespace

enum class StopAt { Never, BeforeEncoderStarts, AfterFirstExit, DestroyedDuringFirst };
Q_DECLARE_METATYPE(StopAt)

class ConversionRunTest : public QObject
{
    Q_OBJECT

private slots:
    void earlyMessages_data();
    void earlyMessages();
    void encoderCommandLine_data();
    void encoderCommandLine();
    void outcomes_data();
    void outcomes();
    void runSignals_data();
    void runSignals();
    void progressWhileRunning();
    void heardDuringRun();
    void listScrolling_data();
    void listScrolling();
    void folderMovedDuringRun();
    void diskOffTheWindowThread();
    void userDuringRun_data();
    void userDuringRun();
    void runInsideWait();

private:
    IsolatedSettings isolatedSettings;
};

void ConversionRunTest::earlyMessages_data()
{
    QTest::addColumn<QString>("folder"); // {clips}: a folder with no clips in it
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("listCleared");

    const QString noClips = QStringLiteral(" don't have mts or m2ts videos files.");
    // clang-format off
    QTest::newRow("empty field")      << "" << "Please select directory with video files" << false;
    QTest::newRow("blanks only")      << "   " << "Directory do not exists." << false;
    QTest::newRow("missing folder")   << "{clips}/gone" << "Directory do not exists." << false;
    QTest::newRow("an ordinary file") << "{clips}/notes.txt"
                                      << "Directory {clips}/notes.txt" + noClips << true;
    QTest::newRow("no clips")         << "{clips}" << "Directory {clips}" + noClips << true;
    // clang-format on
}

void ConversionRunTest::earlyMessages()
{
    QFETCH(QString, folder);
    QFETCH(QString, message);
    QFETCH(bool, listCleared);

    ClipRun run({{QStringLiteral("notes.txt"), "ok"}, {QStringLiteral("clip.mp4"), "ok"}});
    run.clips.addFolder(QStringLiteral("clip.avi"));
    run.ui.folderField->setText(folder.replace(QStringLiteral("{clips}"), run.clips.path()));
    run.ui.list->addItem(QStringLiteral("earlier row"));

    const RunSeen seen = run.run();

    QVERIFY(!seen.timedOut);
    QCOMPARE(seen.boxes.size(), 1);
    QCOMPARE(seen.boxes.first().summary(),
             warningOverWindow(message.replace(QStringLiteral("{clips}"), run.clips.path())));
    QCOMPARE(seen.rows.size(), listCleared ? 0 : 1);
    QVERIFY(run.log.starts().isEmpty());
    QVERIFY(run.ui.processButton->isEnabled());
}
void ConversionRunTest::encoderCommandLine_data()
{
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QString>("folderSuffix");
    QTest::addColumn<QString>("outputName");

    // clang-format off
    QTest::newRow("name with a blank") << "Clip One.MTS" << "" << "clip one.mp4";
    QTest::newRow("folder ending in a slash") << "00001.MTS" << "/" << "00001.mp4";
    QTest::newRow("non-ASCII name") << "Ünïcødé.M2TS" << "" << "ünïcødé.mp4";
    // Typed relative to the working folder; read as "Rome" followed by a
    // protocol's "1/Clip.MTS" if handed on as typed.
    QTest::newRow("relative folder with a colon") << "Clip.MTS" << "Rome:1" << "clip.mp4";
    // clang-format on
}

void ConversionRunTest::encoderCommandLine()
{
    QFETCH(QString, sourceName);
    QFETCH(QString, folderSuffix);
    QFETCH(QString, outputName);

    ClipRun run;
    const bool relative = folderSuffix.contains(QLatin1Char(':'));
    const QString inside = relative ? folderSuffix + QLatin1Char('/') : QString();
    if (relative)
        run.clips.addFolder(folderSuffix);
    makeOld(run.clips.add(inside + sourceName, "ok"), shotAt);
    WorkingFolder working;
    QVERIFY(working.enter(run.clips.path()));
    run.ui.folderField->setText(relative ? folderSuffix : run.clips.path() + folderSuffix);

    QVERIFY(!run.run().timedOut);

    // The output is a file Tessel holds, reached through a descriptor rather
    // than a name anyone could change; it takes the MP4's name once whole.
    QCOMPARE(run.log.starts().size(), 1);
    const QStringList received = run.log.starts().first();
    const QString input = optionValue(received, QStringLiteral("-i"));
    QVERIFY2(QDir::isAbsolutePath(input), qPrintable(input));
    QCOMPARE(QFileInfo(input).canonicalFilePath(),
             QFileInfo(run.clips.filePath(inside + sourceName)).canonicalFilePath());
    QCOMPARE(optionValue(received, QStringLiteral("-vcodec")), QStringLiteral("copy"));
    QCOMPARE(optionValue(received, QStringLiteral("-acodec")), QStringLiteral("mp3"));
    QCOMPARE(optionValue(received, QStringLiteral("-metadata")),
             QStringLiteral("creation_time=2019-05-04T12:30:15.000Z"));
    QCOMPARE(optionValue(received, QStringLiteral("-f")), QStringLiteral("mp4"));
#ifdef Q_OS_LINUX
    QVERIFY2(received.last().startsWith(QLatin1String("/dev/fd/")), qPrintable(received.last()));
#endif
    QCOMPARE(run.clips.read(inside + outputName), "converted from " + input.toUtf8() + '\n');
    QCOMPARE(QDir(run.clips.filePath(inside)).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{sourceName, outputName}));
}
void ConversionRunTest::outcomes_data()
{
    QTest::addColumn<QByteArray>("script"); // of the clip Clip.MTS
    // "standIn", "missing", "notExecutable", "shipped": none set, so the one at
    // encoder/ffmpeg beside the program (tests/CMakeLists.txt puts the stand-in
    // there).
    QTest::addColumn<QString>("encoder");
    QTest::addColumn<QByteArray>("existingOutput"); // null: none
    QTest::addColumn<QString>("row");               // after "Clip.MTS "
    QTest::addColumn<QString>("outputAfter");       // "absent", "existing" or "new" (converted)

    const QByteArray none;
    const QByteArray oldMovie("old movie, kept by the user");
    const QString done = QStringLiteral("converted to clip.mp4");
    const QString changed =
        QStringLiteral("was not converted: the clip changed while it was converted");
    const QString notStarted =
        QStringLiteral("was not converted: the encoder could not be started");

    // clang-format off
    QTest::newRow("converted") << QByteArray("ok") << "standIn" << none << done << "new";
    QTest::newRow("lines without pause for half a second")
        << QByteArray("chatter 500 ok") << "standIn" << none << done << "new";
    QTest::newRow("error exit after writing") << QByteArray("write exit 3") << "standIn" << none
        << "was not converted: the encoder exited with code 3" << "absent";
    QTest::newRow("crash after writing") << QByteArray("write crash") << "standIn" << none
        << "was not converted: the encoder crashed" << "absent";
    QTest::newRow("failed re-run keeps the earlier MP4") << QByteArray("write exit 2") << "standIn"
        << oldMovie << "was not converted: the encoder exited with code 2" << "existing";
    QTest::newRow("clip grows while it converts")
        << QByteArray("grow write ok") << "standIn" << oldMovie << changed << "existing";
    QTest::newRow("clip copied over in place, same size and date")
        << QByteArray("deaf 30 recopy write ok") << "standIn" << oldMovie << changed << "existing";
    QTest::newRow("another file of the same size and date moved over the clip")
        << QByteArray("deaf 30 swap write ok") << "standIn" << oldMovie << changed << "existing";
    QTest::newRow("encoder beside the program, as shipped")
        << QByteArray("ok") << "shipped" << none << done << "new";
    QTest::newRow("encoder missing")
        << QByteArray("ok") << "missing" << oldMovie << notStarted << "existing";
    QTest::newRow("encoder not executable")
        << QByteArray("ok") << "notExecutable" << none << notStarted << "absent";
    // clang-format on
}

void ConversionRunTest::outcomes()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, encoder);
    QFETCH(QByteArray, existingOutput);
    QFETCH(QString, row);
    QFETCH(QString, outputAfter);
    const bool converted = outputAfter == QLatin1String("new");

#ifndef Q_OS_LINUX
    // The stand-in moves a file over another and plants links the Linux way.
    if (script.contains("swap"))
        QSKIP("A file moved over the clip is moved the Linux way.");
#endif
    ClipRun run;
    ClipFolder &clips = run.clips;
    const QString sourceName = QStringLiteral("Clip.MTS");
    const QString outputName = QStringLiteral("clip.mp4");
    makeOld(clips.add(sourceName, script), shotAt);
    if (!existingOutput.isNull())
        makeOld(clips.add(outputName, existingOutput), longAgo);

    ClipFolder tools;
    if (encoder == QLatin1String("missing"))
        run.ui.window.setEncoderPath(tools.filePath(QStringLiteral("no-such-encoder")));
    else if (encoder == QLatin1String("notExecutable"))
        run.ui.window.setEncoderPath(tools.add(QStringLiteral("encoder"), "#!/bin/sh\nexit 0\n"));
    else if (encoder == QLatin1String("shipped"))
        run.ui.window.setEncoderPath(QString());

    // Some encoders print megabytes: unread, they would pile up here.
    qint64 mostBuffered = 0;
    const Sampler sampler([&] {
        for (const QProcess *process : run.ui.window.findChildren<QProcess *>())
            mostBuffered = std::max(mostBuffered, process->bytesAvailable());
    });

    const RunSeen seen = run.run(15000);

    QVERIFY2(!seen.timedOut, "the run stalled");
    QCOMPARE(seen.rows, (QList<Row>{{sourceName + QLatin1Char(' ') + row,
                                     converted ? lightGreen : lightRed}}));
    QCOMPARE(seen.boxes.size(), 1);
    QCOMPARE(seen.boxes.first().summary(),
             warningOverWindow(converted ? QStringLiteral("1 file converted.")
                                         : QStringLiteral("0 file converted. 1 file failed.")));

    const QString output = clips.filePath(outputName);
    if (outputAfter == QLatin1String("absent")) {
        QVERIFY2(!QFileInfo::exists(output), "a failed run left its output behind");
    } else if (outputAfter == QLatin1String("existing")) {
        QCOMPARE(clips.read(outputName), existingOutput);
        QCOMPARE(QFileInfo(output).lastModified(), longAgo);
    } else {
        QCOMPARE(clips.read(outputName), clips.standInOutput(sourceName));
        QCOMPARE(QFileInfo(output).lastModified(), shotAt);
    }
    QCOMPARE(clips.hiddenFiles(), QStringList());
    QVERIFY2(mostBuffered < 256 * 1024,
             qPrintable(QStringLiteral("%1 bytes of output left unread").arg(mostBuffered)));
}
// ConversionRun on its own: each clip gets one clipStarted and later one
// clipFinished, in clip order; finished() comes once, last, also after a
// stop; stop() after the encoder already exited keeps that outcome; nothing
// is signalled while the run is destroyed; at most one encoder running at a
// time, none left at the end.
void ConversionRunTest::runSignals_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QByteArrayList>("scripts");
    QTest::addColumn<bool>("encoderThere");
    QTest::addColumn<StopAt>("stopAt");
    QTest::addColumn<QStringList>("outcomes"); // of the clips that finished, in order
    QTest::addColumn<int>("runFinished");

    const QStringList abc{"a.mts", "b.mts", "c.mts"};
    QTest::newRow("all converted")
        << abc << QByteArrayList{"ok", "ok", "ok"} << true << StopAt::Never
        << QStringList{"converted", "converted", "converted"} << 1;
    QTest::newRow("failures do not end the run")
        << abc << QByteArrayList{"exit 3", "crash", "ok"} << true << StopAt::Never
        << QStringList{"exit 3", "crashed", "converted"} << 1;
    // The later clip must not replace the MP4 the earlier one made: a user who
    // trusts the count and deletes the clips would lose one.
    QTest::newRow("names that differ in case make the same MP4")
        << QStringList{"A.MTS", "a.mts"} << QByteArrayList{"ok", "ok"} << true << StopAt::Never
        << QStringList{"converted", "A.MTS already made a.mp4"} << 1;
    QTest::newRow("the two extensions make the same MP4")
        << QStringList{"x.m2ts", "x.mts"} << QByteArrayList{"ok", "ok"} << true << StopAt::Never
        << QStringList{"converted", "x.m2ts already made x.mp4"} << 1;
    QTest::newRow("no encoder") << abc << QByteArrayList{"ok", "ok", "ok"} << false << StopAt::Never
                                << QStringList{"not started", "not started", "not started"} << 1;
    // The clip is prepared on the disk before its encoder starts: a stop
    // meanwhile settles the clip, and the preparation's late end starts nothing.
    QTest::newRow("stop before the encoder started")
        << abc << QByteArrayList{"ok", "ok", "ok"} << true << StopAt::BeforeEncoderStarts
        << QStringList{"stopped"} << 1;
    QTest::newRow("stop after the encoder exited")
        << abc << QByteArrayList{"sleep 300 ok", "ok", "ok"} << true << StopAt::AfterFirstExit
        << QStringList{"converted"} << 1;
    QTest::newRow("destroyed while converting")
        << abc << QByteArrayList{"sleep 20000 ok", "ok", "ok"} << true
        << StopAt::DestroyedDuringFirst << QStringList{} << 0;
}

void ConversionRunTest::runSignals()
{
    QFETCH(QStringList, names);
    QFETCH(QByteArrayList, scripts);
    QFETCH(bool, encoderThere);
    QFETCH(StopAt, stopAt);
    QFETCH(QStringList, outcomes);
    QFETCH(int, runFinished);

    ClipFolder clips;
    for (int i = 0; i < names.size(); ++i)
        clips.add(names.at(i), scripts.at(i));
    StandInLog log;
    auto run = std::make_unique<ConversionRun>(
        encoderThere ? standIn : clips.filePath(QStringLiteral("no-encoder")), clips.path(), names);
    QSignalSpy started(run.get(), &ConversionRun::clipStarted);
    QSignalSpy finishedClips(run.get(), &ConversionRun::clipFinished);
    QSignalSpy finished(run.get(), &ConversionRun::finished);
    QStringList order;
    int mostEncoders = 0;
    const auto note = [&](const QString &event) {
        order << (run ? event : event + QStringLiteral(" while destroyed"));
        if (!run)
            return;
        const QList<QProcess *> processes = run->findChildren<QProcess *>();
        mostEncoders =
            std::max(mostEncoders,
                     int(std::count_if(processes.cbegin(), processes.cend(), [](const QProcess *p) {
                         return p->state() != QProcess::NotRunning;
                     })));
    };
    connect(run.get(), &ConversionRun::clipStarted, this,
            [&](int index) { note(QStringLiteral("start %1").arg(index)); });
    connect(run.get(), &ConversionRun::clipFinished, this,
            [&](int index) { note(QStringLiteral("end %1").arg(index)); });
    connect(run.get(), &ConversionRun::finished, this, [&] { note(QStringLiteral("finished")); });

    run->start();
    if (stopAt == StopAt::BeforeEncoderStarts) {
        QVERIFY(started.wait(10000));
        run->stop();
        QVERIFY(finished.wait(10000));
        QCOMPARE(log.starts(), QList<QStringList>());
    } else if (stopAt == StopAt::AfterFirstExit) {
#ifndef Q_OS_UNIX
        QSKIP("Needs waitid() to see the encoder's exit without reaping it.");
#else
        // The first encoder is running; then it exits, and the run has not
        // yet heard of it: no event is handled while this waits.
        QTRY_VERIFY(run->findChild<QProcess *>());
        QProcess *encoder = run->findChild<QProcess *>();
        QTRY_COMPARE(encoder->state(), QProcess::Running);
        const pid_t pid = pid_t(encoder->processId());
        const auto exited = [pid] {
            // Asks without reaping, so Qt still collects the exit.
            siginfo_t info{};
            return ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                   info.si_pid == pid;
        };
        QDeadlineTimer deadline(10000);
        while (!exited() && !deadline.hasExpired())
            QThread::msleep(2);
        QVERIFY2(exited(), "the encoder did not exit");
#endif
        run->stop();
        QVERIFY(finished.wait(10000));
    } else if (stopAt == StopAt::DestroyedDuringFirst) {
        QTRY_COMPARE(log.starts().size(), 1);
        const int signalsBefore = order.size();
        run.reset();
        QCoreApplication::processEvents();
        QCOMPARE(order.mid(signalsBefore), QStringList());
        QCOMPARE(log.stopRequests(), QStringList{clips.filePath(names.first())});
    } else {
        QVERIFY(finished.wait(10000));
    }

    for (int i = 0; i < started.size(); ++i) {
        QCOMPARE(started.at(i).value(0).toInt(), i);
        QCOMPARE(started.at(i).value(1).toString(), names.value(i));
    }
    QCOMPARE(finishedClips.size(), outcomes.size());
    QStringList seenOutcomes;
    for (int i = 0; i < finishedClips.size(); ++i) {
        QCOMPARE(finishedClips.at(i).value(0).toInt(), i);
        QCOMPARE(finishedClips.at(i).value(1).toString(), names.value(i));
        seenOutcomes << describe(finishedClips.at(i).value(3).value<ClipOutcome>());
        // A clip ends after it started.
        QVERIFY2(order.indexOf(QStringLiteral("start %1").arg(i)) <
                     order.indexOf(QStringLiteral("end %1").arg(i)),
                 qPrintable(order.join(QLatin1String(", "))));
    }
    QCOMPARE(seenOutcomes, outcomes);
    QCOMPARE(finished.size(), runFinished);
    if (runFinished)
        QCOMPARE(order.constLast(), QStringLiteral("finished"));
    if (stopAt == StopAt::Never)
        QCOMPARE(started.size(), names.size());
    else
        QCOMPARE(started.size(), 1);
    QVERIFY2(mostEncoders <= 1, "more than one encoder process at a time");
    if (stopAt == StopAt::Never) {
        QVERIFY(run->findChildren<QProcess *>().isEmpty());
        // No encoder for a clip whose MP4 another clip already made.
        const qsizetype needEncoder = names.size() - outcomes.filter(" already made ").size();
        QCOMPARE(log.starts().size(), encoderThere ? needEncoder : 0);
    }
    QVERIFY2(clips.hiddenFiles().isEmpty(), "the encoder's own file was left behind");
}
void ConversionRunTest::progressWhileRunning()
{
    // Scripts of equal length: each clip weighs half the run.
    ClipRun setup({{QStringLiteral("a.mts"), "progress 600 ok "},
                   {QStringLiteral("b.mts"), "sleep 400 exit 5"}});
    WindowUnderTest &ui = setup.ui;

    QList<QList<Row>> seen;
    QStringList titles;
    QList<double> fractionsOfA;
    bool sawEncoder = false;
    bool processEnabledWhileEncoding = false;
    bool processEnabledAtBox = false;
    QString titleAtBox;
    ModalWatcher watcher([&](QWidget *modal) {
        processEnabledAtBox = ui.processButton->isEnabled();
        titleAtBox = ui.window.windowTitle();
        qobject_cast<QMessageBox *>(modal)->buttons().value(0)->click();
    });
    const Sampler sampler([&] {
        if (seen.isEmpty() || seen.last() != ui.rows())
            seen << ui.rows();
        if (titles.isEmpty() || titles.last() != ui.window.windowTitle())
            titles << ui.window.windowTitle();
        const QListWidgetItem *first = ui.list->item(0);
        if (first && first->text() == QLatin1String("Processing a.mts") &&
            first->data(progressRole).isValid())
            fractionsOfA << first->data(progressRole).toDouble();
        if (!ui.window.findChildren<QProcess *>().isEmpty()) {
            sawEncoder = true;
            processEnabledWhileEncoding |= ui.processButton->isEnabled();
        }
    });

    QVERIFY(!pressProcess(ui).timedOut);

    const Row processingA{QStringLiteral("Processing a.mts"), lightRed};
    const Row doneA{QStringLiteral("a.mts converted to a.mp4"), lightGreen};
    const Row processingB{QStringLiteral("Processing b.mts"), lightRed};
    const Row failedB{QStringLiteral("b.mts was not converted: the encoder exited with code 5"),
                      lightRed};
    QVERIFY(sawEncoder);
    QVERIFY2(!processEnabledWhileEncoding, "Process was enabled during the run");
    QVERIFY(seen.contains(QList<Row>{processingA}));
    QVERIFY(seen.contains((QList<Row>{doneA, processingB})));
    QCOMPARE(ui.rows(), (QList<Row>{doneA, failedB}));
    QVERIFY(processEnabledAtBox);

    // The running row fills as the encoder reports, the title follows the
    // whole run by bytes, and the window has its own title back for the count.
    const auto between = [](double value, double low, double high) {
        return value > low && value < high;
    };
    QVERIFY2(std::any_of(fractionsOfA.cbegin(), fractionsOfA.cend(),
                         [&](double f) { return between(f, 0.1, 0.9); }),
             "no progress shown in the running row");
    QVERIFY2(std::is_sorted(fractionsOfA.cbegin(), fractionsOfA.cend()), "progress went back");
    // Percentages shown while a.mts is running (6 to 49), and once b.mts is (50 or more).
    const QString allTitles = titles.join(QLatin1String(" | "));
    for (const char *pattern : {"1 of 2, ([6-9]|[1-4][0-9])%$", "2 of 2, ([5-9][0-9]|100)%$"})
        QVERIFY2(titles.indexOf(QRegularExpression(QStringLiteral("^Tessel \u2014 ") +
                                                   QLatin1String(pattern))) >= 0,
                 qPrintable(allTitles));
    QCOMPARE(titleAtBox, QStringLiteral("Tessel"));
    QVERIFY(!ui.list->item(0)->data(progressRole).isValid());
    QVERIFY2(!ui.list->item(1)->icon().isNull() && ui.list->item(0)->icon().isNull(),
             "a failed row must look different at a glance");
}

// A keyboard user parked on a running row stays on it as its clip ends, and a
// screen reader hears each row change, the running row's percentage now and
// then, the title, and a failure's reason and FFmpeg's words without its
// banner. Once the count is read, the failure is where the list's focus goes.
void ConversionRunTest::heardDuringRun()
{
    ClipRun run({{QStringLiteral("a.mts"), "progress 600 ok"},
                 {QStringLiteral("b.mts"), "damaged"},
                 {QStringLiteral("c.mts"), "ok"}});
    WindowUnderTest &ui = run.ui;
    QStringList titles;
    connect(&ui.window, &QWidget::windowTitleChanged, this,
            [&](const QString &title) { titles << QStringLiteral("name window: ") + title; });
    QStringList told;
    listenToAccessibility(ui, told);
    QStringList currentRows; // what the current row said, each change once
    const Sampler parker([&] {
        if (ui.list->currentRow() < 0 &&
            ui.rowTexts().value(0) == QLatin1String("Processing a.mts"))
            ui.list->setCurrentRow(0);
        const QListWidgetItem *current = ui.list->currentItem();
        if (current && currentRows.value(currentRows.size() - 1) != current->text())
            currentRows << current->text();
    });
    int currentAtBox = -2;
    ModalWatcher watcher([&](QWidget *modal) {
        currentAtBox = ui.list->currentRow();
        qobject_cast<QMessageBox *>(modal)->buttons().value(0)->click();
    });

    QVERIFY(!pressProcess(ui).timedOut);

    QCOMPARE(watcher.boxes.value(0).summary(),
             warningOverWindow(QStringLiteral("2 files converted. 1 file failed.")));
    QCOMPARE(currentRows, (QStringList{"Processing a.mts", "a.mts converted to a.mp4"}));
    QCOMPARE(currentAtBox, 0);
    QCOMPARE(ui.list->currentRow(), 1);

    const QString reason = QStringLiteral("Invalid data found when processing input");
    const QString ffmpegSaid =
        run.clips.filePath(QStringLiteral("b.mts")) + QStringLiteral(": ") + reason;
    QCOMPARE(ui.list->item(1)->toolTip(), ffmpegSaid);
    QCOMPARE(told.filter(QStringLiteral("window:")), titles);
    QVERIFY2(titles.size() >= 3 && titles.constLast() == QLatin1String("name window: Tessel"),
             qPrintable(titles.join(QLatin1Char('\n'))));
    // The percentage at most once a tenth, growing, and then what became of the clip.
    QStringList rowA = told.filter(QStringLiteral("list 0:"));
    QCOMPARE(rowA.takeLast(), QStringLiteral("name list 0: a.mts converted to a.mp4"));
    QVERIFY2(!rowA.isEmpty() && rowA.size() <= 9, qPrintable(rowA.join(QLatin1Char('\n'))));
    int tenth = 0;
    for (const QString &line : std::as_const(rowA)) {
        const QRegularExpressionMatch percent =
            QRegularExpression(QStringLiteral("^name list 0: Processing a.mts, (\\d+)%$"))
                .match(line);
        QVERIFY2(percent.hasMatch() && percent.captured(1).toInt() / 10 > tenth, qPrintable(line));
        tenth = percent.captured(1).toInt() / 10;
    }
    QCOMPARE(told.filter(QStringLiteral("list 1:")),
             (QStringList{"name list 1: b.mts was not converted: " + reason,
                          "description list 1: " + reason + '\n' + ffmpegSaid}));
    QCOMPARE(told.filter(QStringLiteral("list 2:")),
             QStringList{"name list 2: c.mts converted to c.mp4"});
}

// The running row stays in view unless the user scrolled away; once the run
// is over, a row wider than the list can be scrolled to the reason at its end.
void ConversionRunTest::listScrolling_data()
{
    QTest::addColumn<bool>("userScrollsAway");
    QTest::newRow("list follows the run") << false;
    QTest::newRow("user scrolled away") << true;
}

void ConversionRunTest::listScrolling()
{
    QFETCH(bool, userScrollsAway);
    ClipRun run({{QString(80, QLatin1Char('x')) + QStringLiteral(".mts"), "exit 1"}});
    WindowUnderTest &ui = run.ui;
    for (int i = 0; i < 39; ++i)
        run.clips.add(QStringLiteral("clip%1.mts").arg(i, 2, 10, QLatin1Char('0')), "sleep 5 ok");
    ui.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ui.window));
    int runningOutOfView = 0;
    int runningSeen = 0;
    bool scrolledAway = false;
    const Sampler sampler([&] {
        const QListWidgetItem *last = ui.list->item(ui.list->count() - 1);
        if (!last || !last->text().startsWith(QLatin1String("Processing ")))
            return;
        ++runningSeen;
        if (userScrollsAway && !scrolledAway && ui.list->count() > 20) {
            ui.list->scrollToTop();
            scrolledAway = true;
        }
        if (!ui.list->viewport()->rect().intersects(ui.list->visualItemRect(last)))
            ++runningOutOfView;
    });

    QVERIFY(!run.run().timedOut);

    QCOMPARE(ui.list->count(), 40);
    QVERIFY(runningSeen > 10);
    if (userScrollsAway) {
        QVERIFY(scrolledAway);
        QCOMPARE(ui.list->verticalScrollBar()->value(), 0);
    } else {
        QCOMPARE(runningOutOfView, 0);
    }
    const QListWidgetItem *longRow = ui.list->item(39);
    QVERIFY(longRow->text().endsWith(QLatin1String("the encoder exited with code 1")));
    const int rowWidth = ui.list->fontMetrics().horizontalAdvance(longRow->text());
    QVERIFY(rowWidth > ui.list->viewport()->width());
    QTRY_VERIFY(ui.list->horizontalScrollBar()->maximum() > 0);
    QVERIFY(ui.list->visualItemRect(longRow).width() >= rowWidth);
}

void ConversionRunTest::folderMovedDuringRun()
{
    // Renamed while the first clip converts: neither clip changed, and the
    // moved folder keeps nothing but its clips.
#ifndef Q_OS_LINUX
    // Windows renames no folder with a file open in it; Wine does, but then
    // loses the way to the open file.
    QSKIP("A folder moved under open files is a Linux case.");
#endif
    ClipRun run({{QStringLiteral("a.mts"), "write move ok"}, {QStringLiteral("b.mts"), "ok"}});
    const QString moved = run.clips.path() + QStringLiteral("-moved");
    const auto moveBack = qScopeGuard([&] { QDir().rename(moved, run.clips.path()); });

    const RunSeen seen = run.run();

    QVERIFY(!seen.timedOut);
    const QString why = QStringLiteral(" was not converted: the folder was moved or removed");
    QCOMPARE(seen.rows, (QList<Row>{{QStringLiteral("a.mts") + why, lightRed},
                                    {QStringLiteral("b.mts") + why, lightRed}}));
    QCOMPARE(QDir(moved).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
             (QStringList{QStringLiteral("a.mts"), QStringLiteral("b.mts")}));
    QCOMPARE(run.log.startedNames(), QStringList{QStringLiteral("a.mts")});
}

void ConversionRunTest::diskOffTheWindowThread()
{
    // A card or a share can stall for minutes, and a flush waits for seconds
    // with a large MP4 on a slow card: the window's thread must never be the
    // one waiting, for a clip's file or its MP4.
#ifndef Q_OS_LINUX
    QSKIP("strace watches Linux system calls only");
#else
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        QSKIP("strace is not installed");
    const QTemporaryDir traceFolder;
    const QString trace = traceFolder.filePath(QStringLiteral("trace"));
    const auto tracedBy = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("TracerPid:");
        return text.mid(at + 10, text.indexOf('\n', at) - at - 10).trimmed().toLongLong();
    };
    // Made before the trace starts: the test's own files are not the run's.
    ClipRun run({{QStringLiteral("a.mts"), "ok"}, {QStringLiteral("b.mts"), "ok"}});
    ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY);
    QProcess tracer;
    tracer.setProcessChannelMode(QProcess::MergedChannels);
    tracer.start(
        strace,
        {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-e"),
         QStringLiteral("trace=fsync,openat,newfstatat,statx,linkat,renameat,renameat2,unlinkat,"
                        "utimensat"),
         QStringLiteral("-o"), trace, QStringLiteral("-p"),
         QString::number(QCoreApplication::applicationPid())});
    QTRY_VERIFY_WITH_TIMEOUT(tracedBy() != 0 || tracer.state() == QProcess::NotRunning, 10000);
    if (tracer.state() == QProcess::NotRunning)
        QSKIP(qPrintable(QStringLiteral("strace cannot attach here: ") + tracer.readAll()));

    const RunSeen seen = run.run();
    ::kill(pid_t(tracer.processId()), SIGINT);
    QVERIFY(tracer.waitForFinished(10000));
    QVERIFY(!seen.timedOut);
    QCOMPARE(seen.boxes.value(0).text, QStringLiteral("2 files converted."));

    QFile traced(trace);
    QVERIFY(traced.open(QIODevice::ReadOnly));
    const QByteArray windowThread = QByteArray::number(QCoreApplication::applicationPid()) + ' ';
    QByteArrayList flushes;
    QByteArrayList onWindowThread;
    for (const QByteArray &line : traced.readAll().split('\n')) {
        const bool flush = line.contains(" fsync(");
        flushes << (flush ? line : QByteArray());
        const bool clipFile = line.contains("a.m") || line.contains("b.m") ||
                              line.contains(".tessel-") || line.contains("/dev/fd/");
        if (line.startsWith(windowThread) && (flush || clipFile))
            onWindowThread << line;
    }
    flushes.removeAll(QByteArray());
    QVERIFY2(flushes.size() >= 2, "no flush was seen");
    QVERIFY2(onWindowThread.isEmpty(), onWindowThread.join('\n').constData());
#endif
}

void ConversionRunTest::userDuringRun_data()
{
    QTest::addColumn<QString>("user"); // what the user does while a.mts converts
    QTest::newRow("notice box answered") << "notice";
    QTest::newRow("Close pressed while the notice is up") << "close";
    QTest::newRow("another folder chosen") << "browse";
}

void ConversionRunTest::userDuringRun()
{
    // A box opened during the run (an update check's notice, say) or another
    // folder chosen holds nothing back: the clips of the folder the run began
    // with go on converting, and a clip whose encoder has ended is converted,
    // whatever happens after.
    QFETCH(QString, user);
    const bool closes = user == QLatin1String("close");
    ClipFolder clips;
    clips.add(QStringLiteral("a.mts"), "sleep 100 ok");
    clips.add(QStringLiteral("b.mts"), closes ? "sleep 20000 ok" : "sleep 100 ok");
    ClipFolder other;
    other.add(QStringLiteral("z.mts"), "ok");
    isolatedSettings.storeFolder(other.path());
    StandInLog log;
    const ShownBoxes shown;
    QStringList endedUnderBox;
    QList<Row> rows;
    QString folderAfter;
    LoopRun run;
    {
        WindowUnderTest ui;
        ui.window.setEncoderPath(standIn);
        ui.folderField->setText(clips.path());
        ModalWatcher watcher([&](QWidget *modal) {
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                dialog->setDirectory(other.path());
                static_cast<QDialog *>(dialog)->accept();
            } else if (modal->windowTitle() == QLatin1String("Warning")) {
                qobject_cast<QMessageBox *>(modal)->buttons().value(0)->click();
            }
        });
        bool acted = false;
        const Sampler actor([&] {
            if (acted || ui.rows().value(0).text != QLatin1String("Processing a.mts"))
                return;
            acted = true;
            if (user == QLatin1String("browse")) {
                ui.browseButton->click();
                return;
            }
            QMessageBox notice(QMessageBox::Information, QStringLiteral("Notice"),
                               QStringLiteral("You have newest version."), QMessageBox::Ok,
                               &ui.window);
            QElapsedTimer up;
            up.start();
            const Sampler answer([&] {
                endedUnderBox = log.endedSources();
                if (endedUnderBox.size() < (closes ? 1 : 2) && up.elapsed() < 3000)
                    return;
                if (closes)
                    QTimer::singleShot(200, ui.closeButton, &QPushButton::click);
                else
                    notice.done(QMessageBox::Ok);
            });
            notice.exec();
        });
        run = runApplicationLoop(
            [&] {
                ui.processButton->click();
                if (!closes)
                    QCoreApplication::exit(processReturned);
            },
            15000);
        QVERIFY(acted);
        rows = ui.rows();
        folderAfter = ui.folderField->text();
    }

    QVERIFY2(!run.timedOut, "the run stalled");
    QVERIFY2(clips.has(QStringLiteral("a.mp4")), "the finished MP4 was not kept");
    QCOMPARE(clips.read(QStringLiteral("a.mp4")), clips.standInOutput(QStringLiteral("a.mts")));
    QCOMPARE(log.startedNames(), (QStringList{"a.mts", "b.mts"}));
    if (closes) {
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(log.stopRequests(), QStringList{clips.filePath(QStringLiteral("b.mts"))});
        QVERIFY(!clips.has(QStringLiteral("b.mp4")));
        QCOMPARE(shown.boxes.size(), 1); // the notice alone, no count
    } else {
        QCOMPARE(shown.boxes.last().text, QStringLiteral("2 files converted."));
        QCOMPARE(clips.read(QStringLiteral("b.mp4")), clips.standInOutput(QStringLiteral("b.mts")));
    }
    if (user == QLatin1String("notice")) {
        QCOMPARE(endedUnderBox, (QStringList{clips.filePath(QStringLiteral("a.mts")),
                                             clips.filePath(QStringLiteral("b.mts"))}));
        QCOMPARE(shown.boxes.size(), 2);
    } else if (user == QLatin1String("browse")) {
        QCOMPARE(folderAfter, other.path());
        QVERIFY(!other.has(QStringLiteral("z.mp4")));
        // The new folder's row stays; the run's results follow it.
        QCOMPARE(rows, (QList<Row>{{QStringLiteral("z.mts"), QColor()},
                                   {QStringLiteral("a.mts converted to a.mp4"), lightGreen},
                                   {QStringLiteral("b.mts converted to b.mp4"), lightGreen}}));
        QCOMPARE(shown.boxes.size(), 1);
    }
    QVERIFY2(clips.hiddenFiles().isEmpty(), "the encoder's own file was left behind");
}

void ConversionRunTest::runInsideWait()
{
    // A conversion started while an update check waits runs whole, in the
    // order of the folder's listing (tst_folderscan; one encoder at a time is
    // runSignals'); the check then gets its answer.
    ClipRun setup({{QStringLiteral("b.mts"), "sleep 100 ok"},
                   {QStringLiteral("A.mts"), "sleep 100 ok"},
                   {QStringLiteral("c.m2ts"), "ok"}});
    CannedHttpServer server;
    server.serve(QStringLiteral("/Tessel/current_tessel.txt"),
                 CannedHttpServer::response(200, "406"));
    server.setAnswerDelay(1500);

    QByteArray fetched;
    bool fetchReturned = false;
    bool fetchReturnedBeforeBox = true;
    QStringList startedAtBox;
    ModalWatcher boxWatcher([&](QWidget *modal) {
        fetchReturnedBeforeBox = fetchReturned;
        startedAtBox = setup.log.startedNames();
        qobject_cast<QMessageBox *>(modal)->buttons().value(0)->click();
    });
    const LoopRun run = runApplicationLoop(
        [&] {
            QTimer::singleShot(50, setup.ui.processButton, &QPushButton::click);
            fetched = setup.ui.window
                          .fetchUrl(server.baseUrl().toString() +
                                    QStringLiteral("/Tessel/current_tessel.txt"))
                          .body;
            fetchReturned = true;
            QCoreApplication::exit(processReturned);
        },
        15000);

    QVERIFY(!run.timedOut);
    QVERIFY2(!fetchReturnedBeforeBox, "the run did not happen inside the wait for the answer");
    QCOMPARE(fetched, QByteArray("406"));
    QCOMPARE(startedAtBox, (QStringList{"A.mts", "b.mts", "c.m2ts"}));
    QCOMPARE(setup.ui.rows(),
             (QList<Row>{{QStringLiteral("A.mts converted to a.mp4"), lightGreen},
                         {QStringLiteral("b.mts converted to b.mp4"), lightGreen},
                         {QStringLiteral("c.m2ts converted to c.mp4"), lightGreen}}));
}

TESSEL_TEST(ConversionRunTest)
#include "tst_conversionrun.moc"
