// SPDX-License-Identifier: MIT

#include "StreamConnection.h"

#include "HttpResponseHead.h"
#include "NetworkProxies.h"
#include "PellixVersion.h"
#include "Socks5Handshake.h"

#include <QSslSocket>
#include <QTcpSocket>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {
// RFC 9112 lets a recipient take a bare line feed for the end of a line, so
// the empty line may follow either kind.

bool isRedirection(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
           && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// Where the head that starts at from ends: the first empty line, ended by
// CRLF or a bare LF as RFC 9112 lets a recipient accept, and the length of
// what ends it. One pass over the bytes, however many heads they hold.
std::pair<qsizetype, qsizetype> findHeadEnd(const QByteArray &bytes, qsizetype from)
{
    for (qsizetype at = bytes.indexOf('\n', from); at >= 0; at = bytes.indexOf('\n', at + 1)) {
        if (at + 1 < bytes.size() && bytes[at + 1] == '\n')
            return {at, 2};
        if (at + 2 < bytes.size() && bytes[at + 1] == '\r' && bytes[at + 2] == '\n')
            return at > from && bytes[at - 1] == '\r' ? std::pair{at - 1, qsizetype(4)} : std::pair{at, qsizetype(3)};
    }
    return {-1, 0};
}

// host:port, an IPv6 address in brackets, as a request's target or Host.
QByteArray authorityOf(const QString &host, int port)
{
    const QByteArray name = host.contains(QLatin1Char(':')) ? '[' + host.toLatin1() + ']' : QUrl::toAce(host);
    return name + ':' + QByteArray::number(port);
}

bool isTlsError(QAbstractSocket::SocketError error)
{
    return error == QAbstractSocket::SslHandshakeFailedError || error == QAbstractSocket::SslInternalError
           || error == QAbstractSocket::SslInvalidUserDataError;
}

std::optional<qint64> contentLength(const QByteArray &field)
{
    // A length repeated with the same value is one length.
    const QByteArrayList values = field.split(',');
    std::optional<qint64> length;
    for (const QByteArray &value : values) {
        bool isNumber = false;
        const QByteArray digits = value.trimmed();
        const qint64 parsed = digits.toLongLong(&isNumber);
        if (!isNumber || parsed < 0 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })
            || (length && *length != parsed))
            return std::nullopt;
        length = parsed;
    }
    return length;
}
}

StreamConnection::StreamConnection(const QUrl &address, const Limits &connectionLimits, QObject *parent)
    : QObject(parent)
    , target(address)
    , limits(connectionLimits)
{
    headDeadline.setSingleShot(true);
    connect(&headDeadline, &QTimer::timeout, this, [this] {
        fail(Failure::NoAnswer,
             QStringLiteral("no answer within %1 ms").arg(std::chrono::milliseconds(limits.headDeadline).count()));
    });
}

StreamConnection::~StreamConnection() { dropSocket(); }

void StreamConnection::start()
{
    if (!isWebAddress(target)) {
        fail(Failure::Unreachable, QStringLiteral("not a web address"));
        return;
    }
    connectTo(target);
}

void StreamConnection::abort()
{
    silenced = true;
    phase = Phase::Ended;
    headDeadline.stop();
    dropSocket();
}

QUrl StreamConnection::address() const { return target; }
int StreamConnection::status() const { return statusCode; }

QString StreamConnection::proxyAuthority() const
{
    if (proxy.type() == QNetworkProxy::NoProxy)
        return {};
    return QString::fromLatin1(authorityOf(proxy.hostName(), proxy.port()));
}

bool StreamConnection::isSecure() const { return target.scheme() == QLatin1String("https"); }
bool StreamConnection::viaHttpProxy() const { return proxy.type() == QNetworkProxy::HttpProxy; }

