// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QSize>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QColor;

// The request line and headers of one request to the test HTTP service.
struct TestHttpRequest
{
    QByteArray method;
    QByteArray path;
    QByteArray headers;
};

// A scripted answer of the test HTTP service to one request: a status line
// and headers, the body pieces, then how the connection ends. Unless the
// length is announced, the body ends when the connection does, as a stream's.
struct TestHttpReply
{
    enum class Ending { Close, Reset, Never };

    int status = 200;
    QByteArray extraHeaders = {}; // each line ended by "\r\n"
    QList<QByteArray> pieces = {};
    Ending ending = Ending::Close;
    bool answers = true; // false: no status line, only the pieces
    bool announceLength = false;
    // The pieces go out this many times over, each time once the network has
    // taken the last, so that a long body is never held here.
    int repeats = 1;

    // Closes or resets the connection without answering anything.
    static TestHttpReply dropped(Ending ending = Ending::Close);
    // Accepts the request and never answers it.
    static TestHttpReply silent();
    // A picture, its length announced.
    static TestHttpReply picture(const QByteArray &bytes);
    static QByteArray png(const QSize &size, const QColor &colour);
};

// One accepted connection of the test HTTP service, driven by the test step
// by step: each piece is written and flushed on its own, so the test decides
// what arrives in which network read.
class TestHttpExchange : public QObject
{
    Q_OBJECT

public:
    TestHttpExchange(QTcpSocket *socket, const TestHttpRequest &request, QObject *parent);

    TestHttpRequest request() const;

    // Status line and headers of a streaming answer.
    void sendHead(int status, const QByteArray &extraHeaders = {});
    void sendPiece(const QByteArray &piece);
    // Writes the pieces next() gives, each once the socket has passed the
    // earlier ones on, so that a body of any length is produced as it goes
    // and never piles up in the test; stops when next() gives none.
    using PieceSource = std::function<std::optional<QByteArray>()>;
    void sendPaced(PieceSource next);
    // Close: the orderly way; Reset: a TCP reset; Never: left open.
    void end(TestHttpReply::Ending ending);

    // Whether the agent has closed its end (as a cancelled connection does).
    bool waitForClosedByPeer(int timeoutMs = 5000);

private:
    void sendNextPaced();

    QTcpSocket *socket;
    PieceSource pacedSource;
    TestHttpRequest received;
};

// A stand-in for the notification stream service and the hosts of icons: an
// HTTP service on 127.0.0.1 at a port of its own choosing, or HTTPS when
// given a TLS configuration (its certificate and key). It records every
// request. A request for a routed path gets that path's reply; any other
// the next scripted reply, or, when none is left, the fallback, or else it is
// handed to the test as an exchange to drive by hand. A TLS connection counts
// only once its handshake has succeeded.
class TestHttpService : public QObject
{
    Q_OBJECT

public:
    explicit TestHttpService(const std::optional<QSslConfiguration> &tls = std::nullopt);

    // The value for the agent's streamhost setting: "127.0.0.1:<port>", led
    // by "https://" when serving TLS.
    QString streamhost() const;
    // The address of a path on this service.
    QUrl url(const QString &path) const;

    void route(const QString &path, const TestHttpReply &reply);
    void enqueueReply(const TestHttpReply &reply);
    void forgetScriptedReplies() { scripted.clear(); }
    // Answers every request that no scripted reply is left for (none: hand it
    // to the test).
    void setFallbackReply(const std::optional<TestHttpReply> &reply);

    QList<TestHttpRequest> requests() const;
    // The next request that no script answered, or none after the time-out.
    TestHttpExchange *nextExchange(int timeoutMs = 5000);

private:
    void accept();
    void readRequest(QTcpSocket *socket);
    void answer(TestHttpExchange *exchange, const TestHttpReply &reply);

    std::unique_ptr<QTcpServer> server;
    QHash<QByteArray, TestHttpReply> routes;
    QQueue<TestHttpReply> scripted;
    std::optional<TestHttpReply> fallback;
    QList<TestHttpRequest> received;
    QQueue<TestHttpExchange *> unanswered;
};
