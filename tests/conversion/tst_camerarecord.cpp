// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// What the camera recorded (date, place, make and model), read from transport streams the test
// builds packet by packet, or from MDPM payloads alone. Every read goes through a buffer of
// exactly the data's size, so the sanitizer build catches a read past it.
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "conversion/camerarecord.h"
#include "conversion/encodercommand.h"
#include "conversion/mdpm.h"
#include "conversion/runfolder.h"
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

// A clip, or an MDPM payload alone (its UUID first).
CameraRecord readExactly(const QByteArray &input)
{
    const std::unique_ptr<char[]> bytes(new char[size_t(std::max<qsizetype>(input.size(), 1))]);
    std::copy(input.cbegin(), input.cend(), bytes.get());
    const QByteArrayView exact(bytes.get(), input.size());
    return input.startsWith(mdpmUuid) ? readMdpm(exact).value_or(MdpmRecord()).camera
                                      : readCameraRecord(exact);
}

// The keys `camera` gives the MP4, short: "make=Sony creationdate=...".
QString tagsOf(const CameraRecord &camera)
{
    QString arguments = cameraMetadataArguments(camera).join(' ');
    if (!arguments.isEmpty() && !arguments.startsWith("-movflags use_metadata_tags "))
        return "without use_metadata_tags: " + arguments;
    return arguments.remove("-movflags use_metadata_tags ")
        .remove("-metadata com.apple.quicktime.");
}

