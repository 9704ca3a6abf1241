// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/folderscan.h"
#include "folder/folderfixture.h"
#include "mainwindow/tesselmainwindow.h"
#include "support/isolatedsettings.h"
#include "support/modalwatcher.h"
#include "support/otheruser.h"
#include "support/testregistry.h"
#include "support/windowdriver.h"
#include "support/workingfolder.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// Plays the user at Browse: picks `pick` in the folder dialog by typing it and
// pressing Choose, or cancels the dialog when `pick` is empty; reads every
// warning box and presses its OK.
class User
{
public:
    User(WindowUnderTest &ui, QString pick) : ui(ui), pick(std::move(pick)) {}

    QStringList dialogs; // each "caption|start folder|options|mode|parent|modality|rows"
    QStringList boxes;   // each box's summary()
    QString problem;     // set when the dialog could not be driven

private:
    void answer(QWidget *modal)
    {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes << ModalWatcher::describe(box).summary();
            box->buttons().value(0)->click();
            return;
        }
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            problem = QStringLiteral("unexpected modal widget ") + modal->metaObject()->className();
            modal->close();
            return;
        }
        dialogs << dialog->windowTitle() + QLatin1Char('|') + dialog->directory().absolutePath() +
                       (dialog->options() == QFileDialog::ShowDirsOnly ? "|folders only"
                                                                       : "|other options") +
                       (dialog->fileMode() == QFileDialog::Directory ? "|folder mode"
                                                                     : "|other mode") +
                       (dialog->parentWidget() == &ui.window ? "|window" : "|other parent") +
                       (dialog->isModal() ? "|modal" : "|modeless") +
                       QStringLiteral("|%1 rows").arg(ui.list->count());

        auto *buttons = dialog->findChild<QDialogButtonBox *>("buttonBox");
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        if (!buttons || !name) {
            problem = QStringLiteral("the folder dialog has no name field or buttons");
            dialog->reject();
            return;
        }
        if (pick.isEmpty()) {
            buttons->button(QDialogButtonBox::Cancel)->click();
            return;
        }
        name->setText(pick);
        QPushButton *choose = buttons->button(QDialogButtonBox::Open);
        if (!choose || !choose->isEnabled()) {
            problem = QStringLiteral("Choose is not available for ") + pick;
            dialog->reject();
            return;
        }
        choose->click();
    }

    WindowUnderTest &ui;
    const QString pick;
    ModalWatcher watcher{[this](QWidget *modal) {
        answer(modal);
    }};
};

static QString noClipsText(const QString &folder)
{
    return QStringLiteral("Directory ") + folder +
           QStringLiteral(" don't have mts or m2ts videos files.");
}

static QString unreadableText(const QString &folder)
{
    return QStringLiteral("Directory ") + folder + QStringLiteral(" cannot be read.");
}

// Set in the copy of this test that runs as an ordinary user: the folder to
// browse.
static const char asUserFolderVariable[] = "TESSEL_TEST_UNREADABLE_FOLDER";

static const QString missingText = QStringLiteral("Directory do not exists.");

class tst_Browse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void outcomes_data();
    void outcomes();
    void unreadableFolder_data();
    void unreadableFolder();

private:
    QString expand(QString text) const;

    IsolatedSettings settings;
    QTemporaryDir home;
    WorkingFolder area;
    QString desktop;
    QStringList tenThousand; // the clips of {ten thousand}, in order
};

void tst_Browse::initTestCase()
{
    QVERIFY(home.isValid());
    QVERIFY(area.isValid());
    // The desktop folder, where the dialog opens when nothing is stored, is
    // made in a private home.
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
    desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    QVERIFY2(desktop.startsWith(home.path()), qPrintable(desktop));
    QVERIFY(QDir().mkpath(desktop));

    QVERIFY(makeEntries(area.filePath("clips"), {"b.m2ts", "a.mts", "notes.txt"}));
    QVERIFY(makeEntries(area.filePath("no clips"), {"notes.txt", "clip.mp4", "sub/c.mts"}));
    QVERIFY(makeEntries(area.filePath("lookalikes"), {".y.mts", "clip.mts.bak"}));
    QVERIFY(makeEntries(area.filePath("other"), {"z.mts"}));
    QVERIFY(makeEntries(area.filePath("Trip #1 50% ü 日本"), {"b.m2ts", "a.mts"}));
    tenThousand = makeTenThousandEntries(area.filePath("ten thousand"));
    QCOMPARE(tenThousand.size(), 5000);
    // Past the file system's timestamp granularity, so a write would show.
    QTest::qSleep(20);
}

