#include "TestStreamExchange.h"

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

TestStreamExchange::TestStreamExchange(QTcpSocket *connection, const TestStreamRequest &request, QObject *parent)
    : QObject(parent)
    , socket(connection)
    , received(request)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::disconnected, this, [this] { peerClosed = true; });
}

TestStreamRequest TestStreamExchange::request() const { return received; }

void TestStreamExchange::sendHead(int status, const QByteArray &extraHeaders)
{
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
                  + "\r\nContent-Type: text/plain; charset=utf-8\r\nConnection: close\r\n" + extraHeaders + "\r\n");
    socket->flush();
}

void TestStreamExchange::sendPiece(const QByteArray &piece)
{
    socket->write(piece);
    socket->flush();
}

void TestStreamExchange::sendPaced(PieceSource next)
{
    pacedSource = std::move(next);
    connect(socket, &QTcpSocket::bytesWritten, this, &TestStreamExchange::sendNextPaced, Qt::UniqueConnection);
    sendNextPaced();
}

bool TestStreamExchange::isSendingPaced() const { return bool(pacedSource); }

void TestStreamExchange::sendNextPaced()
{
    constexpr qint64 lowWater = 256 * 1024;
    while (pacedSource && socket->bytesToWrite() < lowWater) {
        const std::optional<QByteArray> piece = pacedSource();
        if (!piece) {
            pacedSource = nullptr;
            return;
        }
        socket->write(*piece);
    }
}

void TestStreamExchange::close() { socket->disconnectFromHost(); }

void TestStreamExchange::reset()
{
    const linger abortive{1, 0};
    ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    socket->abort();
}

bool TestStreamExchange::closedByPeer() const { return peerClosed; }

bool TestStreamExchange::waitForClosedByPeer(int timeoutMs)
{
    return QTest::qWaitFor([this] { return peerClosed; }, timeoutMs);
}
