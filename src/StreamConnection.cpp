#include "StreamConnection.h"

#include "HttpResponseHead.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace {
const QByteArrayList headEndings{"\r\n\r\n", "\n\n"};

bool isRedirection(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
           && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// Where the head ends: the first empty line, and the length of what ends it.
std::pair<qsizetype, qsizetype> findHeadEnd(const QByteArray &bytes)
{
    std::pair<qsizetype, qsizetype> earliest{-1, 0};
    for (const QByteArray &ending : headEndings) {
        const qsizetype at = bytes.indexOf(ending);
        if (at >= 0 && (earliest.first < 0 || at < earliest.first))
            earliest = {at, ending.size()};
    }
    return earliest;
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

void StreamConnection::connectTo(const QUrl &address)
{
    dropSocket();
    target = address;
    phase = Phase::Connecting;
    headBytes.clear();
    const bool secure = address.scheme() == QLatin1String("https");
    QTcpSocket *connection = secure ? new QSslSocket(this) : new QTcpSocket(this);
    socket = connection;
    connection->setReadBufferSize(limits.unreadBytes);
    if (secure)
        connect(static_cast<QSslSocket *>(connection), &QSslSocket::encrypted, this, &StreamConnection::sendRequest);
    else
        connect(connection, &QTcpSocket::connected, this, &StreamConnection::sendRequest);
    connect(connection, &QTcpSocket::readyRead, this, [this] {
        if (phase == Phase::Body)
            emit bodyAvailable();
        else
            readHead();
    });
    connect(connection, &QTcpSocket::disconnected, this, &StreamConnection::socketDisconnected);
    connect(connection, &QTcpSocket::errorOccurred, this, &StreamConnection::socketFailed);
    headDeadline.start(limits.headDeadline);
    const quint16 port = quint16(address.port(secure ? 443 : 80));
    if (secure)
        static_cast<QSslSocket *>(connection)->connectToHostEncrypted(address.host(), port);
    else
        connection->connectToHost(address.host(), port);
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
    socket->write("GET " + path + " HTTP/1.1\r\nHost: " + target.authority(QUrl::FullyEncoded).toLatin1()
                  + "\r\nUser-Agent: pellix-growl/" PELLIX_VERSION
                    "\r\nAccept: */*\r\nAccept-Encoding: identity\r\nConnection: close\r\n\r\n");
}

void StreamConnection::readHead()
{
    headBytes += socket->readAll();
    while (phase == Phase::Head) {
        const auto [end, endingLength] = findHeadEnd(headBytes);
        if (end < 0 || end > limits.headBytes) {
            if (headBytes.size() > limits.headBytes)
                fail(Failure::UnreadableAnswer, QStringLiteral("the answer's head passed %1 bytes").arg(limits.headBytes));
            return;
        }
        QByteArray rest = headBytes.sliced(end + endingLength);
        headArrived(QByteArrayView(headBytes).first(end), std::move(rest));
    }
}

void StreamConnection::headArrived(QByteArrayView head, QByteArray rest)
{
    const std::optional<HttpResponseHead> parsed = HttpResponseHead::parse(head);
    if (!parsed) {
        fail(Failure::UnreadableAnswer, QStringLiteral("not an HTTP answer"));
        return;
    }
    // An interim answer (100 Continue, 103 Early Hints) precedes the real one.
    if (parsed->status() < 200) {
        headBytes = std::move(rest);
        return;
    }
    if (followRedirection(parsed->status(), parsed->field("location")))
        return;
    headDeadline.stop();
    headBytes.clear();
    statusCode = parsed->status();
    bodyWithHead = std::move(rest);
    phase = Phase::Body;
    emit responseReceived();
    if (phase != Phase::Body || !chooseFraming(*parsed))
        return;
    if (!bodyWithHead.isEmpty() || (socket && socket->bytesAvailable() > 0) || framing == Framing::Length)
        emit bodyAvailable();
}

bool StreamConnection::followRedirection(int status, const QByteArray &location)
{
    if (!isRedirection(status) || location.isEmpty() || redirections >= redirectionLimit)
        return false;
    const QUrl next = target.resolved(QUrl::fromEncoded(location));
    const bool downgrade = target.scheme() == QLatin1String("https") && next.scheme() != QLatin1String("https");
    if (!isWebAddress(next) || downgrade)
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
    if (framing == Framing::UntilClose)
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
        emit bodyAvailable();
}

void StreamConnection::socketFailed()
{
    const QAbstractSocket::SocketError error = socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    if (phase == Phase::Body) {
        socketDisconnected();
        return;
    }
    const bool tls = error == QAbstractSocket::SslHandshakeFailedError || error == QAbstractSocket::SslInternalError
                     || error == QAbstractSocket::SslInvalidUserDataError;
    fail(tls ? Failure::Insecure : Failure::Unreachable, socket->errorString());
}

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
                emit failed(*failure, detail);
            else
                emit finished();
        },
        Qt::QueuedConnection);
}

void StreamConnection::dropSocket()
{
    if (!socket)
        return;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
    socket = nullptr;
}
