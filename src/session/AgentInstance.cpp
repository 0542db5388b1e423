#include "AgentInstance.h"

#include "notifications/ActivationTokenScope.h"
#include "LoggingCategories.h"
#include "pellix_growlAppDelegate.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QTimer>

#include <cstdio>
#include <utility>

const QString AgentInstance::serviceName = QStringLiteral("org.pellix.PellixGrowl");
const QString AgentInstance::objectPath = QStringLiteral("/org/pellix/PellixGrowl");

namespace {
// The running agent answers from its event loop; one stuck in a modal dialog
// still answers, so this only runs out for an agent that hangs.
constexpr int handOverTimeoutMs = 10000;
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage askRunningAgent(const QDBusConnection &connection, const QString &interface, const QString &method,
                             const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(AgentInstance::serviceName, AgentInstance::objectPath,
                                                       interface, method);
    call.setArguments(arguments);
    return QDBusConnection(connection).call(call, QDBus::Block, handOverTimeoutMs);
}

QVariant runningAgentProperty(const QDBusConnection &connection, const QString &name)
{
    const QDBusMessage reply =
        askRunningAgent(connection, propertiesInterface, QStringLiteral("Get"), {AgentInstance::serviceName, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}
}

AgentInstance::AgentInstance(pellix_growlAppDelegate &runningAgent, const QDBusConnection &connection)
    : agent(runningAgent)
    , bus(connection)
{
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
    if (!bus.registerObject(objectPath, this,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableProperties)) {
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
    const QDBusMessage reply =
        askRunningAgent(connection, serviceName, QStringLiteral("ShowPreferences"), {activationToken});
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    std::fprintf(stderr, "pellix-growl: another agent holds %s but did not open its preferences: %s\n",
                 qPrintable(serviceName), qPrintable(reply.errorMessage()));
    return false;
}

bool AgentInstance::quitRunningAgent(const QDBusConnection &connection)
{
    if (askRunningAgent(connection, serviceName, QStringLiteral("Quit"), {}).type() == QDBusMessage::ReplyMessage)
        return true;
    std::fprintf(stderr, "pellix-growl: no agent is running in this session\n");
    return false;
}

AgentInstance::StatusExit AgentInstance::printStateOfRunningAgent(const QDBusConnection &connection)
{
    const QVariant state = runningAgentProperty(connection, QStringLiteral("State"));
    if (!state.isValid()) {
        std::fprintf(stderr, "pellix-growl: no agent is running in this session\n");
        return NoAgent;
    }
    std::printf("%s\n", qPrintable(state.toString()));
    return runningAgentProperty(connection, QStringLiteral("Connected")).toBool() ? Connected : NotConnected;
}

QString AgentInstance::state() const { return agent.notificationStream().state().text(); }
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
            << QVariantMap{{QStringLiteral("State"), state.text()}, {QStringLiteral("Connected"), state.isConnected()}}
            << QStringList();
    bus.send(changed);
}
