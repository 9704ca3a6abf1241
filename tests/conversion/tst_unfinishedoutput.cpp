// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// The file an MP4 is written into aside, on its own: how it takes the MP4's
// name over whatever stands there, what it leaves when it cannot, its names,
// and what a killed Tessel's leftovers become, next to a running Tessel's
// file.
#include "support/testregistry.h"
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "conversion/runfolder.h"
#include "conversion/unfinishedoutput.h"

#include <atomic>
#include <memory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
const QDateTime shotAt(QDate(2019, 6, 15), QTime(12, 30, 5), Qt::UTC);

#ifdef Q_OS_UNIX
// Whether another open of the file sees a write lock on it: the lock a run
// that sweeps leftovers respects.
bool lockedForOthers(int descriptor)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(descriptor);
    const int other = ::open(self.constData(), O_RDONLY | O_CLOEXEC);
    struct flock probe = {};
    probe.l_type = F_RDLCK;
    const bool locked =
        other >= 0 && ::fcntl(other, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    if (other >= 0)
        ::close(other);
    return locked;
}
#endif

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
} // namespace

class UnfinishedOutputTest : public QObject
{
    Q_OBJECT

private slots:
#ifdef Q_OS_UNIX
    void commit_data();
    void commit();
    void abandonedOutputs();
#else
    void sweep_data();
    void sweep();
#endif
    void names_data();
    void names();
    void madeWhileAnotherEnds();
};

#ifdef Q_OS_UNIX

void UnfinishedOutputTest::commit_data()
{
    QTest::addColumn<QString>("atName");     // what stands at a.mp4 before: none, mp4, link, folder
    QTest::addColumn<QByteArray>("written"); // what the encoder wrote
    QTest::addColumn<QString>("why");        // commit()'s answer

    QTest::newRow("nothing at the name") << "none" << QByteArray("movie") << "";
    QTest::newRow("an older MP4, its permissions kept") << "mp4" << QByteArray("movie") << "";
    QTest::newRow("a link at the name is replaced, not followed")
        << "link" << QByteArray("movie") << "";
    // The same file under two names: writing through the MP4's name would
    // overwrite the other, a clip perhaps.
    QTest::newRow("a hard link at the name is replaced, not written through")
        << "hardlink" << QByteArray("movie") << "";
    QTest::newRow("a folder at the name")
        << "folder" << QByteArray("movie") << "the MP4 could not be put in place: Is a directory";
    QTest::newRow("the encoder wrote nothing")
        << "mp4" << QByteArray() << "the encoder wrote no file";
}

void UnfinishedOutputTest::commit()
{
    QFETCH(QString, atName);
    QFETCH(QByteArray, written);
    QFETCH(QString, why);

    const QTemporaryDir dir;
    const QTemporaryDir elsewhere;
    const QString target = dir.filePath(QStringLiteral("a.mp4"));
    const QString thesis = elsewhere.filePath(QStringLiteral("thesis.odt"));
    QVERIFY(write(thesis, "thesis"));
    const QFile::Permissions chosen = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    if (atName == QLatin1String("mp4")) {
        QVERIFY(write(target, "older"));
        QVERIFY(QFile::setPermissions(target, chosen));
    } else if (atName == QLatin1String("link")) {
        QVERIFY(QFile::link(thesis, target));
    } else if (atName == QLatin1String("hardlink")) {
        QVERIFY(::link(QFile::encodeName(thesis).constData(),
                       QFile::encodeName(target).constData()) == 0);
    } else if (atName == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("a.mp4")));
    }

    const RunFolder folder(dir.path());
    QString error;
    auto output = UnfinishedOutput::create(folder, QStringLiteral("A.MTS"), &error);
    QVERIFY2(output, qPrintable(error));
    QVERIFY2(lockedForOthers(output->inheritedDescriptor()), "a sweep could take it away");
    QVERIFY(write(output->encoderPath(), written));
    QCOMPARE(output->commit(QStringLiteral("a.mp4"), shotAt), why);
    output.reset();

    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("a.mp4")});
    QFile thesisAfter(thesis);
    QVERIFY(thesisAfter.open(QIODevice::ReadOnly));
    QCOMPARE(thesisAfter.readAll(), QByteArray("thesis"));
    const QFileInfo placed(target);
    if (!why.isEmpty()) {
        QCOMPARE(placed.isFile(), atName == QLatin1String("mp4"));
        return;
    }
    QVERIFY(!placed.isSymLink());
    QFile result(target);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), written);
    QCOMPARE(placed.lastModified().toUTC(), shotAt);
    if (atName == QLatin1String("mp4"))
        QCOMPARE(placed.permissions() & ~(QFile::ReadUser | QFile::WriteUser), chosen);
}

#endif

void UnfinishedOutputTest::names_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("camcorder numbering") << "00001.MTS";
    QTest::newRow("250 bytes") << QString(246, QLatin1Char('A')) + QStringLiteral(".MTS");
    QTest::newRow("long, two bytes a letter")
        << QString(125, QChar(0x00C5)) + QStringLiteral(".mts");
    QTest::newRow("long, emoji at the cut")
        << QStringLiteral("\U0001F389").repeated(60) + QStringLiteral(".mts");
}

void UnfinishedOutputTest::names()
{
    QFETCH(QString, source);
    const QString name = UnfinishedOutput::nameFor(source, 4194304);
    QVERIFY2(name.startsWith(QLatin1Char('.')), "not hidden");
    QVERIFY2(name.endsWith(QLatin1String(".mp4")), "the encoder cannot tell the container");
    QVERIFY2(name.toUtf8().size() <= 255, qPrintable(QString::number(name.toUtf8().size())));
    QVERIFY2(name.isValidUtf16(), "a character was cut in half");
    QVERIFY(name != UnfinishedOutput::nameFor(source, 4194305));
    QVERIFY(name != UnfinishedOutput::nameFor(source, 4194304ULL << 32));
    // Written and removed through the file system: the name is one it takes.
    const QTemporaryDir dir;
    QVERIFY(write(dir.filePath(name), "x"));
}

