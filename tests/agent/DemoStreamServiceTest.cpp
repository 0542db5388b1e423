#include "IconLoader.h"
#include "StreamLineReassembler.h"
#include "StreamMessageDecoder.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

// The demo service as `make demo` runs it: every line it writes must become a
// notification with an icon the agent can fetch and an address to open.
class DemoStreamServiceTest : public QObject
{
    Q_OBJECT

    QProcess demo;
    QString service; // "http://127.0.0.1:<port>"

    // What the first lines at this path decode to, read until there are this
    // many messages or the answer ends.
    QList<StreamMessage> firstMessages(const QString &path, qsizetype count)
    {
        QNetworkAccessManager network;
        const std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(QUrl(service + path))));
        StreamLineReassembler lines;
        QList<StreamMessage> messages;
        connect(reply.get(), &QNetworkReply::readyRead, this, [&] {
            for (const QByteArray &line : lines.takeLines(reply->readAll()))
                messages += StreamMessageDecoder::messagesFromStream(QString::fromUtf8(line));
        });
        if (!QTest::qWaitFor([&] { return messages.size() >= count || reply->isFinished(); }, 15000))
            qWarning("the demo sent too few lines");
        return messages;
    }

private slots:
    void initTestCase()
    {
        demo.start(QStringLiteral(PELLIX_DEMO_STREAM_EXECUTABLE), {"--port", "0", "--interval", "1"});
        QVERIFY(demo.waitForStarted());
        QVERIFY(QTest::qWaitFor([this] { return demo.canReadLine(); }, 5000));
        const QString serving = QString::fromUtf8(demo.readLine());
        service = QRegularExpression(QStringLiteral("http://127\\.0\\.0\\.1:\\d+")).match(serving).captured();
        QVERIFY(!service.isEmpty());
    }

    void cleanupTestCase()
    {
        demo.terminate();
        demo.waitForFinished();
    }

    void onlyTheStreamPathGivesNotificationsWithIconsAndAddresses()
    {
        QCOMPARE(firstMessages(QStringLiteral("/user/notifications/anyone"), 1).size(), 0);
        QCOMPARE(firstMessages(QStringLiteral("/elsewhere"), 1).size(), 0);
        const QList<StreamMessage> messages = firstMessages(QStringLiteral("/user/notifications/anyone/0123"), 2);
        QCOMPARE(messages.size(), 2);
        IconLoader icons;
        for (const StreamMessage &message : messages) {
            QVERIFY(!message.title.isEmpty());
            QVERIFY(!message.description.isEmpty());
            QVERIFY(message.context && message.context->final_uri && message.context->websafe_uri);
            std::optional<QImage> icon;
            icons.load(message.iconpath, [&icon](const QImage &picture) { icon = picture; });
            QVERIFY(QTest::qWaitFor([&icon] { return icon.has_value(); }, 5000));
            QVERIFY(!icon->isNull());
        }
    }
};

QTEST_GUILESS_MAIN(DemoStreamServiceTest)
#include "DemoStreamServiceTest.moc"
