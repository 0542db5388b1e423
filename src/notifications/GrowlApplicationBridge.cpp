// SPDX-License-Identifier: MIT

#include "GrowlApplicationBridge.h"

#include "ActivationTokenScope.h"
#include "NotificationsProxy.h"
#include "session/LoggingCategories.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QTimer>

#include <algorithm>

namespace {
const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString servicePath = QStringLiteral("/org/freedesktop/Notifications");

// The start-up check may wait this long for the bus itself, never for the
// notification service (activation gets longer: it starts a program).
constexpr int busQueryTimeoutMs = 2000;
constexpr int serviceStartTimeoutMs = 5000;
// What a proxy's time limit of -1 means: the bus library's default, 25 s.
constexpr int defaultTimeoutMs = -1;

constexpr uint replaceNothing = 0;
constexpr int expireAsTheServiceChooses = -1;
constexpr int neverExpire = 0;
constexpr uint closedBecauseExpired = 1;
const QString defaultAction = QStringLiteral("default");

// The bus's own interface belongs to the whole connection: a time limit is
// set for one call, and the one before put back.
template <typename Call>
auto askTheBus(int timeoutMs, Call call)
{
    QDBusConnectionInterface &bus = *QDBusConnection::sessionBus().interface();
    const int before = bus.timeout();
    bus.setTimeout(timeoutMs);
    auto reply = call(bus);
    bus.setTimeout(before);
    return reply;
}

bool serviceHasOwner()
{
    const QDBusReply<bool> owned =
        askTheBus(busQueryTimeoutMs, [](QDBusConnectionInterface &bus) { return bus.isServiceRegistered(serviceName); });
    return owned.isValid() && owned.value();
}

QString escapedForMarkup(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    escaped.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    escaped.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return escaped;
}

// The image-data hint: (iiibiiay) width, height, row stride, alpha, bits per
// sample, channels, pixels.
QVariant imageDataHint(const QImage &image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    QDBusArgument argument;
    argument.beginStructure();
    argument << rgba.width() << rgba.height() << static_cast<int>(rgba.bytesPerLine()) << true << 8 << 4
             << QByteArray(reinterpret_cast<const char *>(rgba.constBits()), rgba.sizeInBytes());
    argument.endStructure();
    return QVariant::fromValue(argument);
}

// The call did not reach a service: none owned the name, the one that did
// left without answering, or starting one on demand failed.
bool meansNoAnswer(const QDBusError &error)
{
    return error.type() == QDBusError::NoReply || error.type() == QDBusError::TimedOut;
}

bool meansTheServiceIsGone(const QDBusError &error)
{
    const QString name = error.name();
    return error.type() == QDBusError::ServiceUnknown || meansNoAnswer(error)
           || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")
           || name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn."));
}

// The name's owner offers no notifications (any more): a service that is
// ending drops its object before its name, and one that never offered them
// is no notification service either.
bool meansTheServiceIsLeaving(const QDBusError &error)
{
    return error.type() == QDBusError::UnknownObject || error.type() == QDBusError::UnknownInterface
           || error.type() == QDBusError::UnknownMethod;
}

// Urgency levels of the service: 0 low, 1 normal, 2 critical.
uchar urgencyForPriority(int priority)
{
    if (priority < 0)
        return 0;
    return priority > 1 ? 2 : 1;
}
}

bool GrowlApplicationBridge::isGrowlInstalled()
{
    if (!QDBusConnection::sessionBus().isConnected())
        return false;
    if (serviceHasOwner())
        return true;
    const QDBusReply<QStringList> activatable =
        askTheBus(busQueryTimeoutMs, [](QDBusConnectionInterface &bus) { return bus.activatableServiceNames(); });
    return activatable.isValid() && activatable.value().contains(serviceName);
}

