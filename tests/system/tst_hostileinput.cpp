// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// A folder full of hostile names and contents, converted by the real FFmpeg
// through the window in one run. Every entry must end honestly (a green row
// only for a real MP4, a red row with the encoder's reason otherwise), nothing
// outside the folder may be written, and every source must stay as it was.
#include "support/testregistry.h"
#include <QRegularExpression>
#include <QTest>

#include "support/isolatedsettings.h"
#include "system/systemtestkit.h"

#include <ftw.h>

namespace {
enum class Entry { Clip, TruncatedClip, TextFile, EmptyFile, SubFolder, LinkToClip, LinkToNowhere };
enum class Outcome { Converted, NotConverted, NotListed };
// What already stands where the MP4 goes.
enum class AtOutput { Nothing, LinkOutOfFolder, LinkToItsClip, Folder };
struct Hostile
{
    const char *row;
    QByteArray name; // as the file system holds it
    Entry entry;
    Outcome outcome;
    QString outputName; // where the MP4 goes, or would have gone
    AtOutput atOutput = AtOutput::Nothing;
};

QList<Hostile> hostileEntries()
{
    const QByteArray longName = QByteArray(246, 'A') + ".MTS";
    // U+023A lower-cases to U+2C65: two bytes of UTF-8 become three, so a name
    // that fits gives an output name that does not (255 bytes at most).
    const QString growing = QString(120, QChar(0x023A)) + QStringLiteral(".mts");
    const QString grown = QString(120, QChar(0x2C65)) + QStringLiteral(".mp4");
    return {
        {"spaces", "Day at the beach.MTS", Entry::Clip, Outcome::Converted, "day at the beach.mp4"},
        {"leading and trailing spaces", "  padded  .mts", Entry::Clip, Outcome::Converted,
         "  padded  .mp4"},
        {"single quote", "Bob's party.mts", Entry::Clip, Outcome::Converted, "bob's party.mp4"},
        {"double quotes", "say \"cheese\".mts", Entry::Clip, Outcome::Converted,
         "say \"cheese\".mp4"},
        {"dollar", "$HOME $(id).mts", Entry::Clip, Outcome::Converted, "$home $(id).mp4"},
        {"backticks", "`touch pwned`.mts", Entry::Clip, Outcome::Converted, "`touch pwned`.mp4"},
        {"semicolon", "clip; ls.mts", Entry::Clip, Outcome::Converted, "clip; ls.mp4"},
        {"ampersand", "Tom & Jerry.mts", Entry::Clip, Outcome::Converted, "tom & jerry.mp4"},
        {"pipe", "in|out.mts", Entry::Clip, Outcome::Converted, "in|out.mp4"},
        {"asterisk", "star*.mts", Entry::Clip, Outcome::Converted, "star*.mp4"},
        {"question mark", "what?.mts", Entry::Clip, Outcome::Converted, "what?.mp4"},
        {"hash", "#1 take.mts", Entry::Clip, Outcome::Converted, "#1 take.mp4"},
        {"percent, like a pattern", "100% %d %s.mts", Entry::Clip, Outcome::Converted,
         "100% %d %s.mp4"},
        {"colon, like a protocol", "concat:a|b.mts", Entry::Clip, Outcome::Converted,
         "concat:a|b.mp4"},
        {"backslash", "back\\slash.mts", Entry::Clip, Outcome::Converted, "back\\slash.mp4"},
        {"leading dash", "--help.mts", Entry::Clip, Outcome::Converted, "--help.mp4"},
        {"only an extension, hidden", ".mts", Entry::Clip, Outcome::NotListed, ".mp4"},
        {"only an extension after a dash", "-.MTS", Entry::Clip, Outcome::Converted, "-.mp4"},
        {"non-ASCII letters", "Ærøskøbing Über.MTS", Entry::Clip, Outcome::Converted,
         "ærøskøbing über.mp4"},
        {"emoji", "Party 🎉.mts", Entry::Clip, Outcome::Converted, "party 🎉.mp4"},
        {"newline", "first\nsecond.mts", Entry::Clip, Outcome::Converted, "first\nsecond.mp4"},
        {"250 bytes", longName, Entry::Clip, Outcome::Converted,
         QString(246, QLatin1Char('a')) + QStringLiteral(".mp4")},
        {"output name too long once lower-cased", growing.toUtf8(), Entry::Clip,
         Outcome::NotConverted, grown},
        // Qt lists no name that is not valid UTF-8 (an old card's Latin-1, say):
        // the program cannot see such a clip, so it must not touch it either.
        {"not valid UTF-8", "Caf\xe9.mts", Entry::Clip, Outcome::NotListed,
         QStringLiteral("caf\uFFFD.mp4")},
        {"link to a clip in another folder", "linked.mts", Entry::LinkToClip, Outcome::Converted,
         "linked.mp4"},
        {"link that points nowhere", "gone.mts", Entry::LinkToNowhere, Outcome::NotListed,
         "gone.mp4"},
        {"sub-folder named like a clip", "Folder.mts", Entry::SubFolder, Outcome::NotConverted,
         "folder.mp4"},
        {"empty file", "empty.mts", Entry::EmptyFile, Outcome::NotConverted, "empty.mp4"},
        // MPEG-TS survives a cut: FFmpeg keeps what is there, a real but shorter MP4.
        {"truncated clip", "cut short.m2ts", Entry::TruncatedClip, Outcome::Converted,
         "cut short.mp4"},
        {"text file named like a clip", "notes.m2ts", Entry::TextFile, Outcome::NotConverted,
         "notes.mp4"},
        // The MP4 replaces whatever has its name: a link there must not lead
        // the encoder to write outside the folder, or over the clip it reads.
        {"output name taken by a link out of the folder", "trap.mts", Entry::Clip,
         Outcome::Converted, "trap.mp4", AtOutput::LinkOutOfFolder},
        {"output name taken by a link to the clip itself", "Self.mts", Entry::Clip,
         Outcome::Converted, "self.mp4", AtOutput::LinkToItsClip},
        {"output name taken by a folder", "Taken.mts", Entry::Clip, Outcome::NotConverted,
         "taken.mp4", AtOutput::Folder},
    };
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class tst_HostileInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void eachEntryEndsHonestly_data();
    void eachEntryEndsHonestly();
    void runAsAWhole();

private:
    IsolatedSettings isolatedSettings;
    QTemporaryDir root;
    QString folder;
    QMap<QByteArray, QByteArray> folderBefore;
    QMap<QByteArray, QByteArray> outsideBefore;
    QList<Row> rows;
    QList<SeenBox> boxes;
};

void tst_HostileInput::initTestCase()
{
    QVERIFY(root.isValid());

    // The folder's own path is hostile too; the clip that a link reaches lies
    // in a sibling folder, and the run's working directory is the parent, so
    // a write that escapes the folder lands somewhere this test looks.
    const QString parent = root.filePath(QStringLiteral("-Reisen nach Åre"));
    folder = parent + QStringLiteral("/-Tag 1 – Über den Fjäll");
    const QString elsewhere = parent + QStringLiteral("/elsewhere");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QDir().mkpath(elsewhere));

