// SPDX-License-Identifier: MIT

#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QImage>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// One Notify call as the service received it.
struct NotifyCall
{
    uint id = 0; // the id the service answered
    QString appName;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints; // "image-data" decoded into image, the rest as sent
    QImage image;      // null when the call carried no image-data
    int expireTimeout = 0;
};

// A desktop notification service (org.freedesktop.Notifications, exported by
// the generated NotificationsAdaptor) on a bus connection of its own, not the
// agent's: it records every Notify call, offers actions and body markup,
// emits ActionInvoked and NotificationClosed on request, can leave and rejoin
// the bus, and can keep its answers to Notify back, as a slow service would.
class TestNotificationService : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    // Joins the bus at once.
    TestNotificationService();
    ~TestNotificationService() override;

    bool join();
    void leave();
    // Withdraws its object and keeps its name, as a service that is ending
    // may for a moment.
    void dropObject();
    // While held, Notify calls are recorded but not answered.
    void holdAnswers();
    // Answers every held call and answers at once again.
    void releaseAnswers();

    QList<NotifyCall> calls() const;
    // Forgets the calls recorded so far; ids keep counting.
    void clearCalls();
    // Waits until at least count calls have arrived.
    bool waitForCalls(qsizetype count, int timeoutMs = 5000);

    // A click, as a service that supports activation sends it: the token first.
    void invokeAction(uint id, const QString &actionKey = QStringLiteral("default"),
                      const QString &activationToken = QString());
    // reason: 1 expired, 2 dismissed by the user, 3 closed by a call, 4 other.
    void closeNotification(uint id, uint reason);

    // The interface's methods, called by the adaptor.
    uint Notify(const QString &app_name, uint replaces_id, const QString &app_icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int expire_timeout);
    QStringList GetCapabilities();

Q_SIGNALS:
    void notified(const NotifyCall &call);
    // Relayed to the bus by the adaptor.
    void ActionInvoked(uint id, const QString &action_key);
    void ActivationToken(uint id, const QString &activation_token);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection connection;
    QList<NotifyCall> received;
    bool holdingAnswers = false;
    QList<QDBusMessage> heldAnswers;
    uint lastId = 0;
};