// `entries` with the 4 data bytes of the entry at `tag` replaced.
QByteArray withEntry(QByteArray entries, uchar tag, const QByteArray &data)
{
    for (qsizetype at = 0; at < entries.size(); at += 5) {
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
        << transportStream(
               {frame(seiUnit({{5, mdpmPayload(mdpmEntries("\x04\x20\x19\x06",
                                                           QByteArray("\x15\x00\x00\x02", 4)))}}))})
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
    // Sections too short even for their checksum, before the whole ones.
    QByteArray shortTables = transportStream({frame(juneSei(0x04))});
    shortTables.insert(188, packets(pmtPid, QByteArray::fromHex("0002b000")));
    QTest::newRow("tables too short for their checksum")
        << packets(patPid, QByteArray::fromHex("0000b000")) + shortTables
        << utc(2019, 6, 15, 8, 20, 30);
    QTest::newRow("first MDPM beyond 4 MiB")
        << transportStream({frame({}, 4 * 1024 * 1024), frame(juneSei(0x04))}) << nothing;

    QTest::newRow("MDPM absent: user data under another UUID")
        << transportStream(
               {frame(seiUnit({{5, mdpmPayload(mdpmEntries("\x04\x20\x19\x06", "\x15\x10\x20\x30"),
                                               QByteArray(16, '\x11'))}}))})
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
    QCOMPARE(cameraRecordOfClip(RunFolder(dir.path()), "00001.MTS").recorded.value_or(QDateTime()),
             expected);
}

void CameraRecordTest::readsCameraFacts_data()
{
    QTest::addColumn<QByteArray>("input");    // an MDPM payload, or a clip of several records
    QTest::addColumn<QByteArray>("timeZone"); // this computer's; empty: three hours east of UTC
    QTest::addColumn<QString>("tags");

    // A payload recorded June 15, 2019 10:20:30 on the camera's clock, in the
    // zone the byte `zone` names, with `more`.
    const auto row = [](const char *name, const QByteArray &more, const QString &tags,
                        uchar zone = 0x04, const QString &offset = "+0200") {
        QTest::newRow(name) << mdpmPayload(mdpmEntries(char(zone) + QByteArray::fromHex("201906"),
                                                       QByteArray::fromHex("15102030"), more))
                            << QByteArray()
                            << (tags + " creationdate=2019-06-15T10:20:30" + offset).trimmed();
    };
    row("zone +1 with summer time is UTC+2", {}, "", 0x42);
    row("zone -5 with summer time is UTC-4", {}, "", 0x6A, "-0400");
    row("no zone: this computer's local time", {}, "", 0xFF, "+0300");
    // The zone byte goes to 15:30; with summer time that is 16:30 east, 14:30 west.
    row("zone +15:30", {}, "", 0x1F, "+1530");
    row("zone +15:30 with summer time", {}, "", 0x5F, "+1630");
    row("zone -15:30 with summer time", {}, "", 0x7F, "-1430");
    // Out of order, the record gives no place or camera, but its date checks itself.
    QTest::newRow("date entries out of order")
        << mdpmPayload(mdpmEntry(0x19, "\x15\x10\x20\x30") + mdpmEntry(0x18, "\x04\x20\x19\x06"))
        << QByteArray() << "creationdate=2019-06-15T10:20:30+0200";
    QTest::newRow("bad BCD digit")
        << mdpmPayload(mdpmEntries("\x04\x20\x19\x06", "\x15\x10\x2A\x30")) << QByteArray() << "";
    QTest::newRow("month 13") << mdpmPayload(mdpmEntries("\x04\x20\x19\x13", "\x15\x10\x20\x30"))
                              << QByteArray() << "";
    QTest::newRow("more entries counted than the payload holds")
        << mdpmUuid + "MDPM\x04" + QByteArray::fromHex("18042019061915") << QByteArray() << "";
    const QString atParis = "location.ISO6709=+48.8577+002.2950+035.000/";
    row("Paris, Sony with a model", paris + makerEntries(0x0108, "HDR-CX405"),
        atParis + " make=Sony model=HDR-CX405");
    row("Rio, no altitude", gpsEntries(-22.9519, -43.2105), "location.ISO6709=-22.9519-043.2105/");
    row("altitude's denominator 0: the place without it",
        withEntry(paris, 0xba, mdpmRational(350, 0)), "location.ISO6709=+48.8577+002.2950/");
    row("Sydney", gpsEntries(-33.8568, 151.2153, 58),
        "location.ISO6709=-33.8568+151.2153+058.000/");
    row("Anchorage", gpsEntries(61.2181, -149.9003, 31.5),
        "location.ISO6709=+61.2181-149.9003+031.500/");
    row("below sea level", gpsEntries(31.5, 35.5, -430.5),
        "location.ISO6709=+31.5000+035.5000-430.500/");
    row("Panasonic: no model", makerEntries(0x0103, "DMC-TZ100"), "make=Panasonic");
    row("model without its NUL padding", makerEntries(0x0108, "HDR-CX405E12"), "make=Sony");
    row("model with trailing blanks", makerEntries(0x0108, "FDR-AX700  "),
        "make=Sony model=FDR-AX700");
    row("model past ASCII", makerEntries(0x0108, "HDR-CX405\xe9"), "make=Sony");
    // The last place known, reported without a fix: not where the clip was shot.
    row("void record", gpsEntries(48.8577, 2.2950, 35, 'V'), "");
    row("0,0 measured", gpsEntries(0, 0), "");
    row("zero denominator", withEntry(paris, 0xb7, mdpmRational(17, 0)), "");
    row("reference not a letter", withEntry(paris, 0xb1, "\x01"), "");
    row("60 minutes", withEntry(paris, 0xb3, mdpmRational(60, 1)), "");
    row("longitude beyond 180", gpsEntries(48.8577, -180.01), "");
    row("a tag again, out of order",
        paris.left(20) + mdpmEntry(0xb2, mdpmRational(12, 1)) + paris.mid(20), "");
    QTest::newRow("entry cut off at the end of the payload")
        << mdpmUuid + "MDPM" + char(13) +
               mdpmEntries("\x04\x20\x19\x06", "\x15\x10\x20\x30", paris.left(38))
        << QByteArray() << "creationdate=2019-06-15T10:20:30+0200";
    QTest::newRow("void record before a valid one, 300 KiB on")
        << transportStream({frame(juneSei(0x2B, gpsEntries(0, 0, 0, 'V')), 300 * 1024),
                            frame(juneSei(0x04, paris))})
        << QByteArray() << atParis + " creationdate=2019-06-15T10:20:30-0530";

    // No zone recorded: this computer's offset, also in the hour summer time skips.
    QTest::newRow("no zone, Berlin, the hour skipped")
        << mdpmPayload(mdpmEntries("\xff\x20\x19\x03", QByteArray::fromHex("31023000")))
        << QByteArray("Europe/Berlin") << "creationdate=2019-03-31T02:30:00+0100";
    QTest::newRow("no zone, Sao Paulo, the hour skipped")
        << mdpmPayload(mdpmEntries("\xff\x20\x18\x11", QByteArray::fromHex("04003000")))
        << QByteArray("America/Sao_Paulo") << "creationdate=2018-11-04T00:30:00-0300";
    QTest::newRow("no MDPM") << transportStream({frame({})}) << QByteArray() << QString();
}

void CameraRecordTest::readsCameraFacts()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, timeZone);
    QFETCH(QString, tags);
