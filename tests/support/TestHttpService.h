#pragma once

#include "TestHttpExchange.h"
#include "TestHttpReply.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QUrl>

#include <memory>
#include <optional>

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

    quint16 port() const;
    // The value for the agent's streamhost setting: "127.0.0.1:<port>", led
    // by "https://" when serving TLS.
    QString streamhost() const;

    // The address of a path on this service.
    QUrl url(const QString &path) const;
    void route(const QString &path, const TestHttpReply &reply);
    int requestCount(const QString &path) const;

    void enqueueReply(const TestHttpReply &reply);
    // Answers every request that no scripted reply is left for (none: hand it
    // to the test).
    void setFallbackReply(const std::optional<TestHttpReply> &reply);
    QList<TestHttpRequest> requests() const;
    bool waitForRequests(qsizetype count, int timeoutMs = 5000);
    // The next request that no script answered, or none after the time-out.
    TestHttpExchange *nextExchange(int timeoutMs = 5000);

    // Further connections are refused.
    void stopListening();

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