    const QString linkTarget = elsewhere + QStringLiteral("/shot.MTS");
    QVERIFY2(makeClip(linkTarget, 1), "could not make a clip");
    QFile made(linkTarget);
    QVERIFY(made.open(QIODevice::ReadOnly));
    const QByteArray clipBytes = made.readAll();

    // A truncated clip is cut inside a transport packet, as an interrupted copy leaves it.
    const QMap<Entry, QByteArray> contents{
        {Entry::Clip, clipBytes},
        {Entry::TruncatedClip, clipBytes.left(clipBytes.size() / 2 + 7)},
        {Entry::TextFile, "Shopping list\n- film\n- batteries\n"},
        {Entry::EmptyFile, ""}};
    const QByteArray nativeFolder = folder.toUtf8();
    for (const Hostile &hostile : hostileEntries()) {
        const QByteArray path = nativeFolder + '/' + hostile.name;
        bool made = false;
        if (hostile.entry == Entry::SubFolder)
            made = ::mkdir(path.constData(), 0755) == 0;
        else if (hostile.entry == Entry::LinkToClip)
            made = ::symlink("../elsewhere/shot.MTS", path.constData()) == 0;
        else if (hostile.entry == Entry::LinkToNowhere)
            made = ::symlink("../elsewhere/missing.MTS", path.constData()) == 0;
        else
            made = writeFile(path, contents.value(hostile.entry));
        const QByteArray output = nativeFolder + '/' + hostile.outputName.toUtf8();
        if (hostile.atOutput == AtOutput::LinkOutOfFolder)
            made = made && writeFile(elsewhere.toUtf8() + "/precious.txt", "keep me\n") &&
                   ::symlink("../elsewhere/precious.txt", output.constData()) == 0;
        else if (hostile.atOutput == AtOutput::LinkToItsClip)
            made = made && ::symlink(hostile.name.constData(), output.constData()) == 0;
        else if (hostile.atOutput == AtOutput::Folder)
            made = made && ::mkdir(output.constData(), 0755) == 0 &&
                   writeFile(output + "/keep.txt", "keep me\n");
        QVERIFY2(made, hostile.row);
    }
    folderBefore = fingerprintTree(folder, QString());
    outsideBefore = fingerprintTree(root.path(), folder);

