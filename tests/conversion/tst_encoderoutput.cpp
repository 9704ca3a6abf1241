// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// The encoder's console output as Debian's FFmpeg 5.1 (once the shipped
// ffmpeg.exe) printed it for this program's command line on generated clips
// (data/, one capture a row of captures_data).
#include "conversion/encoderoutput.h"
#include "support/testregistry.h"

#include <QFile>
#include <QtTest>

namespace {
// An unknown value, as the table writes it.
constexpr double unknown = -1;

double orUnknown(std::optional<double> value)
{
    return value ? *value : unknown;
}

// Ten digits: equal texts, equal values.
QString describe(const QList<double> &values)
{
    QStringList texts;
    for (double value : values)
        texts << QString::number(value, 'g', 10);
    return texts.join(QLatin1String(", "));
}
} // namespace

class tst_EncoderOutput : public QObject
{
    Q_OBJECT

private slots:
    void captures_data();
    void captures();
    void staysBounded();
};

void tst_EncoderOutput::captures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("paths"); // the clip and the MP4, as on the command line
    QTest::addColumn<double>("duration");
    // Each value fraction() took while the output came in, repeats left out.
    QTest::addColumn<QList<double>>("fractions");
    QTest::addColumn<QString>("reason");
    // What it said went wrong, whatever its exit code: "MP4 unfinished", or
    // how reading the clip stopped.
    QTest::addColumn<QString>("failure");

    const QString noFailure;
    const QStringList clip{"/tmp/cap/Clip.MTS", "/tmp/cap/.x.mp4"};
    const double early = 0.12 / 3.01;
    QTest::newRow("converted") << "ffmpeg-converted.txt" << clip << 3.01
                               << QList<double>{unknown, early, 1.0} << "" << noFailure;
    QTest::newRow("damaged input")
        << "ffmpeg-damaged-input.txt" << QStringList{"/tmp/cap/Damaged.mts", "/tmp/cap/.x.mp4"}
        << unknown << QList<double>{unknown} << "Invalid data found when processing input"
        << noFailure;
    QTest::newRow("output folder missing")
        << "ffmpeg-missing-folder.txt" << QStringList{"/tmp/cap/Clip.MTS", "/tmp/cap/gone/.x.mp4"}
        << 3.01 << QList<double>{unknown} << "No such file or directory" << noFailure;
    QTest::newRow("output folder not writable")
        << "ffmpeg-permission-denied.txt" << QStringList{"/tmp/capro/Clip.MTS", "/tmp/capro/.x.mp4"}
        << 3.01 << QList<double>{unknown} << "Permission denied" << noFailure;
    QTest::newRow("disk full") << "ffmpeg-no-space.txt"
                               << QStringList{"/tmp/cap/Big.MTS", "/mnt/x/.x.mp4"} << 20.03
                               << QList<double>{unknown, 0.12 / 20.03, 18.92 / 20.03}
                               << "Error closing file: No space left on device"
                               << "MP4 unfinished";
    QTest::newRow("disk full at the trailer")
        << "ffmpeg-no-space-at-trailer.txt" << QStringList{"/tmp/cap/Clip.MTS", "/mnt/x/.x.mp4"}
        << 3.01 << QList<double>{unknown, early, 1.0}
        << "Error closing file: No space left on device"
        << "MP4 unfinished";
    QTest::newRow("disk full at the header")
        << "ffmpeg-no-space-at-header.txt" << QStringList{"/tmp/cap/Clip.MTS", "/mnt/x/.x.mp4"}
        << 3.01 << QList<double>{unknown}
        << "Could not write header for output file #0 (incorrect codec parameters ?): No space "
           "left on device"
        << noFailure;
    QTest::newRow("scratched clip")
        << "ffmpeg-scratched-clip.txt" << QStringList{"/tmp/cap/Scratched.MTS", "/tmp/cap/.x.mp4"}
        << 3.01 << QList<double>{unknown, early, 1.0} << "corrupt input packet in stream 0"
        << noFailure;
    QTest::newRow("piped input, no duration")
        << "ffmpeg-piped-input.txt" << clip << unknown << QList<double>{unknown} << "" << noFailure;
    // Reads failing past 2 MB of a clip, as on a failing card: FFmpeg puts
    // what it read into the MP4 and exits with 0. The ffmpeg.exe shipped for
    // Windows, under Wine, hears the failed ReadFile as EINVAL.
    QTest::newRow("card fails mid-clip")
        << "ffmpeg-card-fails-mid-clip.txt" << QStringList{"/tmp/cap/card/00001.MTS", ""} << 7.01
        << QList<double>{unknown, 0.12 / 7.01, 6.96 / 7.01} << "Input/output error"
        << "read: Input/output error";
    QTest::newRow("card fails mid-clip, Windows")
        << "ffmpeg-exe-card-fails-mid-clip.txt" << QStringList{"Z:/tmp/cap/card/00001.MTS", ""}
        << 5.81 << QList<double>{unknown, 0.12 / 5.81, 5.76 / 5.81} << "Invalid argument"
        << "read: Invalid argument";
}

