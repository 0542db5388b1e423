#include "AgentInstance.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "pellix_growlAppDelegate.h"

#include <QDBusConnectionInterface>
#include <QProcess>

namespace {
QWidget *preferencesWindow()
{
    return PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"))->window();
}

// A bus connection of its own, as another process would have.
class OtherConnection
{
public:
    explicit OtherConnection(const QString &name)
        : connectionName(name)
        , bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
    {
    }
    ~OtherConnection()
    {
        bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(connectionName);
    }

    QString connectionName;
    QDBusConnection bus;
};

struct Finished
{
    bool finished = false;
    int exitCode = -1;
    QString errors;
};

// The built agent started once more, as a user would start it.
Finished runSecondStart()
{
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(PELLIX_GROWL_EXECUTABLE), QStringList());
    // Its call is answered by this process's event loop, so the loop must run
    // while the second start waits.
    Finished result;
    result.finished = QTest::qWaitFor([&second] { return second.state() == QProcess::NotRunning; }, 20000);
    if (!result.finished)
        second.kill();
    second.waitForFinished();
    result.exitCode = second.exitCode();
    result.errors = QString::fromUtf8(second.readAllStandardError());
    return result;
}
}

class AgentInstanceTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<pellix_growlAppDelegate> agent;
    QList<int> exits;

private slots:
    void init()
    {
        PellixTestEnvironment::clearSettings();
        agent = std::make_unique<pellix_growlAppDelegate>();
        exits.clear();
        agent->setExitFunction([this](int status) { exits.append(status); });
    }

    void cleanup()
    {
        agent.reset();
        if (QWidget *window = preferencesWindow())
            window->hide();
    }

    void theFirstClaimOwnsTheNameAndALaterOneFindsItHeld()
    {
        {
            AgentInstance first(*agent);
            QCOMPARE(first.claim(), AgentInstance::Claim::Owned);
            OtherConnection other(QStringLiteral("second agent"));
            AgentInstance second(*agent, other.bus);
            QCOMPARE(second.claim(), AgentInstance::Claim::HeldByAnother);
        }
        // Ending the first gives the name back.
        AgentInstance next(*agent);
        QCOMPARE(next.claim(), AgentInstance::Claim::Owned);
    }

    void withoutABusItRunsAlone()
    {
        const QDBusConnection noBus =
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("no bus"));
        QVERIFY(!noBus.isConnected());
        AgentInstance alone(*agent, noBus);
        QCOMPARE(alone.claim(), AgentInstance::Claim::NoBus);
    }

    // No notification service is on the bus: a second start that went on to
    // its own start-up would sit in the alert and never end.
    void aSecondStartOpensThePreferencesOfTheFirstAndExitsWithZero()
    {
        AgentInstance first(*agent);
        QCOMPARE(first.claim(), AgentInstance::Claim::Owned);
        QVERIFY(!preferencesWindow() || !preferencesWindow()->isVisible());

        const Finished second = runSecondStart();
        QVERIFY(second.finished);
        QCOMPARE(second.exitCode, 0);
        QVERIFY2(second.errors.isEmpty(), qPrintable(second.errors));
        QVERIFY(preferencesWindow()->isVisible());
        QVERIFY(exits.isEmpty());
    }

    void aSecondStartThatGetsNoAnswerSaysSoAndFails()
    {
        OtherConnection silent(QStringLiteral("silent holder"));
        QVERIFY(silent.bus.registerService(AgentInstance::serviceName));
        const Finished second = runSecondStart();
        QVERIFY(second.finished);
        QCOMPARE(second.exitCode, 1);
        QVERIFY2(second.errors.contains(QStringLiteral("did not open its preferences")), qPrintable(second.errors));
    }
};

PELLIX_TEST_MAIN(AgentInstanceTest)
#include "AgentInstanceTest.moc"
