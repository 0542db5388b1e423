#include "LoopbackPictureService.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "TestNotificationService.h"
#include "TestStreamService.h"
#include "pellix_growlAppDelegate.h"

#include <QColor>

using namespace std::chrono_literals;

namespace {
// Every case ends its stream with this line: once its notification has
// arrived, everything written before it has been handled.
const QByteArray endLine = "{\"title\":\"end\"}\n";

QByteArray line(const QByteArray &title, const QByteArray &members = {})
{
    return "{\"title\":\"" + title + "\"" + (members.isEmpty() ? QByteArray() : "," + members) + "}\n";
}
}

class StreamDecodingTest : public QObject
{
    Q_OBJECT

    LoopbackPictureService pictures;
    std::unique_ptr<TestStreamService> stream;
    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<pellix_growlAppDelegate> delegate;
    QList<QUrl> opened;
    TestStreamExchange *exchange = nullptr;

    // Notify calls after the start-up notice.
    QList<NotifyCall> posted() const { return notifications->calls().mid(1); }

    QStringList postedSummaries() const
    {
        QStringList summaries;
        for (const NotifyCall &call : posted())
            summaries.append(call.summary);
        return summaries;
    }

    bool waitForPosted(qsizetype count, int timeoutMs = 5000)
    {
        return notifications->waitForCalls(count + 1, timeoutMs);
    }

    // Ends the current stream's data with the end line and waits for it.
    QStringList summariesUpToTheEnd()
    {
        const qsizetype before = posted().size();
        exchange->sendPiece(endLine);
        if (!QTest::qWaitFor([&] { return postedSummaries().mid(before).contains("end"); }, 5000))
            qWarning("the end line never arrived");
        QStringList summaries = postedSummaries();
        summaries.removeAll("end");
        return summaries;
    }

    TestStreamExchange *answeredExchange()
    {
        TestStreamExchange *next = stream->nextExchange();
        if (next)
            next->sendHead(200);
        return next;
    }

private slots:
    void initTestCase()
    {
        pictures.route("/red.png", LoopbackPictureService::picture(LoopbackPictureService::png({5, 3}, Qt::red)));
        pictures.route("/page.html", {"200 OK", "Content-Type: text/html\r\n", "<p>no picture</p>"});
        LoopbackPictureService::Response silent;
        silent.silent = true;
        pictures.route("/never.png", silent);
    }

    void init()
    {
        PellixTestEnvironment::clearSettings();
        stream = std::make_unique<TestStreamService>();
        notifications = std::make_unique<TestNotificationService>();
        PellixSettings settings;
        settings.setUsername(QStringLiteral("alice"));
        settings.setApikey(QStringLiteral("secret"));
        settings.setStreamhost(stream->streamhost());
        opened.clear();
        delegate = std::make_unique<pellix_growlAppDelegate>();
        delegate->setExitFunction([](int) {});
        delegate->setUrlOpener([this](const QUrl &url) {
            opened.append(url);
            return true;
        });
        delegate->setIconTimeLimit(400ms);
        delegate->applicationDidFinishLaunching();
        QVERIFY(notifications->waitForCalls(1));
        exchange = answeredExchange();
        QVERIFY(exchange);
    }

    void cleanup()
    {
        delegate.reset();
        notifications.reset();
        stream.reset();
    }