bool GrowlApplicationBridge::isGrowlRunning()
{
    if (!QDBusConnection::sessionBus().isConnected())
        return false;
    if (serviceHasOwner())
        return true;
    return askTheBus(serviceStartTimeoutMs, [](QDBusConnectionInterface &bus) { return bus.startService(serviceName); })
        .isValid();
}

// The watcher is in place before the bus is asked again, so a service that
// arrives in between is not missed. The answer is given from the event loop,
// never from inside the watcher or the timer, which go away with the answer.
void GrowlApplicationBridge::waitForGrowl(std::chrono::milliseconds grace, QObject *context,
                                          std::function<void(bool)> done)
{
    auto *watcher = new QDBusServiceWatcher(serviceName, QDBusConnection::sessionBus(),
                                            QDBusServiceWatcher::WatchForRegistration, context);
    auto *deadline = new QTimer(watcher);
    const auto answered = std::make_shared<bool>(false);
    const auto finish = [watcher, context, done, answered](bool arrived) {
        if (std::exchange(*answered, true))
            return;
        watcher->deleteLater();
        QMetaObject::invokeMethod(context, [done, arrived] { done(arrived); }, Qt::QueuedConnection);
    };
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, watcher, [finish] { finish(true); });
    connect(deadline, &QTimer::timeout, watcher, [finish] { finish(false); });
    deadline->setSingleShot(true);
    deadline->start(grace);
    if (QDBusConnection::sessionBus().isConnected() && serviceHasOwner())
        finish(true);
}

QPointer<GrowlApplicationBridge> GrowlApplicationBridge::theBridge;

GrowlApplicationBridge *GrowlApplicationBridge::instance()
{
    if (!theBridge)
        theBridge = new GrowlApplicationBridge(QCoreApplication::instance());
    return theBridge;
}

GrowlApplicationBridge::GrowlApplicationBridge(QObject *parent)
    : QObject(parent)
    , notifications(new NotificationsProxy(serviceName, servicePath, QDBusConnection::sessionBus(), this))
    , serviceWatcher(serviceName, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForOwnerChange)
{
    connect(notifications, &NotificationsProxy::ActivationToken, this, &GrowlApplicationBridge::activationTokenArrived);
    connect(notifications, &NotificationsProxy::ActionInvoked, this, &GrowlApplicationBridge::actionInvoked);
    connect(notifications, &NotificationsProxy::NotificationClosed, this, &GrowlApplicationBridge::notificationClosed);
    connect(&serviceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) { serviceOwnerChanged(newOwner); });
}

void GrowlApplicationBridge::setGrowlDelegate(std::unique_ptr<GrowlApplicationBridgeDelegate> delegate)
{
    GrowlApplicationBridge *bridge = instance();
    bridge->delegate = std::move(delegate);
    bridge->registerWithDelegate();
}

void GrowlApplicationBridge::reregisterGrowlNotifications() { instance()->registerWithDelegate(); }

void GrowlApplicationBridge::notifyWithTitle(const QString &title, const QString &description,
                                             const QString &notificationName, const QImage &iconData, int priority,
                                             bool isSticky, const std::optional<ClickContext> &clickContext)
{
    instance()->notify({title, description, notificationName, iconData, priority, isSticky, clickContext});
}

MessageBacklog GrowlApplicationBridge::inFlight() { return instance()->callsInFlight; }

MessageBacklog GrowlApplicationBridge::waiting()
{
    MessageBacklog backlog;
    for (const Notification &notification : instance()->waitingLine)
        backlog.add(notification.title, notification.description, notification.iconData);
    return backlog;
}

void GrowlApplicationBridge::setAnswerTimeLimit(std::chrono::milliseconds limit) { instance()->answerTimeLimit = limit; }

void GrowlApplicationBridge::setRememberedNotifications(std::size_t count)
{
    instance()->rememberedNotifications = count;
}

QVariantMap GrowlApplicationBridge::registration() const { return currentRegistration; }

