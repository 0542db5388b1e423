#include "TestHttpExchange.h"

#include <QTcpSocket>
#include <QtTest>

#include <sys/socket.h>

namespace {
QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}
}

TestHttpExchange::TestHttpExchange(QTcpSocket *connection, const TestHttpRequest &request, QObject *parent)
    : QObject(parent)
    , socket(connection)
    , received(request)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::disconnected, this, [this] { peerClosed = true; });
}

TestHttpRequest TestHttpExchange::request() const { return received; }

void TestHttpExchange::sendHead(int status, const QByteArray &extraHeaders)
{
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
                  + "\r\nContent-Type: text/plain; charset=utf-8\r\nConnection: close\r\n" + extraHeaders + "\r\n");
    socket->flush();
}

void TestHttpExchange::sendPiece(const QByteArray &piece)
{
    socket->write(piece);
    socket->flush();
}

void TestHttpExchange::sendPaced(PieceSource next, std::function<void()> whenSent)
{
    pacedSource = std::move(next);
    pacedEnd = std::move(whenSent);
    connect(socket, &QTcpSocket::bytesWritten, this, &TestHttpExchange::sendNextPaced, Qt::UniqueConnection);
    sendNextPaced();
}

bool TestHttpExchange::isSendingPaced() const { return bool(pacedSource); }

void TestHttpExchange::sendNextPaced()
{
    constexpr qint64 lowWater = 256 * 1024;
    while (pacedSource && socket->bytesToWrite() < lowWater) {
        const std::optional<QByteArray> piece = pacedSource();
        if (!piece) {
            pacedSource = nullptr;
            if (const std::function<void()> end = std::exchange(pacedEnd, {}))
                end();
            return;
        }
        socket->write(*piece);
    }
}

void TestHttpExchange::close() { socket->disconnectFromHost(); }

void TestHttpExchange::reset()
{
    const linger abortive{1, 0};
    ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    socket->abort();
}

bool TestHttpExchange::closedByPeer() const { return peerClosed; }

bool TestHttpExchange::waitForClosedByPeer(int timeoutMs)
{
    return QTest::qWaitFor([this] { return peerClosed; }, timeoutMs);
}
