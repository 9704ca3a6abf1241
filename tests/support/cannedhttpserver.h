// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>

// A real HTTP server on 127.0.0.1 that answers each connection with one canned
// raw response, chosen by the request's target, and then closes it. It can
// also misbehave the way servers on the way to the publisher do.
class CannedHttpServer : public QObject
{
public:
    enum class Mode {
        Answer,      // read the request, send the canned response, close
        NeverAnswer, // read the request, then stay silent
        CloseAtOnce, // close every connection as soon as it is accepted
        EndlessBody, // answer 200, then send white space for as long as the
                     // client reads (at most 20 s), never ending the body
        Trickle,     // answer 200, then send one byte every 100 ms (for at most
                     // 20 s), never ending the body
    };

    CannedHttpServer()
    {
        connect(&server, &QTcpServer::newConnection, this, &CannedHttpServer::accept);
        listening = server.listen(QHostAddress::LocalHost, 0);
    }

    bool isListening() const { return listening; }
    quint16 port() const { return server.serverPort(); }
    QUrl baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port())); }

    void setMode(Mode newMode) { mode = newMode; }
    // Waits this long after reading a request before answering it.
    void setAnswerDelay(int milliseconds) { answerDelayMs = milliseconds; }

    // Responses for one request target, handed out in order; the last one
    // answers every later request. Unknown targets get a 404.
    void serve(const QString &target, const QList<QByteArray> &responses)
    {
        canned.insert(target, responses);
    }
    void serve(const QString &target, const QByteArray &response)
    {
        serve(target, QList<QByteArray>{response});
    }

    // Builds a complete response around a body.
    static QByteArray response(int status, const QByteArray &body,
                               const QByteArray &extraHeaders = {}, bool withLength = true)
    {
        QByteArray raw = "HTTP/1.1 " + QByteArray::number(status) + " Canned\r\n";
        if (withLength)
            raw += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        raw += extraHeaders + "Connection: close\r\n\r\n" + body;
        return raw;
    }

    // First line of every request read, in the order they arrived.
    QStringList requestLines;

private:
    void accept()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (mode == Mode::CloseAtOnce) {
                socket->abort();
                continue;
            }
            auto pending = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, socket,
                    [this, socket, pending] { readRequest(socket, *pending); });
        }
    }

    void readRequest(QTcpSocket *socket, QByteArray &pending)
    {
        pending += socket->readAll();
        const qsizetype headEnd = pending.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QByteArray head = pending.left(headEnd);
        disconnect(socket, &QTcpSocket::readyRead, socket, nullptr);

        const QString line = QString::fromLatin1(head.left(head.indexOf("\r\n")));
        requestLines << line;
        if (mode == Mode::NeverAnswer)
            return;

        if (mode == Mode::EndlessBody) {
            sendEndlessBody(socket, "406", QByteArray(16 * 1024, ' '), 5);
            return;
        }
        if (mode == Mode::Trickle) {
            sendEndlessBody(socket, QByteArray(), " ", 100);
            return;
        }

        const QString target = line.section(QLatin1Char(' '), 1, 1);
        const QByteArray answer = nextResponse(target);
        QTimer::singleShot(answerDelayMs, socket, [socket, answer] {
            socket->write(answer);
            socket->disconnectFromHost(); // after the response has been written
        });
    }

    // Answers 200, then sends `piece` every `intervalMs` (while less than a
    // megabyte waits to be sent) for 20 s, never ending the body.
    static void sendEndlessBody(QTcpSocket *socket, const QByteArray &start,
                                const QByteArray &piece, int intervalMs)
    {
        socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + start);
        auto *const trickle = new QTimer(socket);
        const QDeadlineTimer deadline(20000);
        QObject::connect(trickle, &QTimer::timeout, socket, [socket, trickle, deadline, piece] {
            if (deadline.hasExpired())
                trickle->stop();
            else if (socket->bytesToWrite() < 1024 * 1024)
                socket->write(piece);
        });
        trickle->start(intervalMs);
    }

    QByteArray nextResponse(const QString &target)
    {
        auto found = canned.find(target);
        if (found == canned.end() || found->isEmpty())
            return response(404, "Not Found");
        return found->size() > 1 ? found->takeFirst() : found->first();
    }

    QTcpServer server;
    bool listening = false;
    Mode mode = Mode::Answer;
    int answerDelayMs = 0;
    QHash<QString, QList<QByteArray>> canned;
};

// A port on 127.0.0.1 that refuses connections: bound once, then released.
inline quint16 refusedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}