    WindowUnderTest ui;
    ui.window.setEncoderPath(ffmpegProgram);
    ui.folderField->setText(folder);
    ModalWatcher watcher;
    const QString workingDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(parent));
    const LoopRun run = pressProcess(ui, 90000);
    QDir::setCurrent(workingDirectory);
    QVERIFY2(!run.timedOut, "the run did not end within 90 s");

    rows = ui.rows();
    boxes = watcher.boxes;
}

void tst_HostileInput::cleanupTestCase()
{
    // Through raw byte paths: QTemporaryDir would leave behind what Qt cannot list.
    const auto removeEntry = [](const char *entry, const struct stat *, int, struct FTW *) {
        return ::remove(entry);
    };
    ::nftw(root.path().toUtf8().constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void tst_HostileInput::eachEntryEndsHonestly_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("outputName");

    for (const Hostile &hostile : hostileEntries())
        QTest::newRow(hostile.row) << hostile.name << hostile.outcome << hostile.outputName;
}

void tst_HostileInput::eachEntryEndsHonestly()
{
    QFETCH(QByteArray, name);
    QFETCH(Outcome, outcome);
    QFETCH(QString, outputName);

    // Names that are not UTF-8 show with replacement characters, as Qt decodes them.
    const QString shown = QString::fromUtf8(name);
    const QString convertedText = shown + QStringLiteral(" converted to ") + outputName;
    const QString failedPrefix = shown + QStringLiteral(" was not converted: ");
    QList<Row> mine;
    for (const Row &row : rows) {
        if (row.text == convertedText || row.text.startsWith(failedPrefix) ||
            row.text == QStringLiteral("Processing ") + shown)
            mine << row;
    }
    const QString output = folder + QLatin1Char('/') + outputName;

    switch (outcome) {
    case Outcome::Converted: {
        QVERIFY2(mine == (QList<Row>{{convertedText, lightGreen}}), qPrintable(rowsText(rows)));
        const QFileInfo info(output);
        QVERIFY2(info.isFile() && !info.isSymLink(), qPrintable(output + " is not a file"));
        QString why;
        QVERIFY2(isRealMp4(output, &why), qPrintable(why));
        break;
    }
    case Outcome::NotConverted: {
        QVERIFY2(mine.size() == 1, qPrintable(rowsText(rows)));
        QCOMPARE(mine[0].background, lightRed);
        const QString reason = mine[0].text.mid(failedPrefix.size());
        // In the encoder's own words, or why its MP4 could not take its name;
        // never with the folder's path in front.
        QVERIFY2(QRegularExpression(
                     QStringLiteral("^(Is a directory|Invalid data found when processing input|"
                                    "the MP4 could not be put in place: "
                                    "(File name too long|Is a directory))$"))
                     .match(reason)
                     .hasMatch(),
                 qPrintable(reason));
        break;
    }
    case Outcome::NotListed:
        QVERIFY2(mine.isEmpty(), qPrintable(rowsText(rows)));
        break;
    }
}

// The run as a whole: its count, and no file changed but the MP4s it made
// (each checked by eachEntryEndsHonestly): every source, and whatever stood at
// an output that was not converted, as it was.
void tst_HostileInput::runAsAWhole()
{
    int converted = 0;
    int failed = 0;
    QMap<QByteArray, QByteArray> before = folderBefore;
    QMap<QByteArray, QByteArray> after = fingerprintTree(folder, QString());
    for (const Hostile &hostile : hostileEntries()) {
        converted += hostile.outcome == Outcome::Converted;
        failed += hostile.outcome == Outcome::NotConverted;
        if (hostile.outcome == Outcome::Converted) {
            before.remove(folder.toUtf8() + '/' + hostile.outputName.toUtf8());
            after.remove(folder.toUtf8() + '/' + hostile.outputName.toUtf8());
        }
    }
    QVERIFY(converted > 1 && failed > 1);

    // One result row per listed entry: no announcement is left standing.
    QCOMPARE(rows.size(), converted + failed);
    for (const Row &row : rows)
        QVERIFY2(!row.text.startsWith(QLatin1String("Processing ")), qPrintable(row.text));
    const QString count = QStringLiteral("%1 files converted. %2 files failed.");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].summary(), warningOverWindow(count.arg(converted).arg(failed)));

    QVERIFY(folderBefore.size() > hostileEntries().size()); // the folder and every entry
    QVERIFY2(after == before, qPrintable(treeChanges(before, after)));

    // The root, the parent, the sibling and its two files.
    QVERIFY(outsideBefore.size() >= 5);
    const QMap<QByteArray, QByteArray> outsideAfter = fingerprintTree(root.path(), folder);
    QVERIFY2(outsideAfter == outsideBefore, qPrintable(treeChanges(outsideBefore, outsideAfter)));
}

TESSEL_TEST(tst_HostileInput)
#include "tst_hostileinput.moc"
