#pragma once

#include "TestStreamExchange.h"
#include "TestStreamReply.h"

#include <QList>
#include <QObject>
#include <QQueue>
#include <QSslConfiguration>
#include <QTcpServer>

#include <memory>
#include <optional>

// A stand-in for the notification stream service: an HTTP service on
// 127.0.0.1 at a port of its own choosing, or HTTPS when given a TLS
// configuration (its certificate and key). It records every request; each
// request is answered by the next scripted reply, or, when none is left,
// handed to the test as an exchange to drive by hand. A TLS connection
// counts only once its handshake has succeeded.
class TestStreamService : public QObject
{
    Q_OBJECT

public:
    explicit TestStreamService(const std::optional<QSslConfiguration> &tls = std::nullopt);

    quint16 port() const;
    // The value for the agent's streamhost setting: "127.0.0.1:<port>", led
    // by "https://" when serving TLS.
    QString streamhost() const;

    void enqueueReply(const TestStreamReply &reply);
    // Answers every request that no scripted reply is left for (none: hand it
    // to the test). The HTTP client may itself retry a request whose
    // connection dropped before any answer, so a failure that must hold for
    // every attempt belongs here.
    void setFallbackReply(const std::optional<TestStreamReply> &reply);
    QList<TestStreamRequest> requests() const;
    bool waitForRequests(qsizetype count, int timeoutMs = 5000);
    // The next request that no script answered, or none after the time-out.
    TestStreamExchange *nextExchange(int timeoutMs = 5000);

    // Further connections are refused.
    void stopListening();

private:
    void accept();
    void readRequest(QTcpSocket *socket);
    void answer(TestStreamExchange *exchange, const TestStreamReply &reply);

    std::unique_ptr<QTcpServer> server;
    QQueue<TestStreamReply> scripted;
    std::optional<TestStreamReply> fallback;
    QList<TestStreamRequest> received;
    QQueue<TestStreamExchange *> unanswered;
};
