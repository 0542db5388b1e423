// SPDX-License-Identifier: MIT

#include "StatusNotifierItem.h"

#include "DBusMenuExporter.h"
#include "DBusPropertiesProxy.h"
#include "session/LoggingCategories.h"
#include "StatusNotifierItemAdaptor.h"
#include "StatusNotifierWatcherProxy.h"

#include <QCoreApplication>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QtEndian>

const QString StatusNotifierItem::watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString StatusNotifierItem::objectPath = QStringLiteral("/StatusNotifierItem");
const QString StatusNotifierItem::menuObjectPath = QStringLiteral("/MenuBar");
const QList<int> StatusNotifierItem::pixmapSides{22, 44};

namespace {
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
// What hosts read as "this item has no menu".
const QDBusObjectPath noMenuPath(QStringLiteral("/NO_DBUSMENU"));

QString newServiceName()
{
    static int count = 0;
    return QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(QCoreApplication::applicationPid()).arg(++count);
}

void registerDBusTypes()
{
    qDBusRegisterMetaType<StatusNotifierItem::Pixmap>();
    qDBusRegisterMetaType<StatusNotifierItem::Pixmaps>();
    qDBusRegisterMetaType<StatusNotifierItem::ToolTip>();
}

StatusNotifierItem::Pixmap pixmapOf(const QIcon &icon, int side)
{
    const QImage image = icon.pixmap(QSize(side, side), 1.0)
                             .toImage()
                             .scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_ARGB32);
    StatusNotifierItem::Pixmap pixmap{image.width(), image.height(), {}};
    pixmap.argb.resize(qsizetype(image.width()) * image.height() * 4);
    auto *pixels = reinterpret_cast<quint32 *>(pixmap.argb.data());
    for (int y = 0; y < image.height(); ++y)
        qToBigEndian<quint32>(image.constScanLine(y), image.width(), pixels + qsizetype(y) * image.width());
    return pixmap;
}
}

StatusNotifierItem::StatusNotifierItem(const QString &id, const QDBusConnection &connection, QObject *parent)
    : QObject(parent)
    , bus(connection)
    , service(newServiceName())
    , itemId(id)
    , watcherPresence(new QDBusServiceWatcher(watcherService, connection, QDBusServiceWatcher::WatchForOwnerChange, this))
    , watcher(new StatusNotifierWatcherProxy(watcherService, watcherPath, connection, this))
    , watcherProperties(new DBusPropertiesProxy(watcherService, watcherPath, connection, this))
{
    registerDBusTypes();
    new StatusNotifierItemAdaptor(this);
    if (!bus.registerObject(objectPath, this) || !bus.registerService(service))
        qCWarning(lcDesktop) << "cannot offer the status notifier item on the session bus:" << bus.lastError().message();
    connect(watcherPresence, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                if (newOwner.isEmpty())
                    setRegistered(false);
                else
                    registerWithWatcher();
            });
    // A host that comes or goes behind the same watcher changes whether the item is shown.
    connect(watcher, &StatusNotifierWatcherProxy::StatusNotifierHostRegistered, this,
            &StatusNotifierItem::registerWithWatcher);
    connect(watcher, &StatusNotifierWatcherProxy::StatusNotifierHostUnregistered, this,
            &StatusNotifierItem::registerWithWatcher);
    connect(watcher, &StatusNotifierWatcherProxy::StatusNotifierItemUnregistered, this,
            &StatusNotifierItem::itemUnregistered);
    registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem()
{
    bus.unregisterService(service);
    bus.unregisterObject(objectPath);
}

QString StatusNotifierItem::serviceName() const { return service; }

bool StatusNotifierItem::isRegistered() const { return registered; }


void StatusNotifierItem::setTitle(const QString &title)
{
    if (title == itemTitle)
        return;
    itemTitle = title;
    announce(TitleChange);
}

void StatusNotifierItem::setIcon(const QIcon &icon, const QString &name, const QString &iconThemePath)
{
    namedIcon = name;
    themePath = iconThemePath;
    pixmaps.clear();
    if (!icon.isNull()) {
        for (const int side : pixmapSides)
            pixmaps.append(pixmapOf(icon, side));
    }
    announce(IconChange);
}

void StatusNotifierItem::setToolTip(const QString &title, const QString &body)
{
    const QString markup = body.toHtmlEscaped();
    if (title == tip.title && markup == tip.body)
        return;
    tip.title = title;
    tip.body = markup;
    announce(ToolTipChange);
}