// Every connection, also each redirection's, asks for the proxy anew: the
// target decides whether there is one.
void StreamConnection::connectTo(const QUrl &address)
{
    dropSocket();
    target = address;
    phase = Phase::Connecting;
    headBytes.clear();
    headStart = 0;
    proxy = NetworkProxies::forAddress(address);
    const bool secure = isSecure();
    connector = new HappyEyeballsConnector(
        [secure](QObject *parent) -> QTcpSocket * { return secure ? new QSslSocket(parent) : new QTcpSocket(parent); },
        limits.attemptHeadStart, this);
    connect(connector, &HappyEyeballsConnector::connected, this, &StreamConnection::adopt);
    connect(connector, &HappyEyeballsConnector::failed, this, &StreamConnection::connectFailed);
    headDeadline.start(limits.headDeadline);
    if (proxy.type() != QNetworkProxy::NoProxy)
        connector->connectTo(proxy.hostName(), proxy.port());
    else
        connector->connectTo(address.host(), quint16(address.port(secure ? 443 : 80)));
}

void StreamConnection::adopt(QTcpSocket *connected)
{
    connector->deleteLater();
    connector = nullptr;
    connected->setParent(this);
    socket = connected;
    connected->setReadBufferSize(limits.unreadBytes);
    keepAlive();
    connect(connected, &QTcpSocket::readyRead, this, [this] {
        if (phase == Phase::Body)
            Q_EMIT bodyAvailable();
        else if (phase == Phase::Socks)
            readSocks();
        else
            readHead();
    });
    connect(connected, &QTcpSocket::disconnected, this, &StreamConnection::socketDisconnected);
    connect(connected, &QTcpSocket::errorOccurred, this, &StreamConnection::socketFailed);
    if (proxy.type() == QNetworkProxy::Socks5Proxy)
        startSocks();
    else if (viaHttpProxy() && isSecure())
        openTunnel();
    else
        reached();
}

// The connection reaches the host: directly, or through a proxy's tunnel.
void StreamConnection::reached()
{
    if (isSecure())
        startEncryption();
    else
        sendRequest();
}

// Through a proxy the probes keep the hop to the proxy alive.
void StreamConnection::keepAlive()
{
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const int descriptor = int(socket->socketDescriptor());
    const int idle = int(limits.keepAliveIdle.count());
    const int interval = int(limits.keepAliveInterval.count());
    const int probes = limits.keepAliveProbes;
    setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

void StreamConnection::connectFailed(QAbstractSocket::SocketError error, const QString &detail)
{
    if (proxy.type() != QNetworkProxy::NoProxy)
        fail(Failure::ProxyUnreachable, detail);
    else
        fail(error == QAbstractSocket::HostNotFoundError ? Failure::UnknownHost : Failure::Unreachable, detail);
}

// The proxy is asked to connect to the stream's host by name, and resolves it.
void StreamConnection::startSocks()
{
    phase = Phase::Socks;
    socks.emplace(proxy.user(), proxy.password(), target.host(), quint16(target.port(isSecure() ? 443 : 80)));
    socket->write(socks->greeting());
}

void StreamConnection::readSocks()
{
    headBytes += socket->readAll();
    QByteArray reply;
    switch (socks->read(headBytes, reply)) {
    case Socks5Handshake::Outcome::Continue:
        socket->write(reply);
        return;
    case Socks5Handshake::Outcome::Connected:
        headBytes.clear();
        reached();
        return;
    case Socks5Handshake::Outcome::Unreachable:
        fail(Failure::Unreachable, QStringLiteral("the proxy cannot reach the host"));
        return;
    case Socks5Handshake::Outcome::Refused:
        fail(Failure::ProxyRefused, QStringLiteral("the proxy's rules refuse the connection"));
        return;
    case Socks5Handshake::Outcome::CredentialsRefused:
        fail(Failure::ProxyCredentials, QStringLiteral("the proxy refused the credentials, or wants some"));
        return;
    case Socks5Handshake::Outcome::Broken:
        fail(Failure::ProxyUnreachable, QStringLiteral("not a SOCKS5 proxy"));
        return;
    }
}

QByteArray StreamConnection::proxyCredentials() const
{
    if (proxy.user().isEmpty())
        return {};
    const QByteArray pair = proxy.user().toUtf8() + ':' + proxy.password().toUtf8();
    return "Proxy-Authorization: Basic " + pair.toBase64() + "\r\n";
}

// The proxy is asked for a tunnel to the stream's host, inside which TLS is
// spoken with that host and its certificate checked against its name.
void StreamConnection::openTunnel()
{
    phase = Phase::Tunnel;
    const QByteArray authority = authorityOf(target.host(), target.port(443));
    socket->write("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n" + proxyCredentials()
                  + "User-Agent: pellix-growl/" PELLIX_VERSION "\r\n\r\n");
}

void StreamConnection::startEncryption()
{
    auto *tls = static_cast<QSslSocket *>(socket.data());
    connect(tls, &QSslSocket::encrypted, this, &StreamConnection::sendRequest);
    // The certificate's faults come before the handshake's failure, which
    // names none of them.
    connect(tls, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        QStringList problems;
        for (const QSslError &error : errors)
            problems.append(error.errorString());
        problems.removeDuplicates();
        tlsProblem = problems.join(QLatin1String("; "));
    });
    tls->setPeerVerifyName(target.host());
    tls->startClientEncryption();
}

