// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/testregistry.h"
#include <QtTest>

#include <QDesktopServices>
#include <QNetworkProxy>
#include <QPushButton>
#include <QScopeGuard>

#include "mainwindow/localwait.h"
#include "mainwindow/tesselmainwindow.h"
#include "support/cannedhttpserver.h"
#include "support/isolatedsettings.h"
#include "support/modalwatcher.h"
#include "support/urlcatcher.h"
#include "support/windowdriver.h"
#include "update/publishedpackage.h"

namespace {
enum class Peer { Answers, NeverAnswers, Refuses };
enum class During { CheckInsideWait, WaitInsideCheck, SecondCheck, Close };

const QString versionFile = QStringLiteral("/Tessel/current_tessel.txt");
const QString versionRequest = QStringLiteral("GET /Tessel/current_tessel.txt HTTP/1.1");
const QString package = QStringLiteral("/Tessel/") + publishedPackage;
const QString newest = QStringLiteral("You have newest version.");
const QString couldNotCheck = QStringLiteral("Could not check for updates.");
} // namespace

Q_DECLARE_METATYPE(Peer)
Q_DECLARE_METATYPE(During)

class UpdateCheckTest : public QObject
{
    Q_OBJECT

    IsolatedSettings isolated;
    UrlCatcher browser{{QStringLiteral("http"), QStringLiteral("https")}};

    // The one answer the user saw: the notice, and nothing handed to the browser.
    static void verifyNotice(const ModalWatcher &watcher, const UrlCatcher &browser,
                             const QString &text)
    {
        QCOMPARE(browser.urls, QList<QUrl>());
        QCOMPARE(watcher.dialogsSeen, 1);
        QCOMPARE(watcher.boxes.size(), 1);
        QCOMPARE(watcher.boxes.first().summary(), QStringLiteral("Notice|no icon|OK||") + text);
    }

private slots:
    void initTestCase()
    {
        // Straight to 127.0.0.1, whatever proxy the machine names.
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    }

    void init() { browser.urls.clear(); }

    void check_data()
    {
        QTest::addColumn<Peer>("peer");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("notice"); // none: the package's address is opened

        // The answers themselves and the ways a fetch fails are tst_versioncheck's
        // and tst_fetch's; here, that each kind reaches the user.
        using S = CannedHttpServer;
        QTest::newRow("406") << Peer::Answers << S::response(200, "406") << QString();
        QTest::newRow("405") << Peer::Answers << S::response(200, "405\n") << newest;
        QTest::newRow("406a") << Peer::Answers << S::response(200, "406a") << couldNotCheck;
        QTest::newRow("HTTP 404 with a number")
            << Peer::Answers << S::response(404, "406") << couldNotCheck;
        // Both the redirect's own body and its target say 406.
        QTest::newRow("301 to a valid file")
            << Peer::Answers << S::response(301, "406", "Location: {base}/Tessel/moved.txt\r\n")
            << couldNotCheck;
        QTest::newRow("never answers") << Peer::NeverAnswers << QByteArray() << couldNotCheck;
        QTest::newRow("refused port") << Peer::Refuses << QByteArray() << couldNotCheck;
    }

    void check()
    {
        QFETCH(Peer, peer);
        QFETCH(QByteArray, response);
        QFETCH(QString, notice);

        CannedHttpServer server;
        QVERIFY(server.isListening());
        QUrl base = server.baseUrl();
        server.serve(versionFile, response.replace("{base}", base.toEncoded()));
        server.serve(QStringLiteral("/Tessel/moved.txt"), CannedHttpServer::response(200, "406"));
        if (peer == Peer::NeverAnswers)
            server.setMode(CannedHttpServer::Mode::NeverAnswer);
        if (peer == Peer::Refuses)
            base.setPort(refusedPort());

        WindowUnderTest ui;
        ui.window.setUpdateBaseUrl(base);
        if (peer == Peer::NeverAnswers)
            ui.window.setUpdateTimeout(300);

        ModalWatcher watcher;
        QElapsedTimer clock;
        clock.start();
        ui.updateButton->click();
        QVERIFY2(clock.elapsed() < 5000,
                 qPrintable(QStringLiteral("the check took %1 ms").arg(clock.elapsed())));

        // Only the version file is ever asked for (a redirect is not
        // followed); Qt may repeat the request when a body ends by closing.
        if (peer != Peer::Refuses)
            QVERIFY(!server.requestLines.isEmpty());
        QCOMPARE(server.requestLines.filter(versionRequest).size(), server.requestLines.size());

        if (notice.isEmpty()) {
            QCOMPARE(browser.urls, QList<QUrl>{QUrl(base.toString() + package)});
            QCOMPARE(watcher.dialogsSeen, 0);
        } else {
            verifyNotice(watcher, browser, notice);
        }
    }

