// SPDX-License-Identifier: MIT

#include "AgentInstance.h"

#include "notifications/ActivationTokenScope.h"
#include "LoggingCategories.h"
#include "PellixGrowlAdaptor.h"
#include "PellixGrowlProxy.h"
#include "pellix_growlAppDelegate.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <utility>

const QString AgentInstance::serviceName = QStringLiteral("org.pellix.PellixGrowl");
const QString AgentInstance::objectPath = QStringLiteral("/org/pellix/PellixGrowl");

namespace {
// The running agent answers from its event loop; one stuck in a modal dialog
// still answers, so this only runs out for an agent that hangs.
constexpr int handOverTimeoutMs = 10000;
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

std::unique_ptr<PellixGrowlProxy> runningAgent(const QDBusConnection &connection)
{
    auto agent = std::make_unique<PellixGrowlProxy>(AgentInstance::serviceName, AgentInstance::objectPath, connection);
    agent->setTimeout(handOverTimeoutMs);
    return agent;
}

// Waits for the running agent's answer: none, or why it did not answer.
QDBusError answerOf(QDBusPendingCall call)
{
    call.waitForFinished();
    return call.error();
}
}

AgentInstance::AgentInstance(pellix_growlAppDelegate &runningAgent, const QDBusConnection &connection)
    : agent(runningAgent)
    , bus(connection)
{
    new PellixGrowlAdaptor(this);
    connect(&agent.notificationStream(), &NotificationStream::stateChanged, this, &AgentInstance::announce);
}

AgentInstance::~AgentInstance()
{
    if (!owned)
        return;
    bus.unregisterObject(objectPath);
    bus.unregisterService(serviceName);
}

// The object is in place before the name is taken, so a call that arrives the
// moment the name is ours finds it.
AgentInstance::Claim AgentInstance::claim()
{
    if (!bus.isConnected()) {
        qCInfo(lcDesktop) << "no session bus: running without the single-instance name";
        return Claim::NoBus;
    }
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcDesktop) << "cannot offer" << objectPath << "on the session bus";
        return Claim::NoBus;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        serviceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        owned = true;
        qCInfo(lcDesktop) << "holding" << serviceName;
        return Claim::Owned;
    }
    bus.unregisterObject(objectPath);
    if (!reply.isValid()) {
        qCWarning(lcDesktop) << "cannot ask for" << serviceName << reply.error().message();
        return Claim::NoBus;
    }
    qCInfo(lcDesktop) << serviceName << "is held by another agent";
    return Claim::HeldByAnother;
}

bool AgentInstance::showPreferencesOfRunningAgent(const QString &activationToken, const QDBusConnection &connection)
{
    const QDBusError error = answerOf(runningAgent(connection)->ShowPreferences(activationToken));
    if (!error.isValid())
        return true;
    //: %1 is the agent's name on the session bus, %2 the error it answered with.
    std::fprintf(stderr, "pellix-growl: %s\n",
                 qPrintable(tr("another agent holds %1 but did not open its preferences: %2")
                                .arg(serviceName, error.message())));
    return false;
}

bool AgentInstance::quitRunningAgent(const QDBusConnection &connection)
{
    if (!answerOf(runningAgent(connection)->Quit()).isValid())
        return true;
    std::fprintf(stderr, "pellix-growl: %s\n", qPrintable(tr("no agent is running in this session")));
    return false;
}

// A property the agent could not be asked for reads as its type's default;
// the proxy's last error tells the two apart.
AgentInstance::StatusExit AgentInstance::printStateOfRunningAgent(const QDBusConnection &connection)
{
    const std::unique_ptr<PellixGrowlProxy> agent = runningAgent(connection);
    const QString state = agent->state();
    if (agent->lastError().isValid()) {
        std::fprintf(stderr, "pellix-growl: %s\n", qPrintable(tr("no agent is running in this session")));
        return NoAgent;
    }
    std::printf("%s\n", qPrintable(state));
    return agent->connected() ? Connected : NotConnected;
}

QString AgentInstance::state() const { return agent.notificationStream().state().text(StreamState::Language::English); }
bool AgentInstance::connected() const { return agent.notificationStream().state().isConnected(); }

void AgentInstance::ShowPreferences() { ShowPreferences(QString()); }

void AgentInstance::ShowPreferences(const QString &activationToken)
{
    preferencesToken = activationToken;
    if (std::exchange(preferencesDue, true))
        return;
    QTimer::singleShot(0, this, [this] {
        preferencesDue = false;
        qCInfo(lcDesktop) << "another start asked for the preferences window";
        const ActivationTokenScope launch(std::exchange(preferencesToken, QString()));
        agent.prefs();
    });
}

void AgentInstance::Quit() { agent.quit(); }

void AgentInstance::announce(const StreamState &state)
{
    if (!owned)
        return;
    QDBusMessage changed =
        QDBusMessage::createSignal(objectPath, propertiesInterface, QStringLiteral("PropertiesChanged"));
    changed << serviceName
            << QVariantMap{{QStringLiteral("State"), state.text(StreamState::Language::English)},
                           {QStringLiteral("Connected"), state.isConnected()}}
            << QStringList();
    bus.send(changed);
}
