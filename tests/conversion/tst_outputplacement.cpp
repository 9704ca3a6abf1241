// Where the encoder writes while a clip converts, and what a killed Tessel's
// leftovers become. How a finished file takes its final name (over an older
// MP4, a link, a folder) is tested through whole runs.
#include "support/testregistry.h"
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "conversion/outputplacement.h"

#include <csignal>
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
    // Written and removed through the file system: the name is one it takes.
    const QTemporaryDir dir;
    QFile file(dir.filePath(name));
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
}

void OutputPlacementTest::abandonedOutputs()
{
    QProcess ended;
    ended.start(QStringLiteral("true"));
    QVERIFY(ended.waitForFinished());
    const qint64 dead = ended.processId() ? ended.processId() : 999999;
    const qint64 alive = QCoreApplication::applicationPid();
    QVERIFY(::kill(pid_t(dead), 0) != 0);

    const QTemporaryDir dir;
    const QStringList clips{"A.MTS", "b.m2ts"};
    const QStringList left{
        temporaryOutputName("A.MTS", dead),     // a killed Tessel's: goes
        temporaryOutputName("b.m2ts", dead),    // goes
        temporaryOutputName("A.MTS", alive),    // a running Tessel's: stays
        temporaryOutputName("other.mts", dead), // not a clip of this run: stays
        QStringLiteral(".A.MTS.tessel-x.mp4"),  // not ours: stays
        QStringLiteral("a.mp4"),
    };
    for (const QString &name : left) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    removeAbandonedOutputs(dir.path(), clips);

    QStringList remaining = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QStringList expected = left.mid(2);
    expected.sort();
    QCOMPARE(remaining, expected);
}

TESSEL_TEST(OutputPlacementTest)
#include "tst_outputplacement.moc"