    void linesThroughTheStream_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("summaries");
        QTest::newRow("three lines in one read")
            << line("one") + line("two") + line("three") << QStringList{"one", "two", "three"};
        QTest::newRow("null title skips only its line")
            << "{\"title\":null,\"description\":\"d\"}\n" + line("after") << QStringList{"after"};
        QTest::newRow("null description skips only its line")
            << line("skipped", "\"description\":null") + line("after") << QStringList{"after"};
        QTest::newRow("missing title is posted without one")
            << QByteArray("{\"description\":\"only text\"}\n") << QStringList{""};
        QTest::newRow("number and boolean titles are their JSON text")
            << QByteArray("{\"title\":1.25e2}\n{\"title\":false}\n") << QStringList{"125", "false"};
        QTest::newRow("line feeds alone") << QByteArray("\n\n") << QStringList();
        QTest::newRow("two objects on one line") << line("a").chopped(1) + line("b") << QStringList();
        QTest::newRow("array line") << QByteArray("[{\"title\":\"in array\"}]\n") << QStringList();
        QTest::newRow("carriage return before the line feed")
            << QByteArray("{\"title\":\"crlf\"}\r\n") << QStringList{"crlf"};
        QTest::newRow("invalid UTF-8 costs only its line")
            << line("before") + "{\"title\":\"\xff\xfe\"}\n" + line("after") << QStringList{"before", "after"};
        QTest::newRow("same line twice is posted twice") << line("again") + line("again")
                                                         << QStringList{"again", "again"};
    }

    void linesThroughTheStream()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, summaries);
        exchange->sendPiece(data);
        QCOMPARE(summariesUpToTheEnd(), summaries);
    }

    // Every cut, including those inside the two-, three- and four-byte
    // characters; the pause lets each half arrive in a read of its own.
    void lineSplitAtEveryBytePosition()
    {
        const auto numbered = [](int cut) {
            const QByteArray title = "Gr\xc3\xbc\xc3\x9f" "e " + QByteArray::number(cut).rightJustified(3, '0');
            return line(title, "\"description\":\"\xe2\x82\xac \xf0\x9f\x98\x80\"");
        };
        const qsizetype length = numbered(0).size();
        QStringList expected;
        for (int cut = 1; cut < length; ++cut) {
            const QByteArray text = numbered(cut);
            exchange->sendPiece(text.first(cut));
            QTest::qWait(2);
            exchange->sendPiece(text.sliced(cut));
            QVERIFY2(waitForPosted(cut), qPrintable(QStringLiteral("cut at %1").arg(cut)));
            expected.append(QString::fromUtf8("Gr\xc3\xbc\xc3\x9f" "e ") + QString::number(cut).rightJustified(3, u'0'));
        }
        QCOMPARE(postedSummaries(), expected);
        QCOMPARE(posted().constLast().body, QString::fromUtf8("\xe2\x82\xac \xf0\x9f\x98\x80"));
    }

    void tailIsDecodedWhenTheConnectionEnds()
    {
        exchange->sendPiece(line("complete") + "{\"title\":\"without line feed\"}");
        exchange->close();
        QVERIFY(waitForPosted(2));
        QCOMPARE(postedSummaries(), (QStringList{"complete", "without line feed"}));
    }

    void newConnectionStartsWithoutTheOldTail()
    {
        exchange->sendPiece("{\"title\":\"half");
        QTest::qWait(20);
        delegate->reconnectNotificationStream();
        exchange = answeredExchange();
        QVERIFY(exchange);
        exchange->sendPiece("\"}\n" + line("fresh"));
        QCOMPARE(summariesUpToTheEnd(), QStringList{"fresh"});
    }

    void endlessLineIsDroppedAndTheStreamGoesOn()
    {
        exchange->sendPiece("{\"title\":\"");
        const QByteArray piece(64 * 1024, 'x');
        for (int read = 0; read < 20; ++read)
            exchange->sendPiece(piece);
        exchange->sendPiece("\"}\n" + line("next"));
        QCOMPARE(summariesUpToTheEnd(), QStringList{"next"});
    }

    void goodIconArrivesAsImageData()
    {
        exchange->sendPiece(line("icon", "\"iconpath\":\"" + pictures.url("/red.png").toEncoded() + "\""));
        QVERIFY(waitForPosted(1));
        const NotifyCall call = posted().constFirst();
        QCOMPARE(call.image.size(), QSize(5, 3));
        QCOMPARE(call.image.pixelColor(2, 1), QColor(Qt::red));
    }

    void iconThatCannotBeShownGivesNoImage_data()
    {
        QTest::addColumn<QString>("iconpath");
        QTest::newRow("not a picture") << pictures.url("/page.html").toString();
        QTest::newRow("unreachable host") << QStringLiteral("http://127.0.0.1:1/icon.png");
        QTest::newRow("file scheme") << QStringLiteral("file:///usr/share/pixmaps/debian-logo.png");
        QTest::newRow("not an address") << QStringLiteral("::icon::");
    }

    void iconThatCannotBeShownGivesNoImage()
    {
        QFETCH(QString, iconpath);
        exchange->sendPiece(line("plain", "\"iconpath\":\"" + iconpath.toUtf8() + "\""));
        QVERIFY(waitForPosted(1));
        QCOMPARE(posted().constFirst().summary, QStringLiteral("plain"));
        QVERIFY(posted().constFirst().image.isNull());
        QVERIFY(!posted().constFirst().hints.contains(QStringLiteral("image-data")));
    }

    void iconHostThatNeverAnswersHoldsUpOnlyTheLinesBehindIt()
    {
        const QByteArray never = "\"iconpath\":\"" + pictures.url("/never.png").toEncoded() + "\"";
        const QByteArray red = "\"iconpath\":\"" + pictures.url("/red.png").toEncoded() + "\"";
        exchange->sendPiece(line("first") + line("stuck", never) + line("behind") + line("with icon", red));
        QVERIFY(waitForPosted(1));
        QTest::qWait(100);
        QCOMPARE(postedSummaries(), QStringList{"first"});
        QVERIFY(waitForPosted(4));
        QCOMPARE(postedSummaries(), (QStringList{"first", "stuck", "behind", "with icon"}));
        QVERIFY(posted().at(1).image.isNull());
        QCOMPARE(posted().at(3).image.size(), QSize(5, 3));
    }

    void clickOpensTheLinesAddress()
    {
        exchange->sendPiece(line("link", "\"final_uri\":\"https://example.org/a\",\"websafe_uri\":\"https://example.org/w\""));
        QVERIFY(waitForPosted(1));
        const NotifyCall call = posted().constFirst();
        QCOMPARE(call.actions, (QStringList{"default", "Open"}));
        notifications->invokeAction(call.id);
        QTRY_COMPARE(opened, QList<QUrl>{QUrl("https://example.org/a")});
    }

    void lineWithoutAddressesHasNothingToClick()
    {
        exchange->sendPiece(line("no link"));
        QVERIFY(waitForPosted(1));
        QVERIFY(posted().constFirst().actions.isEmpty());
    }

    void batchedFormStoresTheCursorAndPostsInOrder()
    {
        delegate->handleMessageFromTornado(
            QStringLiteral("{\"messages\":[{\"title\":\"one\",\"cursor\":\"c1\"},{\"title\":null,\"cursor\":\"skipped\"},"
                           "{\"title\":\"two\",\"cursor\":\"c2\",\"final_uri\":\"https://example.org/\"}]}"));
        QCOMPARE(delegate->notification_cursor(), QStringLiteral("c2"));
        QVERIFY(waitForPosted(2));
        QCOMPARE(postedSummaries(), (QStringList{"one", "two"}));
        QVERIFY(posted().at(1).actions.isEmpty());
    }
};

PELLIX_TEST_MAIN(StreamDecodingTest)
#include "StreamDecodingTest.moc"
