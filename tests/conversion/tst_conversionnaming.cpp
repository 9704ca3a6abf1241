// Output names.
#include "support/testregistry.h"
#include <QTest>

#include "conversion/conversionnaming.h"

class ConversionNamingTest : public QObject
{
    Q_OBJECT

private slots:
    void outputName_data();
    void outputName();
};

void ConversionNamingTest::outputName_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("output");

    // clang-format off
    QTest::newRow("camcorder numbering") << "00001.MTS" << "00001.mp4";
    QTest::newRow(".m2ts in capitals") << "Trip.M2TS" << "trip.mp4";
    QTest::newRow("every .mts replaced") << "a.mts.mts" << "a.mp4.mp4";
    QTest::newRow(".m2ts is not .mts") << "clip.m2ts" << "clip.mp4";
    QTest::newRow("mixed case") << "Holiday.MtS" << "holiday.mp4";
    QTest::newRow("blank kept") << "a b.mts" << "a b.mp4";
    QTest::newRow("non-ASCII lower-cased") << "Ünïcødé.MTS" << "ünïcødé.mp4";
    QTest::newRow(".mts inside the name") << "x.MTS.m2ts" << "x.mp4.mp4";
    // clang-format on
}

void ConversionNamingTest::outputName()
{
    QFETCH(QString, source);
    QFETCH(QString, output);
    QCOMPARE(outputNameFor(source), output);
}

TESSEL_TEST(ConversionNamingTest)
#include "tst_conversionnaming.moc"
