// The names of unfinished files that have one, and what a killed Tessel's
// leftovers become. How a finished file takes its final name (over an older
// MP4, a link, a folder) is tested through whole runs.
#include "support/testregistry.h"
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "conversion/outputplacement.h"
#include "conversion/runfolder.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

class OutputPlacementTest : public QObject
{
    Q_OBJECT

private slots:
    void temporaryName_data();
    void temporaryName();
    void abandonedOutputs();
};

void OutputPlacementTest::temporaryName_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("camcorder numbering") << "00001.MTS";
    QTest::newRow("250 bytes") << QString(246, QLatin1Char('A')) + QStringLiteral(".MTS");
    QTest::newRow("long, two bytes a letter")
        << QString(125, QChar(0x00C5)) + QStringLiteral(".mts");
    QTest::newRow("long, emoji at the cut")
        << QStringLiteral("\U0001F389").repeated(60) + QStringLiteral(".mts");
}

void OutputPlacementTest::temporaryName()
{
    QFETCH(QString, source);
    const QString name = temporaryOutputName(source, 4194304);
    QVERIFY2(name.startsWith(QLatin1Char('.')), "not hidden");
    QVERIFY2(name.endsWith(QLatin1String(".mp4")), "the encoder cannot tell the container");
    QVERIFY2(name.toUtf8().size() <= 255, qPrintable(QString::number(name.toUtf8().size())));
    QVERIFY2(name.isValidUtf16(), "a character was cut in half");
    QVERIFY(name != temporaryOutputName(source, 4194305));
    QVERIFY(name != temporaryOutputName(source, 4194304ULL << 32));
    // Written and removed through the file system: the name is one it takes.
    const QTemporaryDir dir;
    QFile file(dir.filePath(name));
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
}

void OutputPlacementTest::abandonedOutputs()
{
    const QTemporaryDir dir;
    const QTemporaryDir elsewhere;
    const QStringList clips{"A.MTS", "b.m2ts"};
    const QString held = temporaryOutputName("A.MTS", 3);
    const QString link = temporaryOutputName("b.m2ts", 4);
    const QStringList left{
        temporaryOutputName("A.MTS", 1),       // a killed Tessel's: goes
        temporaryOutputName("b.m2ts", 2),      // goes
        held,                                  // locked by a run still writing it: stays
        temporaryOutputName("other.mts", 5),   // not a clip of this run: stays
        QStringLiteral(".A.MTS.tessel-x.mp4"), // not ours: stays
        QStringLiteral("a.mp4"),
    };
    for (const QString &name : left) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // Another run's lock: an open-file-description lock, as a Tessel in another
    // container or on another machine takes it, not a process id.
    const int other = ::open(QFile::encodeName(dir.filePath(held)).constData(), O_RDWR | O_CLOEXEC);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    QVERIFY2(other >= 0 && ::fcntl(other, F_OFD_SETLK, &lock) == 0, std::strerror(errno));
    // A link planted at such a name is not followed.
    const QString target = elsewhere.filePath(QStringLiteral("thesis.odt"));
    QFile(target).open(QIODevice::WriteOnly);
    QVERIFY(QFile::link(target, dir.filePath(link)));

    removeAbandonedOutputs(RunFolder(dir.path()), clips);
    ::close(other);

    QStringList remaining =
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    QStringList expected = left.mid(2) << link;
    expected.sort();
    QCOMPARE(remaining, expected);
    QVERIFY(QFileInfo::exists(target));
}

TESSEL_TEST(OutputPlacementTest)
#include "tst_outputplacement.moc"
