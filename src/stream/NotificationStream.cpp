// SPDX-License-Identifier: MIT

#include "NotificationStream.h"

#include "session/LoggingCategories.h"

namespace {
using Language = StreamState::Language;

bool isSuccess(int status) { return status >= 200 && status <= 299; }

QString say(const char *source, Language language) { return StreamState::say(source, language); }

// "5 minutes", "90 s", "600 ms": the idle limit as the state tells it.
QString spanText(std::chrono::milliseconds span, Language language)
{
    using namespace std::chrono;
    if (span >= minutes(1) && span % minutes(1) == 0ms) {
        const auto whole = duration_cast<minutes>(span).count();
        return whole == 1 ? say(QT_TRANSLATE_NOOP("StreamState", "1 minute"), language)
                          : say(QT_TRANSLATE_NOOP("StreamState", "%1 minutes"), language).arg(whole);
    }
    if (span % seconds(1) == 0ms)
        return say(QT_TRANSLATE_NOOP("StreamState", "%1 s"), language).arg(duration_cast<seconds>(span).count());
    return say(QT_TRANSLATE_NOOP("StreamState", "%1 ms"), language).arg(span.count());
}

// Diagnostics show only the start of the key's digest: the digest alone
// opens the user's stream.
QString withShortDigest(QString text, const QUrl &address)
{
    const QString digest = address.path().section(QLatin1Char('/'), -1);
    if (!digest.isEmpty())
        text.replace(digest, digest.left(4) + QStringLiteral("…"));
    return text;
}
}

NotificationStream::NotificationStream(std::function<MessageBacklog()> messagesNotShown, const Options &streamOptions,
                                       QObject *parent)
    : QObject(parent)
    , backlog(std::move(messagesNotShown))
    , options(streamOptions)
    , lines(streamOptions.lineLengthLimit)
    , offlineSince(QDateTime::currentDateTime())
{
    idle.setSingleShot(true);
    connect(&idle, &QTimer::timeout, this, &NotificationStream::wentSilent);
    proof.setSingleShot(true);
    connect(&proof, &QTimer::timeout, this, &NotificationStream::prove);
    reopen.setSingleShot(true);
    connect(&reopen, &QTimer::timeout, this, &NotificationStream::reopenDue);
}

NotificationStream::~NotificationStream() { cancel(); }

void NotificationStream::open(const QUrl &address, const QString &user)
{
    cancel();
    currentAddress = address;
    currentUser = user;
    proved = false;
    readingPaused = false;
    lines.reset();
    lastFailure = {};
    qCInfo(lcStream).noquote() << "opening the stream of" << user << "at"
                               << (address.isValid() ? address.authority() : QStringLiteral("an invalid address"));
    auto *connection = new StreamConnection(address, options.connection, this);
    current = connection;
    connect(connection, &StreamConnection::responseReceived, this, &NotificationStream::answerArrived);
    connect(connection, &StreamConnection::bodyAvailable, this, &NotificationStream::readConnection);
    connect(connection, &StreamConnection::finished, this,
            [this] {
                connectionEnded(worded(QT_TRANSLATE_NOOP("StreamState", "the server ended the stream")), QString());
            });
    connect(connection, &StreamConnection::failed, this,
            [this](StreamConnection::Failure failure, const QString &detail) {
                connectionEnded(StreamState::Reason::worded(
                                    [this, failure](Language language) { return failureReason(failure, language); }),
                                detail);
            });
    connectionOpen = true;
    setState(StreamState::connecting(host(Language::User)));
    idle.start(options.idleLimit);
    connection->start();
}

void NotificationStream::cancel()
{
    reopen.stop();
    idle.stop();
    proof.stop();
    connectionOpen = false;
    StreamConnection *connection = current;
    current.clear();
    if (!connection)
        return;
    disconnect(connection, nullptr, this, nullptr);
    connection->abort();
    connection->deleteLater();
}

