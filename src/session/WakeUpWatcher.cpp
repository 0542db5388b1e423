// SPDX-License-Identifier: MIT

#include "WakeUpWatcher.h"

#include "Login1ManagerProxy.h"
#include "LoggingCategories.h"

#include <QDBusConnection>

namespace {
const QString logindService = QStringLiteral("org.freedesktop.login1");
const QString logindPath = QStringLiteral("/org/freedesktop/login1");
}

WakeUpWatcher::WakeUpWatcher(QObject *parent)
    : QObject(parent)
{
}

void WakeUpWatcher::listen()
{
    listenToLogind();
    listenToReachability();
}

void WakeUpWatcher::listenToLogind()
{
    QDBusConnection systemBus = QDBusConnection::systemBus();
    if (!systemBus.isConnected()) {
        qCInfo(lcStream) << "no system bus: resume from sleep goes unnoticed";
        return;
    }
    auto *logind = new Login1ManagerProxy(logindService, logindPath, systemBus, this);
    connect(logind, &Login1ManagerProxy::PrepareForSleep, this, &WakeUpWatcher::prepareForSleep);
}

void WakeUpWatcher::listenToReachability()
{
    if (!QNetworkInformation::loadDefaultBackend() || !QNetworkInformation::instance()) {
        qCInfo(lcStream) << "no reachability backend: network changes go unnoticed";
        return;
    }
    QNetworkInformation *network = QNetworkInformation::instance();
    if (network->supports(QNetworkInformation::Feature::Reachability))
        lastReachability = network->reachability();
    connect(network, &QNetworkInformation::reachabilityChanged, this, &WakeUpWatcher::reachabilityChanged);
}

void WakeUpWatcher::prepareForSleep(bool goingToSleep)
{
    qCInfo(lcStream) << (goingToSleep ? "the machine goes to sleep" : "the machine has resumed");
    if (!goingToSleep)
        Q_EMIT wokeUp();
}

// Only a way back from a known outage counts: the first report of a backend,
// or one that leaves an unknown state, says nothing about the stream.
void WakeUpWatcher::reachabilityChanged(QNetworkInformation::Reachability reachability)
{
    const std::optional<QNetworkInformation::Reachability> before = std::exchange(lastReachability, reachability);
    qCInfo(lcStream) << "network reachability:" << reachability;
    const bool wasOut = before && *before != QNetworkInformation::Reachability::Online
                        && *before != QNetworkInformation::Reachability::Unknown;
    if (wasOut && reachability == QNetworkInformation::Reachability::Online)
        Q_EMIT wokeUp();
}
