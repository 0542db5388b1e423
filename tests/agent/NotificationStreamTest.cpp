#include "GrowlApplicationBridge.h"
#include "LoopbackPictureService.h"
#include "NotificationStreamAddress.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "ProcessMemory.h"
#include "TestNotificationService.h"
#include "TestStreamService.h"
#include "WakeUpWatcher.h"
#include "pellix_growlAppDelegate.h"

#include <QColor>
#include <QDBusConnection>
#include <QLabel>
#include <QDBusServiceWatcher>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QWidget>

#include <algorithm>

using namespace std::chrono_literals;

namespace {
// Keeps what the stream hands on to the decoder, line by line, and decodes it.
class RecordingDelegate : public pellix_growlAppDelegate
{
public:
    using pellix_growlAppDelegate::pellix_growlAppDelegate;

    QStringList handedOn;

    void handleMessageFromStream(const QString &text) override
    {
        handedOn.append(text);
        pellix_growlAppDelegate::handleMessageFromStream(text);
    }
};

const QString secretDigest = QStringLiteral("5ebe2294ecd0e0f08eab7690d2a6ee69");
const QByteArray streamPath = "/user/notifications/alice/" + secretDigest.toLatin1();

QByteArray line(const QByteArray &description, const QByteArray &members = {})
{
    return "{\"title\":\"Build\",\"description\":\"" + description + "\""
           + (members.isEmpty() ? QByteArray() : "," + members) + "}\n";
}

QWidget *preferencesWindow()
{
    return PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"))->window();
}

// What logind or the reachability backend would report.
void report(WakeUpWatcher &watcher, const QString &event)
{
    using Reachability = QNetworkInformation::Reachability;
    const QHash<QString, Reachability> reachability{{"online", Reachability::Online}, {"local", Reachability::Local},
                                                    {"offline", Reachability::Disconnected}};
    if (event == QLatin1String("sleep") || event == QLatin1String("resume"))
        watcher.prepareForSleep(event == QLatin1String("sleep"));
    else
        watcher.reachabilityChanged(reachability.value(event, Reachability::Unknown));
}
}

// The stream from the opening of its connection to what reaches the
// notification service, also under faults of the network and of the
// services: a loopback stream service, the agent, and a notification service
// on a private bus. The back-off is read from the re-open the agent
// schedules, never waited for.
class NotificationStreamTest : public QObject
{
    Q_OBJECT

    LoopbackPictureService pictures;
    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<TestStreamService> stream;
    std::unique_ptr<RecordingDelegate> delegate;
    QList<QUrl> opened;
    // The connection the agent opened at start-up, not yet answered.
    TestStreamExchange *exchange = nullptr;

    void configure(const QString &username, const QString &apikey = QStringLiteral("secret"))
    {
        PellixSettings settings;
        settings.setUsername(username);
        settings.setApikey(apikey);
        settings.setStreamhost(stream->streamhost());
    }

    // A new agent with these stream options, started: its first connection
    // becomes the exchange.
    void startAgent(const NotificationStream::Options &streamOptions = {}, const StatusItem::Options &itemOptions = {})
    {
        pellix_growlAppDelegate::Options options;
        options.exitProcess = [](int) {};
        options.urlOpener = [this](const QUrl &url) {
            opened.append(url);
            return true;
        };
        options.iconTimeLimit = 400ms;
        options.stream = streamOptions;
        options.statusItem = itemOptions;
        delegate.reset();
        delegate = std::make_unique<RecordingDelegate>(options);
        delegate->applicationDidFinishLaunching();
        exchange = stream->nextExchange();
    }

    const NotificationStream &agentStream() const { return delegate->notificationStream(); }
    int waitSeconds() const { return int(agentStream().state().nextAttemptIn().count()); }

    bool waitForReopenScheduled(int timeoutMs = 10000)
    {
        return QTest::qWaitFor([this] { return agentStream().isWaitingToReopen(); }, timeoutMs);
    }

    // Runs the pending re-open at once instead of after its wait.
    void reopenNow()
    {
        if (!waitForReopenScheduled())
            qWarning("no re-open was scheduled");
        delegate->reconnectNotificationStream();
    }

    // Takes the connection the agent opens next as the exchange, and answers
    // it with the status, when given one.
    bool opens(int status = 0)
    {
        exchange = stream->nextExchange(10000);
        if (exchange && status)
            exchange->sendHead(status);
        return exchange;
    }

    // Opens the stream and lets it and each scheduled re-open fail; answers
    // the wait scheduled after each failure.
    QList<int> failNextOpens(int count)
    {
        QList<int> waits;
        stream->setFallbackReply(TestStreamReply::dropped(TestStreamReply::Ending::Reset));
        for (int failure = 0; failure < count; ++failure) {
            failure == 0 ? delegate->reconnectNotificationStream() : reopenNow();
            waitForReopenScheduled(5000);
            waits.append(waitSeconds());
        }
        stream->setFallbackReply(std::nullopt);
        return waits;
    }

