// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/testregistry.h"
#include <QtTest>

#include "support/isolatedsettings.h"
#include "update/publishedpackage.h"
#include "update/updateaddress.h"
#include "update/versioncheck.h"

Q_DECLARE_METATYPE(UpdateAnswer)

class VersionCheckTest : public QObject
{
    Q_OBJECT

    IsolatedSettings isolated;

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<int>("number");

        QTest::newRow("plain") << "406" << true << 406;
        QTest::newRow("line break after") << "405\n" << true << 405;
        QTest::newRow("white space around") << "  406  \n" << true << 406;
        QTest::newRow("tab and CRLF") << "\t406\r\n" << true << 406;
        QTest::newRow("leading plus") << "+406" << true << 406;
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("negative") << "-5" << true << -5;
        QTest::newRow("largest 32-bit") << "2147483647" << true << 2147483647;
        QTest::newRow("smallest 32-bit") << "-2147483648" << true << int(-2147483647 - 1);

        QTest::newRow("one past 32-bit") << "2147483648" << false << 0;
        QTest::newRow("one below 32-bit") << "-2147483649" << false << 0;
        QTest::newRow("406 plus 2^32") << "4294967702" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("white space only") << " \r\n" << false << 0;
        QTest::newRow("decimal fraction") << "1.1" << false << 0;
        QTest::newRow("trailing letter") << "406a" << false << 0;
        QTest::newRow("space inside") << "4 06" << false << 0;
        QTest::newRow("two lines") << "406\n407" << false << 0;
        QTest::newRow("hexadecimal") << "0x196" << false << 0;
        QTest::newRow("byte-order mark read as Latin-1")
            << QStringLiteral("\u00EF\u00BB\u00BF406") << false << 0;
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(int, number);

        const std::optional<int> parsed = parsePublishedBuild(text);
        QCOMPARE(parsed.has_value(), isNumber);
        if (isNumber)
            QCOMPARE(*parsed, number);
    }

    void decide_data()
    {
        QTest::addColumn<bool>("fetched");
        QTest::addColumn<QString>("text");
        QTest::addColumn<UpdateAnswer>("answer");

        QTest::newRow("newer build") << true << "406" << UpdateAnswer::OpenInstaller;
        QTest::newRow("much newer build") << true << "2147483647" << UpdateAnswer::OpenInstaller;
        QTest::newRow("same build") << true << "405\n" << UpdateAnswer::Newest;
        QTest::newRow("older build") << true << "404" << UpdateAnswer::Newest;
        QTest::newRow("zero is a clean answer") << true << "0" << UpdateAnswer::Newest;
        QTest::newRow("negative is a clean answer") << true << "-5" << UpdateAnswer::Newest;
        QTest::newRow("failed fetch whatever its text")
            << false << "406" << UpdateAnswer::CouldNotCheck;
        QTest::newRow("empty answer") << true << "" << UpdateAnswer::CouldNotCheck;
        QTest::newRow("not a whole number") << true << "406a" << UpdateAnswer::CouldNotCheck;
        QTest::newRow("out of range") << true << "4294967702" << UpdateAnswer::CouldNotCheck;
    }

    void decide()
    {
        QFETCH(bool, fetched);
        QFETCH(QString, text);
        QFETCH(UpdateAnswer, answer);

        QCOMPARE(decideUpdate(TextFetchResult{fetched, text}, 405), answer);
    }

    void addresses_data()
    {
        QTest::addColumn<QUrl>("base");
        QTest::addColumn<QUrl>("versionFile");
        QTest::addColumn<QUrl>("installer");

        QTest::newRow("local server") << QUrl("http://127.0.0.1:8080")
                                      << QUrl("http://127.0.0.1:8080/Tessel/current_tessel.txt")
                                      << QUrl("http://127.0.0.1:8080/Tessel/" + publishedPackage);
        QTest::newRow("trailing slash") << QUrl("http://127.0.0.1:8080/")
                                        << QUrl("http://127.0.0.1:8080/Tessel/current_tessel.txt")
                                        << QUrl("http://127.0.0.1:8080/Tessel/" + publishedPackage);
        QTest::newRow("mirror folder")
            << QUrl("https://mirror.example/pub/")
            << QUrl("https://mirror.example/pub/Tessel/current_tessel.txt")
            << QUrl("https://mirror.example/pub/Tessel/" + publishedPackage);
    }

    void addresses()
    {
        QFETCH(QUrl, base);
        QFETCH(QUrl, versionFile);
        QFETCH(QUrl, installer);

        QCOMPARE(versionFileUrl(base), versionFile);
        QCOMPARE(installerUrl(base), installer);
    }

    // The package is a program the user will install: never over plain http.
    // (The version file's https is tst_updatecheck's shipped check.)
    void shippedInstallerUsesHttpsOnTheBuiltHost()
    {
        QCOMPARE(installerUrl(defaultUpdateBaseUrl()).toString(),
                 QStringLiteral("https://" TESSEL_UPDATE_HOST "/Tessel/") + publishedPackage);
    }
};

TESSEL_TEST(VersionCheckTest)
#include "tst_versioncheck.moc"
