#include "GrowlApplicationBridge.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "ProcessMemory.h"
#include "TestNotificationService.h"
#include "TestStreamService.h"
#include "pellix_growlAppDelegate.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QFile>

namespace {
QByteArray line(const QByteArray &description)
{
    return "{\"title\":\"Build\",\"description\":\"" + description + "\"}\n";
}

}

// The real stream path under faults of the network and of the services: a
// loopback stream service, the agent, and a notification service on a
// private bus. What counts is what reaches the notification service.
class StreamFaultTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<TestStreamService> stream;
    std::unique_ptr<pellix_growlAppDelegate> delegate;

    // Descriptions posted for stream lines (the start-up notice left out).
    QStringList posted() const
    {
        QStringList bodies;
        for (const NotifyCall &call : notifications->calls()) {
            if (call.summary != QStringLiteral("Pellix"))
                bodies.append(call.body);
        }
        return bodies;
    }

    bool waitForPosted(qsizetype count, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return posted().size() >= count; }, timeoutMs);
    }

    TestStreamExchange *answeredExchange()
    {
        TestStreamExchange *exchange = stream->nextExchange();
        if (exchange)
            exchange->sendHead(200);
        return exchange;
    }

    bool waitForReopenScheduled()
    {
        return QTest::qWaitFor([this] { return delegate->reconnectTimer()->isActive(); }, 10000);
    }

    // Fires the pending re-open at once and answers the new connection.
    TestStreamExchange *reopenNow()
    {
        if (!waitForReopenScheduled())
            return nullptr;
        delegate->reconnectTimer()->start(0);
        return answeredExchange();
    }

    void rejoinNotificationService()
    {
        QDBusServiceWatcher watcher(QStringLiteral("org.freedesktop.Notifications"), QDBusConnection::sessionBus(),
                                    QDBusServiceWatcher::WatchForRegistration);
        bool back = false;
        connect(&watcher, &QDBusServiceWatcher::serviceRegistered, this, [&back] { back = true; });
        notifications->join();
        if (!QTest::qWaitFor([&back] { return back; }, 5000))
            qWarning("the notification service did not come back");
    }

