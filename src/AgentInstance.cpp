#include "AgentInstance.h"

#include "LoggingCategories.h"
#include "pellix_growlAppDelegate.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

#include <cstdio>

const QString AgentInstance::serviceName = QStringLiteral("org.pellix.PellixGrowl");
const QString AgentInstance::objectPath = QStringLiteral("/org/pellix/PellixGrowl");

namespace {
// The running agent answers from its event loop; one stuck in a modal dialog
// still answers, so this only runs out for an agent that hangs.
constexpr int handOverTimeoutMs = 10000;
}

AgentInstance::AgentInstance(pellix_growlAppDelegate &runningAgent, const QDBusConnection &connection)
    : agent(runningAgent)
    , bus(connection)
{
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
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots)) {
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

bool AgentInstance::showPreferencesOfRunningAgent(const QDBusConnection &connection)
{
    const QDBusMessage call =
        QDBusMessage::createMethodCall(serviceName, objectPath, serviceName, QStringLiteral("ShowPreferences"));
    const QDBusMessage reply = QDBusConnection(connection).call(call, QDBus::Block, handOverTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    std::fprintf(stderr, "pellix-growl: another agent holds %s but did not open its preferences: %s\n",
                 qPrintable(serviceName), qPrintable(reply.errorMessage()));
    return false;
}

void AgentInstance::ShowPreferences()
{
    qCInfo(lcDesktop) << "another start asked for the preferences window";
    agent.prefs();
}

void AgentInstance::Quit() { agent.quit(); }
