// SPDX-License-Identifier: MIT

#include "stream/ChunkedBodyDecoder.h"
#include "stream/HttpResponseHead.h"
#include "stream/NotificationStreamAddress.h"
#include "stream/StreamLineReader.h"
#include "session/WakeUpWatcher.h"
#include "pellix_growlAppDelegate.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
const QString secretDigest = u"5ebe2294ecd0e0f08eab7690d2a6ee69"_s;
}

// The stream's parts that need no agent running: the key's digest, the
// stream's address, what counts as a wake-up, and what the stream makes of
// the bytes a service sends (the answer's head, a chunked body, the lines of
// the body), however the network cuts them.
class StreamPartsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The key's case is kept, and it ends at a zero character.
    void digestIsLowerCaseHexOfTheUtf8Bytes()
    {
        const pellix_growlAppDelegate agent;
        QCOMPARE(agent.md5(u"Secret"_s), u"1e6947ac7fb3a9529a9726eb692c8cc5"_s);
        QCOMPARE(agent.md5(u"kéy"_s), u"e8e651d3ec2770a9dec9eb8465ba6edd"_s);
        QCOMPARE(agent.md5(u"a"_s + QChar(0) + u"b"_s), u"0cc175b9c0f1b6a831c399e269772661"_s);
    }

    void streamAddressFromStreamhostAndUser_data()
    {
        QTest::addColumn<QString>("streamhost");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("address");
        const QString rest = "/user/notifications/alice/" + secretDigest;
        const QString host = u"http://stream.pellix.org/user/notifications/"_s;
        QTest::newRow("absent") << QString() << "alice" << "http://stream.pellix.org" + rest;
        QTest::newRow("host and port") << "push.example.com:8080" << "alice" << "http://push.example.com:8080" + rest;
        QTest::newRow("scheme in capitals, final slash")
            << "HTTP://push.example.com/" << "alice" << "http://push.example.com" + rest;
        QTest::newRow("a path") << "push.example.com/other" << "alice" << QString();
        QTest::newRow("user info") << "someone@push.example.com" << "alice" << QString();
        QTest::newRow("a query") << "push.example.com?x=1" << "alice" << QString();
        QTest::newRow("another scheme") << "ftp://push.example.com" << "alice" << QString();
        QTest::newRow("path and query marks") << QString() << "a/b?c#d" << host + "a%2Fb%3Fc%23d/" + secretDigest;
    }

    void streamAddressFromStreamhostAndUser()
    {
        QFETCH(QString, streamhost);
        QFETCH(QString, username);
        const QUrl url = NotificationStreamAddress::forUser(streamhost, username, secretDigest);
        QTEST(url.isValid() ? url.toString(QUrl::FullyEncoded) : QString(), "address");
    }

    // What logind or the reachability backend reports, in order, and how many
    // wake-ups it makes.
    void onlyAResumeOrAReturnFromAnOutageIsAWakeUp()
    {
        using Reachability = QNetworkInformation::Reachability;
        const QHash<QString, Reachability> reachability{
            {u"online"_s, Reachability::Online}, {u"local"_s, Reachability::Local}, {u"offline"_s, Reachability::Disconnected}};
        const std::pair<QString, int> histories[] = {{u"sleep resume sleep resume"_s, 2}, {u"online"_s, 0},
                                                     {u"offline online"_s, 1}, {u"offline local online"_s, 1},
                                                     {u"offline local"_s, 0}, {u"unknown online"_s, 0}};
        for (const auto &[events, wakeUps] : histories) {
            WakeUpWatcher watcher;
            QSignalSpy woken(&watcher, &WakeUpWatcher::wokeUp);
            for (const QString &event : events.split(u' ')) {
                if (event == u"sleep"_s || event == u"resume"_s)
                    watcher.prepareForSleep(event == u"sleep"_s);
                else
                    watcher.reachabilityChanged(reachability.value(event, Reachability::Unknown));
            }
            QVERIFY2(woken.size() == wakeUps, qPrintable(events));
        }
    }

    void headsAreReadStrictly_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("status"); // 0: not a head
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        const auto row = [](const char *name, const QByteArray &head, int status, const QByteArray &field = "x",
                            const QByteArray &value = {}) { QTest::newRow(name) << head << status << field << value; };
        row("status and a field", "HTTP/1.1 200 OK\r\nContent-Type: text/plain", 200, "content-type", "text/plain");
        row("bare line feeds, white space trimmed", "HTTP/1.0 404 Not Found\nServer:  pellix  ", 404, "Server", "pellix");
        row("no reason", "HTTP/1.1 204", 204);
        row("repeated field joined", "HTTP/1.1 200 OK\r\nX-A: 1\r\nx-a: 2", 200, "X-A", "1, 2");
        row("empty value is present", "HTTP/1.1 200 OK\r\nX-E:", 200, "x-e", "");
        row("two-digit status", "HTTP/1.1 20 OK", 0);
        row("no space after the status", "HTTP/1.1 200OK", 0);
        row("space in a field name", "HTTP/1.1 200 OK\r\nX A: 1", 0);
        row("empty field name", "HTTP/1.1 200 OK\r\n: 1", 0);
        row("folded continuation line", "HTTP/1.1 200 OK\r\nX-A: 1\r\n  more", 0);
    }

    void headsAreReadStrictly()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, name);
        const std::optional<HttpResponseHead> parsed = HttpResponseHead::parse(head);
        QTEST(parsed ? parsed->status() : 0, "status");
        if (parsed)
            QTEST(parsed->field(name), "value");
    }

    void chunkedBodiesDecodeHoweverTheReadsAreCut_data()
    {
        QTest::addColumn<QByteArray>("coded");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char *name, const QByteArray &coded, const QByteArray &body, const char *outcome) {
            QTest::newRow(name) << coded << body << QString::fromLatin1(outcome);
        };
        row("chunks in lower-case hex, an extension, the end", "4\r\nWiki\r\nb;x=1\r\npedia, free\r\n0\r\n\r\n",
            "Wikipedia, free", "finished");
        row("hex in capitals, bare line feeds", "A\nabcdefghij\n0\n\n", "abcdefghij", "finished");
        row("trailer", "3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n", "abc", "finished");
        row("unfinished", "3\r\nab", "ab", "open");
        row("size not hex", "zz\r\n", {}, "broken");
        row("no size", "\r\n", {}, "broken");
        row("more data than its size", "3\r\nabcd\r\n", "abc", "broken");
        row("endless size line", "1;" + QByteArray(2000, 'x'), {}, "broken");
        row("size past fifteen digits", "1000000000000000\r\n", {}, "broken");
        row("endless trailer", "0\r\n" + QByteArray("X-T: 0123456789\r\n").repeated(2000), {}, "broken");
    }

    void chunkedBodiesDecodeHoweverTheReadsAreCut()
    {
        QFETCH(QByteArray, coded);
        for (qsizetype cut = 0; cut <= coded.size(); cut += 1 + cut / 16) {
            ChunkedBodyDecoder decoder;
            QByteArray body;
            const bool sound = decoder.decode(QByteArrayView(coded).first(cut), body)
                               && decoder.decode(QByteArrayView(coded).sliced(cut), body);
            QTEST(body, "body");
            QTEST(QString::fromLatin1(!sound ? "broken" : decoder.isFinished() ? "finished" : "open"), "outcome");
        }
    }

    // Bound 8 for the rows about overlong lines, the default for the others.
    void readsBecomeLines_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<qsizetype>("bound");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<QByteArray>("tail");
        const qsizetype normal = StreamLineReassembler::defaultMaximumLineLength;
        const auto row = [](const char *name, const QByteArrayList &reads, qsizetype bound, const QByteArrayList &lines,
                            const QByteArray &tail = {}) { QTest::newRow(name) << reads << bound << lines << tail; };
        row("three lines in one read", {"one\ntwo\nthree\n"}, normal, {"one", "two", "three"});
        row("line in three reads", {"ab", "cd", "ef\n"}, normal, {"abcdef"});
        row("unfinished last line is the tail", {"one\ntw", "o"}, normal, {"one"}, "two");
        row("exactly the bound passes", {"12345678\n"}, 8, {"12345678"});
        row("unfinished line of exactly the bound passes", {"1234", "5678", "\n"}, 8, {"12345678"});
        row("overlong complete line", {"123456789\nok\n"}, 8, {"ok"});
        row("overlong in one unfinished read", {"123456789", "more", "\nok\n"}, 8, {"ok"});
        row("grows past the bound over reads", {"12345", "6789", "abc\nok\n"}, 8, {"ok"});
        row("only the bound's last byte arrives with the line feed", {"12345678", "9\nok\n"}, 8, {"ok"});
    }

    void readsBecomeLines()
    {
        QFETCH(QByteArrayList, reads);
        QFETCH(qsizetype, bound);
        StreamLineReassembler reassembler(bound);
        QByteArrayList received;
        for (const QByteArray &read : reads) {
            received += reassembler.takeLines(read);
            QVERIFY(reassembler.pendingSize() <= bound);
        }
        QTEST(received, "lines");
        QTEST(reassembler.finish().value_or(QByteArray()), "tail");
    }

    // Each line is decoded from UTF-8 on its own, in one read or a byte a
    // read: one that is not UTF-8 (a stray byte, a cut character, an
    // overlong form, an encoded surrogate) costs only itself.
    // The limits a user meets unless told otherwise, as the agent's own
    // options and constants hold them (milliseconds, bytes, pixels).
    void theDefaultsAreTheDocumentedOnes()
    {
        const pellix_growlAppDelegate::Options agent;
        const NotificationStream::Options &stream = agent.stream;
        const QList<qint64> defaults{stream.idleLimit.count(), stream.connection.headDeadline.count(),
                                     stream.connection.headBytes, stream.proofTime.count(), agent.iconTimeLimit.count(),
                                     IconLoader::maximumPictureBytes, IconLoader::maximumPicturePixels,
                                     stream.lineLengthLimit, pellix_growlAppDelegate::nextReconnectDelay(30),
                                     pellix_growlAppDelegate::nextReconnectDelay(61), agent.notificationServiceGrace.count()};
        QCOMPARE(defaults, (QList<qint64>{300'000, 30'000, 64 * 1024, 10'000, 10'000, 2 * 1024 * 1024,
                                          8 * 1024 * 1024, 1024 * 1024, 61, 61, 20'000}));
    }

    void linesAreDecodedOneByOne()
    {
        const QByteArray body = "caf\xc3\xa9\n\xff\n\xe2\x82\xac \xf0\x9f\x9a\x80\ncaf\xc3\n"
                                "crlf\r\n\xc0\xaf\n\n\xed\xa0\x80\n";
        const QStringList expected{u"caf\u00e9"_s, u"\u20ac \U0001f680"_s, u"crlf\r"_s, u""_s};
        for (const qsizetype step : {body.size(), qsizetype(1)}) {
            StreamLineReader reader;
            QStringList texts;
            for (qsizetype at = 0; at < body.size(); at += step)
                texts += reader.takeLines(body.mid(at, step));
            QCOMPARE(texts, expected);
        }
    }
};

QTEST_GUILESS_MAIN(StreamPartsTest)
#include "StreamPartsTest.moc"
