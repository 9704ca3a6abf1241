// Where the encoder writes while a clip converts, what a killed Tessel's
// leftovers become, and how a finished file takes its final name.
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
    void placing_data();
    void placing();
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

void OutputPlacementTest::placing_data()
{
    QTest::addColumn<QString>("atOutput"); // what stands at the final name
    QTest::addColumn<bool>("written");     // whether the encoder wrote its file
    QTest::addColumn<bool>("placed");

    QTest::newRow("nothing") << "nothing" << true << true;
    QTest::newRow("an older MP4") << "file" << true << true;
    QTest::newRow("a hard link to the clip") << "hardLink" << true << true;
    QTest::newRow("a symbolic link out of the folder") << "symLink" << true << true;
    QTest::newRow("a folder") << "folder" << true << false;
    QTest::newRow("no file written, an older MP4 there") << "file" << false << false;
}

void OutputPlacementTest::placing()
{
    QFETCH(QString, atOutput);
    QFETCH(bool, written);
    QFETCH(bool, placed);

    const QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.mts"));
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere.txt"));
    const QString output = dir.filePath(QStringLiteral("clip.mp4"));
    const QString temporary = dir.filePath(temporaryOutputName("clip.mts", 1));
    const auto put = [](const QString &path, const QByteArray &content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    QVERIFY(put(clip, "the clip") && put(elsewhere, "keep me"));
    if (written)
        QVERIFY(put(temporary, "the new MP4"));
    if (atOutput == QLatin1String("file"))
        QVERIFY(put(output, "an older MP4"));
    else if (atOutput == QLatin1String("hardLink"))
        QVERIFY(::link(QFile::encodeName(clip), QFile::encodeName(output)) == 0);
    else if (atOutput == QLatin1String("symLink"))
        QVERIFY(QFile::link(elsewhere, output));
    else if (atOutput == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(output));
    const QDateTime shotAt(QDate(2019, 5, 4), QTime(12, 30, 15), Qt::UTC);

    QString error;
    QCOMPARE(placeOutput(temporary, output, shotAt, &error), placed);

    const auto read = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    };
    // Whatever the outcome, nothing but the output name has changed.
    QCOMPARE(read(clip), QByteArray("the clip"));
    QCOMPARE(read(elsewhere), QByteArray("keep me"));
    if (placed) {
        QVERIFY(error.isEmpty());
        QVERIFY(!QFileInfo(output).isSymLink());
        QCOMPARE(read(output), QByteArray("the new MP4"));
        QCOMPARE(QFileInfo(output).lastModified(), shotAt);
        QVERIFY(!QFileInfo::exists(temporary));
    } else {
        QVERIFY2(!error.isEmpty(), "a failure without a reason");
        if (atOutput == QLatin1String("file"))
            QCOMPARE(read(output), QByteArray("an older MP4"));
    }
}

QTEST_MAIN(OutputPlacementTest)
#include "tst_outputplacement.moc"