void StatusNotifierItem::setMenu(QMenu *menu)
{
    menuExporter.reset();
    if (menu)
        menuExporter = std::make_unique<DBusMenuExporter>(menu, bus, menuObjectPath);
}

// The item tells of the agent's own state, the stream's.
QString StatusNotifierItem::category() const { return QStringLiteral("ApplicationStatus"); }

QString StatusNotifierItem::id() const { return itemId; }

QString StatusNotifierItem::title() const { return itemTitle; }

QString StatusNotifierItem::status() const { return QStringLiteral("Active"); }

int StatusNotifierItem::windowId() const { return 0; }

QString StatusNotifierItem::iconName() const { return namedIcon; }
QString StatusNotifierItem::iconThemePath() const { return themePath; }
StatusNotifierItem::Pixmaps StatusNotifierItem::iconPixmap() const { return pixmaps; }

StatusNotifierItem::ToolTip StatusNotifierItem::toolTip() const { return tip; }

bool StatusNotifierItem::itemIsMenu() const { return false; }

QDBusObjectPath StatusNotifierItem::menuPath() const
{
    return menuExporter ? QDBusObjectPath(menuObjectPath) : noMenuPath;
}

void StatusNotifierItem::Activate(int x, int y) { Q_EMIT activateRequested(QPoint(x, y)); }

void StatusNotifierItem::SecondaryActivate(int, int) {}

void StatusNotifierItem::ContextMenu(int x, int y) { Q_EMIT contextMenuRequested(QPoint(x, y)); }

void StatusNotifierItem::Scroll(int, const QString &) {}

void StatusNotifierItem::ProvideXdgActivationToken(const QString &token) { Q_EMIT activationTokenProvided(token); }

void StatusNotifierItem::announce(Change change)
{
    if (registering) {
        heldChanges |= change;
        return;
    }
    if (change == TitleChange)
        Q_EMIT NewTitle();
    else if (change == IconChange)
        Q_EMIT NewIcon();
    else
        Q_EMIT NewToolTip();
}

// Registering again with a watcher that holds the item already is harmless,
// so every change on the watcher's side goes through here.
void StatusNotifierItem::registerWithWatcher()
{
    if (registering) {
        registrationAskedFor = true;
        return;
    }
    registering = true;
    auto *reply = new QDBusPendingCallWatcher(watcher->RegisterStatusNotifierItem(service), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *answer) {
        answer->deleteLater();
        watcherAnswered(!answer->isError());
    });
}

void StatusNotifierItem::watcherAnswered(bool accepted)
{
    registering = false;
    if (accepted) {
        qCInfo(lcDesktop) << "registered" << service << "with the status notifier watcher";
        for (const Change change : {TitleChange, IconChange, ToolTipChange}) {
            if (heldChanges & change)
                announce(change);
        }
        askWhetherHostIsThere();
    } else {
        setRegistered(false);
    }
    heldChanges = 0;
    if (std::exchange(registrationAskedFor, false))
        registerWithWatcher();
}

// A watcher that dropped the item (its host restarted, say) is asked to
// take it again.
void StatusNotifierItem::itemUnregistered(const QString &name)
{
    if (name == service || name.startsWith(service + QLatin1Char('/')))
        registerWithWatcher();
}

void StatusNotifierItem::askWhetherHostIsThere()
{
    auto *reply = new QDBusPendingCallWatcher(
        watcherProperties->Get(watcher->interface(), QStringLiteral("IsStatusNotifierHostRegistered")), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *answer) {
        answer->deleteLater();
        const QDBusPendingReply<QDBusVariant> hostRegistered = *answer;
        setRegistered(hostRegistered.isValid() && hostRegistered.value().variant().toBool());
    });
}

void StatusNotifierItem::setRegistered(bool nowRegistered)
{
    if (nowRegistered == registered)
        return;
    registered = nowRegistered;
    qCInfo(lcDesktop) << (registered ? "a status notifier host shows" : "no status notifier host shows") << service;
    Q_EMIT registeredChanged(registered);
}

QString StatusNotifierItem::noName() const { return {}; }

StatusNotifierItem::Pixmaps StatusNotifierItem::noPixmaps() const { return {}; }

QDBusArgument &operator<<(QDBusArgument &argument, const StatusNotifierItem::Pixmap &pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, StatusNotifierItem::Pixmap &pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const StatusNotifierItem::ToolTip &toolTip)
{
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.icon << toolTip.title << toolTip.body;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, StatusNotifierItem::ToolTip &toolTip)
{
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.icon >> toolTip.title >> toolTip.body;
    argument.endStructure();
    return argument;
}
