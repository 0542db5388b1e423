// SPDX-License-Identifier: MIT

#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// Where the notification stream stands, as the user is told: signed out,
// held back while the keyring has not given the API key, connecting,
// connected (with the last outage long enough to have cost messages), or
// offline and waiting for its next attempt.
class StreamState
{
    Q_DECLARE_TR_FUNCTIONS(StreamState)

public:
    // The tray and Preferences tell it in the user's language; the session
    // bus, --status and the log in English, for scripts to read.
    enum class Language { User, English };

    // Why the stream is offline, worded in both.
    struct Reason
    {
        QString english;
        QString translated;

        static Reason worded(const std::function<QString(Language)> &word);
        QString in(Language language) const;

        friend bool operator==(const Reason &, const Reason &) = default;
    };

    enum class Phase { NotSignedIn, WaitingForKey, KeyUnreadable, Connecting, Connected, Waiting };

    struct Outage
    {
        QDateTime from;
        QDateTime to;

        friend bool operator==(const Outage &, const Outage &) = default;
    };

    static StreamState notSignedIn();
    static StreamState waitingForKey();
    static StreamState keyUnreadable(const Reason &reason);
    static StreamState connecting(const QString &host);
    static StreamState connected(const QString &user, const QDateTime &since, const std::optional<Outage> &outage);
    static StreamState waiting(const QDateTime &offlineSince, std::chrono::seconds wait, const Reason &reason);

    Phase phase() const;
    bool isConnected() const;
    // While waiting: the wait before the next attempt.
    std::chrono::seconds nextAttemptIn() const;
    // Connected since, or offline since.
    QDateTime phaseStart() const;
    std::optional<Outage> outage() const;
    // One line for the tray's tool tip and Preferences, or in English for
    // the session bus and the command line; times are local, in the user's
    // locale.
    QString text(Language language = Language::User) const;
    // One of the stream's texts (marked QT_TRANSLATE_NOOP("StreamState", …)) in a language.
    static QString say(const char *source, Language language);

    friend bool operator==(const StreamState &, const StreamState &) = default;

private:
    Phase current = Phase::NotSignedIn;
    QString subject; // the host while connecting, the user while connected
    QDateTime since;
    std::optional<Outage> lastOutage;
    std::chrono::seconds wait{0};
    QDateTime attemptAt;
    Reason reason; // why offline, or why the keyring did not give the key
};
