#include "StreamLineReassembler.h"
#include "StreamMessageDecoder.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

// A smoke test of the demo service as `make demo` runs it: the lines it
// streams become notifications with an icon and an address to open.
class DemoStreamServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void itStreamsNotificationsWithIconsAndAddresses()
    {
        QProcess demo;
        demo.start(QStringLiteral(PELLIX_DEMO_STREAM_EXECUTABLE), {"--port", "0", "--interval", "1"});
        QVERIFY(QTest::qWaitFor([&demo] { return demo.canReadLine(); }, 5000));
        const QString serving = QString::fromUtf8(demo.readLine());
        const QString service = QRegularExpression(QStringLiteral("http://127\\.0\\.0\\.1:\\d+")).match(serving).captured();
        QNetworkAccessManager network;
        const std::unique_ptr<QNetworkReply> reply(
            network.get(QNetworkRequest(QUrl(service + QStringLiteral("/user/notifications/anyone/0123")))));
        StreamLineReassembler lines;
        QList<StreamMessage> messages;
        connect(reply.get(), &QNetworkReply::readyRead, this, [&] {
            for (const QByteArray &line : lines.takeLines(reply->readAll()))
                messages += StreamMessageDecoder::messagesFromStream(QString::fromUtf8(line));
        });
        QVERIFY(QTest::qWaitFor([&messages] { return !messages.isEmpty(); }, 15000));
        const StreamMessage &message = messages.constFirst();
        QVERIFY(!message.title.isEmpty() && !message.description.isEmpty());
        QVERIFY(!message.iconpath.isEmpty() && message.context && message.context->final_uri);
        demo.terminate();
        QVERIFY(demo.waitForFinished());
    }
};

QTEST_GUILESS_MAIN(DemoStreamServiceTest)
#include "DemoStreamServiceTest.moc"
