// SPDX-License-Identifier: MIT

#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class StreamState;
class pellix_growlAppDelegate;

// The one agent of a session: it holds the session-bus name
// org.pellix.PellixGrowl and offers ShowPreferences, Quit and where its
// stream stands on it (dbus/org.pellix.PellixGrowl.xml, exported by the
// generated PellixGrowlAdaptor, which reads the properties below), so that
// starting the agent again reaches the running one (also on a desktop without
// a tray) instead of opening a second stream.
class AgentInstance : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString State READ state)
    Q_PROPERTY(bool Connected READ connected)

public:
    static const QString serviceName;
    static const QString objectPath;

    enum class Claim {
        Owned,         // this agent is the one of the session
        HeldByAnother, // another agent runs: hand over to it
        NoBus,         // no session bus: run alone, as without this
    };

    // What --status answers: the running agent's stream, or no agent.
    enum StatusExit { Connected = 0, NoAgent = 1, NotConnected = 3 };

    AgentInstance(pellix_growlAppDelegate &agent, const QDBusConnection &bus = QDBusConnection::sessionBus());
    ~AgentInstance() override;

    Claim claim();

    // Asks the agent holding the name to show its preferences window, raised
    // with the launcher's activation token; false, with the reason on
    // standard error, when it did not answer.
    static bool showPreferencesOfRunningAgent(const QString &activationToken,
                                              const QDBusConnection &bus = QDBusConnection::sessionBus());
    // Ends the running agent; false, said on standard error, when none answered.
    static bool quitRunningAgent(const QDBusConnection &bus = QDBusConnection::sessionBus());
    // Prints the running agent's state on standard output.
    static StatusExit printStateOfRunningAgent(const QDBusConnection &bus = QDBusConnection::sessionBus());

    QString state() const;
    bool connected() const;

    // Shown from the event loop, once for a burst of calls, with the latest token.
    void ShowPreferences();
    void ShowPreferences(const QString &activationToken);
    void Quit();

private:
    void announce(const StreamState &state);

    pellix_growlAppDelegate &agent;
    QDBusConnection bus;
    bool owned = false;
    bool preferencesDue = false;
    QString preferencesToken;
};
