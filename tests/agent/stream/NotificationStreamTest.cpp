// SPDX-License-Identifier: MIT

#include "AgentFixture.h"
#include "PellixTestEnvironment.h"

#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Ending = TestHttpReply::Ending;

namespace {
QByteArray line(const QByteArray &description, const QByteArray &members = {})
{
    return AgentFixture::line(description, members);
}

bool matches(const QString &text, const QString &pattern) { return QRegularExpression(pattern).match(text).hasMatch(); }

// This process's resident memory in KiB, which the agent under test shares.
qint64 residentKibibytes()
{
    QFile status(u"/proc/self/status"_s);
    const QByteArray entries = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    return entries.mid(entries.indexOf("\nVmRSS:") + 7).trimmed().split(' ').constFirst().toLongLong();
}
}

// The stream from the opening of its connection to what reaches the
// notification service, also under faults of the network and of the
// services. The back-off is read from the wait the agent schedules, never
// waited for.
class NotificationStreamTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<AgentFixture> fixture;
    TestHttpExchange *&exchange() { return fixture->exchange; }
    pellix_growlAppDelegate &agent() { return fixture->agent(); }

    // A new agent with its options adjusted, its first connection taken.
    void startWith(const std::function<void(pellix_growlAppDelegate::Options &)> &adjust)
    {
        pellix_growlAppDelegate::Options options = fixture->options();
        adjust(options);
        fixture->start(options);
        QVERIFY(fixture->opens());
    }

