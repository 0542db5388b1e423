// SPDX-License-Identifier: MIT

#pragma once

#include "MessageBacklog.h"
#include "StreamConnection.h"
#include "StreamLineReader.h"
#include "StreamState.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

// The agent's one notification stream: it opens the connection, reads it only
// as fast as the notification service takes the messages, cuts what arrives
// into lines, decides when a connection has failed (an error status, silence,
// a service that answers and shows nothing) and runs the timer of the next
// attempt. How long that wait is, is its owner's decision. It reports each
// connection's events in the order they happen, names the connection in each
// report, and says where the stream stands.
class NotificationStream : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // Nothing arriving for this long while the agent is ready for data
        // fails the connection.
        std::chrono::milliseconds idleLimit{std::chrono::minutes(5)};
        // An answer proves itself by a line, or by staying open this long.
        std::chrono::milliseconds proofTime{std::chrono::seconds(10)};
        // An outage longer than this is worth telling once connected again.
        std::chrono::milliseconds outageWorthTelling{std::chrono::seconds(60)};
        qsizetype lineLengthLimit = StreamLineReassembler::defaultMaximumLineLength;
        // Reading also waits once the messages not yet shown hold this much.
        qsizetype readAheadBytes = 16 * 1024 * 1024;
        StreamConnection::Limits connection;
    };

    // Reading waits once this many messages are accepted from the stream and
    // not yet shown, or once they hold readAheadBytes, and goes on when both
    // are down to half.
    static constexpr qsizetype readAheadLimit = 256;

    // backlog: the messages from the stream not yet shown.
    NotificationStream(std::function<MessageBacklog()> backlog, const Options &options, QObject *parent = nullptr);
    ~NotificationStream() override;

    // Replaces the current connection, and any attempt still pending, with a
    // new connection to address for user.
    void open(const QUrl &address, const QString &user);
    // Closes the connection and withdraws the pending attempt; the closed
    // connection reports nothing more.
    void cancel();
    // The stream closes for want of a user name or an API key; the state
    // tells which (not signed in, or the keyring's answer).
    void signOut(const StreamState &why = StreamState::notSignedIn());
    void reopenAfter(std::chrono::seconds wait);

    StreamConnection *connection() const;
    bool isOpen() const;
    bool isWaitingToReopen() const;
    const StreamState &state() const;

public Q_SLOTS:
    // Messages have been shown: reading may go on.
    void backlogShrank();

Q_SIGNALS:
    // The connection's answer has proved itself: a 2xx answer that delivered
    // a line or stayed open for the proof time.
    void responseReceived(StreamConnection *connection);
    void linesReceived(StreamConnection *connection, const QStringList &lines);
    void finished(StreamConnection *connection);
    void failed(StreamConnection *connection, const QString &error);
    void reopenDue();
    void stateChanged(const StreamState &state);

private:
    void answerArrived();
    void readConnection();
    void deliver(const QStringList &lines);
    void prove();
    void connectionEnded(const StreamState::Reason &reason, const QString &error);
    void wentSilent();
    void setState(const StreamState &state);
    void goOffline();
    static StreamState::Reason worded(const char *source);
    QString host(StreamState::Language language) const;
    QString statusReason(int status, StreamState::Language language) const;
    QString failureReason(StreamConnection::Failure failure, StreamState::Language language) const;
    QString httpStatus() const;

    bool readAheadIsFull() const;

    std::function<MessageBacklog()> backlog;
    const Options options;
    QPointer<StreamConnection> current;
    QUrl currentAddress;
    QString currentUser;
    StreamLineReader lines;
    bool connectionOpen = false;
    bool readingPaused = false;
    bool proved = false;
    QTimer idle;
    QTimer proof;
    QTimer reopen;
    StreamState shown;
    StreamState::Reason lastFailure;
    QDateTime offlineSince;
    // When the connection last brought data, or was answered.
    QDateTime lastArrival;
    bool everConnected = false;
};