void tst_Browse::init()
{
    settings.clear();
    QVERIFY(area.enter()); // relative paths in the field start there
}

// {area}, {desktop} and {<name>} for each folder made in initTestCase (and
// {missing}) stand for the test's folders.
QString tst_Browse::expand(QString text) const
{
    for (const char *name : {"clips", "no clips", "other", "missing", "lookalikes", "ten thousand",
                             "Trip #1 50% ü 日本"})
        text.replace(QStringLiteral("{%1}").arg(QString::fromUtf8(name)),
                     area.filePath(QString::fromUtf8(name)));
    text.replace(QStringLiteral("{desktop}"), desktop);
    return text.replace(QStringLiteral("{area}"), area.path());
}

static QStringList warningBox(const QString &text)
{
    return text.isEmpty() ? QStringList() : QStringList{warningOverWindow(text)};
}

// Each way a Browse can end: where the dialog opened, what the list, the field
// and the stored folder hold afterwards, and which warning was shown.
void tst_Browse::outcomes_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("pick");
    QTest::addColumn<QString>("startFolder"); // the typed folder plays no part
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("fieldAfter");
    QTest::addColumn<QString>("storedAfter");
    QTest::addColumn<QString>("warning");

    const QStringList clips{"a.mts", "b.m2ts"};
    const QStringList none;
    const QString odd = QStringLiteral("{Trip #1 50% ü 日本}");
    // clang-format off
    //     stored       field           pick            start          rows     fieldAfter      storedAfter     warning
    QTest::newRow("picked, clips")
        << ""        << ""           << "{clips}"    << "{desktop}" << clips << "{clips}"    << "{clips}"    << "";
    QTest::newRow("picked, clips, over another folder")
        << "{other}" << "{other}"    << "{clips}"    << "{other}"   << clips << "{clips}"    << "{clips}"    << "";
    QTest::newRow("picked, name with # % and non-ASCII letters")
        << "{other}" << ""           << odd          << "{other}"   << clips << odd          << odd          << "";
    QTest::newRow("picked, 10,000 entries")
        << ""        << ""           << "{ten thousand}" << "{desktop}" << tenThousand << "{ten thousand}" << "{ten thousand}" << "";
    QTest::newRow("picked, no clips")
        << "{other}" << "{clips}"    << "{no clips}" << "{other}"   << none  << "{no clips}" << "{no clips}" << noClipsText("{no clips}");
    QTest::newRow("cancelled, field has clips")
        << "{other}" << "{clips}"    << ""           << "{other}"   << clips << "{clips}"    << "{other}"    << "";
    QTest::newRow("cancelled, nothing stored, field has clips")
        << ""        << "{clips}"    << ""           << "{desktop}" << clips << "{clips}"    << ""           << "";
    QTest::newRow("cancelled, field has no clips")
        << "{other}" << "{no clips}" << ""           << "{other}"   << none  << "{no clips}" << "{other}"    << noClipsText("{no clips}");
    QTest::newRow("cancelled, field empty, first start")
        << ""        << ""           << ""           << "{desktop}" << none  << ""           << ""           << missingText;
    QTest::newRow("cancelled, field names nothing")
        << "{other}" << "{missing}"  << ""           << "{other}"   << none  << "{missing}"  << "{other}"    << missingText;
    // What the window makes of the field as it stands (the working folder is
    // {area}); how names are picked is tst_folderscan's.
    const auto typed = [](const char *name, const QString &field, const QStringList &rows,
                          const QString &warning) {
        QTest::newRow(name) << "{other}" << field << "" << "{other}" << rows << field << "{other}"
                            << warning;
    };
    typed("only hidden and lookalikes", "{lookalikes}", none, noClipsText("{lookalikes}"));
    typed("field names a file", "{clips}/a.mts", none, noClipsText("{clips}/a.mts"));
    typed("field of blanks", "   ", none, missingText);
    typed("blanks around the folder not trimmed", " {clips} ", none, missingText);
    typed("relative path", "Trip #1 50% ü 日本", clips, "");
    typed("relative path without clips", "no clips", none, noClipsText("no clips"));
    typed("trailing slash", "{clips}/", clips, "");
    typed("doubled slashes", "{area}//clips//", clips, "");
    typed("dot segments", "./clips/../Trip #1 50% ü 日本", clips, "");
    typed("trailing slash, no clips: text as written", "{no clips}/", none,
          noClipsText("{no clips}/"));
    // clang-format on
}