private Q_SLOTS:
    void init()
    {
        fixture = std::make_unique<AgentFixture>();
        startWith([](auto &) {});
    }

    void cleanup() { fixture.reset(); }

    // The user "Alice" lower-cased, the key's digest after it, the body asked
    // for uncompressed; a user name made only of dots is escaped, so that it
    // stays a segment of its own.
    void requestAddressesTheLowerCasedUserAndKeyDigest()
    {
        QCOMPARE(exchange()->request().method + ' ' + exchange()->request().path,
                 "GET /user/notifications/alice/5ebe2294ecd0e0f08eab7690d2a6ee69");
        QVERIFY(exchange()->request().headers.contains("\r\nAccept-Encoding: identity\r\n"));
        fixture->signIn(u".."_s);
        agent().reconnectNotificationStream();
        QVERIFY(fixture->opens());
        QCOMPARE(exchange()->request().path, "/user/notifications/%2E%2E/5ebe2294ecd0e0f08eab7690d2a6ee69");
    }

    // A streamhost that makes no address fails like an unreachable service.
    // Saving the settings while a re-open is pending replaces it with one
    // connection, and the wait goes on growing.
    void consecutiveFailuresBackOffUpTo61Seconds()
    {
        AgentFixture::writeSettings({{u"streamhost"_s, u"someone@push.example.com"_s}});
        agent().reconnectNotificationStream();
        QVERIFY(fixture->waitForReopenScheduled());
        QCOMPARE(fixture->waitSeconds(), 1);
        fixture->signIn();
        QCOMPARE(fixture->failNextOpens(4), QList<int>({3, 7, 15, 31}));
        agent().reconnectNotificationStream();
        QVERIFY(!fixture->agentStream().isWaitingToReopen());
        QVERIFY(fixture->opens());
        exchange()->end(Ending::Reset);
        QVERIFY(fixture->waitForReopenScheduled());
        QCOMPARE(fixture->waitSeconds(), 61);
        QCOMPARE(fixture->failNextOpens(2), QList<int>({61, 61}));
    }

    // Only an answer that proves itself, a 2xx answer that delivers a line,
    // resets the wait: an error status, or a service that answers and ends
    // with nothing, keeps backing off. The waiting state says why. Up to five
    // redirections are followed, and their target's answer counts.
    void onlyAProvenAnswerResetsTheWait_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("wait");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char *name, int status, const QByteArray &headers, int times, int wait,
                            const QString &reason) { QTest::newRow(name) << status << headers << times << wait << reason; };
        const QString ended = u"the server ended the stream"_s;
        row("200", 200, {}, 1, 1, ended);
        row("200 with an empty body", 200, "Content-Length: 0\r\n", 1, 7, ended);
        row("403", 403, {}, 1, 7, u"the server refused the API key (HTTP 403)"_s);
        row("503", 503, {}, 1, 7, u"the server answered HTTP 503"_s);
        row("302 without a target", 302, {}, 1, 7, u"the server answered HTTP 302"_s);
        row("302 five times", 302, "Location: /moved\r\n", 5, 1, ended);
        row("302 six times", 302, "Location: /moved\r\n", 6, 7, u"the server answered HTTP 302"_s);
        row("302 to credentials", 302, "Location: http://user:pw@127.0.0.1:1/\r\n", 1, 7,
            u"the server redirected to an address with a user name or password (HTTP 302)"_s);
    }

    void onlyAProvenAnswerResetsTheWait()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, headers);
        QFETCH(int, times);
        QFETCH(QString, reason);
        QFETCH(int, wait);
        startWith([](auto &options) { options.stream.proofTime = 100ms; });
        QCOMPARE(fixture->failNextOpens(2), QList<int>({1, 3}));
        for (int reply = 0; reply < times; ++reply)
            fixture->stream.enqueueReply({status, headers, {line("t")}});
        fixture->stream.enqueueReply({200, {}, {line("t")}}); // for the last redirection's target
        QVERIFY(fixture->reopenNow());
        QVERIFY(fixture->waitForReopenScheduled());
        QCOMPARE(fixture->waitSeconds(), wait);
        QVERIFY2(fixture->agentStream().state().text().endsWith(reason), qPrintable(fixture->agentStream().state().text()));
        bool proofTimeOver = false; // an ended connection proves nothing later
        QTimer::singleShot(300ms, [&proofTimeOver] { proofTimeOver = true; });
        QTRY_VERIFY(proofTimeOver);
        fixture->stream.forgetScriptedReplies();
        QCOMPARE(fixture->failNextOpens(1), QList<int>({wait * 2 + 1}));
    }

    // The tool tip's second line follows the stream; the picture dims only
    // once the stream has been offline for a while, and an outage worth
    // telling is told once back.
    void theStatusItemTellsWhereTheStreamStands()
    {
        startWith([](auto &options) {
            options.stream.outageWorthTelling = 0ms;
            options.statusItem.dimAfter = 500ms;
        });
        const StatusItem *item = agent().statusItem();
        QCOMPARE(item->toolTipBody(), u"Connecting to %1…"_s.arg(fixture->stream.streamhost()));
        exchange()->sendHead(200);
        QTRY_VERIFY(matches(item->toolTipBody(), u"^Connected as alice since \\S+$"_s));

        exchange()->end(Ending::Reset);
        QVERIFY(fixture->waitForReopenScheduled());
        const QDateTime offline = fixture->agentStream().state().phaseStart();
        QVERIFY2(matches(item->toolTipBody(), u"^Offline since \\S+ — next attempt at \\d\\d:\\d\\d:\\d\\d: the server ended the stream$"_s),
                 qPrintable(item->toolTipBody()));
        QCoreApplication::processEvents();
        QVERIFY(!item->isDimmed());
        QTRY_VERIFY(item->isDimmed());
        QCOMPARE(fixture->failNextOpens(1), QList<int>({3}));
        QCOMPARE(fixture->agentStream().state().phaseStart(), offline);

        QVERIFY(fixture->reopenNow());
        QVERIFY(fixture->opens(200));
        QTRY_VERIFY2(matches(item->toolTipBody(), u"^Connected as alice since (\\S+) \\(offline \\S+–\\1\\)$"_s),
                     qPrintable(item->toolTipBody()));
        QCOMPARE(fixture->agentStream().state().outage()->from, offline);
        QVERIFY(!item->isDimmed());

        fixture->signIn(QString());
        agent().reconnectNotificationStream();
        QCOMPARE(item->toolTipBody(), u"Not signed in — open Preferences"_s);
    }

    // The old connection's half line is not joined to the new one's data.
    void reopeningCancelsTheCurrentConnectionAndForgetsItsTail()
    {
        exchange()->sendHead(200);
        exchange()->sendPiece(line("one") + "{\"title\":\"ha");
        QTRY_COMPARE(fixture->handedOn.size(), 1);
        TestHttpExchange *first = exchange();
        agent().reconnectNotificationStream();
        QVERIFY(fixture->opens(200));
        QVERIFY(first->waitForClosedByPeer());
        first->sendPiece(line("late"));
        exchange()->sendPiece("lf\"}\n" + line("current"));
        QTRY_COMPARE(fixture->handedOn, QStringList({line("one").chopped(1), "lf\"}", line("current").chopped(1)}));
    }

    // A waiting stream opens at once and keeps its back-off (AgentProcessTest
    // has an open one replaced). Incomplete settings (here an empty key; the
    // status item test has no user) keep a wake-up from doing anything, the
    // preferences window included, while opening the stream with them shows
    // that window and leaves the stream idle, which a wake-up leaves alone.
    void wakeUpReopensAWaitingStreamAtOnce()
    {
        QCOMPARE(fixture->failNextOpens(2), QList<int>({1, 3}));
        agent().reopenStreamAfterWakeUp();
        QVERIFY(!fixture->agentStream().isWaitingToReopen());
        QVERIFY(fixture->opens(200));
        exchange()->end(Ending::Reset);
        QVERIFY(fixture->waitForReopenScheduled());
        QCOMPARE(fixture->waitSeconds(), 7);

        fixture->signIn(u"alice"_s, u""_s);
        agent().reopenStreamAfterWakeUp();
        QVERIFY(fixture->agentStream().isWaitingToReopen());
        QVERIFY(!AgentFixture::preferencesShown());
        agent().reconnectNotificationStream();
        QVERIFY(!fixture->agentStream().isWaitingToReopen());
        QVERIFY(AgentFixture::preferencesShown());
        fixture->signIn();
        agent().reopenStreamAfterWakeUp();
        QVERIFY(!fixture->agentStream().isOpen());
    }

    // Whatever is not a readable, uncompressed HTTP answer within its
    // deadline and size, or falls silent for the idle limit, fails the
    // connection; the agent drops it and the stream recovers. Every finished
    // line arrives, across reads and at the end of a connection that ends
    // without its last line feed; a line past the line bound is dropped,
    // wherever the reads cut it.
    void brokenOrEndedAnswersKeepEveryFinishedLine_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char *name, const QByteArrayList &pieces, Ending ending, const QStringList &expected,
                            const QString &reason) { QTest::newRow(name) << pieces << ending << expected << reason; };
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        const QByteArray body = line("from a broken answer");
        const QString unreadable = u"the server's answer could not be read"_s;
        const QString silent = u"nothing arrived for 600 ms"_s;
        row("silent after a line", {ok + "\r\n" + line("before")}, Ending::Never, {"before", "after"}, silent);
        row("lines for longer than the idle limit", {ok + "\r\n" + line("one"), line("two"), line("three")}, Ending::Never,
            {"one", "two", "three", "after"}, silent);
        row("not HTTP", {"HELLO THERE\r\n\r\n" + body}, Ending::Close, {"after"}, unreadable);
        row("compressed body", {ok + "Content-Encoding: gzip\r\n\r\n" + body}, Ending::Never, {"after"}, unreadable);
        row("head past its size, ended in the same read",
            {ok + QByteArray("X-Filler: 0123456789abcdef\r\n").repeated(2500) + "\r\n" + body}, Ending::Never, {"after"},
            unreadable);
        row("head that never ends", {ok + "X-Slow: 1\r\n"}, Ending::Never, {"after"}, u"the server did not answer"_s);
        const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
        row("interim answers, then the answer", {interim + interim + ok + "\r\n" + line("answered")}, Ending::Close,
            {"answered", "after"}, u"the server ended the stream"_s);
        row("interim answers past the head's size", {interim.repeated(3000)}, Ending::Never, {"after"}, unreadable);
        row("head of bare line feeds ended by CRLF", {"HTTP/1.1 200 OK\nX-A: 1\n\r\n" + line("bare")}, Ending::Close,
            {"bare", "after"}, u"the server ended the stream"_s);
        row("body shorter than its length", {ok + "Content-Length: 9999\r\n\r\n" + body}, Ending::Close,
            {"from a broken answer", "after"}, u"cannot reach 127.0.0.1:"_s);
        const QByteArray twoLines = ok + "\r\n" + line("one") + line("two").left(9);
        const QByteArray rest = line("two").mid(9);
        const QString ended = u"the server ended the stream"_s;
        row("reset after a line without its line feed", {twoLines, rest + line("last").chopped(1)}, Ending::Reset,
            {"one", "two", "last", "after"}, ended);
        const QByteArray endless(1024 * 1024, 'x');
        row("endless lines", {ok + "\r\n" + line("before"), endless, "\n" + line("kept"), endless}, Ending::Close,
            {"before", "kept", "after"}, ended);
    }

    void brokenOrEndedAnswersKeepEveryFinishedLine()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(Ending, ending);
        QFETCH(QString, reason);
        startWith([](auto &options) {
            options.stream.idleLimit = 600ms;
            options.stream.connection.headDeadline = 300ms;
            options.stream.lineLengthLimit = 64 * 1024;
        });
        // The pieces come 350 ms apart, as a service writes them.
        const QPointer<TestHttpExchange> answer = exchange();
        qsizetype sent = 0;
        const auto sendNext = [&] {
            if (answer && sent < pieces.size())
                answer->sendPiece(pieces.at(sent));
            ++sent;
        };
        QTimer pace;
        connect(&pace, &QTimer::timeout, this, sendNext);
        sendNext();
        pace.start(350);
        QTRY_VERIFY(sent >= pieces.size());
        exchange()->end(ending);
        QVERIFY(fixture->waitForReopenScheduled());
        QVERIFY2(fixture->agentStream().state().text().contains(u": "_s + reason),
                 qPrintable(fixture->agentStream().state().text()));
        QVERIFY(exchange()->waitForClosedByPeer());
        QVERIFY(fixture->reopenNow() && fixture->opens(200) && fixture->posts("after"));
        QTEST(fixture->posted(), "expected");
    }

    void aStalledNotificationServiceHoldsTheStreamBackAndLosesNothing_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<qsizetype>("lineLength");
        QTest::addColumn<qsizetype>("handedOnBeforeThePause");
        QTest::addColumn<bool>("endsWhileHeld");
        QTest::newRow("many messages") << 600 << qsizetype(3) << NotificationStream::readAheadLimit << true;
        // 4 KB of text each, against a read-ahead of 16 KiB.
        QTest::newRow("large messages") << 100 << qsizetype(2000) << qsizetype(1) << false;
    }

    // A notification service that stops answering holds the stream back:
    // while the read-ahead is full (in messages or in bytes), reading waits and so does the idle limit,
    // so a slow service neither fills the agent nor makes the stream look
    // dead. Once the service answers, reading goes on; when the stream ends
    // meanwhile, what its connection held unread is handed on all the same,
    // in order, and the next attempt is not held up.
    void aStalledNotificationServiceHoldsTheStreamBackAndLosesNothing()
    {
        QFETCH(int, lines);
        QFETCH(qsizetype, lineLength);
        QFETCH(qsizetype, handedOnBeforeThePause);
        QFETCH(bool, endsWhileHeld);
        startWith([](auto &options) {
            options.stream.idleLimit = 300ms;
            options.stream.readAheadBytes = 16 * 1024;
        });
        exchange()->sendHead(200);
        QVERIFY(fixture->notifications.waitForCalls(1));
        fixture->notifications.holdAnswers();
        QStringList expected;
        QByteArray stream;
        for (int number = 0; number < lines; ++number) {
            expected.append(QString::number(number).rightJustified(lineLength, u'0'));
            stream += line(expected.constLast().toLatin1());
        }
        const qsizetype half = stream.indexOf('\n', stream.size() / 2) + 1;
        exchange()->sendPiece(stream.first(half));
        QTRY_VERIFY(fixture->handedOn.size() > handedOnBeforeThePause);
        exchange()->sendPiece(stream.sliced(half));
        // Not synchronisation: the stream must outlast the idle limit while
        // reading waits.
        QElapsedTimer held;
        held.start();
        QVERIFY(QTest::qWaitFor([&held] { return held.hasExpired(1000); }, 2000));
        QVERIFY(!fixture->agentStream().isWaitingToReopen());
        QCOMPARE_LT(fixture->handedOn.size(), expected.size());

        QVERIFY(!endsWhileHeld || (exchange()->end(Ending::Close), fixture->waitForReopenScheduled()));
        fixture->notifications.releaseAnswers();
        QVERIFY(fixture->waitForPosted(expected.size()));
        QCOMPARE(fixture->posted(), expected);
        QVERIFY(endsWhileHeld || !fixture->agentStream().isWaitingToReopen());
    }

    // An icon host that never answers holds up only the lines behind its
    // line, for the icon time limit, so they still arrive in order; a good
    // icon arrives as image data; a click opens the line's address.
    void iconsAndAddressesArePostedInOrder()
    {
        exchange()->sendHead(200);
        fixture->stream.route(u"/red.png"_s, TestHttpReply::picture(TestHttpReply::png({5, 3}, Qt::red)));
        fixture->stream.route(u"/never.png"_s, TestHttpReply::silent());
        const QByteArray never = "\"iconpath\":\"" + fixture->stream.url(u"/never.png"_s).toEncoded() + "\"";
        const QByteArray red = "\"iconpath\":\"" + fixture->stream.url(u"/red.png"_s).toEncoded() + "\"";
        const QByteArray link = "\"final_uri\":\"https://example.org/a\",\"websafe_uri\":\"https://example.org/w\"";
        exchange()->sendPiece(line("first") + line("stuck", never) + line("behind") + line("with icon", red)
                              + line("link", link));
        QVERIFY(fixture->waitForPosted(5));
        QCOMPARE(fixture->posted(), (QStringList{"first", "stuck", "behind", "with icon", "link"}));
        const QList<NotifyCall> calls = fixture->postedCalls();
        QCOMPARE(calls.at(3).image.size(), QSize(5, 3));
        fixture->notifications.invokeAction(calls.at(4).id);
        QTRY_COMPARE(fixture->opened, QList<QUrl>{QUrl("https://example.org/a")});
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
        constexpr int perConnection = lineCount / 21 + 1;
        int arrived = 0;
        int outOfOrder = 0;
        qint64 residentAfterFirstLines = -1;
        QObject arrivals;
        // Neither the service nor the agent keeps a record, so the test's memory stays flat too.
        connect(&fixture->notifications, &TestNotificationService::notified, &arrivals, [&](const NotifyCall &call) {
            if (call.summary != u"Build"_s)
                return;
            outOfOrder += call.body != u"line %1"_s.arg(arrived);
            if (++arrived == 10000)
                residentAfterFirstLines = residentKibibytes();
            fixture->notifications.clearCalls();
            fixture->handedOn.clear();
        });
        QRandomGenerator random(20261207);
        exchange()->sendHead(200);
        for (int first = 0; first < lineCount; first += perConnection) {
            if (first > 0) {
                QVERIFY2(fixture->reopenNow() && fixture->opens(200), qPrintable(u"no connection for line %1"_s.arg(first)));
            }
            // Up to the next connection's first line, cut.
            const int end = std::min(lineCount, first + perConnection);
            QByteArray body;
            for (int number = first; number <= end; ++number)
                body += line("line " + QByteArray::number(number));
            body.chop(10);
            bool sent = false;
            exchange()->sendPaced([&, offset = qsizetype(0)]() mutable -> std::optional<QByteArray> {
                const QByteArray piece = body.mid(offset, 1 + qsizetype(random.bounded(2048)));
                offset += piece.size();
                sent = piece.isEmpty();
                return sent ? std::nullopt : std::optional(piece);
            });
            QVERIFY2(QTest::qWaitFor([&] { return arrived >= end && sent; }, 120000),
                     qPrintable(u"%1 of %2 lines arrived"_s.arg(arrived).arg(end)));
            exchange()->end(first / perConnection % 2 ? Ending::Reset : Ending::Close);
        }
        QCOMPARE(arrived, lineCount);
        QCOMPARE(outOfOrder, 0);
        // The address sanitizer's allocator keeps freed memory back on purpose.
#if !defined(__SANITIZE_ADDRESS__)
        const qint64 growth = residentKibibytes() - residentAfterFirstLines;
        QVERIFY2(growth < 4 * 1024, qPrintable(u"resident memory grew by %1 KiB"_s.arg(growth)));
#endif
    }
};

PELLIX_TEST_MAIN(NotificationStreamTest)
#include "NotificationStreamTest.moc"
