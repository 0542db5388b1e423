#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class pellix_growlAppDelegate;

// The one agent of a session: it holds the session-bus name
// org.pellix.PellixGrowl and offers ShowPreferences and Quit on it, so that
// starting the agent again reaches the running one (also on a desktop
// without a tray) instead of opening a second stream.
class AgentInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.pellix.PellixGrowl")

public:
    static const QString serviceName;
    static const QString objectPath;

    enum class Claim {
        Owned,         // this agent is the one of the session
        HeldByAnother, // another agent runs: hand over to it
        NoBus,         // no session bus: run alone, as without this
    };

    AgentInstance(pellix_growlAppDelegate &agent, const QDBusConnection &bus = QDBusConnection::sessionBus());
    ~AgentInstance() override;

    Claim claim();

    // Asks the agent holding the name to show its preferences window; false,
    // with the reason on standard error, when it did not answer.
    static bool showPreferencesOfRunningAgent(const QDBusConnection &bus = QDBusConnection::sessionBus());

public slots:
    Q_SCRIPTABLE void ShowPreferences();
    Q_SCRIPTABLE void Quit();

private:
    pellix_growlAppDelegate &agent;
    QDBusConnection bus;
    bool owned = false;
};
