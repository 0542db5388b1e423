// SPDX-License-Identifier: MIT

#pragma once

#include "ChunkedBodyDecoder.h"
#include "HappyEyeballsConnector.h"
#include "Socks5Handshake.h"

#include <QByteArray>
#include <QNetworkProxy>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <optional>

class QTcpSocket;

// One long-lived HTTP/1.1 GET whose body is handed on piece by piece as it
// arrives: the notification stream's connection. It goes through the proxy
// the user's settings name (an HTTP proxy: plain http as an absolute-form
// request, https through a CONNECT tunnel; or SOCKS5), reaches a host (or
// proxy) of
// several addresses on the first that answers, asks for the body
// uncompressed, follows a few redirections, and bounds what a service can
// make it hold: the answer's head must arrive within a deadline and a size,
// framing lines are bounded, and unread data waits in the network, never in
// the agent, once the reading side stops asking for it. TCP keepalive probes
// find a peer that has vanished without a word, and keep the mappings of the
// NATs on the way alive.
class StreamConnection : public QObject
{
    Q_OBJECT

public:
    enum class Failure {
        Unreachable,      // no connection, or it broke before the body ended
        UnknownHost,      // the host name does not resolve
        Insecure,         // the TLS handshake failed: an untrusted or mismatched certificate
        NoAnswer,         // the answer's head did not arrive within its deadline
        UnreadableAnswer, // not HTTP, a head too large, a compressed or broken body
        Lost,             // the peer stopped answering the keepalive probes
        ProxyUnreachable, // no connection to the proxy
        ProxyRefused,     // the proxy answered with an error status of its own
        ProxyCredentials, // the proxy wants credentials, or other ones
    };
    Q_ENUM(Failure)

    struct Limits
    {
        std::chrono::milliseconds headDeadline{std::chrono::seconds(30)};
        qsizetype headBytes = 64 * 1024;
        // What the socket may hold unread before the network pushes back.
        qint64 unreadBytes = 256 * 1024;
        std::chrono::milliseconds attemptHeadStart = HappyEyeballsConnector::defaultHeadStart;
        // The first probe after this much silence, then one each interval;
        // the connection is lost after this many unanswered probes.
        std::chrono::seconds keepAliveIdle{60};
        std::chrono::seconds keepAliveInterval{10};
        int keepAliveProbes = 3;
    };

    static constexpr int redirectionLimit = 5;

    StreamConnection(const QUrl &address, const Limits &limits, QObject *parent = nullptr);
    ~StreamConnection() override;

    void start();
    // Closes at once; the connection reports nothing more.
    void abort();

    // Where the answer came from: the address, or its redirection target.
    QUrl address() const;
    // The final answer's status, once its head has arrived; or the status
    // of the proxy's own refusal.
    int status() const;
    // The proxy the connection goes through, as "host:port"; empty when direct.
    QString proxyAuthority() const;
    // What a redirection that was not followed pointed to ("plain http"), a
    // text of the stream state's to translate; none when none was refused.
    const char *refusedRedirection() const;
    // Why the server could not be reached securely, as TLS tells it ("the
    // certificate has expired"); empty when it could.
    QString insecureBecause() const;
    // The body data that has arrived since the last read, without its
    // transfer coding. Reading the last of it ends the connection (finished
    // or failed, from the event loop) once the service has ended the body.
    QByteArray readBody();
    // The service has closed its end: what is left unread is all there is.
    bool isClosedByPeer() const;

Q_SIGNALS:
    // The final answer's head has arrived.
    void responseReceived();
    // readBody() has data to give, or the end of the body to report.
    void bodyAvailable();
    void finished();
    void failed(StreamConnection::Failure failure, const QString &detail);

private:
    enum class Framing { Length, Chunked, UntilClose };
    enum class Phase { Connecting, Socks, Tunnel, Head, Body, Ended };

    void connectTo(const QUrl &target);
    void adopt(QTcpSocket *connected);
    void reached();
    void startSocks();
    void readSocks();
    void keepAlive();
    void connectFailed(QAbstractSocket::SocketError error, const QString &detail);
    bool isSecure() const;
    bool viaHttpProxy() const;
    QByteArray proxyCredentials() const;
    QByteArray requestPath() const;
    void openTunnel();
    void startEncryption();
    void sendRequest();
    void readHead();
    void headArrived(QByteArrayView head);
    void tunnelAnswered(int status);
    bool refusedByProxy(const class HttpResponseHead &head);
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
    const char *refusedTarget = nullptr;
    QNetworkProxy proxy;
    QPointer<HappyEyeballsConnector> connector;
    std::optional<Socks5Handshake> socks;
    QPointer<QTcpSocket> socket;
    QTimer headDeadline;
    Phase phase = Phase::Connecting;
    QByteArray headBytes;
    // Where in headBytes the head not yet parsed starts, after interim answers.
    qsizetype headStart = 0;
    int statusCode = 0;
    Framing framing = Framing::UntilClose;
    qint64 lengthLeft = 0;
    ChunkedBodyDecoder chunks;
    // Body bytes that arrived with the head.
    QByteArray bodyWithHead;
    bool peerClosed = false;
    // The peer went silent: the end is a loss, not the body's end.
    QString lostBecause;
    QString tlsProblem;
    bool silenced = false;
};
