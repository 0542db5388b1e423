#include "TestHttpService.h"

#include <QSslServer>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <memory>

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
TestHttpService::TestHttpService(const std::optional<QSslConfiguration> &tls)
    : server(serverFor(tls))
{
    server->listen(QHostAddress::LocalHost, 0);
    connect(server.get(), &QTcpServer::pendingConnectionAvailable, this, &TestHttpService::accept);
}

quint16 TestHttpService::port() const { return server->serverPort(); }

QString TestHttpService::streamhost() const
{
    const QString scheme = qobject_cast<QSslServer *>(server.get()) ? QStringLiteral("https://") : QString();
    return scheme + QStringLiteral("127.0.0.1:%1").arg(port());
}

QUrl TestHttpService::url(const QString &path) const
{
    return QUrl(streamhost().contains(QLatin1String("://")) ? streamhost() + path : QStringLiteral("http://") + streamhost() + path);
}

void TestHttpService::route(const QString &path, const TestHttpReply &reply) { routes.insert(path.toLatin1(), reply); }

int TestHttpService::requestCount(const QString &path) const
{
    return int(std::ranges::count(received, path.toLatin1(), &TestHttpRequest::path));
}

void TestHttpService::enqueueReply(const TestHttpReply &reply) { scripted.enqueue(reply); }

void TestHttpService::setFallbackReply(const std::optional<TestHttpReply> &reply) { fallback = reply; }

QList<TestHttpRequest> TestHttpService::requests() const { return received; }

bool TestHttpService::waitForRequests(qsizetype count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return received.size() >= count; }, timeoutMs);
}

TestHttpExchange *TestHttpService::nextExchange(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return !unanswered.isEmpty(); }, timeoutMs))
        return nullptr;
    return unanswered.dequeue();
}

void TestHttpService::stopListening() { server->close(); }

void TestHttpService::accept()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
    }
}

// The request is complete at its empty line: the agent sends no body.
void TestHttpService::readRequest(QTcpSocket *socket)
{
    const QByteArray pending = socket->peek(socket->bytesAvailable());
    const qsizetype headEnd = pending.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    const QByteArray head = socket->read(headEnd + 4);
    const qsizetype lineEnd = head.indexOf("\r\n");
    const QList<QByteArray> requestLine = head.left(lineEnd).split(' ');
    const TestHttpRequest request{requestLine.value(0), requestLine.value(1), head.mid(lineEnd + 2)};
    received.append(request);

    auto *exchange = new TestHttpExchange(socket, request, this);
    if (const auto routed = routes.constFind(request.path); routed != routes.cend())
        answer(exchange, *routed);
    else if (!scripted.isEmpty())
        answer(exchange, scripted.dequeue());
    else if (fallback)
        answer(exchange, *fallback);
    else
        unanswered.enqueue(exchange);
}

// The body goes out paced, each repeat once the network has taken the last,
// and the connection ends after it.
void TestHttpService::answer(TestHttpExchange *exchange, const TestHttpReply &reply)
{
    const auto end = [exchange, ending = reply.ending] {
        if (ending == TestHttpReply::Ending::Close)
            exchange->close();
        else if (ending == TestHttpReply::Ending::Reset)
            exchange->reset();
    };
    if (!reply.answers) {
        end();
        return;
    }
    const QByteArray body = reply.pieces.join();
    exchange->sendHead(reply.status, reply.extraHeaders
                                         + (reply.announceLength ? "Content-Length: " + QByteArray::number(body.size() * reply.repeats) + "\r\n"
                                                                 : QByteArray()));
    auto pieces = std::make_shared<QList<QByteArray>>();
    for (int repeat = 0; repeat < reply.repeats; ++repeat)
        *pieces += reply.pieces;
    exchange->sendPaced([pieces]() -> std::optional<QByteArray> {
        if (pieces->isEmpty())
            return std::nullopt;
        return pieces->takeFirst();
    }, end);
}
