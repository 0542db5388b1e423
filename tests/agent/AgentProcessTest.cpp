#include "AgentFixture.h"
#include "AgentInstance.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"

#include <QDBusMessage>
#include <QProcess>
#include <QSystemTrayIcon>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {
// A bus connection of its own, as another process (or logind) would have. It
// closes when its last reference, the member, goes.
struct OtherConnection
{
    explicit OtherConnection(const QString &name) : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
    {
    }
    ~OtherConnection() { QDBusConnection::disconnectFromBus(bus.name()); }
    QDBusConnection bus;
};

// The built agent as a user runs it: its own settings folder, this test's
// private session bus, and that same bus standing in for the system bus, so
// that the test can play logind.
struct Launch
{
    QString streamhost = {};
    QString username = u"Alice"_s;
    QStringList arguments = {};
    QMap<QString, QString> environment = {}; // set on top of the test's own
};

class AgentProcess
{
public:
    explicit AgentProcess(const Launch &launch = {})
    {
        AgentFixture::writeSettings({{u"username"_s, launch.username},
                                     {u"apikey"_s, u"secret"_s},
                                     {u"streamhost"_s, launch.streamhost}},
                                    settingsFile());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, config.path());
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        environment.remove(u"QT_LOGGING_RULES"_s);
        for (const auto &[name, value] : launch.environment.asKeyValueRange())
            environment.insert(name, value);
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardError, [this] { readErrors(); });
        process.start(QStringLiteral(PELLIX_GROWL_EXECUTABLE), launch.arguments);
    }

    ~AgentProcess()
    {
        process.kill();
        process.waitForFinished();
    }

    QString settingsFile() const { return config.path() + u"/Pellix/PellixGrowl.conf"_s; }
    void readErrors() { errors += QString::fromUtf8(process.readAllStandardError()); }

    // Runs the event loop meanwhile: a second start's call is answered by it.
    bool waitForExit()
    {
        const bool ended = QTest::qWaitFor([this] { return process.state() == QProcess::NotRunning; }, 20000);
        readErrors();
        return ended && process.exitStatus() == QProcess::NormalExit;
    }

    bool signal(int signalNumber)
    {
        ::kill(pid_t(process.processId()), signalNumber);
        return waitForExit();
    }

    QTemporaryDir config;
    QProcess process;
    QString errors;
};

// The exit status and output of pellix-growl with this option (--status:
// what it says of the agent of this session).
std::pair<int, QString> answerTo(const QString &option = u"--status"_s)
{
    AgentProcess answering({.arguments = {option}});
    if (!answering.waitForExit())
        return {-1, QString()};
    return {answering.process.exitCode(), QString::fromUtf8(answering.process.readAllStandardOutput()).trimmed()};
}

// The activation token in the environment when the preferences window shows.
struct TokenAtShowing : QObject
{
    TokenAtShowing() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->objectName() == u"PrefsWindow"_s)
            token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
        return false;
    }
    std::optional<QString> token;
};
}