// One clip's file made while another's is put away, and on Windows the work
// folder with it: made again, never a clip that fails for it.
void UnfinishedOutputTest::madeWhileAnotherEnds()
{
    const QTemporaryDir dir;
    const RunFolder folder(dir.path());
    std::atomic<bool> done = false;
    const std::unique_ptr<QThread> other(QThread::create([&] {
        QString ignored;
        while (!done)
            UnfinishedOutput::create(folder, QStringLiteral("A.MTS"), &ignored);
    }));
    other->start();
    QString error;
    for (int made = 0; made < 500 && error.isEmpty(); ++made)
        UnfinishedOutput::create(folder, QStringLiteral("b.MTS"), &error);
    done = true;
    other->wait();
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

#ifdef Q_OS_UNIX
void UnfinishedOutputTest::abandonedOutputs()
{
    const QTemporaryDir dir;
    const QTemporaryDir elsewhere;
    const QStringList clips{"A.MTS", "b.m2ts"};
    const QString held = UnfinishedOutput::nameFor("A.MTS", 3);
    const QString link = UnfinishedOutput::nameFor("b.m2ts", 4);
    const QStringList left{
        UnfinishedOutput::nameFor("A.MTS", 1),     // a killed Tessel's: goes
        UnfinishedOutput::nameFor("b.m2ts", 2),    // goes
        held,                                      // locked by a run still writing it: stays
        UnfinishedOutput::nameFor("other.mts", 5), // not a clip of this run: stays
        QStringLiteral(".A.MTS.tessel-x.mp4"),     // not ours: stays
        QStringLiteral("a.mp4"),
    };
    for (const QString &name : left)
        QVERIFY(write(dir.filePath(name), "x"));
    // Another run's lock: an open-file-description lock, as a Tessel in another
    // container or on another machine takes it, not a process id.
    const int other = ::open(QFile::encodeName(dir.filePath(held)).constData(), O_RDWR | O_CLOEXEC);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    QVERIFY2(other >= 0 && ::fcntl(other, F_OFD_SETLK, &lock) == 0, std::strerror(errno));
    // A link planted at such a name is not followed.
    const QString target = elsewhere.filePath(QStringLiteral("thesis.odt"));
    QVERIFY(write(target, "thesis"));
    QVERIFY(QFile::link(target, dir.filePath(link)));

    UnfinishedOutput::removeAbandoned(RunFolder(dir.path()), clips);
    ::close(other);

    QStringList remaining =
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    QStringList expected = left.mid(2) << link;
    expected.sort();
    QCOMPARE(remaining, expected);
    QVERIFY(QFileInfo::exists(target));
}
#else
void UnfinishedOutputTest::sweep_data()
{
    QTest::addColumn<QString>("place");  // "work": where Tessel makes it; "beside": where it did
    QTest::addColumn<QString>("clip");   // whose file it is
    QTest::addColumn<QString>("holder"); // "none", "tessel" (a running one), "reader"
    QTest::addColumn<bool>("stays");

    QTest::newRow("a killed Tessel's") << "work"
                                       << "A.MTS"
                                       << "none" << false;
    QTest::newRow("a killed older Tessel's, beside the clips") << "beside"
                                                               << "A.MTS"
                                                               << "none" << false;
    // Deleted by name, it would be marked for deletion while held, and its
    // rename would fail.
    QTest::newRow("a running Tessel's") << "work"
                                        << "A.MTS"
                                        << "tessel" << true;
    QTest::newRow("open in a player") << "work"
                                      << "A.MTS"
                                      << "reader" << true;
    QTest::newRow("not a clip of this run") << "work"
                                            << "other.mts"
                                            << "none" << true;
}

void UnfinishedOutputTest::sweep()
{
    QFETCH(QString, place);
    QFETCH(QString, clip);
    QFETCH(QString, holder);
    QFETCH(bool, stays);

    const QTemporaryDir dir;
    const RunFolder folder(dir.path());
    const QString work = dir.filePath(QStringLiteral(".tessel-unfinished"));
    std::unique_ptr<UnfinishedOutput> running;
    QString path;
    if (holder == QLatin1String("tessel")) {
        QString error;
        running = UnfinishedOutput::create(folder, clip, &error);
        QVERIFY2(running, qPrintable(error));
        path = running->encoderPath();
    } else {
        QVERIFY(QDir().mkpath(work));
        path = (place == QLatin1String("work") ? work : dir.path()) + QLatin1Char('/') +
               UnfinishedOutput::nameFor(clip, 1);
    }
    QVERIFY(write(path, "movie"));
    QFile reader(path);
    if (holder == QLatin1String("reader"))
        QVERIFY(reader.open(QIODevice::ReadOnly));

    UnfinishedOutput::removeAbandoned(folder, {QStringLiteral("A.MTS")});
    reader.close();

    QCOMPARE(QFileInfo::exists(path), stays);
    if (running) {
        QCOMPARE(running->commit(QStringLiteral("a.mp4"), shotAt), QString());
        running.reset();
        QFile placed(dir.filePath(QStringLiteral("a.mp4")));
        QVERIFY(placed.open(QIODevice::ReadOnly));
        QCOMPARE(placed.readAll(), QByteArray("movie"));
    }
    // The work folder goes with the last file in it.
    QCOMPARE(QFileInfo::exists(work), stays && holder != QLatin1String("tessel"));
}
#endif

TESSEL_TEST(UnfinishedOutputTest)
#include "tst_unfinishedoutput.moc"
