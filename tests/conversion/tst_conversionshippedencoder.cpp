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
#ifdef Q_OS_WIN
    const QString encoderName = QStringLiteral("ffmpeg.exe");
#else
    const QString encoderName = QStringLiteral("ffmpeg");
#endif
    const QString expectedEncoder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/encoder/") + encoderName;

    ClipFolder clips;
    clips.add(QStringLiteral("Clip.MTS"), "ok");
    StandInLog log;
    WindowUnderTest ui;
    ui.folderField->setText(clips.path());
    ModalWatcher watcher;
    DebugCapture debug;

    QVERIFY(!pressProcess(ui).timedOut);

    QCOMPARE(debug.messages.value(0), QLatin1Char('"') + expectedEncoder + QLatin1Char('"'));
    QCOMPARE(log.startedNames(), QStringList{QStringLiteral("Clip.MTS")});
    QVERIFY(clips.has(QStringLiteral("clip.mp4")));
    QCOMPARE(watcher.boxes.value(0).text, QStringLiteral("1 file converted."));
}

TESSEL_TEST(ConversionShippedEncoderTest)
#include "tst_conversionshippedencoder.moc"