// The path as the request sends it. A segment that is only dots, as the user
// name "." or "..", is escaped: a service or proxy would otherwise drop it,
// and the key's digest would go to another path.
QByteArray StreamConnection::requestPath() const
{
    QByteArrayList segments = target.path(QUrl::FullyEncoded).toLatin1().split('/');
    for (QByteArray &segment : segments) {
        if (segment == "." || segment == "..")
            segment.replace(".", "%2E");
    }
    const QByteArray path = segments.join('/');
    return path.isEmpty() ? QByteArray("/") : path;
}

// One request per connection; the body ends with it or by its own framing.
void StreamConnection::sendRequest()
{
    phase = Phase::Head;
    QByteArray path = requestPath();
    if (target.hasQuery())
        path += '?' + target.query(QUrl::FullyEncoded).toLatin1();
    const QByteArray host = target.authority(QUrl::FullyEncoded | QUrl::RemoveUserInfo).toLatin1();
    // A plain request through an HTTP proxy names its whole address.
    const bool absolute = viaHttpProxy() && !isSecure();
    const QByteArray requestTarget = absolute ? "http://" + host + path : path;
    socket->write("GET " + requestTarget + " HTTP/1.1\r\nHost: " + host + "\r\n" + (absolute ? proxyCredentials() : "")
                  + "User-Agent: pellix-growl/" PELLIX_VERSION
                    "\r\nAccept: */*\r\nAccept-Encoding: identity\r\nConnection: close\r\n\r\n");
}

void StreamConnection::readHead()
{
    headBytes += socket->readAll();
    // Interim answers stay in the bytes and count towards the one bound.
    while (phase == Phase::Head || phase == Phase::Tunnel) {
        const auto [end, endingLength] = findHeadEnd(headBytes, headStart);
        if (end < 0 || end > limits.headBytes) {
            if (headBytes.size() > limits.headBytes)
                fail(Failure::UnreadableAnswer, QStringLiteral("the answer's head passed %1 bytes").arg(limits.headBytes));
            return;
        }
        const qsizetype start = std::exchange(headStart, end + endingLength);
        headArrived(QByteArrayView(headBytes).sliced(start, end - start));
    }
}

