// SPDX-License-Identifier: MIT

#include "AgentFixture.h"
#include "session/AgentCommandLine.h"
#include "session/AgentInstance.h"
#include "PellixTestEnvironment.h"
#include "PellixVersion.h"
#include "PrefsWindowController.h"

#include <QDBusMessage>
#include <QProcess>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {
// The built agent as a user runs it: its own settings folder, this test's
// private session bus, and that same bus standing in for the system bus, so
// that the test can play logind.
struct Launch
{
    QString streamhost = {};
    QStringList arguments = {};
    QString loggingRules = {}; // QT_LOGGING_RULES; none: Qt's defaults
    QVariantMap environment = {};
};

class AgentProcess
{
public:
    explicit AgentProcess(const Launch &launch = {})
    {
        AgentFixture::writeSettings({{u"username"_s, u"Alice"_s},
                                     {u"apikey"_s, u"secret"_s},
                                     {u"streamhost"_s, launch.streamhost}},
                                    settingsFile());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, config.path());
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        environment.insert(u"QT_LOGGING_RULES"_s, launch.loggingRules);
        for (auto variable = launch.environment.cbegin(); variable != launch.environment.cend(); ++variable)
            environment.insert(variable.key(), variable->toString());
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
}

// The built executable, and the one agent per session that it keeps.
class AgentProcessTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { AgentFixture::clearSettings(); }

    // No notification service is on the bus: a second start that went on to
    // its own start-up would sit in the alert and never end, so its ending
    // shows that it found the name held. An option is answered by the new
    // process alone; a mistyped one never opens the preferences.
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
            for (const QString &mistake : {u"--bogus"_s, u"bogus"_s}) {
                AgentProcess mistyped({.arguments = {mistake}});
                QVERIFY(mistyped.waitForExit());
                QCOMPARE(mistyped.process.exitCode(), 2);
                const QString refusal = u"pellix-growl: unknown option '%1'\nUsage: pellix-growl"_s.arg(mistake);
                QVERIFY(mistyped.errors.startsWith(refusal));
            }
            QCOMPARE(answerTo(), std::pair(3, u"Not signed in — open Preferences"_s));
            QCOMPARE(answerTo(u"--version"_s), std::pair(0, u"pellix-growl " PELLIX_VERSION ""_s));
            QVERIFY(!window() || !window()->isVisible());

            AgentProcess second;
            QVERIFY(second.waitForExit());
            QCOMPARE(second.process.exitCode(), 0);
            QVERIFY2(second.errors.isEmpty(), qPrintable(second.errors));
            QTRY_VERIFY(window() && window()->isVisible());
            window()->hide();
            // The desktop entry's actions.
            QCOMPARE(answerTo(u"--preferences"_s).first, 0);
            QTRY_VERIFY(window()->isVisible());
            QCOMPARE(answerTo(u"--quit"_s).first, 0);
            QCOMPARE(exits, QList<int>{0});
            window()->hide();
        }
        // Ending the first gives the name back.
        QCOMPARE(answerTo().first, 1);
        QCOMPARE(answerTo(u"--quit"_s).first, 1);
        QCOMPARE(AgentInstance(agent).claim(), AgentInstance::Claim::Owned);
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
    // a resume included, which reopens the stream at once. Settings changed
    // during the run reach the file.
    void terminationSignalsEndTheAgentLikeQuit()
    {
        QFETCH(int, signalNumber);
        TestNotificationService notifications;
        TestHttpService stream;
        // A bus connection of its own, as logind has; it keeps the name for the
        // rest of the run.
        QDBusConnection logind = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake logind"_s);
        QVERIFY(logind.registerService(u"org.freedesktop.login1"_s));
        AgentProcess agent({.streamhost = stream.streamhost()});
        TestHttpExchange *beforeSleep = stream.nextExchange(10000);
        QVERIFY(beforeSleep);
        beforeSleep->sendHead(200);
        QTRY_COMPARE_WITH_TIMEOUT(notifications.calls().value(0).body, u"Listening for notifications..."_s, 10000);
        QTRY_COMPARE(answerTo().first, 0);
        QVERIFY(answerTo().second.startsWith(u"Connected as alice since "_s));
        const QString saidAtStart = agent.errors;
        QVERIFY2(!saidAtStart.contains(u"pellix."_s), qPrintable(saidAtStart));

        for (bool goingToSleep : {true, false})
            logind.send(QDBusMessage::createSignal(u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s,
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

    // The command line speaks the language messages are in; a C locale keeps
    // the exact English texts, whatever LANGUAGE says.
    void theCommandLineSpeaksTheUsersLanguage()
    {
        for (const QString &locale : {u"de_DE.UTF-8"_s, u"C"_s}) {
            AgentProcess helping(
                {.arguments = {u"--help"_s}, .environment = {{u"LANGUAGE"_s, u"de"_s}, {u"LC_ALL"_s, locale}}});
            QVERIFY(helping.waitForExit());
            const QString help = QString::fromUtf8(helping.process.readAllStandardOutput());
            QVERIFY2(locale == u"C"_s ? help == AgentCommandLine::usage() : help.startsWith(u"Aufruf: pellix-growl"_s),
                     qPrintable(help));
        }
    }

    // The log and --status say why; the key, and the digest made of it, stay
    // out of the log.
    void loggingSaysWhyTheStreamIsNotConnected()
    {
        TestNotificationService notifications;
        TestHttpService stream;
        stream.setFallbackReply(TestHttpReply{.status = 401});
        AgentProcess agent({.streamhost = stream.streamhost(), .loggingRules = u"pellix.*=true"_s});
        for (const QString &line : {u"pellix.stream: not connected: HTTP status 401"_s, u"pellix.stream: re-opening in 1 s"_s})
            QVERIFY2(QTest::qWaitFor([&] { return agent.errors.contains(line); }, 10000), qPrintable(agent.errors));
        const auto [status, state] = answerTo();
        QVERIFY2(status == 3 && state.endsWith(u": the server refused the API key (HTTP 401)"_s), qPrintable(state));
        QVERIFY(agent.signal(SIGTERM));
        QVERIFY(!agent.errors.contains(u"5ebe2294ecd0e0f08eab7690d2a6ee69"_s));
        QVERIFY(!agent.errors.contains(u"secret"_s));
    }
};

PELLIX_TEST_MAIN(AgentProcessTest)
#include "AgentProcessTest.moc"