#ifdef Q_OS_WIN
    if (timeZone.contains('/'))
        QSKIP("Windows' C library takes no zone names");
#endif
    if (!timeZone.isEmpty())
        qputenv("TZ", timeZone);
    const QString read = tagsOf(readExactly(input));
    qputenv("TZ", "XYZ-3");
    QCOMPARE(read, tags);
}

namespace {
// What a damaged record gives is still what an intact one could give.
bool plausible(const CameraRecord &read)
{
    const std::optional<CameraPosition> &at = read.position;
    return (!read.recorded || (read.recorded->isValid() && read.recorded->timeSpec() == Qt::UTC)) &&
           (!at || (std::abs(at->latitude) <= 90 && std::abs(at->longitude) <= 180 &&
                    (at->latitude != 0 || at->longitude != 0))) &&
           QRegularExpression("^([ -~]*[!-~])?$").match(read.model).hasMatch();
}
} // namespace

void CameraRecordTest::damagedClipsReadSafely()
{
    const QByteArray straddling =
        unit(9, 1) + unit(12, 120) + juneSei(0x04, paris + makerEntries(0x0108, "HDR-CX405"));
    for (const int packetSize : {188, 192}) {
        const QByteArray clip = transportStream({straddling + unit(5, 300)}, packetSize);
        const QStringList expected = tagsOf(readExactly(clip)).split(' ');
        QCOMPARE(expected.size(), 4);
        // The end of the MDPM payload, its escapes included, and some.
        const qsizetype recordEnd = clip.indexOf("MDPM") + 140;
        for (qsizetype size = 0; size <= clip.size(); ++size) {
            const QStringList read =
                tagsOf(readExactly(clip.left(size))).split(' ', Qt::SkipEmptyParts);
            const QString where = QString::number(size) + QLatin1Char(' ') + read.join(' ');
            // Whole packets up to the end of the record's entries are enough.
            QVERIFY2(size < recordEnd + packetSize
                         ? std::all_of(read.cbegin(), read.cend(),
                                       [&](const QString &tag) { return expected.contains(tag); })
                         : read == expected,
                     qPrintable(where));
        }
        for (qsizetype at = 0; at < clip.size(); ++at) {
            for (const char flip : {'\x01', '\x80', '\xff'}) {
                QByteArray damaged = clip;
                damaged[at] = char(damaged[at] ^ flip);
                QVERIFY2(plausible(readExactly(damaged)), qPrintable(QString::number(at)));
            }
        }
    }
    QVERIFY(tagsOf(cameraRecordOfClip(RunFolder("/nonexistent"), "00001.MTS")).isEmpty());
#ifdef Q_OS_UNIX
    // Opening a named pipe for reading would wait for a writer forever, a
    // device may never answer: neither is read.
    QTemporaryDir dir;
    const RunFolder folder(dir.path());
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("00001.MTS")).constData(), 0600), 0);
    QVERIFY(QFile::link("/dev/zero", dir.filePath("00002.MTS")));
    QVERIFY(!folder.openForReading("00001.MTS") && !folder.openForReading("00002.MTS"));
#endif
}

TESSEL_TEST(CameraRecordTest)
#include "tst_camerarecord.moc"
