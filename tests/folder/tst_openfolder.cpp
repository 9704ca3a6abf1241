// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/openfolder.h"
#include "mainwindow/tesselmainwindow.h"
#include "support/isolatedsettings.h"
#include "support/modalwatcher.h"
#include "support/testregistry.h"
#include "support/urlcatcher.h"
#include "support/windowdriver.h"
#include "support/workingfolder.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class tst_OpenFolder : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void address_data();
    void address();

private:
    IsolatedSettings settings;
    WorkingFolder workingFolder;
    UrlCatcher browser{{QStringLiteral("file")}};
};

void tst_OpenFolder::init()
{
    settings.clear();
    browser.urls.clear();
    QVERIFY(workingFolder.enter()); // fails too when the folder could not be made
}

// The address for a folder text, and the path the file browser finds in it;
// {cwd} stands for the current directory. Open hands the address on, shows
// nothing and changes nothing: not the list, the field or the stored folder.
// The folder need not exist.
void tst_OpenFolder::address_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("path");

    // clang-format off
    QTest::newRow("absolute")
        << "/home/ann/Videos/Trip" << "file:///home/ann/Videos/Trip" << "/home/ann/Videos/Trip";
    QTest::newRow("blanks")
        << "/media/cam/My Trip" << "file:///media/cam/My%20Trip" << "/media/cam/My Trip";
    QTest::newRow("hash and percent") << "/v/#1 50%" << "file:///v/%231%2050%25" << "/v/#1 50%";
    QTest::newRow("question mark and quote")
        << "/v/what?'s \"this\"" << "file:///v/what%3F's%20%22this%22" << "/v/what?'s \"this\"";
    QTest::newRow("percent escape kept literal") << "/v/%41" << "file:///v/%2541" << "/v/%41";
    QTest::newRow("non-ASCII") << "/v/Ünïcødé 日本"
                               << "file:///v/%C3%9Cn%C3%AFc%C3%B8d%C3%A9%20%E6%97%A5%E6%9C%AC"
                               << "/v/Ünïcødé 日本";
    QTest::newRow("newline") << "/v/a\nb" << "file:///v/a%0Ab" << "/v/a\nb";
    QTest::newRow("leading dash") << "/-v" << "file:///-v" << "/-v";
    // The same folder: cleaned away.
    QTest::newRow("trailing slash") << "/v/Trip/" << "file:///v/Trip" << "/v/Trip";
    QTest::newRow("dot segments") << "/v/./old/../Trip" << "file:///v/Trip" << "/v/Trip";
    QTest::newRow("root") << "/" << "file:///" << "/";
    QTest::newRow("doubled leading slashes, no network host")
        << "//v/Trip" << "file:///v/Trip" << "/v/Trip";
    const QString drivePath = QStringLiteral("/C:/Video/Trip");
    QTest::newRow("Windows drive") << "C:/Video/Trip" << "file:///C:/Video/Trip" << drivePath;
    QTest::newRow("Windows drive, backslashes")
        << "C:\\Video\\Trip" << "file:///C:/Video/Trip" << drivePath;
    QTest::newRow("empty") << "" << "file:///" << "/";
    QTest::newRow("relative") << "Videos/Trip" << "file://{cwd}/Videos/Trip" << "{cwd}/Videos/Trip";
    QTest::newRow("relative, up a level") << "../Trip" << "file://{parent}/Trip" << "{parent}/Trip";
    QTest::newRow("relative with a dash") << "-v" << "file://{cwd}/-v" << "{cwd}/-v";
    QTest::newRow("blanks only") << "   " << "file://{cwd}/%20%20%20" << "{cwd}/   ";
    // clang-format on
}

void tst_OpenFolder::address()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(QString, path);

    const QString cwd = QDir::currentPath();
    const QString parent = QFileInfo(cwd).path();
    for (const auto &[name, folder] : {std::pair{"{cwd}", cwd}, std::pair{"{parent}", parent}}) {
        address.replace(QLatin1String(name),
                        QString::fromLatin1(QUrl::toPercentEncoding(folder, "/")));
        path.replace(QLatin1String(name), folder);
    }

    const QUrl url = folderAddress(text);
    QVERIFY2(url.isValid(), qPrintable(url.errorString()));
    QCOMPARE(url.toString(QUrl::FullyEncoded), address);
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.toLocalFile(), path);

    settings.storeFolder(QStringLiteral("/stored/folder"));
    WindowUnderTest ui;
    ui.folderField->setText(text);
    ui.list->addItems({"a.mts", "b.m2ts"});
    ModalWatcher watcher;
    ui.openButton->click();
    QCOMPARE(browser.urls.size(), 1);
    QCOMPARE(browser.urls.constFirst().toString(QUrl::FullyEncoded), address);
    QCOMPARE(watcher.dialogsSeen, 0);
    QCOMPARE(ui.folderField->text(), text);
    QCOMPARE(ui.rowTexts(), (QStringList{"a.mts", "b.m2ts"}));
    QCOMPARE(settings.storedFolder().toString(), QStringLiteral("/stored/folder"));
}

TESSEL_TEST(tst_OpenFolder)
#include "tst_openfolder.moc"
