// The recording date read from the H.264 stream of a transport stream the
// test builds packet by packet. Every read goes through a buffer of exactly
// the clip's size, so the sanitizer build catches a read past the data.
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "conversion/recordeddate.h"
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

std::optional<QDateTime> readExactly(const QByteArray &clip)
{
    const std::unique_ptr<char[]> bytes(new char[size_t(std::max<qsizetype>(clip.size(), 1))]);
    std::copy(clip.cbegin(), clip.cend(), bytes.get());
    return recordedDate(QByteArrayView(bytes.get(), clip.size()));
}

QDateTime utc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

const QDateTime nothing;
} // namespace

class RecordedDateTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsRecordedDate_data();
    void readsRecordedDate();
    void damagedClipsReadSafely();
};

void RecordedDateTest::initTestCase()
{
    // A computer three hours east of UTC without summer time, for a camera
    // that recorded no zone: glibc takes the rule from the name alone.
    qputenv("TZ", "XYZ-3");
}

void RecordedDateTest::readsRecordedDate_data()
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
    QTest::newRow("zone beyond 14 hours") << transportStream({frame(juneSei(0x1F))}) << nothing;
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

void RecordedDateTest::readsRecordedDate()
{
    QFETCH(QByteArray, clip);
    QFETCH(QDateTime, expected);

    const std::optional<QDateTime> read = readExactly(clip);
    QCOMPARE(read.value_or(QDateTime()), expected);
    if (read)
        QCOMPARE(read->timeSpec(), Qt::UTC);

    // From a file: read in pieces, stopping at the date.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("00001.MTS")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(clip) == clip.size());
    file.close();
    QCOMPARE(recordedDateOfFile(file.fileName()).value_or(QDateTime()), expected);
}

void RecordedDateTest::damagedClipsReadSafely()
{
    const QByteArray straddling = unit(9, 1) + unit(12, 120) + juneSei(0x04);
    const QDateTime expected = utc(2019, 6, 15, 8, 20, 30);
    for (const int packetSize : {188, 192}) {
        const QByteArray clip = transportStream({straddling + unit(5, 300)}, packetSize);
        // The end of the MDPM payload, its escapes included, and some.
        const qsizetype dateEnd = clip.indexOf("MDPM") + 40;
        for (qsizetype size = 0; size <= clip.size(); ++size) {
            const std::optional<QDateTime> read = readExactly(clip.left(size));
            // Whole packets up to the end of the date's entries are enough.
            if (size >= dateEnd + packetSize)
                QVERIFY2(read == expected, qPrintable(QString::number(size)));
            else
                QVERIFY2(!read || *read == expected, qPrintable(QString::number(size)));
        }
        for (qsizetype at = 0; at < clip.size(); ++at) {
            for (const char flip : {'\x01', '\x80', '\xff'}) {
                QByteArray damaged = clip;
                damaged[at] = char(damaged[at] ^ flip);
                const std::optional<QDateTime> read = readExactly(damaged);
                QVERIFY2(!read || (read->isValid() && read->timeSpec() == Qt::UTC),
                         qPrintable(QString::number(at)));
            }
        }
    }
    QVERIFY(!recordedDateOfFile(QStringLiteral("/nonexistent/00001.MTS")));
#ifdef Q_OS_UNIX
    // Opening a named pipe for reading would wait for a writer forever.
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("00001.MTS"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QVERIFY(!recordedDateOfFile(pipe));
#endif
}

TESSEL_TEST(RecordedDateTest)
#include "tst_recordeddate.moc"
