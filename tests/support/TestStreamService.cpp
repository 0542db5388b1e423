#include "TestStreamService.h"

#include <QSslServer>
#include <QTcpSocket>
#include <QtTest>

namespace {
std::unique_ptr<QTcpServer> serverFor(const std::optional<QSslConfiguration> &tls)
{
    if (!tls)
        return std::make_unique<QTcpServer>();
    auto server = std::make_unique<QSslServer>();
    server->setSslConfiguration(*tls);
    return server;
}
}

// A TLS server hands a connection on only after its handshake, so accepting
// follows the pending connections, not the incoming ones.
TestStreamService::TestStreamService(const std::optional<QSslConfiguration> &tls)
    : server(serverFor(tls))
{
    server->listen(QHostAddress::LocalHost, 0);
    connect(server.get(), &QTcpServer::pendingConnectionAvailable, this, &TestStreamService::accept);
}

quint16 TestStreamService::port() const { return server->serverPort(); }

QString TestStreamService::streamhost() const
{
    const QString scheme = qobject_cast<QSslServer *>(server.get()) ? QStringLiteral("https://") : QString();
    return scheme + QStringLiteral("127.0.0.1:%1").arg(port());
}

void TestStreamService::enqueueReply(const TestStreamReply &reply) { scripted.enqueue(reply); }

void TestStreamService::setFallbackReply(const std::optional<TestStreamReply> &reply) { fallback = reply; }

QList<TestStreamRequest> TestStreamService::requests() const { return received; }

bool TestStreamService::waitForRequests(qsizetype count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return received.size() >= count; }, timeoutMs);
}

TestStreamExchange *TestStreamService::nextExchange(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return !unanswered.isEmpty(); }, timeoutMs))
        return nullptr;
    return unanswered.dequeue();
}

void TestStreamService::stopListening() { server->close(); }

void TestStreamService::accept()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
    }
}

// The request is complete at its empty line: the agent sends no body.
void TestStreamService::readRequest(QTcpSocket *socket)
{
    const QByteArray pending = socket->peek(socket->bytesAvailable());
    const qsizetype headEnd = pending.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    const QByteArray head = socket->read(headEnd + 4);
    const qsizetype lineEnd = head.indexOf("\r\n");
    const QList<QByteArray> requestLine = head.left(lineEnd).split(' ');
    const TestStreamRequest request{requestLine.value(0), requestLine.value(1), head.mid(lineEnd + 2)};
    received.append(request);

    auto *exchange = new TestStreamExchange(socket, request, this);
    if (!scripted.isEmpty())
        answer(exchange, scripted.dequeue());
    else if (fallback)
        answer(exchange, *fallback);
    else
        unanswered.enqueue(exchange);
}

void TestStreamService::answer(TestStreamExchange *exchange, const TestStreamReply &reply)
{
    if (reply.answers) {
        exchange->sendHead(reply.status, reply.extraHeaders);
        for (const QByteArray &piece : reply.pieces)
            exchange->sendPiece(piece);
    }
    switch (reply.ending) {
    case TestStreamReply::Ending::Close: exchange->close(); break;
    case TestStreamReply::Ending::Reset: exchange->reset(); break;
    }
}