void StreamConnection::headArrived(QByteArrayView head)
{
    const std::optional<HttpResponseHead> parsed = HttpResponseHead::parse(head);
    if (!parsed) {
        fail(Failure::UnreadableAnswer, QStringLiteral("not an HTTP answer"));
        return;
    }
    // An interim answer (100 Continue, 103 Early Hints) precedes the real one.
    if (parsed->status() < 200)
        return;
    if (phase == Phase::Tunnel) {
        tunnelAnswered(parsed->status());
        return;
    }
    if (refusedByProxy(*parsed))
        return;
    if (followRedirection(parsed->status(), parsed->field("location")))
        return;
    headDeadline.stop();
    statusCode = parsed->status();
    bodyWithHead = headBytes.sliced(headStart);
    headBytes.clear();
    phase = Phase::Body;
    Q_EMIT responseReceived();
    if (phase != Phase::Body || !chooseFraming(*parsed))
        return;
    if (!bodyWithHead.isEmpty() || (socket && socket->bytesAvailable() > 0) || framing == Framing::Length)
        Q_EMIT bodyAvailable();
}

void StreamConnection::tunnelAnswered(int status)
{
    headBytes.clear();
    headStart = 0;
    if (status <= 299) {
        startEncryption();
        return;
    }
    statusCode = status;
    fail(status == 407 ? Failure::ProxyCredentials : Failure::ProxyRefused,
         QStringLiteral("the proxy answered HTTP %1 to CONNECT").arg(status));
}

// An HTTP proxy passes the service's answers on, and marks its own refusals
// (RFC 9209's Proxy-Status with an error; squid's X-Squid-Error). A 407 is
// always the proxy's.
bool StreamConnection::refusedByProxy(const HttpResponseHead &head)
{
    const int status = head.status();
    const bool markedAsOwn = head.field("proxy-status").contains("error=") || !head.field("x-squid-error").isNull();
    if (!viaHttpProxy() || status < 400 || (status != 407 && !markedAsOwn))
        return false;
    statusCode = status;
    const QString detail = QStringLiteral("the proxy answered HTTP %1").arg(status);
    if (status == 407)
        fail(Failure::ProxyCredentials, detail);
    else if (status == 502 || status == 503 || status == 504)
        fail(Failure::Unreachable, detail);
    else
        fail(Failure::ProxyRefused, detail);
    return true;
}

const char *StreamConnection::refusedRedirection() const { return refusedTarget; }

bool StreamConnection::followRedirection(int status, const QByteArray &location)
{
    if (!isRedirection(status) || location.isEmpty() || redirections >= redirectionLimit)
        return false;
    const QUrl next = target.resolved(QUrl::fromEncoded(location));
    // Credentials would go out in the Host field; the settings refuse them too.
    if (!isWebAddress(next))
        refusedTarget = QT_TRANSLATE_NOOP("StreamState", "an address that is not http or https");
    else if (!next.userInfo().isEmpty())
        refusedTarget = QT_TRANSLATE_NOOP("StreamState", "an address with a user name or password");
    else if (target.scheme() == QLatin1String("https") && next.scheme() != QLatin1String("https"))
        refusedTarget = QT_TRANSLATE_NOOP("StreamState", "plain http");
    if (refusedTarget)
        return false;
    ++redirections;
    connectTo(next);
    return true;
}

// The body is read only in the codings the request allowed.
bool StreamConnection::chooseFraming(const HttpResponseHead &head)
{
    const QByteArray encoding = head.field("content-encoding");
    if (!encoding.isNull() && encoding.toLower() != "identity") {
        fail(Failure::UnreadableAnswer, QStringLiteral("a body in the coding %1").arg(QString::fromLatin1(encoding)));
        return false;
    }
    const QByteArray transfer = head.field("transfer-encoding");
    const QByteArray length = head.field("content-length");
    if (statusCode == 204 || statusCode == 304) {
        framing = Framing::Length;
        lengthLeft = 0;
    } else if (!transfer.isNull()) {
        if (transfer.toLower() != "chunked") {
            fail(Failure::UnreadableAnswer, QStringLiteral("the transfer coding %1").arg(QString::fromLatin1(transfer)));
            return false;
        }
        framing = Framing::Chunked;
    } else if (!length.isNull()) {
        const std::optional<qint64> bytes = contentLength(length);
        if (!bytes) {
            fail(Failure::UnreadableAnswer, QStringLiteral("a broken length"));
            return false;
        }
        framing = Framing::Length;
        lengthLeft = *bytes;
    } else {
        framing = Framing::UntilClose;
    }
    return true;
}

