// SPDX-License-Identifier: MIT

#include "TestHttpService.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QSslServer>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <sys/socket.h>

TestHttpReply TestHttpReply::dropped(Ending ending) { return {.ending = ending, .answers = false}; }

TestHttpReply TestHttpReply::silent() { return {.ending = Ending::Never, .answers = false}; }

TestHttpReply TestHttpReply::picture(const QByteArray &bytes)
{
    return {.extraHeaders = "Content-Type: image/png\r\n", .pieces = {bytes}, .announceLength = true};
}

QByteArray TestHttpReply::png(const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

TestHttpExchange::TestHttpExchange(QTcpSocket *connection, const TestHttpRequest &request, QObject *parent)
    : QObject(parent)
    , socket(connection)
    , received(request)
{
    socket->setParent(this);
}

TestHttpRequest TestHttpExchange::request() const { return received; }

// The agent reads no reason phrase, so every status gets the same one.
void TestHttpExchange::sendHead(int status, const QByteArray &extraHeaders)
{
    sendPiece("HTTP/1.1 " + QByteArray::number(status)
              + " Status\r\nContent-Type: text/plain; charset=utf-8\r\nConnection: close\r\n" + extraHeaders + "\r\n");
}

void TestHttpExchange::sendPiece(const QByteArray &piece)
{
    socket->write(piece);
    socket->flush();
}

void TestHttpExchange::sendPaced(PieceSource next)
{
    pacedSource = std::move(next);
    connect(socket, &QTcpSocket::bytesWritten, this, &TestHttpExchange::sendNextPaced, Qt::UniqueConnection);
    sendNextPaced();
}

void TestHttpExchange::sendNextPaced()
{
    constexpr qint64 lowWater = 256 * 1024;
    while (pacedSource && socket->bytesToWrite() < lowWater) {
        if (const std::optional<QByteArray> piece = pacedSource())
            socket->write(*piece);
        else
            pacedSource = nullptr;
    }
}

void TestHttpExchange::end(TestHttpReply::Ending ending)
{
    if (ending == TestHttpReply::Ending::Close) {
        socket->disconnectFromHost();
    } else if (ending == TestHttpReply::Ending::Reset) {
        const linger abortive{1, 0};
        ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        socket->abort();
    }
}

bool TestHttpExchange::waitForClosedByPeer(int timeoutMs)
{
    return QTest::qWaitFor([this] { return socket->state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
}

// A TLS server hands a connection on only after its handshake, so accepting
// follows the pending connections, not the incoming ones.
TestHttpService::TestHttpService(const std::optional<QSslConfiguration> &tls)
    : server(tls ? std::make_unique<QSslServer>() : std::make_unique<QTcpServer>())
{
    if (tls)
        static_cast<QSslServer *>(server.get())->setSslConfiguration(*tls);
    server->listen(QHostAddress::LocalHost, 0);
    connect(server.get(), &QTcpServer::pendingConnectionAvailable, this, &TestHttpService::accept);
}

QString TestHttpService::streamhost() const
{
    const QString scheme = qobject_cast<QSslServer *>(server.get()) ? QStringLiteral("https://") : QString();
    return scheme + QStringLiteral("127.0.0.1:%1").arg(server->serverPort());
}

QUrl TestHttpService::url(const QString &path) const
{
    const QString host = streamhost();
    const QString origin = host.contains(QLatin1String("://")) ? host : QString(QStringLiteral("http://") + host);
    return QUrl(origin + path);
}

void TestHttpService::route(const QString &path, const TestHttpReply &reply) { routes.insert(path.toLatin1(), reply); }

void TestHttpService::enqueueReply(const TestHttpReply &reply) { scripted.enqueue(reply); }

void TestHttpService::setFallbackReply(const std::optional<TestHttpReply> &reply) { fallback = reply; }

QList<TestHttpRequest> TestHttpService::requests() const { return received; }

TestHttpExchange *TestHttpService::nextExchange(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return !unanswered.isEmpty(); }, timeoutMs))
        return nullptr;
    return unanswered.dequeue();
}

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
    const QByteArray length = "Content-Length: " + QByteArray::number(reply.pieces.join().size() * reply.repeats) + "\r\n";
    if (reply.answers)
        exchange->sendHead(reply.status, reply.extraHeaders + (reply.announceLength ? length : QByteArray()));
    exchange->sendPaced([exchange, reply, sent = 0]() mutable -> std::optional<QByteArray> {
        if (sent < reply.pieces.size() * reply.repeats)
            return reply.pieces.at(sent++ % reply.pieces.size());
        exchange->end(reply.ending);
        return std::nullopt;
    });
}
