// What the camera recorded (date, place, make and model), read from the H.264
// stream of a transport stream the test builds packet by packet. Every read goes through a buffer
// of exactly the clip's size, so the sanitizer build catches a read past the data.
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "conversion/camerarecord.h"
#include "support/mdpmunits.h"
#include "support/testregistry.h"

namespace {
constexpr int patPid = 0x0000;
constexpr int pmtPid = 0x0100;
constexpr int videoPid = 0x1011;

// A NAL unit of `type` with `size` bytes of picture-like data and a 3-byte start code.
QByteArray unit(int type, qsizetype size)
{
    return QByteArray::fromHex("000001") + char(0x60 | type) + QByteArray(size, '\x5a');
}

// What opens a camera's access unit: delimiter, sequence and picture parameters.
const QByteArray unitHeads = unit(9, 1) + unit(7, 10) + unit(8, 4);

QByteArray dateSei(const QByteArray &zoneAndMonth, const QByteArray &dayAndTime)
{
    return seiUnit({{5, mdpmPayload(mdpmEntries(zoneAndMonth, dayAndTime))}});
}

// One frame: heads, the date (when given), an IDR slice.
QByteArray frame(const QByteArray &sei, qsizetype sliceSize = 600)
{
    return unitHeads + sei + unit(5, sliceSize) + unit(1, 300);
}

// Payloads cut into 188-byte packets of `pid`; the last one filled up with
// an adaptation field of stuffing.
QByteArray packets(int pid, const QByteArray &payload)
{
    QByteArray stream;
    int continuity = 0;
    for (qsizetype at = 0; at < payload.size(); at += 184) {
        const QByteArray part = payload.mid(at, 184);
        const qsizetype stuffing = 184 - part.size();
        stream += char(0x47);
        stream += char((at == 0 ? 0x40 : 0) | pid >> 8);
        stream += char(pid & 0xFF);
        stream += char((stuffing ? 0x30 : 0x10) | continuity++ % 16);
        if (stuffing)
            stream += char(stuffing - 1) + QByteArray(stuffing - 1, '\xff');
        if (stuffing > 1)
            stream[stream.size() - stuffing + 1] = 0; // adaptation flags
        stream += part;
    }
    return stream;
}

// A table section after its pointer field; the checksum is not read.
QByteArray section(uchar tableId, const QByteArray &body)
{
    const qsizetype length = body.size() + 4;
    return QByteArray(1, '\0') + char(tableId) + char(0xB0 | length >> 8) + char(length & 0xFF) +
           body + QByteArray(4, '\0');
}

QByteArray pes(const QByteArray &elementary)
{
    return QByteArray::fromHex("000001e000008080052100010001") + elementary;
}

// PAT, PMT and the video in one PES packet per entry of `pesPayloads`, in
// packets of `packetSize` bytes (192: 4 bytes of arrival time before each).
QByteArray transportStream(const QList<QByteArray> &pesPayloads, int packetSize = 188,
                           uchar streamType = 0x1B)
{
    QByteArray stream =
        packets(patPid, section(0x00, QByteArray::fromHex("0001c100000001") +
                                          char(0xE0 | pmtPid >> 8) + char(pmtPid & 0xFF))) +
        packets(pmtPid, section(0x02, QByteArray::fromHex("0001c10000f011f000") + char(streamType) +
                                          char(0xE0 | videoPid >> 8) + char(videoPid & 0xFF) +
                                          QByteArray::fromHex("f000")));
    for (const QByteArray &payload : pesPayloads)
        stream += packets(videoPid, pes(payload));
    if (packetSize == 188)
        return stream;
    QByteArray framed;
    for (qsizetype at = 0; at < stream.size(); at += 188)
        framed += QByteArray::fromHex("3a7c01e2") + stream.mid(at, 188);
    return framed;
}

CameraRecord readExactly(const QByteArray &clip)
{
    const std::unique_ptr<char[]> bytes(new char[size_t(std::max<qsizetype>(clip.size(), 1))]);
    std::copy(clip.cbegin(), clip.cend(), bytes.get());
    return readCameraRecord(QByteArrayView(bytes.get(), clip.size()));
}

// The values of the encoder's metadata options for `camera`, after checking
// that they come with the option that makes them keys of their own.
QStringList tagsOf(const CameraRecord &camera)
{
    const QStringList arguments = cameraMetadataArguments(camera);
    QStringList tags;
    for (qsizetype at = 2; at + 1 < arguments.size(); at += 2) {
        if (arguments.at(at) == QLatin1String("-metadata"))
            tags << arguments.at(at + 1);
    }
    if (!arguments.isEmpty() &&
        (arguments.mid(0, 2) != QStringList{"-movflags", "use_metadata_tags"} ||
         arguments.size() != 2 + 2 * tags.size()))
        tags << QStringLiteral("malformed: ") + arguments.join(' ');
    return tags;
}

QString place(const QString &iso6709)
{
    return QStringLiteral("com.apple.quicktime.location.ISO6709=") + iso6709;
}

// The date every clip below records, at its offset.
QString juneDate(const QString &offset)
{
    return QStringLiteral("com.apple.quicktime.creationdate=2019-06-15T10:20:30") + offset;
}

const QString sony = QStringLiteral("com.apple.quicktime.make=Sony");

// `entries` with the 4 data bytes of the entry at `tag` replaced.
QByteArray withEntry(QByteArray entries, uchar tag, const QByteArray &data)
{
    for (qsizetype at = 0; at + 5 <= entries.size(); at += 5) {
        if (uchar(entries.at(at)) == tag)
            entries.replace(at + 1, 4, data.leftJustified(4, '\0', true));
    }
    return entries;
}

const QByteArray paris = gpsEntries(48.8577, 2.2950, 35);

QDateTime utc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

const QDateTime nothing;
} // namespace

class CameraRecordTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsRecordedDate_data();
    void readsRecordedDate();
    void readsCameraFacts_data();
    void readsCameraFacts();
    void damagedClipsReadSafely();
};

void CameraRecordTest::initTestCase()
{
    // A computer three hours east of UTC without summer time, for a camera
    // that recorded no zone: glibc takes the rule from the name alone.
    qputenv("TZ", "XYZ-3");
}

void CameraRecordTest::readsRecordedDate_data()
{
    QTest::addColumn<QByteArray>("clip");
    QTest::addColumn<QDateTime>("expected"); // invalid: no date

    QTest::newRow("188-byte packets, UTC+2")
        << transportStream({frame(juneSei(0x04))}) << utc(2019, 6, 15, 8, 20, 30);
    QTest::newRow("192-byte packets, UTC-5:30")
        << transportStream({frame(juneSei(0x2B))}, 192) << utc(2019, 6, 15, 15, 50, 30);
    QTest::newRow("zone +1 with summer time is UTC+2")
        << transportStream({frame(juneSei(0x42))}, 192) << utc(2019, 6, 15, 8, 20, 30);
    QTest::newRow("zone -5 with summer time is UTC-4")
        << transportStream({frame(juneSei(0x6A))}) << utc(2019, 6, 15, 14, 20, 30);
    QTest::newRow("no zone: this computer's local time")
        << transportStream({frame(juneSei(0xFF))}) << utc(2019, 6, 15, 7, 20, 30);

    // The first packet carries 184 bytes, 14 of them the PES header: the
    // packet ends inside the entry of day and time.
    const QByteArray straddling = unit(9, 1) + unit(12, 120) + juneSei(0x04);
    QTest::newRow("SEI split across two transport packets")
        << transportStream({straddling + unit(5, 600)}) << utc(2019, 6, 15, 8, 20, 30);
    QTest::newRow("SEI cut off where its first packet ends")
        << transportStream({straddling}).left(3 * 188) << nothing;
    const QByteArray whole = frame(juneSei(0x04));
    const qsizetype cut = whole.indexOf("MDPM") + 10;
    QTest::newRow("SEI split across two PES packets")
        << transportStream({whole.left(cut), whole.mid(cut)}) << utc(2019, 6, 15, 8, 20, 30);

    // 00:00:02 is "00 00 02" in BCD: the stream carries "00 00 03 02".
    QTest::newRow("emulation prevention inside the date")
        << transportStream({frame(dateSei("\x04\x20\x19\x06", QByteArray("\x15\x00\x00\x02", 4)))})
        << utc(2019, 6, 14, 22, 0, 2);
    QTest::newRow("MDPM after another SEI message of 300 bytes, in the same unit")
        << transportStream({frame(
               seiUnit({{5, QByteArray(300, '\x01')},
                        {5, mdpmPayload(mdpmEntries("\x04\x20\x19\x06", "\x15\x10\x20\x30"))}}))})
        << utc(2019, 6, 15, 8, 20, 30);
    QTest::newRow("first MDPM after the first frame, 300 KiB into the clip")
        << transportStream({frame({}, 300 * 1024), frame(juneSei(0x04))}, 192)
        << utc(2019, 6, 15, 8, 20, 30);
    QTest::newRow("first complete date counts")
        << transportStream({frame(juneSei(0x04)), frame(juneSei(0x2B))})
        << utc(2019, 6, 15, 8, 20, 30);
    QTest::newRow("date without its time entry, then a complete one")
        << transportStream({frame(seiUnit({{5, mdpmPayload(QByteArray::fromHex("1804201906"))}})),
                            frame(juneSei(0x2B))})
        << utc(2019, 6, 15, 15, 50, 30);
    QTest::newRow("first MDPM beyond 4 MiB")
        << transportStream({frame({}, 4 * 1024 * 1024), frame(juneSei(0x04))}) << nothing;

    QTest::newRow("bad BCD digit")
        << transportStream({frame(dateSei("\x04\x20\x19\x06", "\x15\x10\x2A\x30"))}) << nothing;
    QTest::newRow("month 13") << transportStream(
                                     {frame(dateSei("\x04\x20\x19\x13", "\x15\x10\x20\x30"))})
                              << nothing;
    // The zone byte goes to 15:30; with summer time that is 16:30 east, 14:30 west.
    QTest::newRow("zone +15:30") << transportStream({frame(juneSei(0x1F))})
                                 << utc(2019, 6, 14, 18, 50, 30);
    QTest::newRow("zone +15:30 with summer time")
        << transportStream({frame(juneSei(0x5F))}) << utc(2019, 6, 14, 17, 50, 30);
    QTest::newRow("zone -15:30 with summer time")
        << transportStream({frame(juneSei(0x7F))}) << utc(2019, 6, 16, 0, 50, 30);
    QTest::newRow("MDPM absent: user data under another UUID")
        << transportStream(
               {frame(seiUnit({{5, mdpmPayload(mdpmEntries("\x04\x20\x19\x06", "\x15\x10\x20\x30"),
                                               QByteArray(16, '\x11'))}}))})
        << nothing;
    QTest::newRow("more entries counted than the payload holds")
        << transportStream({frame(
               seiUnit({{5, mdpmUuid + "MDPM\x04" + QByteArray::fromHex("18042019061915")}}))})
        << nothing;
    QTest::newRow("SEI payload size beyond its unit")
        << transportStream({frame(QByteArray::fromHex("000001060580") + mdpmUuid + "MDPM")})
        << nothing;
    QTest::newRow("no H.264 stream, only MPEG-2 video")
        << transportStream({frame(juneSei(0x04))}, 188, 0x02) << nothing;
    QTest::newRow("not a transport stream") << frame(juneSei(0x04)) << nothing;
    QTest::newRow("empty file") << QByteArray() << nothing;
}