private slots:
    void init()
    {
        PellixTestEnvironment::clearSettings();
        notifications = std::make_unique<TestNotificationService>();
        stream = std::make_unique<TestStreamService>();
        PellixSettings settings;
        settings.setUsername(QStringLiteral("alice"));
        settings.setApikey(QStringLiteral("secret"));
        settings.setStreamhost(stream->streamhost());
        delegate = std::make_unique<pellix_growlAppDelegate>();
        delegate->setExitFunction([](int) {});
    }

    void cleanup()
    {
        delegate.reset();
        stream.reset();
        notifications.reset();
    }

    void endInTheMiddleOfALineKeepsEveryFinishedLine_data()
    {
        QTest::addColumn<bool>("resets");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QStringList>("expected");
        const QByteArray partial = "{\"title\":\"Build\",\"description\":\"cut";
        const QByteArray whole = line("last").chopped(1);
        QTest::newRow("closed after part of a line") << false << partial << QStringList{"one", "two"};
        QTest::newRow("reset after part of a line") << true << partial << QStringList{"one", "two"};
        QTest::newRow("closed after a line without its line feed") << false << whole << QStringList{"one", "two", "last"};
        QTest::newRow("reset after a line without its line feed") << true << whole << QStringList{"one", "two", "last"};
    }

    void endInTheMiddleOfALineKeepsEveryFinishedLine()
    {
        QFETCH(bool, resets);
        QFETCH(QByteArray, tail);
        QFETCH(QStringList, expected);
        delegate->applicationDidFinishLaunching();
        TestStreamExchange *exchange = answeredExchange();
        QVERIFY(exchange);
        exchange->sendPiece(line("one") + line("two").left(9));
        exchange->sendPiece(line("two").mid(9));
        QVERIFY(waitForPosted(2));
        exchange->sendPiece(tail);
        // A reset discards what the agent has not read yet; let it read first.
        QTest::qWait(200);
        resets ? exchange->reset() : exchange->close();
        QVERIFY(waitForReopenScheduled());
        QTest::qWait(200);
        QCOMPARE(posted(), expected);

        TestStreamExchange *next = reopenNow();
        QVERIFY(next);
        next->sendPiece(line("after"));
        QVERIFY(waitForPosted(expected.size() + 1));
        QCOMPARE(posted().constLast(), QStringLiteral("after"));
    }

    void silenceAfterTheHeadersEndsTheConnectionAtTheIdleLimit()
    {
        delegate->setIdleLimit(std::chrono::milliseconds(300));
        delegate->applicationDidFinishLaunching();
        TestStreamExchange *silent = answeredExchange();
        QVERIFY(silent);
        silent->sendPiece(line("before the silence"));
        QVERIFY(waitForPosted(1));
        QVERIFY(waitForReopenScheduled());
        QVERIFY(silent->waitForClosedByPeer());

        TestStreamExchange *next = reopenNow();
        QVERIFY(next);
        next->sendPiece(line("after the silence"));
        QVERIFY(waitForPosted(2));
        QCOMPARE(posted(), QStringList({"before the silence", "after the silence"}));
    }

    // Qt reads leniently where HTTP allows it: a malformed header line is
    // skipped, and a body cut short still delivers the lines it finished.
    void brokenHttpAnswerIsAFailureAndTheStreamRecovers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("expected");
        const QByteArray body = line("from a broken answer");
        const QStringList recovered{"sound again"};
        const QStringList bodyKept{"from a broken answer", "sound again"};
        QTest::newRow("not HTTP") << QByteArray("HELLO THERE\r\n\r\n" + body) << recovered;
        QTest::newRow("status is not a number") << QByteArray("HTTP/1.1 OK twice\r\n\r\n" + body) << recovered;
        QTest::newRow("binary noise") << QByteArray("\x00\xff\x13\x37\r\n\r\n\x00", 9) << recovered;
        QTest::newRow("broken chunk size")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n" + body) << recovered;
        QTest::newRow("header without a colon")
            << QByteArray("HTTP/1.1 200 OK\r\nno colon here\r\n\r\n" + body) << bodyKept;
        QTest::newRow("body shorter than its length")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9999\r\n\r\n" + body) << bodyKept;
    }

    // The client may retry a request itself, so every attempt gets the same
    // broken answer until the agent gives the connection up.
    void brokenHttpAnswerIsAFailureAndTheStreamRecovers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, expected);
        delegate->applicationDidFinishLaunching();
        bool givenUp = false;
        for (int attempt = 0; attempt < 5 && !givenUp; ++attempt) {
            TestStreamExchange *broken = stream->nextExchange();
            QVERIFY(broken);
            broken->sendPiece(answer);
            broken->close();
            givenUp = QTest::qWaitFor([this] { return delegate->reconnectTimer()->isActive(); }, 2000);
        }
        QVERIFY(givenUp);

        TestStreamExchange *next = reopenNow();
        QVERIFY(next);
        next->sendPiece(line("sound again"));
        QVERIFY(waitForPosted(expected.size()));
        QCOMPARE(posted(), expected);
    }

    // 100 MB with no line feed: the line is dropped whole, memory stays
    // bounded, and the lines after it still arrive.
    void endlessLineIsDroppedWithinBoundedMemory()
    {
        delegate->applicationDidFinishLaunching();
        TestStreamExchange *exchange = answeredExchange();
        QVERIFY(exchange);
        exchange->sendPiece(line("before"));
        QVERIFY(waitForPosted(1));

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
        QVERIFY(QTest::qWaitFor([exchange] { return !exchange->isSendingPaced(); }, 120000));
        exchange->sendPiece("\n" + line("after"));
        QVERIFY(waitForPosted(2, 30000));
        sampler.stop();

        QCOMPARE(posted(), QStringList({"before", "after"}));
        QVERIFY(!delegate->reconnectTimer()->isActive());
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
        delegate->setIdleLimit(std::chrono::milliseconds(500));
        delegate->applicationDidFinishLaunching();
        TestStreamExchange *exchange = answeredExchange();
        QVERIFY(exchange);
        exchange->sendPiece(line("before"));
        QVERIFY(waitForPosted(1));

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
        QVERIFY(!delegate->reconnectTimer()->isActive());
        QVERIFY(!exchange->closedByPeer());

        notifications->releaseAnswers();
        QVERIFY(QTest::qWaitFor([exchange] { return !exchange->isSendingPaced(); }, 60000));
        // The stream falls silent after its last line, so the short idle
        // limit may end it now: what counts is that no line was lost.
        QVERIFY(waitForPosted(1 + lines, 60000));
        QCOMPARE(posted(), expected);
    }

    // The stream ends while the agent is still waiting for the notification
    // service: what the connection held unread is handed on all the same.
    void streamEndingWhileReadingWaitsLosesNothing()
    {
        delegate->applicationDidFinishLaunching();
        TestStreamExchange *exchange = answeredExchange();
        QVERIFY(exchange);
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

    // Every byte in a read of its own, multi-byte characters included.
    void oneByteAtATimeGivesEveryLine()
    {
        delegate->applicationDidFinishLaunching();
        TestStreamExchange *exchange = answeredExchange();
        QVERIFY(exchange);
        const QByteArray body = line("caf\xc3\xa9") + line("\xf0\x9f\x9a\x80 launched") + line("plain");
        qsizetype next = 0;
        QTimer drip;
        connect(&drip, &QTimer::timeout, this, [&] {
            if (next < body.size())
                exchange->sendPiece(body.mid(next++, 1));
        });
        drip.start(3);
        QVERIFY(waitForPosted(3, 30000));
        QCOMPARE(posted(), QStringList({QStringLiteral("café"), QStringLiteral("🚀 launched"), QStringLiteral("plain")}));
        QVERIFY(!delegate->reconnectTimer()->isActive());
    }

    void notificationServiceLeavingAndReturningIsSurvived()
    {
        delegate->applicationDidFinishLaunching();
        TestStreamExchange *exchange = answeredExchange();
        QVERIFY(exchange);
        exchange->sendPiece(line("while there"));
        QVERIFY(waitForPosted(1));

        notifications->leave();
        exchange->sendPiece(line("while away"));
        QTest::qWait(300);
        rejoinNotificationService();
        exchange->sendPiece(line("once back"));
        QVERIFY(QTest::qWaitFor([this] { return posted().contains(QStringLiteral("once back")); }, 10000));
        QCOMPARE(posted().constFirst(), QStringLiteral("while there"));
        QVERIFY(!delegate->reconnectTimer()->isActive());
        QVERIFY(!exchange->closedByPeer());
    }
};

PELLIX_TEST_MAIN(StreamFaultTest)
#include "StreamFaultTest.moc"
