// Output names, and telling whether an encoder run touched its output.
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "conversion/conversionnaming.h"
#include "conversion/outputsnapshot.h"

class ConversionNamingTest : public QObject
{
    Q_OBJECT

private slots:
    void outputName_data();
    void outputName();
    void outputTouched_data();
    void outputTouched();
};

void ConversionNamingTest::outputName_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("output");

    QTest::newRow("camcorder numbering") << "00001.MTS"
                                         << "00001.mp4";
    QTest::newRow(".m2ts in capitals") << "Trip.M2TS"
                                       << "trip.mp4";
    QTest::newRow("every .mts replaced") << "a.mts.mts"
                                         << "a.mp4.mp4";
    QTest::newRow(".m2ts is not .mts") << "clip.m2ts"
                                       << "clip.mp4";
    QTest::newRow("mixed case") << "Holiday.MtS"
                                << "holiday.mp4";
    QTest::newRow("blank kept") << "a b.mts"
                                << "a b.mp4";
    QTest::newRow("non-ASCII lower-cased") << "Ünïcødé.MTS"
                                           << "ünïcødé.mp4";
    QTest::newRow(".mts inside the name") << "x.MTS.m2ts"
                                          << "x.mp4.mp4";
}

void ConversionNamingTest::outputName()
{
    QFETCH(QString, source);
    QFETCH(QString, output);
    QCOMPARE(outputNameFor(source), output);
}

void ConversionNamingTest::outputTouched_data()
{
    QTest::addColumn<bool>("existedBefore");
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("touched");

    QTest::newRow("nothing there, nothing written") << false << "none" << false;
    QTest::newRow("created") << false << "write" << true;
    QTest::newRow("left alone") << true << "none" << false;
    QTest::newRow("read only") << true << "read" << false;
    QTest::newRow("rewritten, other size") << true << "write" << true;
    QTest::newRow("same bytes, time put back") << true << "rewriteKeepTime" << true;
    QTest::newRow("removed") << true << "remove" << true;
}

void ConversionNamingTest::outputTouched()
{
    QFETCH(bool, existedBefore);
    QFETCH(QString, change);
    QFETCH(bool, touched);

    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clip.mp4"));
    const QByteArray original("an earlier conversion");
    const QDateTime longAgo(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
    const auto writeFile = [&](const QByteArray &content) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
        QVERIFY(file.setFileTime(longAgo, QFileDevice::FileModificationTime));
    };
    if (existedBefore)
        writeFile(original);
    // Far enough apart for any file system's change time to move.
    QTest::qSleep(20);
    const OutputSnapshot before = OutputSnapshot::of(path);

    if (change == QLatin1String("write")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("partial");
    } else if (change == QLatin1String("read")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), original);
    } else if (change == QLatin1String("rewriteKeepTime")) {
        writeFile(original);
    } else if (change == QLatin1String("remove")) {
        QVERIFY(QFile::remove(path));
    }

    QCOMPARE(OutputSnapshot::of(path) != before, touched);
    QCOMPARE(before.exists(), existedBefore);
}

QTEST_MAIN(ConversionNamingTest)
#include "tst_conversionnaming.moc"