void NotificationStream::signOut(const StreamState &why)
{
    cancel();
    if (why != state())
        qCInfo(lcStream).noquote() << "not connected:" << why.text(StreamState::Language::English);
    goOffline();
    setState(why);
}

void NotificationStream::reopenAfter(std::chrono::seconds wait)
{
    qCInfo(lcStream) << "re-opening in" << wait.count() << "s";
    reopen.start(wait);
    setState(StreamState::waiting(offlineSince, wait, lastFailure));
}

StreamConnection *NotificationStream::connection() const { return current; }
bool NotificationStream::isOpen() const { return connectionOpen; }
bool NotificationStream::isWaitingToReopen() const { return reopen.isActive(); }
const StreamState &NotificationStream::state() const { return shown; }

// Only a successful answer is a stream; anything else ends the connection as
// a failure before its body reaches the decoder.
void NotificationStream::answerArrived()
{
    const int status = current->status();
    if (!isSuccess(status)) {
        StreamConnection *refused = current;
        disconnect(refused, nullptr, this, nullptr);
        refused->abort();
        connectionEnded(StreamState::Reason::worded(
                            [this, status](Language language) { return statusReason(status, language); }),
                        QStringLiteral("HTTP status %1").arg(status));
        return;
    }
    qCInfo(lcStream) << "connected: HTTP status" << status;
    const QDateTime now = QDateTime::currentDateTime();
    std::optional<StreamState::Outage> outage;
    if (everConnected && offlineSince.msecsTo(now) > options.outageWorthTelling.count())
        outage = StreamState::Outage{offlineSince, now};
    everConnected = true;
    lastArrival = now;
    setState(StreamState::connected(currentUser, now, outage));
    proof.start(options.proofTime);
}

// The stream is read only as fast as the notification service shows its
// messages: while the backlog is full the data waits in the network, and the
// idle limit does not run, so a slow service never makes a healthy stream
// look dead. A connection the service has closed is read to its end at once,
// so that the next attempt is not held up by the backlog.
void NotificationStream::readConnection()
{
    if (!current)
        return;
    readingPaused = readAheadIsFull() && !current->isClosedByPeer();
    if (readingPaused) {
        idle.stop();
        return;
    }
    idle.start(options.idleLimit);
    const QByteArray data = current->readBody();
    if (!data.isEmpty())
        lastArrival = QDateTime::currentDateTime();
    deliver(lines.takeLines(data));
}

// Reading is paused only between reads, never while one is being handed on,
// so resuming here cannot hand a later read on before an earlier one.
void NotificationStream::backlogShrank()
{
    const MessageBacklog waiting = backlog();
    if (readingPaused && waiting.messages <= readAheadLimit / 2 && waiting.bytes <= options.readAheadBytes / 2)
        readConnection();
}

bool NotificationStream::readAheadIsFull() const
{
    const MessageBacklog waiting = backlog();
    return waiting.messages >= readAheadLimit || waiting.bytes >= options.readAheadBytes;
}

void NotificationStream::deliver(const QStringList &finished)
{
    if (finished.isEmpty())
        return;
    if (!proved)
        prove();
    if (current)
        Q_EMIT linesReceived(current, finished);
}

void NotificationStream::prove()
{
    proved = true;
    proof.stop();
    if (current)
        Q_EMIT responseReceived(current);
}

// A service may end its last line with the connection instead of a line feed.
void NotificationStream::connectionEnded(const StreamState::Reason &reason, const QString &error)
{
    StreamConnection *ended = current;
    connectionOpen = false;
    idle.stop();
    proof.stop();
    readingPaused = false;
    lastFailure = reason;
    if (const std::optional<QString> tail = lines.finish())
        deliver({*tail});
    if (!error.isEmpty())
        qCInfo(lcStream).noquote() << "not connected:" << withShortDigest(error, currentAddress);
    goOffline();
    if (error.isEmpty())
        Q_EMIT finished(ended);
    else
        Q_EMIT failed(ended, error);
}