// The built executable, and the one agent per session that it keeps.
class AgentProcessTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { AgentFixture::clearSettings(); }

    // No notification service is on the bus: a second start that went on to
    // its own start-up would sit in the alert and never end. An option is
    // answered by the new process alone; a mistyped one never opens the
    // preferences.
    void theFirstAgentOwnsTheNameAndASecondStartOpensItsPreferences()
    {
        QList<int> exits;
        pellix_growlAppDelegate::Options options;
        options.exitProcess = [&exits](int status) { exits.append(status); };
        pellix_growlAppDelegate agent(options);
        const auto window = [] { return PrefsWindowController::initWithWindowNibName(u"PrefsWindow"_s)->window(); };
        {
            AgentInstance first(agent);
            QCOMPARE(first.claim(), AgentInstance::Claim::Owned);
            OtherConnection other(u"second agent"_s);
            QCOMPARE(AgentInstance(agent, other.bus).claim(), AgentInstance::Claim::HeldByAnother);
            AgentProcess mistyped({.arguments = {u"--bogus"_s}});
            QVERIFY(mistyped.waitForExit());
            QCOMPARE(mistyped.process.exitCode(), 2);
            QVERIFY(mistyped.errors.startsWith(u"pellix-growl: unknown option '--bogus'\nUsage: pellix-growl"_s));
            QCOMPARE(answerTo(), std::pair(3, u"Not signed in — open Preferences"_s));
            QCOMPARE(answerTo(u"--version"_s), std::pair(0, u"pellix-growl " PELLIX_VERSION ""_s));
            const auto [helpExit, help] = answerTo(u"--help"_s);
            QVERIFY(helpExit == 0 && help.startsWith(u"Usage: pellix-growl [--status | --help | --version]\n\n"_s));
            QVERIFY(!window() || !window()->isVisible());

            const TokenAtShowing showing;
            AgentProcess second({.environment = {{u"XDG_ACTIVATION_TOKEN"_s, u"launcher-token"_s}}});
            QVERIFY(second.waitForExit());
            QCOMPARE(second.process.exitCode(), 0);
            QVERIFY2(second.errors.isEmpty(), qPrintable(second.errors));
            QVERIFY(window()->isVisible());
            QCOMPARE(showing.token, std::optional(u"launcher-token"_s));
            QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
            QVERIFY(exits.isEmpty());

            const QDBusMessage quit = other.bus.call(
                QDBusMessage::createMethodCall(AgentInstance::serviceName, AgentInstance::objectPath,
                                               AgentInstance::serviceName, u"Quit"_s),
                QDBus::BlockWithGui);
            QCOMPARE(quit.type(), QDBusMessage::ReplyMessage);
            QCOMPARE(exits, QList<int>{0});
            window()->hide();
        }
        // Ending the first gives the name back.
        QCOMPARE(answerTo().first, 1);
        QCOMPARE(AgentInstance(agent).claim(), AgentInstance::Claim::Owned);
        const QDBusConnection noBus = QDBusConnection::connectToBus(u"unix:path=/nonexistent/bus"_s, u"no bus"_s);
        QCOMPARE(AgentInstance(agent, noBus).claim(), AgentInstance::Claim::NoBus);

        // A holder of the name that never answers: the second start says so.
        OtherConnection silent(u"silent holder"_s);
        QVERIFY(silent.bus.registerService(AgentInstance::serviceName));
        AgentProcess unanswered;
        QVERIFY(unanswered.waitForExit());
        QCOMPARE(unanswered.process.exitCode(), 1);
        QVERIFY2(unanswered.errors.contains(u"did not open its preferences"_s), qPrintable(unanswered.errors));
    }

    void terminationSignalsEndTheAgentLikeQuit_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    // The offscreen platform has no tray, as some desktops have none. Qt may
    // say so when the icon is shown; nothing may follow while the agent runs,
    // a resume included, which reopens the stream at once.
    void terminationSignalsEndTheAgentLikeQuit()
    {
        QFETCH(int, signalNumber);
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        TestNotificationService notifications;
        TestHttpService stream;
        OtherConnection logind(u"fake logind"_s);
        QVERIFY(logind.bus.registerService(u"org.freedesktop.login1"_s));
        AgentProcess agent({.streamhost = stream.streamhost()});
        TestHttpExchange *beforeSleep = stream.nextExchange(10000);
        QVERIFY(beforeSleep);
        QCOMPARE(beforeSleep->request().path, QByteArray("/user/notifications/alice/5ebe2294ecd0e0f08eab7690d2a6ee69"));
        beforeSleep->sendHead(200);
        QTRY_COMPARE_WITH_TIMEOUT(notifications.calls().value(0).body, u"Listening for notifications..."_s, 10000);
        QTRY_COMPARE(answerTo().first, 0);
        QVERIFY(answerTo().second.startsWith(u"Connected as alice since "_s));
        const QString saidAtStart = agent.errors;
        QVERIFY2(!saidAtStart.contains(u"pellix."_s), qPrintable(saidAtStart));

        for (bool goingToSleep : {true, false})
            logind.bus.send(QDBusMessage::createSignal(u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s,
                                                       u"PrepareForSleep"_s)
                            << goingToSleep);
        QVERIFY(beforeSleep->waitForClosedByPeer());
        TestHttpExchange *afterResume = stream.nextExchange();
        QVERIFY(afterResume);
        // A line shown after the resume is a definite moment after start-up
        // by which anything the agent had to say would have been said.
        afterResume->sendHead(200);
        afterResume->sendPiece(AgentFixture::line("after the resume"));
        QTRY_COMPARE(notifications.calls().constLast().body, u"after the resume"_s);

        QVERIFY(agent.signal(signalNumber));
        QCOMPARE(agent.process.exitCode(), 0);
        QCOMPARE(agent.errors, saidAtStart);
        QVERIFY(afterResume->waitForClosedByPeer());
        const QSettings written(agent.settingsFile(), QSettings::IniFormat);
        QCOMPARE(written.value(u"notificationTypesArray"_s).toStringList(),
                 QStringList({u"Generic"_s, u"Pellix"_s, u"Build"_s}));
    }

    // The row's name is the situation.
    void loggingSaysWhyTheStreamIsNotConnected_data()
    {
        QTest::addColumn<QStringList>("said");
        const QString notConnected = u"pellix.stream: not connected: "_s;
        QTest::newRow("401") << QStringList{notConnected + u"HTTP status 401"_s, u"pellix.stream: re-opening in 1 s"_s};
        QTest::newRow("closed port") << QStringList{notConnected + u"Connection refused"_s};
        QTest::newRow("bad line") << QStringList{u"pellix.decode: skipped a line of 8 characters: "_s};
        QTest::newRow("no user") << QStringList{notConnected + u"the user name or the API key is not set"_s};
    }

    void loggingSaysWhyTheStreamIsNotConnected()
    {
        QFETCH(QStringList, said);
        const QLatin1StringView situation(QTest::currentDataTag());
        TestNotificationService notifications;
        TestHttpService stream;
        stream.setFallbackReply(situation == "bad line"_L1 ? TestHttpReply{.pieces = {"not json\n"}}
                                                          : TestHttpReply{.status = 401});
        const QString streamhost = stream.streamhost();
        if (situation == "closed port"_L1)
            stream.stopListening();
        AgentProcess agent({.streamhost = streamhost,
                            .username = situation == "no user"_L1 ? QString() : u"Alice"_s,
                            .environment = {{u"QT_LOGGING_RULES"_s, u"pellix.*=true"_s}}});
        for (const QString &line : said)
            QVERIFY2(QTest::qWaitFor([&] { return agent.errors.contains(line); }, 10000), qPrintable(agent.errors));
        if (situation == "401"_L1) {
            QTRY_VERIFY(answerTo().second.endsWith(u": the server refused the API key (HTTP 401)"_s));
            QCOMPARE(answerTo().first, 3);
        }
        QVERIFY(agent.signal(SIGTERM));
        QVERIFY(!agent.errors.contains(u"5ebe2294ecd0e0f08eab7690d2a6ee69"_s));
        QVERIFY(!agent.errors.contains(u"secret"_s));
    }
};

PELLIX_TEST_MAIN(AgentProcessTest)
#include "AgentProcessTest.moc"
