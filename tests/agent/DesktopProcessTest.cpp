#include "AgentInstance.h"
#include "PellixTestEnvironment.h"
#include "TestNotificationService.h"
#include "TestStreamService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include <csignal>

namespace {
const QString secretDigest = QStringLiteral("5ebe2294ecd0e0f08eab7690d2a6ee69");

// The built agent as a user runs it: its own settings folder, this test's
// private session bus, and that same bus standing in for the system bus, so
// that the test can play logind.
class AgentProcess
{
public:
    explicit AgentProcess(const QString &streamhost, const QString &username = QStringLiteral("Alice"),
                          const QString &loggingRules = QString())
    {
        QSettings settings(config.path() + QStringLiteral("/Pellix/PellixGrowl.conf"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("username"), username);
        settings.setValue(QStringLiteral("apikey"), QStringLiteral("secret"));
        settings.setValue(QStringLiteral("streamhost"), streamhost);
        settings.sync();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        environment.remove(QStringLiteral("QT_LOGGING_RULES"));
        if (!loggingRules.isEmpty())
            environment.insert(QStringLiteral("QT_LOGGING_RULES"), loggingRules);
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { errors += QString::fromUtf8(process.readAllStandardError()); });
        process.start(QStringLiteral(PELLIX_GROWL_EXECUTABLE), QStringList());
    }

    ~AgentProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    bool waitForErrorsToContain(const QString &text)
    {
        return QTest::qWaitFor([this, &text] { return errors.contains(text); }, 10000);
    }

    bool waitForExit() { return QTest::qWaitFor([this] { return process.state() == QProcess::NotRunning; }, 10000); }

    bool terminate()
    {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        return waitForExit();
    }

    QTemporaryDir config;
    QProcess process;
    QString errors;
};

// Stands in for logind on the bus that the agent takes for the system bus.
class FakeLogind
{
public:
    FakeLogind()
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake logind")))
    {
        bus.registerService(QStringLiteral("org.freedesktop.login1"));
    }
    ~FakeLogind()
    {
        bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("fake logind"));
    }

    void prepareForSleep(bool goingToSleep)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << goingToSleep;
        bus.send(signal);
    }

private:
    QDBusConnection bus;
};
}

class DesktopProcessTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<TestStreamService> stream;

private slots:
    void init()
    {
        notifications = std::make_unique<TestNotificationService>();
        stream = std::make_unique<TestStreamService>();
    }

    void cleanup()
    {
        stream.reset();
        notifications.reset();
    }

    void aSecondAgentHandsOverAndTheFirstQuitsOverTheBus()
    {
        AgentProcess first(stream->streamhost());
        TestStreamExchange *exchange = stream->nextExchange(10000);
        QVERIFY(exchange);

        AgentProcess second(stream->streamhost());
        QVERIFY(second.waitForExit());
        QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process.exitCode(), 0);
        QTest::qWait(200);
        QCOMPARE(stream->requests().size(), 1);

        const QDBusMessage quit = QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(AgentInstance::serviceName, AgentInstance::objectPath,
                                           AgentInstance::serviceName, QStringLiteral("Quit")),
            QDBus::BlockWithGui);
        QCOMPARE(quit.type(), QDBusMessage::ReplyMessage);
        QVERIFY(first.waitForExit());
        QCOMPARE(first.process.exitCode(), 0);
        QVERIFY(exchange->waitForClosedByPeer());
    }

    // The offscreen platform has no tray, as some desktops have none. Qt may
    // say so when the icon is shown; nothing may follow while the agent runs.
    void withoutATrayItStreamsAndPostsWithoutAWarningLoop()
    {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        AgentProcess agent(stream->streamhost());
        TestStreamExchange *exchange = stream->nextExchange(10000);
        QVERIFY(exchange);
        exchange->sendHead(200);
        QVERIFY(notifications->waitForCalls(1, 10000));
        QCOMPARE(notifications->calls().constFirst().body, QStringLiteral("Listening for notifications..."));
        const QString saidAtStart = agent.errors;
        QVERIFY2(!saidAtStart.contains(QStringLiteral("pellix.")), qPrintable(saidAtStart));
        QTest::qWait(500);
        QVERIFY(agent.terminate());
        QCOMPARE(agent.process.exitCode(), 0);
        QCOMPARE(agent.errors, saidAtStart);
    }

    void aResumeReopensTheStreamAtOnceAndSilently()
    {
        FakeLogind logind;
        AgentProcess agent(stream->streamhost());
        TestStreamExchange *before = stream->nextExchange(10000);
        QVERIFY(before);
        before->sendHead(200);

        logind.prepareForSleep(true);
        logind.prepareForSleep(false);
        QVERIFY(before->waitForClosedByPeer());
        QVERIFY(stream->nextExchange());
        QVERIFY(agent.terminate());
        QVERIFY2(!agent.errors.contains(QStringLiteral("pellix.")), qPrintable(agent.errors));
    }

    void loggingSaysWhyTheStreamIsNotConnected_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QStringList>("said");
        const QString category = QStringLiteral("pellix.stream: ");
        QTest::newRow("refused by status") << "503"
                                           << QStringList{category + QStringLiteral("not connected: HTTP status 503"),
                                                          category + QStringLiteral("the stream has ended; re-opening in 1 s")};
        QTest::newRow("nobody listening")
            << "closed port" << QStringList{category + QStringLiteral("not connected: network error: Connection refused")};
        QTest::newRow("a line that is not JSON")
            << "bad line" << QStringList{QStringLiteral("pellix.decode: skipped a line of 8 characters: ")};
        QTest::newRow("settings incomplete")
            << "no user"
            << QStringList{category + QStringLiteral("not connected: the user name or the API key is not set")};
    }

    void loggingSaysWhyTheStreamIsNotConnected()
    {
        QFETCH(QString, situation);
        QFETCH(QStringList, said);
        TestStreamReply refusal;
        refusal.status = 503;
        TestStreamReply badLine;
        badLine.pieces = {"not json\n"};
        stream->setFallbackReply(situation == QLatin1String("bad line") ? badLine : refusal);
        QString streamhost = stream->streamhost();
        if (situation == QLatin1String("closed port")) {
            TestStreamService closed;
            streamhost = closed.streamhost();
            closed.stopListening();
        }
        AgentProcess agent(streamhost, situation == QLatin1String("no user") ? QString() : QStringLiteral("Alice"),
                           QStringLiteral("pellix.*=true"));
        for (const QString &line : said)
            QVERIFY2(agent.waitForErrorsToContain(line), qPrintable(agent.errors));
        QVERIFY(agent.terminate());
        QVERIFY(!agent.errors.contains(secretDigest));
        QVERIFY(!agent.errors.contains(QStringLiteral("secret")));
    }
};

PELLIX_TEST_MAIN(DesktopProcessTest)
#include "DesktopProcessTest.moc"