void GrowlApplicationBridge::registerWithDelegate()
{
    if (!delegate)
        return;
    currentRegistration = delegate->registrationDictionaryForGrowl();
    applicationName = delegate->applicationNameForGrowl();
    Q_EMIT registered(currentRegistration);
}

void GrowlApplicationBridge::notify(Notification notification)
{
    if (!QDBusConnection::sessionBus().isConnected()) {
        Q_EMIT waitingShrank();
        return;
    }
    notification.sequence = nextSequence++;
    waitingLine.push_back(std::move(notification));
    sendWaiting();
}

void GrowlApplicationBridge::sendWaiting()
{
    if (serviceAway)
        return;
    if (!capabilities) {
        requestCapabilities();
        return;
    }
    const std::size_t waitingBefore = waitingLine.size();
    for (; !waitingLine.empty() && callsInFlight.messages < maxCallsInFlight; waitingLine.pop_front())
        send(waitingLine.front());
    if (waitingLine.size() < waitingBefore)
        Q_EMIT waitingShrank();
}

void GrowlApplicationBridge::requestCapabilities()
{
    if (capabilitiesRequested)
        return;
    capabilitiesRequested = true;
    // The proxy's time limit holds for each call after it is set: the answer
    // time limit is Notify's alone.
    notifications->setTimeout(defaultTimeoutMs);
    auto *watcher = new QDBusPendingCallWatcher(notifications->GetCapabilities(), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &GrowlApplicationBridge::capabilitiesArrived);
}

// A service that cannot say what it offers gets plain text and no actions.
void GrowlApplicationBridge::capabilitiesArrived(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    capabilitiesRequested = false;
    const QDBusPendingReply<QStringList> reply = *call;
    if (!reply.isValid())
        qCInfo(lcNotify) << "the notification service did not say what it offers:" << reply.error().message();
    capabilities = reply.isValid() ? reply.value() : QStringList();
    sendWaiting();
}

void GrowlApplicationBridge::send(const Notification &notification)
{
    QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(urgencyForPriority(notification.priority))},
        {QStringLiteral("desktop-entry"), QStringLiteral("pellix-growl")},
        {QStringLiteral("x-pellix-notification-type"), notification.notificationName},
    };
    if (!notification.iconData.isNull())
        hints.insert(QStringLiteral("image-data"), imageDataHint(notification.iconData));
    QStringList actions;
    if (notification.clickContext && capabilities->contains(QStringLiteral("actions")))
        //: The button of a notification that opens its address.
        actions = {defaultAction, tr("Open")};
    const QString body = capabilities->contains(QStringLiteral("body-markup"))
                             ? escapedForMarkup(notification.description)
                             : notification.description;

    // Without a picture of its own a notification shows the agent's icon,
    // not the service's generic one.
    const QString appIcon = notification.iconData.isNull() ? QStringLiteral("pellix-growl") : QString();
    callsInFlight.add(notification.title, notification.description, notification.iconData);
    notifications->setTimeout(int(answerTimeLimit.count()));
    auto *watcher = new QDBusPendingCallWatcher(
        notifications->Notify(applicationName, replaceNothing, appIcon, notification.title, body, actions, hints,
                              notification.isSticky ? neverExpire : expireAsTheServiceChooses),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, notification](QDBusPendingCallWatcher *answered) { shown(answered, notification); });
}

void GrowlApplicationBridge::shown(QDBusPendingCallWatcher *call, const Notification &notification)
{
    call->deleteLater();
    callsInFlight.remove(notification.title, notification.description, notification.iconData);
    const QDBusPendingReply<uint> reply = *call;
    const QDBusError error = reply.error();
    if (reply.isValid())
        remember(reply.value(), notification.clickContext);
    else if (meansNoAnswer(error) && notification.unansweredBefore)
        qCInfo(lcNotify) << "the notification service did not answer a notification twice: it counts as shown";
    else if (meansTheServiceIsGone(error) || meansTheServiceIsLeaving(error)) {
        // One the service took and did not answer may have been shown: it
        // goes once more, not again and again.
        Notification again = notification;
        again.unansweredBefore = meansNoAnswer(error);
        keepUntilTheServiceReturns(again, meansTheServiceIsGone(error));
    } else
        qCInfo(lcNotify) << "a notification was not shown:" << reply.error().message();
    Q_EMIT waitingShrank();
    sendWaiting();
}

