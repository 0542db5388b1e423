// SPDX-License-Identifier: MIT

#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <optional>

// Where the notification stream stands, as the user is told: signed out,
// held back while the keyring has not given the API key, connecting,
// connected (with the last outage long enough to have cost messages), or
// offline and waiting for its next attempt.
class StreamState
{
public:
    enum class Phase { NotSignedIn, WaitingForKey, KeyUnreadable, Connecting, Connected, Waiting };

    struct Outage
    {
        QDateTime from;
        QDateTime to;

        friend bool operator==(const Outage &, const Outage &) = default;
    };

    static StreamState notSignedIn();
    static StreamState waitingForKey();
    static StreamState keyUnreadable(const QString &reason);
    static StreamState connecting(const QString &host);
    static StreamState connected(const QString &user, const QDateTime &since, const std::optional<Outage> &outage);
    static StreamState waiting(const QDateTime &offlineSince, std::chrono::seconds wait, const QString &reason);

    Phase phase() const;
    bool isConnected() const;
    // While waiting: the wait before the next attempt.
    std::chrono::seconds nextAttemptIn() const;
    // Connected since, or offline since.
    QDateTime phaseStart() const;
    std::optional<Outage> outage() const;
    // One line for the tray's tool tip, the session bus and the command line;
    // times are local, in the user's locale.
    QString text() const;

    friend bool operator==(const StreamState &, const StreamState &) = default;

private:
    Phase current = Phase::NotSignedIn;
    QString subject; // the host while connecting, the user while connected
    QDateTime since;
    std::optional<Outage> lastOutage;
    std::chrono::seconds wait{0};
    QDateTime attemptAt;
    QString reason; // why offline, or why the keyring did not give the key
};
