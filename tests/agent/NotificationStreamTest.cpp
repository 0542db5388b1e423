#include "NotificationStreamAddress.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "TestStreamService.h"
#include "pellix_growlAppDelegate.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QWidget>

namespace {
// Keeps what the stream hands on to the decoder, piece by piece.
class RecordingDelegate : public pellix_growlAppDelegate
{
public:
    QStringList handedOn;

    void handleMessageFromStream(const QString &text) override { handedOn.append(text); }
};

const QString secretDigest = QStringLiteral("5ebe2294ecd0e0f08eab7690d2a6ee69");
}

class NotificationStreamTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestStreamService> service;
    std::unique_ptr<RecordingDelegate> delegate;

    void configure(const QString &username, const QString &apikey)
    {
        PellixSettings settings;
        settings.setUsername(username);
        settings.setApikey(apikey);
        settings.setStreamhost(service->streamhost());
    }

    int waitSeconds() const { return delegate->reconnectTimer()->interval() / 1000; }

    // Fires the pending re-open at once instead of after its wait.
    void reopenNow()
    {
        QTimer *reopen = delegate->reconnectTimer();
        reopen->start(0);
        if (!QTest::qWaitFor([reopen] { return !reopen->isActive(); }, 5000))
            qWarning("the re-open did not fire");
    }

    TestStreamExchange *openedExchange()
    {
        TestStreamExchange *exchange = service->nextExchange();
        if (!exchange)
            qWarning("the agent opened no stream connection");
        return exchange;
    }

    // Opens the stream and lets it and each scheduled re-open fail; answers
    // the wait scheduled after each failure.
    QList<int> failNextOpens(int count)
    {
        QList<int> waits;
        service->setFallbackReply(TestStreamReply::dropped(TestStreamReply::Ending::Reset));
        for (int failure = 0; failure < count; ++failure) {
            if (failure == 0)
                delegate->reconnectNotificationStream();
            else
                reopenNow();
            if (!QTest::qWaitFor([this] { return delegate->reconnectTimer()->isActive(); }, 5000))
                qWarning("no re-open was scheduled after a failure");
            waits.append(waitSeconds());
        }
        service->setFallbackReply(std::nullopt);
        return waits;
    }

