#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "ProcessMemory.h"
#include "TestNotificationService.h"
#include "TestStreamService.h"
#include "pellix_growlAppDelegate.h"

#include <QRandomGenerator>

namespace {
constexpr int lineCount = 100000;
constexpr int reconnects = 20;
constexpr int linesPerConnection = lineCount / (reconnects + 1) + 1;
constexpr int sampleLines = 10000;

QByteArray line(int number)
{
    return "{\"title\":\"Soak\",\"description\":\"line " + QByteArray::number(number) + "\"}\n";
}
}

// A long run of the real stream path: 100,000 lines cut at random points,
// over 21 connections that each end with half a line, alternately closed and
// reset. Every finished line must reach the notification service once, in
// order, and the agent's memory must not grow with the lines it has handled.
class StreamSoakTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<TestStreamService> stream;
    std::unique_ptr<pellix_growlAppDelegate> delegate;
    QRandomGenerator random{20261207};

    int arrived = 0;
    int outOfOrder = 0;
    qint64 residentAfterFirstLines = -1;

    // The service keeps no record of its own, so the test's memory stays flat too.
    void checkArrival(const NotifyCall &call)
    {
        if (call.summary != QStringLiteral("Soak"))
            return;
        if (call.body != QStringLiteral("line %1").arg(arrived))
            ++outOfOrder;
        ++arrived;
        if (arrived == sampleLines)
            residentAfterFirstLines = ProcessMemory::residentKibibytes();
        notifications->clearCalls();
    }

    // The connection's lines cut at random points, then half of the next line.
    std::function<std::optional<QByteArray>()> randomPieces(int first, int end)
    {
        auto body = std::make_shared<QByteArray>();
        for (int number = first; number < end; ++number)
            body->append(line(number));
        body->append(line(end).left(20));
        auto offset = std::make_shared<qsizetype>(0);
        return [this, body, offset]() -> std::optional<QByteArray> {
            if (*offset >= body->size())
                return std::nullopt;
            const qsizetype length = 1 + qsizetype(random.bounded(2048));
            const QByteArray piece = body->mid(*offset, length);
            *offset += piece.size();
            return piece;
        };
    }

    TestStreamExchange *nextAnsweredExchange()
    {
        TestStreamExchange *exchange = stream->nextExchange(10000);
        if (exchange)
            exchange->sendHead(200);
        return exchange;
    }

private slots:
    void initTestCase()
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
        connect(notifications.get(), &TestNotificationService::notified, this, &StreamSoakTest::checkArrival);
    }

    void cleanupTestCase()
    {
        delegate.reset();
        stream.reset();
        notifications.reset();
    }

    void everyFinishedLineArrivesOnceInOrderWithFlatMemory()
    {
        delegate->applicationDidFinishLaunching();
        for (int connection = 0; connection <= reconnects; ++connection) {
            const int first = connection * linesPerConnection;
            const int end = std::min(lineCount, first + linesPerConnection);
            TestStreamExchange *exchange = nextAnsweredExchange();
            QVERIFY2(exchange, qPrintable(QStringLiteral("connection %1 was not opened").arg(connection)));
            exchange->sendPaced(randomPieces(first, end));
            QVERIFY2(QTest::qWaitFor([&] { return arrived >= end; }, 120000),
                     qPrintable(QStringLiteral("%1 of %2 lines arrived").arg(arrived).arg(end)));
            // What the agent has read of the half line is all it gets.
            QTest::qWait(50);
            connection % 2 ? exchange->reset() : exchange->close();
            if (connection == reconnects)
                break;
            QVERIFY(QTest::qWaitFor([this] { return delegate->reconnectTimer()->isActive(); }, 10000));
            delegate->reconnectTimer()->start(0);
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

PELLIX_TEST_MAIN(StreamSoakTest)
#include "StreamSoakTest.moc"
