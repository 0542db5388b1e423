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

StreamState StreamState::keyUnreadable(const Reason &reason)
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

StreamState StreamState::waiting(const QDateTime &offlineSince, std::chrono::seconds wait, const Reason &reason)
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

StreamState::Reason StreamState::Reason::worded(const std::function<QString(Language)> &word)
{
    return {word(Language::English), word(Language::User)};
}

QString StreamState::Reason::in(Language language) const { return language == Language::English ? english : translated; }

QString StreamState::say(const char *source, Language language)
{
    return language == Language::English ? QString::fromUtf8(source) : tr(source);
}

QString StreamState::text(Language language) const
{
    switch (current) {
    case Phase::NotSignedIn:
        return say(QT_TR_NOOP("Not signed in — open Preferences"), language);
    case Phase::WaitingForKey:
        return say(QT_TR_NOOP("Waiting for the keyring to be unlocked"), language);
    case Phase::KeyUnreadable:
        //: %1 is the keyring's reason.
        return say(QT_TR_NOOP("The keyring did not give the API key: %1"), language).arg(reason.in(language));
    case Phase::Connecting:
        //: %1 is the stream server's host.
        return say(QT_TR_NOOP("Connecting to %1…"), language).arg(subject);
    case Phase::Connected: {
        //: %1 is the user name, %2 a time of day in the user's locale.
        QString text = say(QT_TR_NOOP("Connected as %1 since %2"), language).arg(subject, clockTime(since));
        if (lastOutage)
            //: Follows "Connected as … since …": %1 and %2 are times of day.
            text += say(QT_TR_NOOP(" (offline %1–%2)"), language)
                        .arg(clockTime(lastOutage->from), clockTime(lastOutage->to));
        return text;
    }
    case Phase::Waiting:
        // A moment, not a countdown: the text stays true while it is shown.
        //: %1 and %2 are times of day (%2 with seconds), %3 the reason ("cannot reach stream.pellix.org").
        return say(QT_TR_NOOP("Offline since %1 — next attempt at %2: %3"), language)
            .arg(clockTime(since), attemptAt.toLocalTime().time().toString(QStringLiteral("HH:mm:ss")),
                 reason.in(language));
    }
    return {};
}
