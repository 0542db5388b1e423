#pragma once

#include "ChunkedBodyDecoder.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <optional>

class QTcpSocket;

// One long-lived HTTP/1.1 GET whose body is handed on piece by piece as it
// arrives: the notification stream's connection. It asks for the body
// uncompressed, follows a few redirections, and bounds what a service can
// make it hold: the answer's head must arrive within a deadline and a size,
// framing lines are bounded, and unread data waits in the network, never in
// the agent, once the reading side stops asking for it.
class StreamConnection : public QObject
{
    Q_OBJECT

public:
    enum class Failure {
        Unreachable,      // no connection, or it broke before the body ended
        Insecure,         // the TLS handshake failed: an untrusted or mismatched certificate
        NoAnswer,         // the answer's head did not arrive within its deadline
        UnreadableAnswer, // not HTTP, a head too large, a compressed or broken body
    };
    Q_ENUM(Failure)

    struct Limits
    {
        std::chrono::milliseconds headDeadline{std::chrono::seconds(30)};
        qsizetype headBytes = 64 * 1024;
        // What the socket may hold unread before the network pushes back.
        qint64 unreadBytes = 256 * 1024;
    };

    static constexpr int redirectionLimit = 5;

    StreamConnection(const QUrl &address, const Limits &limits, QObject *parent = nullptr);
    ~StreamConnection() override;

    void start();
    // Closes at once; the connection reports nothing more.
    void abort();

    // Where the answer came from: the address, or its redirection target.
    QUrl address() const;
    // The final answer's status, once its head has arrived.
    int status() const;
    // The body data that has arrived since the last read, without its
    // transfer coding. Reading the last of it ends the connection (finished
    // or failed, from the event loop) once the service has ended the body.
    QByteArray readBody();
    // The service has closed its end: what is left unread is all there is.
    bool isClosedByPeer() const;

signals:
    // The final answer's head has arrived.
    void responseReceived();
    // readBody() has data to give, or the end of the body to report.
    void bodyAvailable();
    void finished();
    void failed(StreamConnection::Failure failure, const QString &detail);

private:
    enum class Framing { Length, Chunked, UntilClose };
    enum class Phase { Connecting, Head, Body, Ended };

    void connectTo(const QUrl &target);
    QByteArray requestPath() const;
    void sendRequest();
    void readHead();
    void headArrived(QByteArrayView head, QByteArray rest);
    bool followRedirection(int status, const QByteArray &location);
    bool chooseFraming(const class HttpResponseHead &head);
    void socketDisconnected();
    void socketFailed();
    void endBodyIfComplete();
    void fail(Failure failure, const QString &detail);
    void end(std::optional<Failure> failure, const QString &detail = {});
    void dropSocket();

    QUrl target;
    const Limits limits;
    int redirections = 0;
    QPointer<QTcpSocket> socket;
    QTimer headDeadline;
    Phase phase = Phase::Connecting;
    QByteArray headBytes;
    int statusCode = 0;
    Framing framing = Framing::UntilClose;
    qint64 lengthLeft = 0;
    ChunkedBodyDecoder chunks;
    // Body bytes that arrived with the head.
    QByteArray bodyWithHead;
    bool peerClosed = false;
    bool silenced = false;
};