void NotificationStream::wentSilent()
{
    if (!current)
        return;
    qCInfo(lcStream) << "nothing arrived for" << options.idleLimit.count() << "ms";
    StreamConnection *silent = current;
    disconnect(silent, nullptr, this, nullptr);
    silent->abort();
    //: %1 is a span of time ("5 minutes").
    connectionEnded(StreamState::Reason::worded([this](Language language) {
                        return say(QT_TRANSLATE_NOOP("StreamState", "nothing arrived for %1"), language)
                            .arg(spanText(options.idleLimit, language));
                    }),
                    QStringLiteral("the stream fell silent"));
}

void NotificationStream::setState(const StreamState &state)
{
    if (state == shown)
        return;
    shown = state;
    Q_EMIT stateChanged(shown);
}

// A connection found dead has been offline since the last data it brought:
// what was sent after that never arrived.
void NotificationStream::goOffline()
{
    if (shown.isConnected())
        offlineSince = lastArrival;
}

StreamState::Reason NotificationStream::worded(const char *source)
{
    return StreamState::Reason::worded([source](Language language) { return say(source, language); });
}

QString NotificationStream::host(Language language) const
{
    return currentAddress.isValid() ? currentAddress.authority()
                                    : say(QT_TRANSLATE_NOOP("StreamState", "the server in Preferences"), language);
}

QString NotificationStream::statusReason(int status, Language language) const
{
    if (status == 401 || status == 403)
        return say(QT_TRANSLATE_NOOP("StreamState", "the server refused the API key (HTTP %1)"), language).arg(status);
    //: %1 is where the server pointed ("plain http"), %2 the HTTP status.
    if (const char *refused = current->refusedRedirection())
        return say(QT_TRANSLATE_NOOP("StreamState", "the server redirected to %1 (HTTP %2)"), language)
            .arg(say(refused, language))
            .arg(status);
    return say(QT_TRANSLATE_NOOP("StreamState", "the server answered HTTP %1"), language).arg(status);
}

// A SOCKS proxy answers without an HTTP status.
QString NotificationStream::httpStatus() const
{
    return current->status() ? QStringLiteral(" (HTTP %1)").arg(current->status()) : QString();
}

QString NotificationStream::failureReason(StreamConnection::Failure failure, Language language) const
{
    const QString proxy = current->proxyAuthority();
    switch (failure) {
    case StreamConnection::Failure::Unreachable:
        //: %1 is the stream server's host.
        return say(QT_TRANSLATE_NOOP("StreamState", "cannot reach %1"), language).arg(host(language));
    case StreamConnection::Failure::UnknownHost:
        return say(QT_TRANSLATE_NOOP("StreamState", "cannot find %1"), language).arg(currentAddress.host());
    case StreamConnection::Failure::Lost:
        return say(QT_TRANSLATE_NOOP("StreamState", "the connection was lost (no answer from the server)"), language);
    case StreamConnection::Failure::ProxyUnreachable:
        return say(QT_TRANSLATE_NOOP("StreamState", "cannot reach the proxy %1"), language).arg(proxy);
    case StreamConnection::Failure::ProxyRefused:
        return say(QT_TRANSLATE_NOOP("StreamState", "the proxy %1 refused the connection"), language).arg(proxy)
               + httpStatus();
    case StreamConnection::Failure::ProxyCredentials:
        return say(QT_TRANSLATE_NOOP("StreamState", "the proxy %1 asks for credentials"), language).arg(proxy)
               + httpStatus();
    case StreamConnection::Failure::Insecure:
        //: %1 is the host, %2 what is wrong with its certificate, as Qt words it.
        return say(QT_TRANSLATE_NOOP("StreamState", "cannot reach %1 securely: %2"), language)
            .arg(host(language), current->insecureBecause());
    case StreamConnection::Failure::NoAnswer:
        return say(QT_TRANSLATE_NOOP("StreamState", "the server did not answer"), language);
    case StreamConnection::Failure::UnreadableAnswer:
        return say(QT_TRANSLATE_NOOP("StreamState", "the server's answer could not be read"), language);
    }
    return {};
}
