#include "PellixTestEnvironment.h"
#include "TestNotificationService.h"
#include "TestStreamService.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <csignal>

// The built agent as a user runs it, on this test's private bus, with the
// test notification service and the loopback stream service.
class AgentProcessTest : public QObject
{
    Q_OBJECT

    QString settingsFile(const QTemporaryDir &config) const
    {
        return config.path() + QStringLiteral("/Pellix/PellixGrowl.conf");
    }

private slots:
    void terminationSignalsEndTheAgentLikeQuit_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void terminationSignalsEndTheAgentLikeQuit()
    {
        QFETCH(int, signalNumber);
        TestNotificationService notifications;
        TestStreamService stream;
        QTemporaryDir config;
        QVERIFY(config.isValid());
        {
            QSettings settings(settingsFile(config), QSettings::IniFormat);
            settings.setValue(QStringLiteral("username"), QStringLiteral("Alice"));
            settings.setValue(QStringLiteral("apikey"), QStringLiteral("secret"));
            settings.setValue(QStringLiteral("streamhost"), stream.streamhost());
        }

        QProcess agent;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        agent.setProcessEnvironment(environment);
        agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        agent.start(QStringLiteral(PELLIX_GROWL_EXECUTABLE), QStringList());
        QVERIFY(agent.waitForStarted());

        TestStreamExchange *exchange = stream.nextExchange(10000);
        QVERIFY(exchange);
        QCOMPARE(exchange->request().path, QByteArray("/user/notifications/alice/5ebe2294ecd0e0f08eab7690d2a6ee69"));
        QVERIFY(notifications.waitForCalls(1, 10000));
        QCOMPARE(notifications.calls().constFirst().body, QStringLiteral("Listening for notifications..."));

        ::kill(static_cast<pid_t>(agent.processId()), signalNumber);
        QVERIFY(agent.waitForFinished(10000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 0);
        QVERIFY(exchange->waitForClosedByPeer());
        const QSettings written(settingsFile(config), QSettings::IniFormat);
        QCOMPARE(written.value(QStringLiteral("notificationTypesArray")).toStringList(),
                 QStringList({QStringLiteral("Generic"), QStringLiteral("Pellix")}));
        QCOMPARE(QFile::permissions(settingsFile(config)) & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
                                                              | QFile::WriteUser),
                 QFile::Permissions());
    }
};

PELLIX_TEST_MAIN(AgentProcessTest)
#include "AgentProcessTest.moc"