// Fed a byte at a time, in odd pieces, whole, and whole without its last line
// end (then finished): every way gives the same reading.
void tst_EncoderOutput::captures()
{
    QFETCH(QString, file);
    QFETCH(QStringList, paths);
    QFETCH(double, duration);
    QFETCH(QList<double>, fractions);
    QFETCH(QString, reason);
    QFETCH(QString, failure);

    QFile capture(QStringLiteral(ENCODER_OUTPUT_DATA "/") + file);
    QVERIFY2(capture.open(QIODevice::ReadOnly), qPrintable(capture.fileName()));
    const QByteArray output = capture.readAll();
    QVERIFY(output.endsWith('\n'));

    for (const qsizetype piece : {qsizetype(1), qsizetype(7), output.size(), qsizetype(0)}) {
        const QString how = piece ? QStringLiteral("in pieces of %1").arg(piece)
                                  : QStringLiteral("without its last line end");
        const QByteArray fed = piece ? output : output.chopped(1);
        const qsizetype step = piece ? piece : fed.size();
        EncoderOutput reader(paths.first());
        QList<double> seen{orUnknown(reader.fraction())};
        for (qsizetype at = 0; at < fed.size(); at += step) {
            reader.feed(QByteArrayView(fed).sliced(at, std::min(step, fed.size() - at)));
            const double now = orUnknown(reader.fraction());
            if (now != seen.constLast())
                seen << now;
        }
        if (!piece)
            reader.finish();

        QVERIFY2(qFuzzyCompare(orUnknown(reader.durationSeconds()), duration),
                 qPrintable(how + QStringLiteral(": duration ") +
                            QString::number(orUnknown(reader.durationSeconds()))));
        // Fed whole, only the end is seen.
        const QList<double> expected = step > 7 && fractions.size() > 1
                                           ? QList<double>{unknown, fractions.constLast()}
                                           : fractions;
        QVERIFY2(describe(seen) == describe(expected),
                 qPrintable(how + QStringLiteral(": fractions ") + describe(seen)));
        QCOMPARE(reader.errorReason(paths), reason);
        QCOMPARE(reader.outputUnfinished()           ? QStringLiteral("MP4 unfinished")
                 : reader.inputReadError().isEmpty() ? QString()
                                                     : "read: " + reader.inputReadError(),
                 failure);

        const QStringList lines = reader.lastLines();
        QVERIFY(!lines.isEmpty() && lines.size() <= EncoderOutput::keptLines);
        // The capture's last line that is not progress, exactly.
        const QByteArrayList all = output.trimmed().replace('\r', '\n').split('\n');
        auto last = all.crbegin();
        while (last->contains("time="))
            ++last;
        QCOMPARE(lines.constLast(), QString::fromUtf8(*last).trimmed());
        // FFmpeg's banner, the same on every run, would crowd out what matters.
        for (const QString &line : lines) {
            const QString start = line.trimmed().section(QLatin1Char(' '), 0, 0);
            QVERIFY2(!QStringList({"ffmpeg", "built", "configuration:", "libavutil", "libpostproc"})
                          .contains(start),
                     qPrintable(how + QStringLiteral(" kept the banner's ") + line));
        }
    }
}

// An encoder that prints without end, or a line without end, holds no more
// than a few lines, each cut short; what it quotes cannot make a share.
void tst_EncoderOutput::staysBounded()
{
    EncoderOutput reader;
    const QByteArray longLine(4 * 1024 * 1024, 'x');
    reader.feed(longLine);
    reader.feed("\r\n");
    for (int i = 0; i < 20000; ++i)
        reader.feed(QByteArray::number(i) + " Last message repeated\n");
    reader.feed(longLine);
    reader.feed("\n");

    const QStringList lines = reader.lastLines();
    QCOMPARE(lines.size(), EncoderOutput::keptLines);
    QCOMPARE(lines.constLast(), QString(EncoderOutput::maxLineLength, QLatin1Char('x')));
    QCOMPARE(lines.constFirst(), QStringLiteral("19989 Last message repeated"));
    QCOMPARE(reader.errorReason({}).size(), EncoderOutput::maxReasonLength);
    QVERIFY(reader.errorReason({}).endsWith(QChar(0x2026)));

    // A clip's name can put any line into the output: a time that is no
    // number gives no share, where NaN would reach the row's painting.
    for (const char *time : {"nan", "inf"}) {
        EncoderOutput named;
        named.feed(QByteArray("  Duration: 00:00:") + time +
                   ", start: 0\nframe=1 time=00:00:01.00\n");
        QVERIFY2(!named.fraction(), time);
    }
}

TESSEL_TEST(tst_EncoderOutput)
#include "tst_encoderoutput.moc"
