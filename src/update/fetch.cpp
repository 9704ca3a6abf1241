// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/tesselmainwindow.h"

#include "mainwindow/localwait.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace {
// A version file is a few bytes; anything much larger is a broken or hostile
// server, and must not fill memory.
constexpr qint64 maxBodyBytes = 64 * 1024;

bool isSuccessStatus(const QNetworkReply &reply)
{
    bool isNumber = false;
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(&isNumber);
    return isNumber && status >= 200 && status <= 299;
}
} // namespace

FetchResult tesselMainWindow::fetchUrl(const QString &url)
{
    // Declared before the manager, so they outlive the reply whose signals use
    // them: the manager deletes an unfinished reply, which then still signals.
    LocalWait wait;
    FetchResult result;
    bool tooLarge = false;
    bool timedOut = false;

    const auto manager = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request{QUrl(url)};
    // A redirect would hand the answer to a host nobody chose.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *const reply = manager->get(request);
    // A limit on the whole check: a transfer timeout restarts with every byte,
    // so a server sending one now and then would keep the user waiting.
    QTimer::singleShot(updateTimeoutMs, reply, [&timedOut, reply] {
        timedOut = true;
        reply->abort();
    });

    connect(reply, &QIODevice::readyRead, reply, [&] {
        result.body += reply->readAll();
        if (result.body.size() > maxBodyBytes) {
            tooLarge = true;
            reply->abort(); // stops reading; the reply then finishes
        }
    });
    connect(reply, &QNetworkReply::finished, reply, [&wait] { wait.finish(); });
    if (reply->isFinished())
        wait.finish();

    if (wait.wait() == LocalWait::End::ApplicationQuit) {
        result.body.clear();
        result.quitting = true;
        return result;
    }

    if (reply->isOpen())
        result.body += reply->readAll();
    if (tooLarge || timedOut || result.body.size() > maxBodyBytes) {
        result.body.clear();
        return result;
    }
    result.ok = reply->error() == QNetworkReply::NoError && isSuccessStatus(*reply);
    return result;
}

TextFetchResult tesselMainWindow::fetchUrlText(const QString &url)
{
    const FetchResult fetched = fetchUrl(url);
    const qsizetype zero = fetched.body.indexOf('\0');
    const qsizetype length = zero < 0 ? fetched.body.size() : zero;
    return {fetched.ok, QString::fromLatin1(fetched.body.constData(), length), fetched.quitting};
}
