// The program as shipped, without the test seam: it runs the encoder from
// "encoder/" beside its own executable. This test's build folder has the
// stand-in encoder there.
#include "support/testregistry.h"
#include <QTest>

#include "conversion/conversiontestkit.h"
#include "support/isolatedsettings.h"

class ConversionShippedEncoderTest : public QObject
{
    Q_OBJECT

private slots:
    void runsTheEncoderBesideTheProgram();

private:
    IsolatedSettings isolatedSettings;
};

void ConversionShippedEncoderTest::runsTheEncoderBesideTheProgram()
{
    // No encoder path is set: the stand-in runs only if the window found it
    // at encoder/ffmpeg beside this program, and only it writes the log.
    ClipRun run({{QStringLiteral("Clip.MTS"), "ok"}});
    run.ui.window.setEncoderPath(QString());
    QVERIFY(QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/encoder")).isDir());

    const RunSeen seen = run.run();

    QCOMPARE(run.log.startedNames(), QStringList{QStringLiteral("Clip.MTS")});
    QVERIFY(run.clips.has(QStringLiteral("clip.mp4")));
    QCOMPARE(seen.boxes.value(0).text, QStringLiteral("1 file converted."));
}

TESSEL_TEST(ConversionShippedEncoderTest)
#include "tst_conversionshippedencoder.moc"
