#include "ChunkedBodyDecoder.h"
#include "HttpResponseHead.h"
#include "NotificationStreamAddress.h"
#include "StreamLineReader.h"
#include "WakeUpWatcher.h"
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

private slots:
    void digestIsLowerCaseHexOfTheUtf8Bytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digest");
        QTest::newRow("case is kept") << "Secret" << "1e6947ac7fb3a9529a9726eb692c8cc5";
        QTest::newRow("non-ascii") << "kéy" << "e8e651d3ec2770a9dec9eb8465ba6edd";
        QTest::newRow("ends at a zero character") << u"a"_s + QChar(0) + u"b"_s << "0cc175b9c0f1b6a831c399e269772661";
        QTest::newRow("leading zeros") << "k441" << "000f069c0b32888df986167fb1610f9d";
    }

    void digestIsLowerCaseHexOfTheUtf8Bytes()
    {
        QFETCH(QString, text);
        QTEST(pellix_growlAppDelegate().md5(text), "digest");
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
        QTest::newRow("https") << "https://push.example.com" << "alice" << "https://push.example.com" + rest;
        QTest::newRow("scheme in capitals, final slash")
            << "HTTP://push.example.com/" << "alice" << "http://push.example.com" + rest;
        QTest::newRow("a path") << "push.example.com/other" << "alice" << QString();
        QTest::newRow("user info") << "someone@push.example.com" << "alice" << QString();
        QTest::newRow("a query") << "push.example.com?x=1" << "alice" << QString();
        QTest::newRow("another scheme") << "ftp://push.example.com" << "alice" << QString();
        QTest::newRow("ordinary punctuation") << QString() << "a.b-c_d~e" << host + "a.b-c_d~e/" + secretDigest;
        QTest::newRow("path and query marks") << QString() << "a/b?c#d" << host + "a%2Fb%3Fc%23d/" + secretDigest;
    }

    void streamAddressFromStreamhostAndUser()
    {
        QFETCH(QString, streamhost);
        QFETCH(QString, username);
        const QUrl url = NotificationStreamAddress::forUser(streamhost, username, secretDigest);
        QTEST(url.isValid() ? url.toString(QUrl::FullyEncoded) : QString(), "address");
    }

    // What logind or the reachability backend reports, in order.
    void onlyAResumeOrAReturnFromAnOutageIsAWakeUp_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<int>("wakeUps");
        QTest::newRow("resume") << "resume" << 1;
        QTest::newRow("two resumes") << "sleep resume sleep resume" << 2;
        QTest::newRow("first report online") << "online" << 0;
        QTest::newRow("back from offline") << "offline online" << 1;
        QTest::newRow("back from local only") << "offline local online" << 1;
        QTest::newRow("still local") << "offline local" << 0;
        QTest::newRow("from unknown") << "unknown online" << 0;
    }

    void onlyAResumeOrAReturnFromAnOutageIsAWakeUp()
    {
        using Reachability = QNetworkInformation::Reachability;
        const QHash<QString, Reachability> reachability{
            {u"online"_s, Reachability::Online}, {u"local"_s, Reachability::Local}, {u"offline"_s, Reachability::Disconnected}};
        QFETCH(QString, events);
        WakeUpWatcher watcher;
        QSignalSpy woken(&watcher, &WakeUpWatcher::wokeUp);
        for (const QString &event : events.split(u' ')) {
            if (event == u"sleep"_s || event == u"resume"_s)
                watcher.prepareForSleep(event == u"sleep"_s);
            else
                watcher.reachabilityChanged(reachability.value(event, Reachability::Unknown));
        }
        QTEST(int(woken.size()), "wakeUps");
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
        row("not HTTP", "HELLO THERE", 0);
        row("HTTP/2", "HTTP/2 200", 0);
        row("two-digit status", "HTTP/1.1 20 OK", 0);
        row("letters in the status", "HTTP/1.1 2x0 OK", 0);
        row("no space after the status", "HTTP/1.1 200OK", 0);
        row("field without a colon", "HTTP/1.1 200 OK\r\nno colon", 0);
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
        QTest::newRow("chunks, an extension, the end") << QByteArray("4\r\nWiki\r\n5;x=1\r\npedia\r\n0\r\n\r\n")
                                                       << QByteArray("Wikipedia") << "finished";
        QTest::newRow("hex in capitals, bare line feeds") << QByteArray("A\nabcdefghij\n0\n\n")
                                                          << QByteArray("abcdefghij") << "finished";
        QTest::newRow("trailer") << QByteArray("3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n") << QByteArray("abc") << "finished";
        QTest::newRow("unfinished") << QByteArray("3\r\nab") << QByteArray("ab") << "open";
        QTest::newRow("size not hex") << QByteArray("zz\r\n") << QByteArray() << "broken";
        QTest::newRow("no size") << QByteArray("\r\n") << QByteArray() << "broken";
        QTest::newRow("more data than its size") << QByteArray("3\r\nabcd\r\n") << QByteArray("abc") << "broken";
        QTest::newRow("endless size line") << QByteArray("1;" + QByteArray(2000, 'x')) << QByteArray() << "broken";
        QTest::newRow("size past fifteen digits") << QByteArray("1000000000000000\r\n") << QByteArray() << "broken";
        QTest::newRow("endless trailer")
            << QByteArray("0\r\n" + QByteArray("X-T: 0123456789\r\n").repeated(2000)) << QByteArray() << "broken";
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
        row("one line", {"{\"a\":1}\n"}, normal, {"{\"a\":1}"});
        row("three lines in one read", {"one\ntwo\nthree\n"}, normal, {"one", "two", "three"});
        row("empty lines are kept", {"\n\nx\n"}, normal, {"", "", "x"});
        row("carriage return stays with its line", {"one\r\ntwo\r\n"}, normal, {"one\r", "two\r"});
        row("line in three reads", {"ab", "cd", "ef\n"}, normal, {"abcdef"});
        row("read with only a line feed ends the line", {"one", "\n", "two"}, normal, {"one"}, "two");
        row("empty reads change nothing", {"", "one", "", "\n", ""}, normal, {"one"});
        row("unfinished last line is the tail", {"one\ntw", "o"}, normal, {"one"}, "two");
        row("exactly the bound passes", {"12345678\n"}, 8, {"12345678"});
        row("split line of exactly the bound passes", {"1234", "5678\n"}, 8, {"12345678"});
        row("overlong complete line", {"123456789\nok\n"}, 8, {"ok"});
        row("overlong in one unfinished read", {"123456789", "more", "\nok\n"}, 8, {"ok"});
        row("grows past the bound over reads", {"12345", "6789", "abc\nok\n"}, 8, {"ok"});
        row("only the bound's last byte arrives with the line feed", {"12345678", "9\nok\n"}, 8, {"ok"});
        row("line before the overlong one survives", {"ok\n123456789", "\nfine\n"}, 8, {"ok", "fine"});
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
    void linesAreDecodedOneByOne()
    {
        const QByteArrayList good{"caf\xc3\xa9", "\xe2\x82\xac \xf0\x9f\x9a\x80", "crlf\r", ""};
        const QByteArrayList bad{"\xff", "caf\xc3", "\xc0\xaf", "\xed\xa0\x80"};
        QByteArray body;
        QStringList expected;
        for (qsizetype index = 0; index < good.size(); ++index) {
            body += good.at(index) + '\n' + bad.at(index) + '\n';
            expected.append(QString::fromUtf8(good.at(index)));
        }
        for (const qsizetype step : {body.size(), qsizetype(1)}) {
            StreamLineReader reader;
            QStringList texts;
            for (qsizetype at = 0; at < body.size(); at += step)
                texts += reader.takeLines(body.mid(at, step));
            QCOMPARE(texts, expected);
        }
    }

    // Every cut, inside the two-, three- and four-byte characters and just
    // after the line feed included.
    void lineSplitAtEveryPosition()
    {
        const QByteArray line = "{\"title\":\"Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80\"}";
        const QByteArray stream = line + "\nnext\n";
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            StreamLineReassembler reassembler;
            QByteArrayList received = reassembler.takeLines(stream.first(cut));
            received += reassembler.takeLines(stream.sliced(cut));
            QCOMPARE(received, (QByteArrayList{line, "next"}));
            QVERIFY(!reassembler.finish().has_value());
        }
    }
};

QTEST_GUILESS_MAIN(StreamPartsTest)
#include "StreamPartsTest.moc"