QByteArray StreamConnection::readBody()
{
    if (phase != Phase::Body)
        return {};
    QByteArray raw = std::exchange(bodyWithHead, {});
    if (socket)
        raw += socket->readAll();
    QByteArray body;
    switch (framing) {
    case Framing::Length: {
        const qsizetype taken = qsizetype(std::min<qint64>(lengthLeft, raw.size()));
        body = raw.first(taken);
        lengthLeft -= taken;
        break;
    }
    case Framing::Chunked:
        if (!chunks.decode(raw, body)) {
            fail(Failure::UnreadableAnswer, QStringLiteral("a broken chunked body"));
            return body;
        }
        break;
    case Framing::UntilClose:
        body = std::move(raw);
        break;
    }
    endBodyIfComplete();
    return body;
}

bool StreamConnection::isClosedByPeer() const { return peerClosed; }

void StreamConnection::endBodyIfComplete()
{
    const bool framingComplete = (framing == Framing::Length && lengthLeft == 0)
                                 || (framing == Framing::Chunked && chunks.isFinished());
    if (framingComplete) {
        end(std::nullopt);
        return;
    }
    const bool drained = bodyWithHead.isEmpty() && (!socket || socket->bytesAvailable() == 0);
    if (!peerClosed || !drained)
        return;
    if (!lostBecause.isEmpty())
        end(Failure::Lost, lostBecause);
    else if (framing == Framing::UntilClose)
        end(std::nullopt);
    else
        end(Failure::Unreachable, QStringLiteral("the connection closed before the body ended"));
}

// What the connection still holds is read before the end is reported.
void StreamConnection::socketDisconnected()
{
    peerClosed = true;
    if (phase == Phase::Connecting || phase == Phase::Head) {
        fail(Failure::Unreachable, QStringLiteral("the connection closed before an answer"));
        return;
    }
    if (phase != Phase::Body)
        return;
    const bool drained = bodyWithHead.isEmpty() && (!socket || socket->bytesAvailable() == 0);
    if (drained)
        endBodyIfComplete();
    else
        Q_EMIT bodyAvailable();
}

void StreamConnection::socketFailed()
{
    const QAbstractSocket::SocketError error = socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    if (phase == Phase::Body) {
        lostBecause = socket->errorString();
        socketDisconnected();
        return;
    }
    if (isTlsError(error) && tlsProblem.isEmpty())
        tlsProblem = socket->errorString();
    fail(isTlsError(error) ? Failure::Insecure : Failure::Unreachable, socket->errorString());
}

QString StreamConnection::insecureBecause() const { return tlsProblem; }

void StreamConnection::fail(Failure failure, const QString &detail) { end(failure, detail); }

// Reported from the event loop, never from inside the call that found the
// end, so a reader may safely abort or replace the connection then.
void StreamConnection::end(std::optional<Failure> failure, const QString &detail)
{
    if (phase == Phase::Ended)
        return;
    phase = Phase::Ended;
    headDeadline.stop();
    dropSocket();
    QMetaObject::invokeMethod(
        this,
        [this, failure, detail] {
            if (silenced)
                return;
            if (failure)
                Q_EMIT failed(*failure, detail);
            else
                Q_EMIT finished();
        },
        Qt::QueuedConnection);
}

void StreamConnection::dropSocket()
{
    if (connector) {
        disconnect(connector, nullptr, this, nullptr);
        connector->deleteLater();
        connector = nullptr;
    }
    if (!socket)
        return;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
    socket = nullptr;
}
