// SPDX-License-Identifier: MIT

#pragma once

#include "TestNotificationService.h"
#include "TestHttpService.h"
#include "pellix_growlAppDelegate.h"

#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <memory>
#include <optional>

class PrefsWindowController;
class QSslConfiguration;

// The agent that notes what the stream hands on, line by line.

// One agent in this test process with what a user's desktop gives it: a test
// notification service on the private session bus, a loopback stream
// service, and settings of its own that point the agent at that service.
// Ending the process and opening addresses are only recorded.
class AgentFixture
{
public:
    explicit AgentFixture(const std::optional<QSslConfiguration> &tls = std::nullopt);
    ~AgentFixture();

    // The settings file, as the user leaves it.
    static QString settingsPath();
    static void clearSettings();
    // Stores these keys (an invalid value removes its key), the others kept,
    // in the agent's settings file or another agent's.
    static void writeSettings(const QVariantMap &values, const QString &file = settingsPath());
    // A new file with exactly these bytes and this mode at the path.
    static bool placeSettingsFile(const QByteArray &bytes, int mode = 0600, const QString &path = settingsPath());
    // What the file holds (the settings file by default); empty when it cannot be read.
    static QByteArray fileBytes(const QString &path = settingsPath());
    // The preferences window's controller; whether its window shows.
    static PrefsWindowController *preferences();
    static bool preferencesShown();
    // A user and key (none: removed), at this fixture's stream service.
    void signIn(const QString &username = QStringLiteral("Alice"), const QString &apikey = QStringLiteral("secret"));

    // The options tests start from: exits and opened addresses recorded,
    // icons given a short time.
    pellix_growlAppDelegate::Options options();
    // A new agent (the old one ended first), not yet launched.
    pellix_growlAppDelegate &create(pellix_growlAppDelegate::Options agentOptions);
    // A new agent, launched.
    pellix_growlAppDelegate &start(pellix_growlAppDelegate::Options agentOptions);
    pellix_growlAppDelegate &start();
    pellix_growlAppDelegate &agent() const;
    const NotificationStream &agentStream() const;

    // The connection the agent opens next, taken from the service, answered
    // with the status when given one.
    bool opens(int status = 0);
    bool waitForReopenScheduled(int timeoutMs = 10000) const;
    // The wait before the next attempt, in seconds.
    int waitSeconds() const;
    // Runs the pending re-open at once instead of after its wait; false when
    // none was scheduled.
    bool reopenNow();
    // Opens the stream and lets it and each re-open fail: the waits scheduled.
    QList<int> failNextOpens(int count);

    // A stream line with this description, titled "Build".
    static QByteArray line(const QByteArray &description, const QByteArray &members = {});
    // What the stream's lines made the service show (the agent's notices left out).
    QList<NotifyCall> postedCalls() const;
    QStringList posted() const;
    bool waitForPosted(qsizetype count, int timeoutMs = 10000) const;
    // Sends a line on the exchange and waits for it to be shown last.
    bool posts(const QByteArray &description);

    TestNotificationService notifications;
    TestHttpService stream;
    TestHttpExchange *exchange = nullptr;
    QList<int> exits;
    QList<QUrl> opened;
    // The activation token each opening found in its environment.
    QStringList openingTokens;
    // Every line the stream handed on to the agent, in order.
    QStringList handedOn;

private:
    std::unique_ptr<pellix_growlAppDelegate> theAgent;
};