    // The shipped window asks the built host over https. A proxy on 127.0.0.1
    // sees the tunnel request and refuses it, so nothing leaves the machine.
    void shippedCheckAsksTheBuiltHostOverHttps()
    {
        CannedHttpServer proxy;
        QVERIFY(proxy.isListening());
        QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), proxy.port()));
        const auto noProxy =
            qScopeGuard([] { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); });

        WindowUnderTest ui;
        ModalWatcher watcher;
        ui.updateButton->click();

        QCOMPARE(proxy.requestLines,
                 QStringList{QStringLiteral("CONNECT " TESSEL_UPDATE_HOST ":443 HTTP/1.1")});
        verifyNotice(watcher, browser, couldNotCheck);
    }

    // Something else happens while a check waits for its answer (200 ms): a
    // conversion-style wait that ends inside it, one that starts inside it and
    // outlasts the answer, a second check, or Close on a silent host.
    void duringCheck_data()
    {
        QTest::addColumn<During>("during");
        QTest::addColumn<QList<QByteArray>>("answers"); // in order; none: never answers
        QTest::addColumn<bool>("opensInstaller");
        QTest::addColumn<QStringList>("notices");
        QTest::addColumn<int>("requests");

        const QList<QByteArray> newer{CannedHttpServer::response(200, "406")};
        QTest::newRow("check pressed during a wait")
            << During::CheckInsideWait << newer << true << QStringList() << 1;
        QTest::newRow("wait started during a check")
            << During::WaitInsideCheck << newer << true << QStringList() << 1;
        // The second check (406) ends first, inside the first; then the first
        // (405) gives its notice.
        QTest::newRow("second check")
            << During::SecondCheck
            << QList<QByteArray>{CannedHttpServer::response(200, "405"), newer.first()} << true
            << QStringList{newest} << 2;
        // The program ends at once, without a notice and without opening anything.
        QTest::newRow("Close on a silent host")
            << During::Close << QList<QByteArray>() << false << QStringList() << 1;
    }

    void duringCheck()
    {
        QFETCH(During, during);
        QFETCH(QList<QByteArray>, answers);
        QFETCH(bool, opensInstaller);
        QFETCH(QStringList, notices);
        QFETCH(int, requests);

        CannedHttpServer server;
        QVERIFY(server.isListening());
        server.serve(versionFile, answers);
        server.setAnswerDelay(200);
        if (answers.isEmpty())
            server.setMode(CannedHttpServer::Mode::NeverAnswer);
        WindowUnderTest ui;
        ui.window.setUpdateBaseUrl(server.baseUrl());
        ModalWatcher watcher;
        ShownBoxes shown;

        // Only its own timer finishes the other wait.
        std::optional<LocalWait::End> otherEnd;
        const auto otherWait = [&](int lengthMs) {
            LocalWait wait;
            QTimer::singleShot(lengthMs, [&] { wait.finish(); });
            otherEnd = wait.wait();
        };
        QElapsedTimer clock;
        clock.start();
        switch (during) {
        case During::CheckInsideWait:
            QTimer::singleShot(0, ui.updateButton, &QPushButton::click);
            otherWait(50);
            break;
        case During::WaitInsideCheck:
            // The answer comes during the other wait; the check returns only
            // after that wait has ended by its own timer.
            QTimer::singleShot(50, [&] { otherWait(400); });
            ui.updateButton->click();
            break;
        case During::SecondCheck:
            QTimer::singleShot(50, ui.updateButton, &QPushButton::click);
            ui.updateButton->click();
            break;
        case During::Close:
            QTimer::singleShot(0, ui.updateButton, &QPushButton::click);
            QTimer::singleShot(100, ui.closeButton, &QPushButton::click);
            QCOMPARE(QApplication::exec(), 0);
            QVERIFY2(clock.elapsed() < 5000,
                     qPrintable(QStringLiteral("closing took %1 ms").arg(clock.elapsed())));
            break;
        }

        if (during == During::CheckInsideWait || during == During::WaitInsideCheck)
            QVERIFY(otherEnd == LocalWait::End::Finished);
        QCOMPARE(server.requestLines, QStringList(requests, versionRequest));
        QCOMPARE(browser.urls, opensInstaller ? QList<QUrl>{server.baseUrl().toString() + package}
                                              : QList<QUrl>());
        QStringList shownTexts;
        for (const SeenBox &box : shown.boxes)
            shownTexts << box.text;
        QCOMPARE(shownTexts, notices);
        QCOMPARE(watcher.dialogsSeen, notices.size());
    }
};

TESSEL_TEST(UpdateCheckTest)
#include "tst_updatecheck.moc"