void CameraRecordTest::readsRecordedDate()
{
    QFETCH(QByteArray, clip);
    QFETCH(QDateTime, expected);

    const std::optional<QDateTime> read = readExactly(clip).recorded;
    QCOMPARE(read.value_or(QDateTime()), expected);
    if (read)
        QCOMPARE(read->timeSpec(), Qt::UTC);

    // From a file: read in pieces, stopping at the date.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("00001.MTS")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(clip) == clip.size());
    file.close();
    QCOMPARE(cameraRecordOfFile(file.fileName()).recorded.value_or(QDateTime()), expected);
}

void CameraRecordTest::readsCameraFacts_data()
{
    QTest::addColumn<QByteArray>("clip");
    QTest::addColumn<QByteArray>("timeZone"); // this computer's; empty: three hours east of UTC
    QTest::addColumn<QStringList>("tags");    // what the MP4 gets

    const auto clip = [](const QByteArray &more) {
        return transportStream({frame(juneSei(0x04, more))}, 192);
    };
    const QString utcPlus2 = juneDate("+0200");
    const QString model = QStringLiteral("com.apple.quicktime.model=");

    QTest::newRow("Paris, Sony with its model")
        << clip(paris + makerEntries(0x0108, "HDR-CX405")) << QByteArray()
        << QStringList{place("+48.8577+002.2950+035.000/"), sony, model + "HDR-CX405", utcPlus2};
    QTest::newRow("Rio, no altitude") << clip(gpsEntries(-22.9519, -43.2105)) << QByteArray()
                                      << QStringList{place("-22.9519-043.2105/"), utcPlus2};
    QTest::newRow("Sydney") << clip(gpsEntries(-33.8568, 151.2153, 58)) << QByteArray()
                            << QStringList{place("-33.8568+151.2153+058.000/"), utcPlus2};
    QTest::newRow("Anchorage") << clip(gpsEntries(61.2181, -149.9003, 31.5)) << QByteArray()
                               << QStringList{place("+61.2181-149.9003+031.500/"), utcPlus2};
    QTest::newRow("below sea level") << clip(gpsEntries(31.5, 35.5, -430.5)) << QByteArray()
                                     << QStringList{place("+31.5000+035.5000-430.500/"), utcPlus2};
    QTest::newRow("void record before a valid one, 300 KiB on")
        << transportStream({frame(juneSei(0x04, gpsEntries(0, 0, 0, 'V')), 300 * 1024),
                            frame(juneSei(0x2B, paris))},
                           192)
        << QByteArray() << QStringList{place("+48.8577+002.2950+035.000/"), utcPlus2};
    // The last place known, reported without a fix: not where the clip was shot.
    QTest::newRow("only void records")
        << transportStream({frame(juneSei(0x04, gpsEntries(48.8577, 2.2950, 35, 'V'))),
                            frame(juneSei(0x04, gpsEntries(0, 0, 0, 'V')))})
        << QByteArray() << QStringList{utcPlus2};
    QTest::newRow("0,0 measured") << clip(gpsEntries(0, 0)) << QByteArray()
                                  << QStringList{utcPlus2};
    QTest::newRow("Panasonic: its entries there are no model name")
        << clip(makerEntries(0x0103, "DMC-TZ100")) << QByteArray()
        << QStringList{"com.apple.quicktime.make=Panasonic", utcPlus2};
    QTest::newRow("unknown maker")
        << clip(makerEntries(0x7777, "HDR-CX405")) << QByteArray() << QStringList{utcPlus2};
    QTest::newRow("model filling its 12 bytes, trailing blanks")
        << clip(makerEntries(0x0108, "FDR-AX700   ")) << QByteArray()
        << QStringList{sony, model + "FDR-AX700", utcPlus2};
    QTest::newRow("model of 12 letters, no NUL")
        << clip(makerEntries(0x0108, "HDR-CX405E12")) << QByteArray()
        << QStringList{sony, model + "HDR-CX405E12", utcPlus2};
    QTest::newRow("model with a control byte") << clip(makerEntries(0x0108, "HDR\x01"
                                                                            "CX405"))
                                               << QByteArray() << QStringList{sony, utcPlus2};
    QTest::newRow("model with a byte past ASCII") << clip(makerEntries(0x0108, "HDR-CX405\xe9"))
                                                  << QByteArray() << QStringList{sony, utcPlus2};
    QTest::newRow("model without its last entry")
        << clip(makerEntries(0x0108, "HDR-CX405").chopped(5)) << QByteArray()
        << QStringList{sony, utcPlus2};

    // Damaged positions give none.
    QTest::newRow("zero denominator") << clip(withEntry(paris, 0xb7, mdpmRational(17, 0)))
                                      << QByteArray() << QStringList{utcPlus2};
    QTest::newRow("zero denominator of the altitude")
        << clip(withEntry(paris, 0xba, mdpmRational(35, 0))) << QByteArray()
        << QStringList{utcPlus2};
    QTest::newRow("reference not a letter")
        << clip(withEntry(paris, 0xb1, "\x01")) << QByteArray() << QStringList{utcPlus2};
    QTest::newRow("60 minutes") << clip(withEntry(paris, 0xb3, mdpmRational(60, 1))) << QByteArray()
                                << QStringList{utcPlus2};
    QTest::newRow("60 seconds") << clip(withEntry(paris, 0xb8, mdpmRational(6000, 100)))
                                << QByteArray() << QStringList{utcPlus2};
    QTest::newRow("latitude beyond 90")
        << clip(gpsEntries(90.01, 2.2950)) << QByteArray() << QStringList{utcPlus2};
    QTest::newRow("longitude beyond 180")
        << clip(gpsEntries(48.8577, -180.01)) << QByteArray() << QStringList{utcPlus2};
    QTest::newRow("a tag again, out of order")
        << clip(paris.left(20) + mdpmEntry(0xb2, mdpmRational(12, 1)) + paris.mid(20))
        << QByteArray() << QStringList{utcPlus2};
    const QByteArray entries =
        mdpmEntries("\x04\x20\x19\x06", "\x15\x10\x20\x30", paris.left(8 * 5 - 2));
    QTest::newRow("entry cut off at the end of the SEI")
        << transportStream({frame(seiUnit({{5, mdpmUuid + "MDPM" + char(13) + entries}}))})
        << QByteArray() << QStringList{utcPlus2};

    // The local time with its offset.
    QTest::newRow("zone -5:30") << transportStream({frame(juneSei(0x2B))}) << QByteArray()
                                << QStringList{juneDate("-0530")};
    QTest::newRow("zone +15:30") << transportStream({frame(juneSei(0x1F))}) << QByteArray()
                                 << QStringList{juneDate("+1530")};
    QTest::newRow("zone -15:30 with summer time") << transportStream({frame(juneSei(0x7F))})
                                                  << QByteArray() << QStringList{juneDate("-1430")};
    QTest::newRow("no zone: this computer's offset")
        << transportStream({frame(juneSei(0xFF))}) << QByteArray()
        << QStringList{juneDate("+0300")};
    QTest::newRow("no zone, Berlin in summer")
        << transportStream({frame(juneSei(0xFF))}) << QByteArray("Europe/Berlin")
        << QStringList{juneDate("+0200")};
    // Wall times that summer time skips, which the camera's clock showed all the same.
    QTest::newRow("no zone, Berlin, the hour skipped")
        << transportStream({frame(dateSei("\xff\x20\x19\x03", QByteArray::fromHex("31023000")))})
        << QByteArray("Europe/Berlin")
        << QStringList{"com.apple.quicktime.creationdate=2019-03-31T02:30:00+0100"};
    QTest::newRow("no zone, Sao Paulo, the hour skipped")
        << transportStream({frame(dateSei("\xff\x20\x18\x11", QByteArray::fromHex("04003000")))})
        << QByteArray("America/Sao_Paulo")
        << QStringList{"com.apple.quicktime.creationdate=2018-11-04T00:30:00-0300"};

    QTest::newRow("no MDPM") << transportStream({frame({})}) << QByteArray() << QStringList();
}

