// SPDX-License-Identifier: MIT

#include "StreamState.h"

#include <QLocale>

namespace {
QString clockTime(const QDateTime &moment) { return QLocale().toString(moment.toLocalTime().time(), QLocale::ShortFormat); }
}

StreamState StreamState::notSignedIn() { return {}; }

StreamState StreamState::waitingForKey()
{
    StreamState state;
    state.current = Phase::WaitingForKey;
    return state;
}

StreamState StreamState::keyUnreadable(const QString &reason)
{
    StreamState state;
    state.current = Phase::KeyUnreadable;
    state.reason = reason;
    return state;
}

StreamState StreamState::connecting(const QString &host)
{
    StreamState state;
    state.current = Phase::Connecting;
    state.subject = host;
    return state;
}

StreamState StreamState::connected(const QString &user, const QDateTime &since, const std::optional<Outage> &outage)
{
    StreamState state;
    state.current = Phase::Connected;
    state.subject = user;
    state.since = since;
    state.lastOutage = outage;
    return state;
}

StreamState StreamState::waiting(const QDateTime &offlineSince, std::chrono::seconds wait, const QString &reason)
{
    StreamState state;
    state.current = Phase::Waiting;
    state.since = offlineSince;
    state.wait = wait;
    state.attemptAt = QDateTime::currentDateTime().addSecs(wait.count());
    state.reason = reason;
    return state;
}

StreamState::Phase StreamState::phase() const { return current; }
bool StreamState::isConnected() const { return current == Phase::Connected; }
std::chrono::seconds StreamState::nextAttemptIn() const { return wait; }
QDateTime StreamState::phaseStart() const { return since; }
std::optional<StreamState::Outage> StreamState::outage() const { return lastOutage; }

QString StreamState::text() const
{
    switch (current) {
    case Phase::NotSignedIn:
        return QStringLiteral("Not signed in — open Preferences");
    case Phase::WaitingForKey:
        return QStringLiteral("Waiting for the keyring to be unlocked");
    case Phase::KeyUnreadable:
        return QStringLiteral("The keyring did not give the API key: %1").arg(reason);
    case Phase::Connecting:
        return QStringLiteral("Connecting to %1…").arg(subject);
    case Phase::Connected: {
        QString text = QStringLiteral("Connected as %1 since %2").arg(subject, clockTime(since));
        if (lastOutage)
            text += QStringLiteral(" (offline %1–%2)").arg(clockTime(lastOutage->from), clockTime(lastOutage->to));
        return text;
    }
    case Phase::Waiting:
        // A moment, not a countdown: the text stays true while it is shown.
        return QStringLiteral("Offline since %1 — next attempt at %2: %3")
            .arg(clockTime(since), attemptAt.toLocalTime().time().toString(QStringLiteral("HH:mm:ss")), reason);
    }
    return {};
}
