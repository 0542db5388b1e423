// SPDX-License-Identifier: MIT

#pragma once

#include "ClickContext.h"
#include "GrowlApplicationBridgeDelegate.h"
#include "stream/MessageBacklog.h"

#include <QDBusServiceWatcher>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class NotificationsProxy;
class QDBusPendingCallWatcher;

// Posts notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus, called through the
// NotificationsProxy generated from dbus/org.freedesktop.Notifications.xml)
// and hands clicks on them back to the installed delegate with their click
// context. Every call to the service is asynchronous: a missing or stuck
// service never blocks the agent.
// A notification the service could not take because it had gone (stopped,
// restarted) goes back to its place in the waiting line, and nothing more is
// sent until a service owns the name again: none is lost, none overtaken.
class GrowlApplicationBridge : public QObject
{
    Q_OBJECT

public:
    // Whether the service is on the bus now or can be started on demand.
    static bool isGrowlInstalled();
    // Whether the service is on the bus, starting it when it is activatable.
    static bool isGrowlRunning();
    // Calls done, from the event loop, with true as soon as the service is on
    // the bus, or with false once the grace has passed without it.
    static void waitForGrowl(std::chrono::milliseconds grace, QObject *context, std::function<void(bool)> done);

    // Takes the delegate over for the rest of the run and registers at once.
    static void setGrowlDelegate(std::unique_ptr<GrowlApplicationBridgeDelegate> delegate);
    static void notifyWithTitle(const QString &title, const QString &description, const QString &notificationName,
                                const QImage &iconData, int priority, bool isSticky,
                                const std::optional<ClickContext> &clickContext);
    static void reregisterGrowlNotifications();

    static GrowlApplicationBridge *instance();

    // Notify calls awaiting the service's answer at a time; later
    // notifications wait their turn in order. A burst from the stream then
    // costs a queued notification each, not a pending bus call each.
    static constexpr int maxCallsInFlight = 16;
    // Notifications accepted but not yet handed to the service.
    static MessageBacklog waiting();
    // Notifications handed to the service that it has not answered yet.
    static MessageBacklog inFlight();
    // How many shown notifications a click may still come back for.
    static constexpr std::size_t defaultRememberedNotifications = 1000;
    static void setRememberedNotifications(std::size_t count);
    // A notification the service has not answered within this time is sent
    // once more; unanswered again, it counts as shown.
    static constexpr std::chrono::milliseconds defaultAnswerTimeLimit{std::chrono::seconds(25)};
    static void setAnswerTimeLimit(std::chrono::milliseconds limit);

    QVariantMap registration() const;

Q_SIGNALS:
    // Emitted each time the registration has been fetched from the delegate.
    void registered(const QVariantMap &registration);
    // Notifications have left the waiting line (handed to the service, or
    // dropped because there is no bus to hand them to), or the service has
    // answered for some.
    void waitingShrank();

private:
    struct Notification
    {
        QString title;
        QString description;
        QString notificationName;
        QImage iconData;
        int priority;
        bool isSticky;
        std::optional<ClickContext> clickContext;
        // The order of arrival, kept when the notification comes back.
        quint64 sequence = 0;
        bool unansweredBefore = false;
    };

    explicit GrowlApplicationBridge(QObject *parent);

    void registerWithDelegate();
    void notify(Notification notification);
    void sendWaiting();
    void send(const Notification &notification);
    void shown(QDBusPendingCallWatcher *call, const Notification &notification);
    // gone: the name had no owner, or its owner left; otherwise it is leaving.
    void keepUntilTheServiceReturns(const Notification &notification, bool gone);
    void askWhetherTheServiceIsBack();
    void serviceReturned();
    void requestCapabilities();
    void capabilitiesArrived(QDBusPendingCallWatcher *call);
    void serviceOwnerChanged(const QString &newOwner);
    void activationTokenArrived(uint id, const QString &token);
    void actionInvoked(uint id, const QString &actionKey);
    void notificationClosed(uint id, uint reason);
    void remember(uint id, const std::optional<ClickContext> &clickContext);

    // The bridge of the run, made when first needed; a new one once the
    // application that owned it has gone.
    static QPointer<GrowlApplicationBridge> theBridge;

    std::unique_ptr<GrowlApplicationBridgeDelegate> delegate;
    QString applicationName;
    QVariantMap currentRegistration;
    // Unknown until the service has answered; notifications wait for it so
    // that markup and actions match what the service offers.
    std::optional<QStringList> capabilities;
    bool capabilitiesRequested = false;
    std::deque<Notification> waitingLine;
    quint64 nextSequence = 0;
    MessageBacklog callsInFlight;
    std::chrono::milliseconds answerTimeLimit = defaultAnswerTimeLimit;
    // A call failed because no service owned the name: nothing is sent until
    // one does.
    bool serviceAway = false;

    // The notifications a click may still come back for, and their ids oldest
    // first: a service that never reports them closed must not make the agent
    // grow, so only the latest rememberedNotifications are kept.
    std::size_t rememberedNotifications = defaultRememberedNotifications;
    QHash<uint, std::optional<ClickContext>> shownNotifications;
    std::deque<uint> shownOrder;
    // The token the service handed out just before a click, for that click.
    std::optional<std::pair<uint, QString>> activationToken;
    // A child of the bridge, so that the generated header stays out of this one.
    NotificationsProxy *notifications;
    QDBusServiceWatcher serviceWatcher;
};