private slots:
    void init()
    {
        PellixTestEnvironment::clearSettings();
        service = std::make_unique<TestStreamService>();
        delegate = std::make_unique<RecordingDelegate>();
        configure(QStringLiteral("Alice"), QStringLiteral("secret"));
    }

    void cleanup()
    {
        delegate.reset();
        service.reset();
        if (QWidget *window = PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"))->window())
            window->hide();
    }

    void digestIsLowerCaseHexOfTheUtf8Bytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digest");
        QTest::newRow("empty") << QString() << QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
        QTest::newRow("ascii") << QStringLiteral("secret") << secretDigest;
        QTest::newRow("case is kept") << QStringLiteral("Secret") << QStringLiteral("1e6947ac7fb3a9529a9726eb692c8cc5");
        QTest::newRow("non-ascii") << QStringLiteral("kéy") << QStringLiteral("e8e651d3ec2770a9dec9eb8465ba6edd");
        QTest::newRow("ends at a zero character") << QStringLiteral("a") + QChar(0) + QStringLiteral("b")
                                                  << QStringLiteral("0cc175b9c0f1b6a831c399e269772661");
        QTest::newRow("leading zeros") << QStringLiteral("k441") << QStringLiteral("000f069c0b32888df986167fb1610f9d");
    }

    void digestIsLowerCaseHexOfTheUtf8Bytes()
    {
        QFETCH(QString, text);
        QFETCH(QString, digest);
        QCOMPARE(delegate->md5(text), digest);
    }

    void requestAddressesTheLowerCasedUserAndKeyDigest_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("capitals") << QStringLiteral("Alice") << QByteArray("/user/notifications/alice/") + secretDigest.toLatin1();
        QTest::newRow("ordinary punctuation") << QStringLiteral("a.b-c_d~e") << QByteArray("/user/notifications/a.b-c_d~e/") + secretDigest.toLatin1();
        QTest::newRow("space") << QStringLiteral("bob smith") << QByteArray("/user/notifications/bob%20smith/") + secretDigest.toLatin1();
        QTest::newRow("path and query marks") << QStringLiteral("a/b?c#d") << QByteArray("/user/notifications/a%2Fb%3Fc%23d/") + secretDigest.toLatin1();
        QTest::newRow("non-ascii") << QStringLiteral("Zoë") << QByteArray("/user/notifications/zo%C3%AB/") + secretDigest.toLatin1();
    }

    void requestAddressesTheLowerCasedUserAndKeyDigest()
    {
        QFETCH(QString, username);
        QFETCH(QByteArray, path);
        configure(username, QStringLiteral("secret"));
        delegate->reconnectNotificationStream();
        TestStreamExchange *exchange = openedExchange();
        QVERIFY(exchange);
        QCOMPARE(exchange->request().method, QByteArray("GET"));
        QCOMPARE(exchange->request().path, path);
        QCOMPARE(service->requests().size(), 1);
    }

    void streamhostChoosesSchemeHostAndPort_data()
    {
        QTest::addColumn<QString>("streamhost");
        QTest::addColumn<QString>("address");
        const QString rest = QStringLiteral("/user/notifications/alice/") + secretDigest;
        QTest::newRow("absent") << QString() << QStringLiteral("http://stream.pellix.org") + rest;
        QTest::newRow("host") << QStringLiteral("push.example.com") << QStringLiteral("http://push.example.com") + rest;
        QTest::newRow("host and port") << QStringLiteral("push.example.com:8080") << QStringLiteral("http://push.example.com:8080") + rest;
        QTest::newRow("https") << QStringLiteral("https://push.example.com") << QStringLiteral("https://push.example.com") + rest;
        QTest::newRow("scheme in capitals, final slash") << QStringLiteral("HTTP://push.example.com/") << QStringLiteral("http://push.example.com") + rest;
        QTest::newRow("a path") << QStringLiteral("push.example.com/other") << QString();
        QTest::newRow("user info") << QStringLiteral("someone@push.example.com") << QString();
        QTest::newRow("a query") << QStringLiteral("push.example.com?x=1") << QString();
        QTest::newRow("another scheme") << QStringLiteral("ftp://push.example.com") << QString();
    }

    void streamhostChoosesSchemeHostAndPort()
    {
        QFETCH(QString, streamhost);
        QFETCH(QString, address);
        const QUrl url = NotificationStreamAddress::forUser(streamhost, QStringLiteral("alice"), secretDigest);
        QCOMPARE(url.isValid() ? url.toString(QUrl::FullyEncoded) : QString(), address);
    }

    void badStreamhostFailsLikeAnUnreachableService()
    {
        PellixSettings().setStreamhost(QStringLiteral("someone@push.example.com"));
        delegate->reconnectNotificationStream();
        QTRY_VERIFY(delegate->reconnectTimer()->isActive());
        QCOMPARE(waitSeconds(), 1);
    }

    void consecutiveFailuresBackOffUpTo61Seconds()
    {
        QCOMPARE(failNextOpens(8), QList<int>({1, 3, 7, 15, 31, 61, 61, 61}));
    }

    void onlyASuccessfulAnswerResetsTheWait_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("wait");
        QTest::addColumn<QStringList>("handedOn");
        const QStringList body{QStringLiteral("{\"title\":\"t\"}")};
        QTest::newRow("200") << 200 << 1 << body;
        QTest::newRow("204") << 204 << 1 << QStringList();
        QTest::newRow("401") << 401 << 7 << QStringList();
        QTest::newRow("404") << 404 << 7 << QStringList();
        QTest::newRow("503") << 503 << 7 << QStringList();
    }

    void onlyASuccessfulAnswerResetsTheWait()
    {
        QFETCH(int, status);
        QFETCH(int, wait);
        QFETCH(QStringList, handedOn);
        failNextOpens(2);
        QCOMPARE(waitSeconds(), 3);

        TestStreamReply reply;
        reply.status = status;
        if (status != 204)
            reply.pieces = {"{\"title\":\"t\"}\n"};
        service->enqueueReply(reply);
        reopenNow();
        QTRY_VERIFY(delegate->reconnectTimer()->isActive());
        QCOMPARE(waitSeconds(), wait);
        QCOMPARE(delegate->handedOn, handedOn);
    }

    void redirectionIsFollowedToTheAnswer()
    {
        failNextOpens(2);
        TestStreamReply moved;
        moved.status = 302;
        moved.extraHeaders = "Location: /moved\r\nContent-Length: 0\r\n";
        TestStreamReply answer;
        answer.pieces = {"{\"title\":\"t\"}\n"};
        service->enqueueReply(moved);
        service->enqueueReply(answer);
        reopenNow();
        QTRY_VERIFY(delegate->reconnectTimer()->isActive());
        QCOMPARE(service->requests().constLast().path, QByteArray("/moved"));
        QCOMPARE(waitSeconds(), 1);
        QCOMPARE(delegate->handedOn, QStringList{QStringLiteral("{\"title\":\"t\"}")});
    }

    void redirectionWithoutATargetIsAFailure()
    {
        failNextOpens(2);
        TestStreamReply moved;
        moved.status = 302;
        moved.pieces = {"{\"title\":\"t\"}\n"};
        service->enqueueReply(moved);
        reopenNow();
        QTRY_VERIFY(delegate->reconnectTimer()->isActive());
        QCOMPARE(waitSeconds(), 7);
        QVERIFY(delegate->handedOn.isEmpty());
    }

    void piecesAreHandedOnLineByLine()
    {
        delegate->reconnectNotificationStream();
        TestStreamExchange *exchange = openedExchange();
        QVERIFY(exchange);
        exchange->sendHead(200);
        const QList<QByteArray> pieces{"{\"title\":\"one\"}\n{\"title\":\"two\"}\n", "{\"title\":\"th",
                                       "ree\"}\n", "caf\xc3", "\xa9\n"};
        for (const QByteArray &piece : pieces)
            exchange->sendPiece(piece);
        QTRY_COMPARE(delegate->handedOn.size(), 4);
        QCOMPARE(delegate->handedOn,
                 QStringList({QStringLiteral("{\"title\":\"one\"}"), QStringLiteral("{\"title\":\"two\"}"),
                              QStringLiteral("{\"title\":\"three\"}"), QStringLiteral("café")}));
        QVERIFY(!delegate->reconnectTimer()->isActive());
    }

    void lineThatIsNotUtf8CostsOnlyItself_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("invalid byte") << QByteArray("{\"title\":\"\xff\"}");
        QTest::newRow("cut character") << QByteArray("{\"title\":\"caf\xc3\"}");
        QTest::newRow("overlong form") << QByteArray("{\"title\":\"\xc0\xaf\"}");
        QTest::newRow("encoded surrogate") << QByteArray("{\"title\":\"\xed\xa0\x80\"}");
    }

    void lineThatIsNotUtf8CostsOnlyItself()
    {
        QFETCH(QByteArray, line);
        delegate->reconnectNotificationStream();
        TestStreamExchange *exchange = openedExchange();
        QVERIFY(exchange);
        exchange->sendHead(200);
        exchange->sendPiece("{\"title\":\"before\"}\n" + line + "\n{\"title\":\"after\"}\n");
        QTRY_COMPARE(delegate->handedOn.size(), 2);
        QCOMPARE(delegate->handedOn,
                 QStringList({QStringLiteral("{\"title\":\"before\"}"), QStringLiteral("{\"title\":\"after\"}")}));
    }

    void serviceThatHangsFailsAfterTheIdleLimit_data()
    {
        QTest::addColumn<bool>("answers");
        QTest::addColumn<int>("wait");
        QTest::newRow("silent before answering") << false << 1;
        QTest::newRow("silent after answering") << true << 1;
    }

    void serviceThatHangsFailsAfterTheIdleLimit()
    {
        QFETCH(bool, answers);
        QFETCH(int, wait);
        delegate->setIdleLimit(std::chrono::milliseconds(300));
        delegate->reconnectNotificationStream();
        TestStreamExchange *exchange = openedExchange();
        QVERIFY(exchange);
        if (answers)
            exchange->sendHead(200);
        QTRY_VERIFY_WITH_TIMEOUT(delegate->reconnectTimer()->isActive(), 10000);
        QCOMPARE(waitSeconds(), wait);
        QVERIFY(exchange->waitForClosedByPeer());
    }

    void callbacksOfAnotherConnectionChangeNothing()
    {
        delegate->reconnectNotificationStream();
        TestStreamExchange *current = openedExchange();
        QVERIFY(current);

        QNetworkAccessManager elsewhere;
        service->enqueueReply(TestStreamReply{});
        QNetworkReply *other = elsewhere.get(QNetworkRequest(QUrl(QStringLiteral("http://") + service->streamhost())));
        QTRY_VERIFY(other->isFinished());
        delegate->connectionDidReceiveResponse(other);
        delegate->connectionDidReceiveData(other, "{\"title\":\"t\"}\n");
        delegate->connectionDidFinishLoading(other);
        delegate->connectionDidFailWithError(other);
        QVERIFY(delegate->handedOn.isEmpty());
        QVERIFY(!delegate->reconnectTimer()->isActive());
        QVERIFY(!current->closedByPeer());
    }

    void reopeningCancelsTheCurrentConnection()
    {
        delegate->reconnectNotificationStream();
        TestStreamExchange *first = openedExchange();
        QVERIFY(first);
        first->sendHead(200);
        delegate->reconnectNotificationStream();
        TestStreamExchange *second = openedExchange();
        QVERIFY(second);
        QVERIFY(first->waitForClosedByPeer());
        first->sendPiece("{\"title\":\"late\"}\n");
        second->sendHead(200);
        second->sendPiece("{\"title\":\"current\"}\n");
        QTRY_COMPARE(delegate->handedOn, QStringList({QStringLiteral("{\"title\":\"current\"}")}));
        QVERIFY(!delegate->reconnectTimer()->isActive());
    }

    void savingWhileAReopenIsPendingLeavesOneConnectionAndKeepsTheWait()
    {
        failNextOpens(5);
        QCOMPARE(waitSeconds(), 31);
        delegate->reconnectNotificationStream();
        QVERIFY(!delegate->reconnectTimer()->isActive());
        TestStreamExchange *saved = openedExchange();
        QVERIFY(saved);
        saved->reset();
        QTRY_VERIFY(delegate->reconnectTimer()->isActive());
        QCOMPARE(waitSeconds(), 61);
        QVERIFY(!service->nextExchange(0));
    }

    void incompleteSettingsShowThePreferencesAndLeaveTheStreamIdle_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("apikey");
        QTest::newRow("no user name") << QString() << QStringLiteral("secret");
        QTest::newRow("empty user name") << QStringLiteral("") << QStringLiteral("secret");
        QTest::newRow("no key") << QStringLiteral("alice") << QString();
        QTest::newRow("empty key") << QStringLiteral("alice") << QStringLiteral("");
    }

    void incompleteSettingsShowThePreferencesAndLeaveTheStreamIdle()
    {
        QFETCH(QString, username);
        QFETCH(QString, apikey);
        failNextOpens(1);
        delegate->reconnectNotificationStream();
        TestStreamExchange *open = openedExchange();
        QVERIFY(open);

        configure(username, apikey);
        delegate->reconnectNotificationStream();
        QVERIFY(open->waitForClosedByPeer());
        QVERIFY(!delegate->reconnectTimer()->isActive());
        QWidget *window = PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"))->window();
        QVERIFY(window && window->isVisible());
        QVERIFY(!service->nextExchange(0));
    }
};

PELLIX_TEST_MAIN(NotificationStreamTest)
#include "NotificationStreamTest.moc"