void tst_Browse::outcomes()
{
    QFETCH(QString, stored);
    QFETCH(QString, field);
    QFETCH(QString, pick);
    QFETCH(QString, startFolder);
    QFETCH(QStringList, rows);
    QFETCH(QString, fieldAfter);
    QFETCH(QString, storedAfter);
    QFETCH(QString, warning);

    if (!stored.isEmpty())
        settings.storeFolder(expand(stored));
    WindowUnderTest ui;
    ui.folderField->setText(expand(field));
    // Rows of an earlier scan: gone whatever the outcome.
    ui.list->addItems({"earlier.mts", "older.m2ts"});

    // Browsing only reads: not a byte, folder or timestamp changes.
    const QStringList before = folderSnapshot(area.path());
    User user(ui, expand(pick));
    ui.browseButton->click();
    QCOMPARE(folderSnapshot(area.path()), before);

    QVERIFY2(user.problem.isEmpty(), qPrintable(user.problem));
    QCOMPARE(user.dialogs,
             QStringList{QStringLiteral("Select Direcotory|") + expand(startFolder) +
                         QStringLiteral("|folders only|folder mode|window|modal|0 rows")});
    QCOMPARE(ui.rowTexts(), rows);
    QCOMPARE(ui.folderField->text(), expand(fieldAfter));
    QCOMPARE(settings.storedFolder().toString(), expand(storedAfter));
    QCOMPARE(user.boxes, warningBox(expand(warning)));

    // The rows are the bare names: no colour, icon, check state, data or type of their own.
    const QListWidgetItem plain;
    for (int row = 0; row < ui.list->count(); ++row) {
        const QListWidgetItem *item = ui.list->item(row);
        QCOMPARE(item->type(), int(QListWidgetItem::Type));
        QCOMPARE(item->flags(), plain.flags());
        QCOMPARE(item->background(), plain.background());
        QCOMPARE(item->foreground(), plain.foreground());
        QVERIFY(item->icon().isNull());
        QVERIFY(!item->data(Qt::CheckStateRole).isValid());
        QVERIFY(!item->data(Qt::UserRole).isValid());
    }
}

// A folder that exists but that the user may not list is not one without
// clips. The copy of this test that runs as "nobody" does the user's part.
void tst_Browse::unreadableFolder_data()
{
    QTest::addColumn<QFileDevice::Permissions>("others");

    QTest::newRow("no read permission") << QFileDevice::Permissions(QFileDevice::ExeOther);
    QTest::newRow("no execute permission") << QFileDevice::Permissions(QFileDevice::ReadOther);
}

void tst_Browse::unreadableFolder()
{
    QFETCH(QFileDevice::Permissions, others);

    const QString given = qEnvironmentVariable(asUserFolderVariable);
    if (!given.isEmpty()) {
        QVERIFY2(::geteuid() != 0, "the copy meant to run as an ordinary user runs as root");
        // The folder really is closed to this user: without read permission
        // the listing finds nothing; without execute it finds the names, but
        // no clip can be opened.
        QFile clip(given + QStringLiteral("/a.mts"));
        QVERIFY(listVideoFiles(given).isEmpty() || !clip.open(QIODevice::ReadOnly));
        WindowUnderTest ui;
        ui.folderField->setText(given);
        User user(ui, QString());
        ui.browseButton->click();
        QVERIFY2(user.problem.isEmpty(), qPrintable(user.problem));
        QCOMPARE(ui.rowTexts(), QStringList{});
        QCOMPARE(user.boxes, warningBox(unreadableText(given)));
        // Process says the same, and starts nothing.
        ui.processButton->click();
        QCOMPARE(user.boxes, warningBox(unreadableText(given)) + warningBox(unreadableText(given)));
        QCOMPARE(ui.rowTexts(), QStringList{});
        return;
    }
    const OtherUser nobody;
    if (!nobody.unavailable().isEmpty())
        QSKIP(qPrintable(nobody.unavailable()));
    const QString folder = nobody.filePath(QStringLiteral("Trip #1"));
    QVERIFY(makeEntries(folder, {"a.mts", "b.m2ts"}));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | others));
    QString output;
    QVERIFY2(
        nobody.runCurrentTest(QStringLiteral("tst_browse"), asUserFolderVariable, folder, &output),
        qPrintable(output));
}

TESSEL_TEST(tst_Browse)
#include "tst_browse.moc"