// Calls answered out of order come back in order all the same. A service
// still leaving owns its name until it has left: only the next owner ends the
// wait, or asking would find it there and try it again at once.
void GrowlApplicationBridge::keepUntilTheServiceReturns(const Notification &notification, bool gone)
{
    const auto later = std::ranges::upper_bound(waitingLine, notification.sequence, {}, &Notification::sequence);
    waitingLine.insert(later, notification);
    if (serviceAway)
        return;
    serviceAway = true;
    qCInfo(lcNotify) << "the notification service has gone; notifications wait for it";
    if (gone)
        askWhetherTheServiceIsBack();
}

// A service that came back before the failure was seen, or that is there
// but failed to answer in time, announces no new owner.
void GrowlApplicationBridge::askWhetherTheServiceIsBack()
{
    const QDBusPendingCall call = askTheBus(busQueryTimeoutMs, [](QDBusConnectionInterface &bus) {
        return bus.asyncCall(QStringLiteral("NameHasOwner"), serviceName);
    });
    auto *watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *answered) {
        answered->deleteLater();
        const QDBusPendingReply<bool> owned = *answered;
        if (owned.isValid() && owned.value())
            serviceReturned();
    });
}

void GrowlApplicationBridge::serviceReturned()
{
    serviceAway = false;
    sendWaiting();
}

void GrowlApplicationBridge::remember(uint id, const std::optional<ClickContext> &clickContext)
{
    shownNotifications.insert(id, clickContext);
    shownOrder.push_back(id);
    for (; shownOrder.size() > rememberedNotifications; shownOrder.pop_front())
        shownNotifications.remove(shownOrder.front());
}

void GrowlApplicationBridge::activationTokenArrived(uint id, const QString &token) { activationToken = {id, token}; }

// The address opens in front of the user's windows only with the token the
// service gave for this click (Wayland's focus-stealing prevention); a click
// without one opens without any.
void GrowlApplicationBridge::actionInvoked(uint id, const QString &actionKey)
{
    const std::optional<std::pair<uint, QString>> token = std::exchange(activationToken, std::nullopt);
    const auto shown = shownNotifications.constFind(id);
    if (actionKey != defaultAction || shown == shownNotifications.cend() || !delegate)
        return;
    const std::optional<ClickContext> clickContext = *shown;
    shownNotifications.remove(id);
    const ActivationTokenScope launch(token && token->first == id ? token->second : QString());
    delegate->growlNotificationWasClicked(clickContext);
}

// A notification that expired may still be offered by the service, as
// Plasma's history does, and clicked there: its click stays known (within
// the bound). One the user dismissed, or that was closed by a call, is gone.
void GrowlApplicationBridge::notificationClosed(uint id, uint reason)
{
    const auto shown = shownNotifications.constFind(id);
    if (shown == shownNotifications.cend())
        return;
    const std::optional<ClickContext> clickContext = *shown;
    if (reason != closedBecauseExpired)
        shownNotifications.remove(id);
    else if (delegate)
        delegate->growlNotificationTimedOut(clickContext);
}

// Notification ids belong to the service that handed them out, and what it
// offers may differ from its successor's.
void GrowlApplicationBridge::serviceOwnerChanged(const QString &newOwner)
{
    shownNotifications.clear();
    shownOrder.clear();
    capabilities.reset();
    if (newOwner.isEmpty())
        return;
    if (delegate)
        delegate->growlIsReady();
    serviceReturned();
}