void CameraRecordTest::readsCameraFacts()
{
    QFETCH(QByteArray, clip);
    QFETCH(QByteArray, timeZone);
    QFETCH(QStringList, tags);
#ifdef Q_OS_WIN
    if (timeZone.contains('/'))
        QSKIP("Windows' C library takes no zone names");
#endif
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("00001.MTS")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(clip) == clip.size());
    file.close();

    if (!timeZone.isEmpty())
        qputenv("TZ", timeZone);
    const QStringList read = tagsOf(readExactly(clip));
    const QStringList readFromFile = tagsOf(cameraRecordOfFile(file.fileName()));
    qputenv("TZ", "XYZ-3");
    QCOMPARE(read, tags);
    QCOMPARE(readFromFile, tags);
}

namespace {
// Each fact a damaged record gives is one an intact record could give.
QString saneOrWhy(const CameraRecord &read)
{
    if (read.recorded && (!read.recorded->isValid() || read.recorded->timeSpec() != Qt::UTC))
        return QStringLiteral("date");
    if (const std::optional<CameraPosition> &at = read.position) {
        if (std::abs(at->latitude) > 90 || std::abs(at->longitude) > 180 ||
            (at->latitude == 0 && at->longitude == 0))
            return QStringLiteral("position");
    }
    if (!read.make.isEmpty() &&
        !QStringList{"Sony", "Panasonic", "Canon", "JVC"}.contains(read.make))
        return QStringLiteral("make");
    if (read.model.size() > 12 || read.model.endsWith(QLatin1Char(' ')) ||
        std::any_of(read.model.cbegin(), read.model.cend(),
                    [](QChar c) { return c.unicode() < 0x20 || c.unicode() > 0x7e; }))
        return QStringLiteral("model");
    return QString();
}
} // namespace

