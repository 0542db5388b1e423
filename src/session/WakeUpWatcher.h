// SPDX-License-Identifier: MIT

#pragma once

#include <QNetworkInformation>
#include <QObject>

#include <optional>

// Tells when the stream has probably died without notice or waits for no
// reason: the machine has resumed from sleep (logind's PrepareForSleep(false)
// on the system bus) or the network has become reachable again
// (QNetworkInformation). Without a system bus, logind or a reachability
// backend it simply stays silent.
class WakeUpWatcher : public QObject
{
    Q_OBJECT

public:
    explicit WakeUpWatcher(QObject *parent = nullptr);

    // Starts listening to the system; until then only the slots below, called
    // directly, can report a wake-up.
    void listen();

Q_SIGNALS:
    void wokeUp();

public Q_SLOTS:
    void prepareForSleep(bool goingToSleep);
    void reachabilityChanged(QNetworkInformation::Reachability reachability);

private:
    void listenToLogind();
    void listenToReachability();

    // Unknown until a backend has said; a first report is no change.
    std::optional<QNetworkInformation::Reachability> lastReachability;
};
