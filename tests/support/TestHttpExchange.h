#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>
#include <optional>

class QTcpSocket;

// The request line and headers of one request to the test stream service.
struct TestHttpRequest
{
    QByteArray method;
    QByteArray path;
    QByteArray headers;
};

// One accepted connection of the test stream service, driven by the test
// step by step: each piece is written and flushed on its own, so the test
// decides what arrives in which network read.
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
    // and never piles up in the test; ends when next() gives none.
    using PieceSource = std::function<std::optional<QByteArray>()>;
    void sendPaced(PieceSource next, std::function<void()> whenSent = {});
    bool isSendingPaced() const;
    // Ends the body the orderly way.
    void close();
    // Ends the connection with a TCP reset.
    void reset();

    // Whether the agent has closed its end (as a cancelled connection does).
    bool closedByPeer() const;
    bool waitForClosedByPeer(int timeoutMs = 5000);

private:
    void sendNextPaced();

    QTcpSocket *socket;
    PieceSource pacedSource;
    std::function<void()> pacedEnd;
    TestHttpRequest received;
    bool peerClosed = false;
};