    // The calls for stream lines, and their descriptions (the start-up notice left out).
    QList<NotifyCall> postedCalls() const
    {
        QList<NotifyCall> calls = notifications->calls();
        calls.removeIf([](const NotifyCall &call) { return call.summary == QStringLiteral("Pellix"); });
        return calls;
    }

    QStringList posted() const
    {
        QStringList bodies;
        std::ranges::transform(postedCalls(), std::back_inserter(bodies), &NotifyCall::body);
        return bodies;
    }

    bool waitForPosted(qsizetype count, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return posted().size() >= count; }, timeoutMs);
    }

    // Sends a line on the exchange and waits for it to be the last posted.
    bool posts(const QByteArray &description)
    {
        exchange->sendPiece(line(description));
        return QTest::qWaitFor([&] { return posted().value(posted().size() - 1) == QString::fromUtf8(description); },
                               10000);
    }

    // After a failure, the re-open gets a sound stream again.
    bool recovers()
    {
        reopenNow();
        return opens(200) && posts("after");
    }

private slots:
    void initTestCase()
    {
        pictures.route("/red.png", LoopbackPictureService::picture(LoopbackPictureService::png({5, 3}, Qt::red)));
        LoopbackPictureService::Response silent;
        silent.silent = true;
        pictures.route("/never.png", silent);
    }

    void init()
    {
        PellixTestEnvironment::clearSettings();
        notifications = std::make_unique<TestNotificationService>();
        stream = std::make_unique<TestStreamService>();
        configure(QStringLiteral("Alice"));
        opened.clear();
        startAgent();
        QVERIFY(exchange);
    }

    void cleanup()
    {
        delegate.reset();
        stream.reset();
        notifications.reset();
        if (QWidget *window = preferencesWindow())
            window->hide();
    }

    void digestIsLowerCaseHexOfTheUtf8Bytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digest");
        QTest::newRow("empty") << QString() << "d41d8cd98f00b204e9800998ecf8427e";
        QTest::newRow("ascii") << "secret" << secretDigest;
        QTest::newRow("case is kept") << "Secret" << "1e6947ac7fb3a9529a9726eb692c8cc5";
        QTest::newRow("non-ascii") << "kéy" << "e8e651d3ec2770a9dec9eb8465ba6edd";
        QTest::newRow("ends at a zero character") << QStringLiteral("a") + QChar(0) + QStringLiteral("b")
                                                  << "0cc175b9c0f1b6a831c399e269772661";
        QTest::newRow("leading zeros") << "k441" << "000f069c0b32888df986167fb1610f9d";
    }

    void digestIsLowerCaseHexOfTheUtf8Bytes()
    {
        QFETCH(QString, text);
        QTEST(delegate->md5(text), "digest");
    }

    // The user name is lower-cased and escaped on the wire.
    void requestAddressesTheLowerCasedUserAndKeyDigest()
    {
        QCOMPARE(exchange->request().method, QByteArray("GET"));
        QCOMPARE(exchange->request().path, streamPath);
        configure(QStringLiteral("Zoë Smith/x"));
        delegate->reconnectNotificationStream();
        QVERIFY(opens());
        QCOMPARE(exchange->request().path, "/user/notifications/zo%C3%AB%20smith%2Fx/" + secretDigest.toLatin1());
        configure(QStringLiteral(".."));
        delegate->reconnectNotificationStream();
        QVERIFY(opens());
        QCOMPARE(exchange->request().path, "/user/notifications/%2E%2E/" + secretDigest.toLatin1());
        QCOMPARE(stream->requests().size(), 3);
    }

    void streamAddressFromStreamhostAndUser_data()
    {
        QTest::addColumn<QString>("streamhost");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("address");
        const QString rest = "/user/notifications/alice/" + secretDigest;
        const QString host = QStringLiteral("http://stream.pellix.org/user/notifications/");
        QTest::newRow("absent") << QString() << "alice" << "http://stream.pellix.org" + rest;
        QTest::newRow("host") << "push.example.com" << "alice" << "http://push.example.com" + rest;
        QTest::newRow("host and port") << "push.example.com:8080" << "alice" << "http://push.example.com:8080" + rest;
        QTest::newRow("https") << "https://push.example.com" << "alice" << "https://push.example.com" + rest;
        QTest::newRow("scheme in capitals, final slash")
            << "HTTP://push.example.com/" << "alice" << "http://push.example.com" + rest;
        QTest::newRow("a path") << "push.example.com/other" << "alice" << QString();
        QTest::newRow("user info") << "someone@push.example.com" << "alice" << QString();
        QTest::newRow("a query") << "push.example.com?x=1" << "alice" << QString();
        QTest::newRow("another scheme") << "ftp://push.example.com" << "alice" << QString();
        QTest::newRow("ordinary punctuation") << QString() << "a.b-c_d~e" << host + "a.b-c_d~e/" + secretDigest;
        QTest::newRow("path and query marks") << QString() << "a/b?c#d" << host + "a%2Fb%3Fc%23d/" + secretDigest;
        QTest::newRow("three dots") << QString() << "..." << host + ".../" + secretDigest;
    }

    void streamAddressFromStreamhostAndUser()
    {
        QFETCH(QString, streamhost);
        QFETCH(QString, username);
        const QUrl url = NotificationStreamAddress::forUser(streamhost, username, secretDigest);
        QTEST(url.isValid() ? url.toString(QUrl::FullyEncoded) : QString(), "address");
    }

    // A streamhost that makes no address fails like an unreachable service.
    // Saving the settings while a re-open is pending replaces it with one
    // connection, and the wait goes on growing.
    void consecutiveFailuresBackOffUpTo61Seconds()
    {
        PellixSettings().setStreamhost(QStringLiteral("someone@push.example.com"));
        delegate->reconnectNotificationStream();
        QVERIFY(waitForReopenScheduled());
        QCOMPARE(waitSeconds(), 1);
        configure(QStringLiteral("Alice"));
        QCOMPARE(failNextOpens(4), QList<int>({3, 7, 15, 31}));
        delegate->reconnectNotificationStream();
        QVERIFY(!agentStream().isWaitingToReopen());
        QVERIFY(opens());
        exchange->reset();
        QVERIFY(waitForReopenScheduled());
        QCOMPARE(waitSeconds(), 61);
        QVERIFY(!stream->nextExchange(0));
        QCOMPARE(failNextOpens(2), QList<int>({61, 61}));
    }

    // Only an answer that proves itself, a 2xx answer that delivers a line,
    // resets the wait: an error status, or a service that answers and ends
    // with nothing, keeps backing off. The waiting state says why.
    void onlyAProvenAnswerResetsTheWait_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<bool>("hasBody");
        QTest::addColumn<int>("wait");
        QTest::addColumn<QStringList>("handedOn");
        QTest::addColumn<QByteArray>("lastPath");
        QTest::addColumn<QString>("reason");
        const QStringList body{QString::fromLatin1(line("t").chopped(1))};
        const QString ended = QStringLiteral("the server ended the stream");
        QTest::newRow("200") << 200 << QByteArray() << true << 1 << body << streamPath << ended;
        QTest::newRow("200 with nothing") << 200 << QByteArray() << false << 7 << QStringList() << streamPath << ended;
        QTest::newRow("204") << 204 << QByteArray() << false << 7 << QStringList() << streamPath << ended;
        QTest::newRow("401") << 401 << QByteArray() << true << 7 << QStringList() << streamPath
                             << QStringLiteral("the server refused the API key (HTTP 401)");
        QTest::newRow("403") << 403 << QByteArray() << true << 7 << QStringList() << streamPath
                             << QStringLiteral("the server refused the API key (HTTP 403)");
        QTest::newRow("503") << 503 << QByteArray() << true << 7 << QStringList() << streamPath
                             << QStringLiteral("the server answered HTTP 503");
        // The target of a redirection gives the answer that counts.
        QTest::newRow("302 followed") << 302 << QByteArray("Location: /moved\r\nContent-Length: 0\r\n") << false << 1
                                      << body << QByteArray("/moved") << ended;
        QTest::newRow("302 without a target") << 302 << QByteArray() << true << 7 << QStringList() << streamPath
                                              << QStringLiteral("the server answered HTTP 302");
    }

    void onlyAProvenAnswerResetsTheWait()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, headers);
        QFETCH(bool, hasBody);
        QFETCH(QString, reason);
        QCOMPARE(failNextOpens(2), QList<int>({1, 3}));
        TestStreamReply reply;
        reply.status = status;
        reply.extraHeaders = headers;
        if (hasBody)
            reply.pieces = {line("t")};
        stream->enqueueReply(reply);
        reply = TestStreamReply(); // for the redirection's target
        reply.pieces = {line("t")};
        stream->enqueueReply(reply);
        reopenNow();
        QVERIFY(waitForReopenScheduled());
        QTEST(waitSeconds(), "wait");
        QTEST(delegate->handedOn, "handedOn");
        QTEST(stream->requests().constLast().path, "lastPath");
        QVERIFY2(agentStream().state().text().endsWith(reason), qPrintable(agentStream().state().text()));
    }

    // The tool tip's second line follows the stream; the picture dims only
    // once the stream has been offline for a while, and an outage worth
    // telling is told once the stream is back.
    void theStatusItemTellsWhereTheStreamStands()
    {
        NotificationStream::Options streamOptions;
        streamOptions.outageWorthTelling = 0ms;
        StatusItem::Options itemOptions;
        itemOptions.dimAfter = 200ms;
        startAgent(streamOptions, itemOptions);
        const StatusItem *item = delegate->statusItem();
        const QString host = stream->streamhost();
        QCOMPARE(item->toolTipTitle(), QStringLiteral("Pellix"));
        QCOMPARE(item->toolTipBody(), QStringLiteral("Connecting to %1…").arg(host));
        exchange->sendHead(200);
        QTRY_VERIFY(item->toolTipBody().contains(QRegularExpression(QStringLiteral("^Connected as alice since \\S+$"))));

        exchange->reset();
        QVERIFY(waitForReopenScheduled());
        QVERIFY2(item->toolTipBody().contains(QRegularExpression(
                     QStringLiteral("^Offline since \\S+ — next attempt in 1 s: the server ended the stream$"))),
                 qPrintable(item->toolTipBody()));
        QVERIFY(!item->isDimmed());
        QTRY_VERIFY(item->isDimmed());

        reopenNow();
        QVERIFY(opens(200));
        QTRY_VERIFY2(item->toolTipBody().contains(QRegularExpression(
                         QStringLiteral("^Connected as alice since (\\S+) \\(offline \\S+–\\1\\)$"))),
                     qPrintable(item->toolTipBody()));
        QVERIFY(!item->isDimmed());
        delegate->prefs();
        QCOMPARE(preferencesWindow()->findChild<QLabel *>(QStringLiteral("intro"))->text(),
                 QStringLiteral("<b>Pellix</b><br>") + item->toolTipBody());

        configure(QString());
        delegate->reconnectNotificationStream();
        QCOMPARE(item->toolTipBody(), QStringLiteral("Not signed in — open Preferences"));
    }

    // Nothing arriving for the idle limit, before the answer or after some
    // data, fails the connection.
    void serviceThatHangsFailsAfterTheIdleLimit_data()
    {
        QTest::addColumn<bool>("answers");
        QTest::newRow("silent before answering") << false;
        QTest::newRow("silent after a line") << true;
    }

    void serviceThatHangsFailsAfterTheIdleLimit()
    {
        QFETCH(bool, answers);
        NotificationStream::Options options;
        options.idleLimit = 300ms;
        startAgent(options);
        QVERIFY(exchange);
        if (answers)
            exchange->sendHead(200);
        QVERIFY(!answers || posts("before the silence"));
        QVERIFY(waitForReopenScheduled());
        QCOMPARE(waitSeconds(), 1);
        QVERIFY(exchange->waitForClosedByPeer());
        QVERIFY(recovers());
    }

    void callbacksOfAnotherConnectionChangeNothing()
    {
        StreamConnection other(QUrl(QStringLiteral("http://") + stream->streamhost()), {});
        delegate->connectionDidReceiveResponse(&other);
        delegate->connectionDidReceiveData(&other, {QString::fromLatin1(line("t"))});
        delegate->connectionDidFinishLoading(&other);
        delegate->connectionDidFailWithError(&other, QStringLiteral("refused"));
        QVERIFY(delegate->handedOn.isEmpty());
        QVERIFY(!agentStream().isWaitingToReopen());
        QVERIFY(!exchange->closedByPeer());
    }

    // The old connection's half line is not joined to the new one's data.
    void reopeningCancelsTheCurrentConnectionAndForgetsItsTail()
    {
        exchange->sendHead(200);
        exchange->sendPiece(line("one") + "{\"title\":\"ha");
        QTRY_COMPARE(delegate->handedOn.size(), 1);
        TestStreamExchange *first = exchange;
        delegate->reconnectNotificationStream();
        QVERIFY(opens(200));
        QVERIFY(first->waitForClosedByPeer());
        first->sendPiece(line("late"));
        exchange->sendPiece("lf\"}\n" + line("current"));
        QTRY_COMPARE(delegate->handedOn, QStringList({line("one").chopped(1), "lf\"}", line("current").chopped(1)}));
        QVERIFY(!agentStream().isWaitingToReopen());
    }

    void incompleteSettingsShowThePreferencesAndLeaveTheStreamIdle_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("apikey");
        QTest::newRow("no user name") << QString() << "secret";
        QTest::newRow("empty user name") << "" << "secret";
        QTest::newRow("no key") << "alice" << QString();
        QTest::newRow("empty key") << "alice" << "";
    }

    void incompleteSettingsShowThePreferencesAndLeaveTheStreamIdle()
    {
        QFETCH(QString, username);
        QFETCH(QString, apikey);
        failNextOpens(1);
        delegate->reconnectNotificationStream();
        QVERIFY(opens());
        configure(username, apikey);
        delegate->reconnectNotificationStream();
        QVERIFY(exchange->waitForClosedByPeer());
        QVERIFY(!agentStream().isWaitingToReopen());
        QVERIFY(preferencesWindow() && preferencesWindow()->isVisible());
        QVERIFY(!stream->nextExchange(0));
    }

    void onlyAResumeOrAReturnFromAnOutageIsAWakeUp_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<int>("wakeUps");
        QTest::newRow("resume") << "resume" << 1;
        QTest::newRow("going to sleep") << "sleep" << 0;
        QTest::newRow("two resumes") << "sleep resume sleep resume" << 2;
        QTest::newRow("first report online") << "online" << 0;
        QTest::newRow("back from offline") << "offline online" << 1;
        QTest::newRow("back from local only") << "offline local online" << 1;
        QTest::newRow("still local") << "offline local" << 0;
        QTest::newRow("from unknown") << "unknown online" << 0;
        QTest::newRow("online, out, back") << "online offline online" << 1;
        QTest::newRow("two outages") << "offline online offline online" << 2;
    }

    void onlyAResumeOrAReturnFromAnOutageIsAWakeUp()
    {
        QFETCH(QString, events);
        WakeUpWatcher watcher;
        QSignalSpy woken(&watcher, &WakeUpWatcher::wokeUp);
        for (const QString &event : events.split(QLatin1Char(' ')))
            report(watcher, event);
        QTEST(int(woken.size()), "wakeUps");
    }

    // An idle stream stays idle; a waiting one opens at once and keeps its
    // back-off; an open one is replaced; with the settings emptied behind the
    // agent's back nothing changes and no preferences window pops up.
    void wakeUpReopensAWaitingOrOpenStreamAtOnce()
    {
        configure(QString());
        delegate->reconnectNotificationStream();
        preferencesWindow()->hide();
        configure(QStringLiteral("Alice"));
        delegate->reopenStreamAfterWakeUp();
        QVERIFY(!agentStream().isOpen());

        QCOMPARE(failNextOpens(2), QList<int>({1, 3}));
        delegate->reopenStreamAfterWakeUp();
        QVERIFY(!agentStream().isWaitingToReopen());
        QVERIFY(opens());
        exchange->reset();
        QVERIFY(waitForReopenScheduled());
        QCOMPARE(waitSeconds(), 7);

        reopenNow();
        QVERIFY(opens(200));
        exchange->sendPiece(line("t"));
        QTRY_COMPARE(delegate->handedOn.size(), 1);
        TestStreamExchange *open = exchange;
        delegate->reopenStreamAfterWakeUp();
        QVERIFY(open->waitForClosedByPeer());
        QVERIFY(opens());
        exchange->reset();
        QVERIFY(waitForReopenScheduled());

        configure(QString());
        delegate->reopenStreamAfterWakeUp();
        QVERIFY(agentStream().isWaitingToReopen());
        QVERIFY(!agentStream().isOpen());
        QVERIFY(!preferencesWindow()->isVisible());
    }

    void endInTheMiddleOfALineKeepsEveryFinishedLine_data()
    {
        QTest::addColumn<bool>("resets");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QStringList>("expected");
        const QByteArray partial = "{\"title\":\"Build\",\"description\":\"cut";
        QTest::newRow("closed after part of a line") << false << partial << QStringList{"one", "two", "after"};
        QTest::newRow("reset after part of a line") << true << partial << QStringList{"one", "two", "after"};
        QTest::newRow("closed after a line without its line feed")
            << false << line("last").chopped(1) << QStringList{"one", "two", "last", "after"};
    }

    void endInTheMiddleOfALineKeepsEveryFinishedLine()
    {
        QFETCH(bool, resets);
        QFETCH(QByteArray, tail);
        exchange->sendHead(200);
        exchange->sendPiece(line("one") + line("two").left(9));
        exchange->sendPiece(line("two").mid(9));
        QVERIFY(waitForPosted(2));
        exchange->sendPiece(tail);
        resets ? exchange->reset() : exchange->close();
        QVERIFY(waitForReopenScheduled());
        QVERIFY(recovers());
        QTEST(posted(), "expected");
    }

    // The answer is read strictly and within bounds: whatever is not a
    // readable, uncompressed HTTP answer within its deadline and size fails
    // the connection, at once, and the stream recovers; a body cut short
    // still delivers the lines it finished.
    void brokenHttpAnswerIsAFailureAndTheStreamRecovers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("reason");
        const QByteArray body = line("from a broken answer");
        const QStringList recovered{"after"};
        const QString unreadable = QStringLiteral("the server's answer could not be read");
        QTest::newRow("not HTTP") << QByteArray("HELLO THERE\r\n\r\n" + body) << true << recovered << unreadable;
        QTest::newRow("status is not a number")
            << QByteArray("HTTP/1.1 OK twice\r\n\r\n" + body) << true << recovered << unreadable;
        QTest::newRow("binary noise") << QByteArray("\x00\xff\x13\x37\r\n\r\n\x00", 9) << true << recovered
                                      << unreadable;
        QTest::newRow("header without a colon")
            << QByteArray("HTTP/1.1 200 OK\r\nno colon here\r\n\r\n" + body) << true << recovered << unreadable;
        QTest::newRow("broken chunk size")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n" + body) << true << recovered
            << unreadable;
        QTest::newRow("compressed body")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + body) << false << recovered
            << unreadable;
        QTest::newRow("head past its size")
            << QByteArray("HTTP/1.1 200 OK\r\n" + QByteArray("X-Filler: 0123456789abcdef\r\n").repeated(2500))
            << false << recovered << unreadable;
        QTest::newRow("head that never ends") << QByteArray("HTTP/1.1 200 OK\r\nX-Slow: 1\r\n") << false << recovered
                                              << QStringLiteral("the server did not answer");
        QTest::newRow("body shorter than its length")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9999\r\n\r\n" + body) << true
            << QStringList{"from a broken answer", "after"} << QStringLiteral("cannot reach 127.0.0.1:");
    }

    void brokenHttpAnswerIsAFailureAndTheStreamRecovers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, closes);
        NotificationStream::Options options;
        options.connection.headDeadline = 500ms;
        startAgent(options);
        QVERIFY(exchange);
        exchange->sendPiece(answer);
        if (closes)
            exchange->close();
        QVERIFY(waitForReopenScheduled());
        QFETCH(QString, reason);
        QVERIFY2(agentStream().state().text().contains(QStringLiteral(": ") + reason),
                 qPrintable(agentStream().state().text()));
        QVERIFY(recovers());
        QTEST(posted(), "expected");
    }

    // 100 MB with no line feed: the line is dropped whole, memory stays
    // bounded, and the lines after it still arrive.
    void endlessLineIsDroppedWithinBoundedMemory()
    {
        exchange->sendHead(200);
        QVERIFY(posts("before"));

        const qint64 baseline = ProcessMemory::residentKibibytes();
        qint64 peak = baseline;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&peak] { peak = std::max(peak, ProcessMemory::residentKibibytes()); });
        sampler.start(20);

        constexpr qint64 total = 100 * 1024 * 1024;
        const QByteArray chunk(64 * 1024, 'x');
        qint64 sent = 0;
        exchange->sendPaced([&]() -> std::optional<QByteArray> {
            if (sent >= total)
                return std::nullopt;
            sent += chunk.size();
            return chunk;
        });
        QVERIFY(QTest::qWaitFor([this] { return !exchange->isSendingPaced(); }, 120000));
        exchange->sendPiece("\n" + line("after"));
        QVERIFY(waitForPosted(2, 30000));
        sampler.stop();

        QCOMPARE(posted(), QStringList({"before", "after"}));
        QVERIFY(!agentStream().isWaitingToReopen());
        if (ProcessMemory::residentMemoryIsMeaningful)
            QVERIFY2(peak - baseline < 32 * 1024,
                     qPrintable(QStringLiteral("resident memory grew by %1 KiB").arg(peak - baseline)));
    }

    // A notification service that stops answering holds the stream back
    // instead of filling the agent's memory: the lines wait in the network,
    // the idle limit does not take the waiting for a dead stream, and once
    // the service answers again every line arrives, in order.
    void stalledNotificationServiceHoldsTheStreamBackAndLosesNothing()
    {
        NotificationStream::Options options;
        options.idleLimit = 500ms;
        startAgent(options);
        QVERIFY(exchange);
        exchange->sendHead(200);
        QVERIFY(posts("before"));

        notifications->holdAnswers();
        // Far more than the network between the two ends can hold (its
        // buffers grow to several megabytes on a busy machine), four lines
        // to a write.
        constexpr int lines = 2500;
        constexpr int linesPerPiece = 4;
        const QByteArray padding(16 * 1024, 'x');
        QStringList expected{"before"};
        exchange->sendPaced([&]() -> std::optional<QByteArray> {
            if (expected.size() > lines)
                return std::nullopt;
            QByteArray piece;
            for (int inPiece = 0; inPiece < linesPerPiece; ++inPiece) {
                const QByteArray sequence = QByteArray::number(expected.size());
                expected.append(QString::fromLatin1(sequence + padding));
                piece += line(sequence + padding);
            }
            return piece;
        });
        QTest::qWait(2000);
        QVERIFY(exchange->isSendingPaced());
        QTRY_COMPARE_WITH_TIMEOUT(posted().size(), 1 + GrowlApplicationBridge::maxCallsInFlight, 10000);
        QVERIFY(!agentStream().isWaitingToReopen());
        QVERIFY(!exchange->closedByPeer());

        notifications->releaseAnswers();
        QVERIFY(QTest::qWaitFor([this] { return !exchange->isSendingPaced(); }, 60000));
        // The stream falls silent after its last line, so the short idle
        // limit may end it now: what counts is that no line was lost.
        QVERIFY(waitForPosted(1 + lines, 60000));
        QCOMPARE(posted(), expected);
    }

    // The stream ends while the agent is still waiting for the notification
    // service: what the connection held unread is handed on all the same.
    void streamEndingWhileReadingWaitsLosesNothing()
    {
        exchange->sendHead(200);
        QVERIFY(notifications->waitForCalls(1));
        notifications->holdAnswers();
        QStringList expected;
        const auto piece = [&expected](int lines) {
            QByteArray text;
            for (int inPiece = 0; inPiece < lines; ++inPiece) {
                expected.append(QString::number(expected.size()));
                text += line(expected.constLast().toLatin1());
            }
            return text;
        };
        // Enough to make the agent wait before its next read.
        exchange->sendPiece(piece(300));
        QVERIFY(notifications->waitForCalls(1 + GrowlApplicationBridge::maxCallsInFlight));
        exchange->sendPiece(piece(300));
        exchange->close();
        QVERIFY(waitForReopenScheduled());

        notifications->releaseAnswers();
        QVERIFY(waitForPosted(expected.size()));
        QCOMPARE(posted(), expected);
    }

    // Every byte in a read of its own: two-, three- and four-byte characters,
    // a carriage return before the line feed, an empty line, the same line
    // twice, and lines that are not UTF-8, each costing only itself.
    void oneByteAtATimeGivesEveryLine()
    {
        exchange->sendHead(200);
        const QByteArray body = line("caf\xc3\xa9") + line("\xe2\x82\xac \xf0\x9f\x9a\x80 launched") + line("again")
                                + line("again").chopped(1) + "\r\n\n" + line("invalid byte \xff")
                                + line("cut character caf\xc3") + line("overlong form \xc0\xaf")
                                + line("encoded surrogate \xed\xa0\x80") + line("plain");
        qsizetype sent = 0;
        QTimer drip;
        connect(&drip, &QTimer::timeout, this, [&] {
            if (sent < body.size())
                exchange->sendPiece(body.mid(sent++, 1));
        });
        drip.start(3);
        QVERIFY(QTest::qWaitFor([&] { return posted().contains("plain"); }, 30000));
        QCOMPARE(posted(), QStringList({"café", "€ 🚀 launched", "again", "again", "plain"}));
        QVERIFY(!agentStream().isWaitingToReopen());
    }

    void notificationServiceLeavingAndReturningIsSurvived()
    {
        exchange->sendHead(200);
        QVERIFY(posts("while there"));

        notifications->leave();
        exchange->sendPiece(line("while away"));
        QTest::qWait(300);
        QDBusServiceWatcher watcher(QStringLiteral("org.freedesktop.Notifications"), QDBusConnection::sessionBus(),
                                    QDBusServiceWatcher::WatchForRegistration);
        QSignalSpy back(&watcher, &QDBusServiceWatcher::serviceRegistered);
        notifications->join();
        QVERIFY(back.wait(5000));
        exchange->sendPiece(line("once back"));
        QVERIFY(QTest::qWaitFor([this] { return posted().contains(QStringLiteral("once back")); }, 10000));
        QCOMPARE(posted(), (QStringList{"while there", "while away", "once back"}));
        QVERIFY(!agentStream().isWaitingToReopen());
        QVERIFY(!exchange->closedByPeer());
    }

    // An icon host that never answers holds up only the lines behind its
    // line, for the icon time limit; a good icon arrives as image data; a
    // click opens the line's address.
    void iconsAndAddressesOfTheLinesArePosted()
    {
        exchange->sendHead(200);
        const QByteArray never = "\"iconpath\":\"" + pictures.url("/never.png").toEncoded() + "\"";
        const QByteArray red = "\"iconpath\":\"" + pictures.url("/red.png").toEncoded() + "\"";
        const QByteArray link = "\"final_uri\":\"https://example.org/a\",\"websafe_uri\":\"https://example.org/w\"";
        exchange->sendPiece(line("first") + line("stuck", never) + line("behind") + line("with icon", red)
                            + line("link", link));
        QVERIFY(waitForPosted(1));
        QTest::qWait(100);
        QCOMPARE(posted(), QStringList{"first"});
        QVERIFY(waitForPosted(5));
        QCOMPARE(posted(), (QStringList{"first", "stuck", "behind", "with icon", "link"}));
        const QList<NotifyCall> calls = postedCalls();
        QVERIFY(calls.at(1).image.isNull());
        QVERIFY(!calls.at(1).hints.contains(QStringLiteral("image-data")));
        QCOMPARE(calls.at(3).image.size(), QSize(5, 3));
        QCOMPARE(calls.at(3).image.pixelColor(2, 1), QColor(Qt::red));
        QVERIFY(calls.at(3).actions.isEmpty());
        QCOMPARE(calls.at(4).actions, (QStringList{"default", "Open"}));
        notifications->invokeAction(calls.at(4).id);
        QTRY_COMPARE(opened, QList<QUrl>{QUrl("https://example.org/a")});
    }

    void batchedFormStoresTheCursorAndPostsInOrder()
    {
        delegate->handleMessageFromTornado(
            QStringLiteral("{\"messages\":[{\"title\":\"Build\",\"description\":\"one\",\"cursor\":\"c1\"},"
                           "{\"title\":null,\"cursor\":\"skipped\"},"
                           "{\"title\":\"Build\",\"description\":\"two\",\"cursor\":\"c2\"}]}"));
        QCOMPARE(delegate->notification_cursor(), QStringLiteral("c2"));
        QVERIFY(waitForPosted(2));
        QCOMPARE(posted(), (QStringList{"one", "two"}));
    }

    // The long run, the StreamSoakTest entry (label soak): 100,000 lines cut
    // at random points, over 21 connections that each end with half a line,
    // alternately closed and reset. Every finished line must arrive once, in
    // order, and memory must not grow with the lines handled.
    void everyFinishedLineArrivesOnceInOrderWithFlatMemory()
    {
        if (!QCoreApplication::arguments().contains(QLatin1String(QTest::currentTestFunction())))
            QSKIP("runs only when named on the command line");
        constexpr int lineCount = 100000;
        constexpr int reconnects = 20;
        constexpr int linesPerConnection = lineCount / (reconnects + 1) + 1;
        const auto soakLine = [](int number) { return line("line " + QByteArray::number(number)); };
        int arrived = 0;
        int outOfOrder = 0;
        qint64 residentAfterFirstLines = -1;
        QObject arrivals;
        // Neither the service nor the delegate keeps a record, so the test's memory stays flat too.
        connect(notifications.get(), &TestNotificationService::notified, &arrivals, [&](const NotifyCall &call) {
            if (call.summary != QStringLiteral("Build"))
                return;
            if (call.body != QStringLiteral("line %1").arg(arrived))
                ++outOfOrder;
            if (++arrived == 10000)
                residentAfterFirstLines = ProcessMemory::residentKibibytes();
            notifications->clearCalls();
            delegate->handedOn.clear();
        });
        QRandomGenerator random(20261207);
        exchange->sendHead(200);
        for (int connection = 0; connection <= reconnects; ++connection) {
            if (connection > 0) {
                reopenNow();
                QVERIFY2(opens(200), qPrintable(QStringLiteral("connection %1 was not opened").arg(connection)));
            }
            const int end = std::min(lineCount, (connection + 1) * linesPerConnection);
            QByteArray body;
            for (int number = connection * linesPerConnection; number < end; ++number)
                body += soakLine(number);
            body += soakLine(end).left(20);
            qsizetype offset = 0;
            exchange->sendPaced([&]() -> std::optional<QByteArray> {
                if (offset >= body.size())
                    return std::nullopt;
                const QByteArray piece = body.mid(offset, 1 + qsizetype(random.bounded(2048)));
                offset += piece.size();
                return piece;
            });
            QVERIFY2(QTest::qWaitFor([&] { return arrived >= end && !exchange->isSendingPaced(); }, 120000),
                     qPrintable(QStringLiteral("%1 of %2 lines arrived").arg(arrived).arg(end)));
            // What the agent has read of the half line is all it gets.
            QTest::qWait(50);
            connection % 2 ? exchange->reset() : exchange->close();
        }
        QTest::qWait(200);
        QCOMPARE(arrived, lineCount);
        QCOMPARE(outOfOrder, 0);
        if (ProcessMemory::residentMemoryIsMeaningful) {
            const qint64 growth = ProcessMemory::residentKibibytes() - residentAfterFirstLines;
            QVERIFY2(growth < 4 * 1024, qPrintable(QStringLiteral("resident memory grew by %1 KiB").arg(growth)));
        }
    }
};

PELLIX_TEST_MAIN(NotificationStreamTest)
#include "NotificationStreamTest.moc"
