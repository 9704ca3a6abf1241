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

namespace {
enum class Peer { Answers, NeverAnswers, Refuses };
enum class Outcome { OpensInstaller, SaysNewest, CouldNotCheck };

const QString versionFile = QStringLiteral("/Tessel/current_tessel.txt");
const QString versionRequest = QStringLiteral("GET /Tessel/current_tessel.txt HTTP/1.1");
const QString newest = QStringLiteral("You have newest version.");
const QString couldNotCheck = QStringLiteral("Could not check for updates.");

QUrl installerOn(const QUrl &base)
{
    return QUrl(base.toString() + QStringLiteral("/Tessel/Setup.exe"));
}
} // namespace

Q_DECLARE_METATYPE(Peer)
Q_DECLARE_METATYPE(Outcome)

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
        const SeenBox &box = watcher.boxes.first();
        QCOMPARE(box.title, QStringLiteral("Notice"));
        QCOMPARE(box.text, text);
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons, QStringList{QStringLiteral("OK")});
        QVERIFY(!box.hasParent);
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
        QTest::addColumn<Outcome>("outcome");

        // The answers themselves and the ways a fetch fails are tst_versioncheck's
        // and tst_fetch's; here, that each kind reaches the user.
        using S = CannedHttpServer;
        // clang-format off
        QTest::newRow("406") << Peer::Answers << S::response(200, "406") << Outcome::OpensInstaller;
        QTest::newRow("405") << Peer::Answers << S::response(200, "405\n") << Outcome::SaysNewest;
        QTest::newRow("406a") << Peer::Answers << S::response(200, "406a") << Outcome::CouldNotCheck;
        QTest::newRow("HTTP 404 with a number")
            << Peer::Answers << S::response(404, "406") << Outcome::CouldNotCheck;
        // Both the redirect's own body and its target say 406.
        QTest::newRow("301 to a valid file")
            << Peer::Answers << S::response(301, "406", "Location: {base}/Tessel/moved.txt\r\n")
            << Outcome::CouldNotCheck;
        QTest::newRow("never answers")
            << Peer::NeverAnswers << QByteArray() << Outcome::CouldNotCheck;
        // clang-format on
        QTest::newRow("refused port") << Peer::Refuses << QByteArray() << Outcome::CouldNotCheck;
    }

    void check()
    {
        QFETCH(Peer, peer);
        QFETCH(QByteArray, response);
        QFETCH(Outcome, outcome);

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

        switch (outcome) {
        case Outcome::OpensInstaller:
            QCOMPARE(browser.urls, QList<QUrl>{installerOn(base)});
            QCOMPARE(watcher.dialogsSeen, 0);
            break;
        case Outcome::SaysNewest:
            verifyNotice(watcher, browser, newest);
            break;
        case Outcome::CouldNotCheck:
            verifyNotice(watcher, browser, couldNotCheck);
            break;
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

    // A conversion-style wait that ends while the check still waits for its
    // answer, and one that starts during the check and outlasts the answer.
    void checkDuringAnotherWait_data()
    {
        QTest::addColumn<bool>("checkInsideWait");
        QTest::newRow("check pressed during a wait") << true;
        QTest::newRow("wait started during a check") << false;
    }

    void checkDuringAnotherWait()
    {
        QFETCH(bool, checkInsideWait);

        CannedHttpServer server;
        QVERIFY(server.isListening());
        server.serve(versionFile, CannedHttpServer::response(200, "406"));
        server.setAnswerDelay(200);

        WindowUnderTest ui;
        ui.window.setUpdateBaseUrl(server.baseUrl());
        ModalWatcher watcher;

        std::optional<LocalWait::End> otherEnd;
        bool otherTimerFired = false;
        const auto otherWait = [&](int lengthMs) {
            LocalWait wait;
            QTimer::singleShot(lengthMs, [&] {
                otherTimerFired = true;
                wait.finish();
            });
            otherEnd = wait.wait();
        };

        if (checkInsideWait) {
            QTimer::singleShot(0, ui.updateButton, &QPushButton::click);
            otherWait(50);
        } else {
            QTimer::singleShot(50, [&] { otherWait(400); });
            ui.updateButton->click();
            // The check's answer came while the other wait ran; the check
            // returned only after that wait had ended by its own timer.
        }

        QVERIFY(otherTimerFired);
        QVERIFY(otherEnd.has_value());
        QVERIFY(*otherEnd == LocalWait::End::Finished);
        QCOMPARE(browser.urls, QList<QUrl>{installerOn(server.baseUrl())});
        QCOMPARE(watcher.dialogsSeen, 0);
        QCOMPARE(server.requestLines, QStringList{versionRequest});
    }

    // Pressed again while the first check waits: each gets its own answer.
    void secondCheckDuringCheck()
    {
        CannedHttpServer server;
        QVERIFY(server.isListening());
        server.serve(versionFile, {CannedHttpServer::response(200, "405"),
                                   CannedHttpServer::response(200, "406")});
        server.setAnswerDelay(200);

        WindowUnderTest ui;
        ui.window.setUpdateBaseUrl(server.baseUrl());
        ModalWatcher watcher;

        QPushButton *const check = ui.updateButton;
        QTimer::singleShot(50, check, &QPushButton::click);
        check->click();

        QCOMPARE(server.requestLines, QStringList({versionRequest, versionRequest}));
        // The second check (406) ends first, inside the first; then the first
        // (405) gives its notice.
        QCOMPARE(browser.urls, QList<QUrl>{installerOn(server.baseUrl())});
        QCOMPARE(watcher.boxes.size(), 1);
        QCOMPARE(watcher.boxes.first().text, newest);
    }

    // Close pressed while a check waits on a silent host: the program ends at
    // once, without a notice and without opening anything.
    void closeDuringCheck()
    {
        CannedHttpServer server;
        QVERIFY(server.isListening());
        server.setMode(CannedHttpServer::Mode::NeverAnswer);

        WindowUnderTest ui;
        ui.window.setUpdateBaseUrl(server.baseUrl());
        ModalWatcher watcher;
        ShownBoxes shown;

        QTimer::singleShot(0, ui.updateButton, &QPushButton::click);
        QTimer::singleShot(100, ui.closeButton, &QPushButton::click);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY2(clock.elapsed() < 5000,
                 qPrintable(QStringLiteral("closing took %1 ms").arg(clock.elapsed())));

        QCOMPARE(server.requestLines, QStringList{versionRequest});
        QCOMPARE(browser.urls, QList<QUrl>());
        QCOMPARE(watcher.dialogsSeen, 0);
        QCOMPARE(shown.boxes.size(), 0);
    }
};

TESSEL_TEST(UpdateCheckTest)
#include "tst_updatecheck.moc"
