#include "support/testregistry.h"
#include <QtTest>

#include <QNetworkProxy>

#include "mainwindow/tesselmainwindow.h"
#include "support/cannedhttpserver.h"
#include "support/isolatedsettings.h"

Q_DECLARE_METATYPE(CannedHttpServer::Mode)

namespace {
const QString target = QStringLiteral("/Tessel/file.txt");
} // namespace

class FetchTest : public QObject
{
    Q_OBJECT

    IsolatedSettings isolated;

private slots:
    void initTestCase() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }

    void fetch_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");

        using S = CannedHttpServer;
        const QByteArray withZero("406\0garbage", 11);
        const QByteArray latin1("\xE9t\xE9");
        const QByteArray bom("\xEF\xBB\xBF"
                             "406");

        QTest::newRow("plain") << S::response(200, "406\n") << true << QByteArray("406\n")
                               << QStringLiteral("406\n");
        QTest::newRow("zero byte ends the text")
            << S::response(200, withZero) << true << withZero << QStringLiteral("406");
        QTest::newRow("byte 0xE9 is Latin-1")
            << S::response(200, latin1) << true << latin1 << QStringLiteral("\u00E9t\u00E9");
        QTest::newRow("byte-order mark is three characters")
            << S::response(200, bom) << true << bom << QStringLiteral("\u00EF\u00BB\u00BF406");
        QTest::newRow("empty file") << S::response(200, "") << true << QByteArray() << QString();
        QTest::newRow("without length, closed by server")
            << S::response(200, "406", {}, false) << true << QByteArray("406")
            << QStringLiteral("406");

        QTest::newRow("HTTP 404 keeps its body but fails")
            << S::response(404, "406") << false << QByteArray("406") << QStringLiteral("406");
        QTest::newRow("HTTP 500 fails")
            << S::response(500, "406") << false << QByteArray("406") << QStringLiteral("406");
        QTest::newRow("redirect is not followed")
            << S::response(301, "moved", "Location: /Tessel/moved.txt\r\n") << false
            << QByteArray("moved") << QStringLiteral("moved");

        // A number once trimmed, so only the size limit can make it a failure.
        const QByteArray limit = QByteArray("406").leftJustified(64 * 1024, ' ');
        const QByteArray over = limit + ' ';
        QTest::newRow("exactly 64 KiB")
            << S::response(200, limit) << true << limit << QString::fromLatin1(limit);
        QTest::newRow("exactly 64 KiB without length")
            << S::response(200, limit, {}, false) << true << limit << QString::fromLatin1(limit);
        QTest::newRow("one byte over 64 KiB")
            << S::response(200, over) << false << QByteArray() << QString();
        QTest::newRow("one byte over 64 KiB without length")
            << S::response(200, over, {}, false) << false << QByteArray() << QString();
    }

    void fetch()
    {
        QFETCH(QByteArray, response);
        QFETCH(bool, ok);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);

        CannedHttpServer server;
        QVERIFY(server.isListening());
        server.serve(target, response);
        server.serve(QStringLiteral("/Tessel/moved.txt"), CannedHttpServer::response(200, "406"));
        const QString url = server.baseUrl().toString() + target;

        tesselMainWindow window;
        const FetchResult fetched = window.fetchUrl(url);
        QCOMPARE(fetched.ok, ok);
        QCOMPARE(fetched.body, body);
        QVERIFY(!fetched.quitting);

        const TextFetchResult asText = window.fetchUrlText(url);
        QCOMPARE(asText.ok, ok);
        QCOMPARE(asText.text, text);

        // Qt may send a request again when the server ends a body by closing,
        // so check only what was asked for: never the redirect's target.
        const QString request = QStringLiteral("GET ") + target + QStringLiteral(" HTTP/1.1");
        QVERIFY(server.requestLines.size() >= 2);
        QCOMPARE(server.requestLines.filter(request).size(), server.requestLines.size());
    }

    void failures_data()
    {
        QTest::addColumn<CannedHttpServer::Mode>("mode");
        QTest::addColumn<bool>("refused");

        QTest::newRow("never answers") << CannedHttpServer::Mode::NeverAnswer << false;
        QTest::newRow("closes at once") << CannedHttpServer::Mode::CloseAtOnce << false;
        QTest::newRow("endless body") << CannedHttpServer::Mode::EndlessBody << false;
        // Never silent for long, so only a limit on the whole check ends it.
        QTest::newRow("trickles a byte at a time") << CannedHttpServer::Mode::Trickle << false;
        QTest::newRow("refused port") << CannedHttpServer::Mode::Answer << true;
    }

    void failures()
    {
        QFETCH(CannedHttpServer::Mode, mode);
        QFETCH(bool, refused);

        CannedHttpServer server;
        QVERIFY(server.isListening());
        server.setMode(mode);
        server.serve(target, CannedHttpServer::response(200, "406"));
        const quint16 port = refused ? refusedPort() : server.port();

        tesselMainWindow window;
        window.setUpdateTimeout(300);
        QElapsedTimer clock;
        clock.start();
        const TextFetchResult fetched =
            window.fetchUrlText(QStringLiteral("http://127.0.0.1:%1").arg(port) + target);
        QVERIFY2(clock.elapsed() < 3000,
                 qPrintable(QStringLiteral("took %1 ms").arg(clock.elapsed())));
        QVERIFY(!fetched.ok);
        QVERIFY(!fetched.quitting);
        QCOMPARE(fetched.text, QString());
    }
};

TESSEL_TEST(FetchTest)
#include "tst_fetch.moc"
