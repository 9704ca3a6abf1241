// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/testregistry.h"
#include <QtTest>

#include <QNetworkProxy>

#include "mainwindow/tesselmainwindow.h"
#include "support/cannedhttpserver.h"
#include "support/isolatedsettings.h"

Q_DECLARE_METATYPE(CannedHttpServer::Mode)

class FetchTest : public QObject
{
    Q_OBJECT

    IsolatedSettings isolated;
    const QString target = QStringLiteral("/Tessel/file.txt");

private slots:
    void initTestCase() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }

    void fetch_data()
    {
        QTest::addColumn<CannedHttpServer::Mode>("mode");
        QTest::addColumn<bool>("refused"); // the port refuses connections
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");

        using S = CannedHttpServer;
        const auto row = [](const char *name, const QByteArray &response, bool ok,
                            const QByteArray &body, const QString &text) {
            QTest::newRow(name) << S::Mode::Answer << false << response << ok << body << text;
        };
        const QByteArray withZero("406\0garbage", 11);
        const QByteArray latin1("\xE9t\xE9");
        const QByteArray bom("\xEF\xBB\xBF"
                             "406");
        row("plain", S::response(200, "406\n"), true, "406\n", "406\n");
        row("zero byte ends the text", S::response(200, withZero), true, withZero, "406");
        row("byte 0xE9 is Latin-1", S::response(200, latin1), true, latin1, "\u00E9t\u00E9");
        row("byte-order mark is three characters", S::response(200, bom), true, bom,
            "\u00EF\u00BB\u00BF406");
        row("empty file", S::response(200, ""), true, {}, {});
        row("without length, closed by server", S::response(200, "406", {}, false), true, "406",
            "406");
        row("HTTP 404 keeps its body but fails", S::response(404, "406"), false, "406", "406");
        row("HTTP 500 fails", S::response(500, "406"), false, "406", "406");
        row("redirect is not followed",
            S::response(301, "moved", "Location: /Tessel/moved.txt\r\n"), false, "moved", "moved");

        // A number once trimmed, so only the size limit can make it a failure.
        const QByteArray limit = QByteArray("406").leftJustified(64 * 1024, ' ');
        const QByteArray over = limit + ' ';
        row("exactly 64 KiB", S::response(200, limit), true, limit, QString::fromLatin1(limit));
        row("exactly 64 KiB without length", S::response(200, limit, {}, false), true, limit,
            QString::fromLatin1(limit));
        row("one byte over 64 KiB", S::response(200, over), false, {}, {});
        row("one byte over 64 KiB without length", S::response(200, over, {}, false), false, {},
            {});

        // Peers that fail the fetch, each within the check's time limit.
        const QByteArray newer = S::response(200, "406");
        const auto failing = [&](const char *name, S::Mode mode, bool refused = false) {
            QTest::newRow(name) << mode << refused << newer << false << QByteArray() << QString();
        };
        failing("never answers", S::Mode::NeverAnswer);
        failing("closes at once", S::Mode::CloseAtOnce);
        failing("endless body", S::Mode::EndlessBody);
        // Never silent for long, so only a limit on the whole check ends it.
        failing("trickles a byte at a time", S::Mode::Trickle);
        failing("refused port", S::Mode::Answer, true);
    }

    void fetch()
    {
        QFETCH(CannedHttpServer::Mode, mode);
        QFETCH(bool, refused);
        QFETCH(QByteArray, response);
        QFETCH(bool, ok);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);

        CannedHttpServer server;
        QVERIFY(server.isListening());
        server.setMode(mode);
        server.serve(target, response);
        server.serve(QStringLiteral("/Tessel/moved.txt"), CannedHttpServer::response(200, "406"));
        const quint16 port = refused ? refusedPort() : server.port();
        const QString url = QStringLiteral("http://127.0.0.1:%1").arg(port) + target;

        tesselMainWindow window;
        if (mode != CannedHttpServer::Mode::Answer)
            window.setUpdateTimeout(300);
        QElapsedTimer clock;
        clock.start();
        const FetchResult fetched = window.fetchUrl(url);
        QCOMPARE(fetched.ok, ok);
        QCOMPARE(fetched.body, body);
        QVERIFY(!fetched.quitting);

        const TextFetchResult asText = window.fetchUrlText(url);
        QVERIFY2(clock.elapsed() < 3000,
                 qPrintable(QStringLiteral("took %1 ms").arg(clock.elapsed())));
        QCOMPARE(asText.ok, ok);
        QVERIFY(!asText.quitting);
        QCOMPARE(asText.text, text);

        // Qt may send a request again when the server ends a body by closing,
        // so check only what was asked for: never the redirect's target.
        const QString request = QStringLiteral("GET ") + target + QStringLiteral(" HTTP/1.1");
        if (mode != CannedHttpServer::Mode::CloseAtOnce && !refused)
            QVERIFY(server.requestLines.size() >= 2);
        QCOMPARE(server.requestLines.filter(request).size(), server.requestLines.size());
    }
};

TESSEL_TEST(FetchTest)
#include "tst_fetch.moc"