void CameraRecordTest::damagedClipsReadSafely()
{
    const QByteArray straddling =
        unit(9, 1) + unit(12, 120) + juneSei(0x04, paris + makerEntries(0x0108, "HDR-CX405"));
    for (const int packetSize : {188, 192}) {
        const QByteArray clip = transportStream({straddling + unit(5, 300)}, packetSize);
        const QStringList expected = tagsOf(readExactly(clip));
        QCOMPARE(expected.size(), 4);
        // The end of the MDPM payload, its escapes included, and some.
        const qsizetype recordEnd = clip.indexOf("MDPM") + 140;
        for (qsizetype size = 0; size <= clip.size(); ++size) {
            const QStringList read = tagsOf(readExactly(clip.left(size)));
            const QString where = QString::number(size) + QLatin1Char(' ') + read.join(' ');
            // Whole packets up to the end of the record's entries are enough.
            if (size >= recordEnd + packetSize)
                QVERIFY2(read == expected, qPrintable(where));
            else
                QVERIFY2(std::all_of(read.cbegin(), read.cend(),
                                     [&](const QString &tag) { return expected.contains(tag); }),
                         qPrintable(where));
        }
        for (qsizetype at = 0; at < clip.size(); ++at) {
            for (const char flip : {'\x01', '\x80', '\xff'}) {
                QByteArray damaged = clip;
                damaged[at] = char(damaged[at] ^ flip);
                const QString why = saneOrWhy(readExactly(damaged));
                QVERIFY2(why.isEmpty(), qPrintable(QString::number(at) + QLatin1Char(' ') + why));
            }
        }
    }
    QVERIFY(tagsOf(cameraRecordOfFile(QStringLiteral("/nonexistent/00001.MTS"))).isEmpty());
#ifdef Q_OS_UNIX
    // Opening a named pipe for reading would wait for a writer forever.
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("00001.MTS"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QVERIFY(tagsOf(cameraRecordOfFile(pipe)).isEmpty());
#endif
}

TESSEL_TEST(CameraRecordTest)
#include "tst_camerarecord.moc"
