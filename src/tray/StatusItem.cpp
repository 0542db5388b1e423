// SPDX-License-Identifier: MIT

#include "StatusItem.h"

#include "notifications/ActivationTokenScope.h"
#include "session/LoggingCategories.h"
#include "StatusNotifierItem.h"
#include "session/WaylandSession.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

const QString StatusItem::itemId = QStringLiteral("pellix-growl");

namespace {
constexpr qreal dimmedOpacity = PELLIX_DIMMED_OPACITY;

bool watcherOnBus()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface()->isServiceRegistered(StatusNotifierItem::watcherService);
}

QIcon dimmedIcon(const QIcon &icon)
{
    QIcon dimmed;
    for (const int side : StatusNotifierItem::pixmapSides) {
        const QPixmap original = icon.pixmap(side, side);
        QPixmap faded(original.size());
        faded.fill(Qt::transparent);
        QPainter painter(&faded);
        painter.setOpacity(dimmedOpacity);
        painter.drawPixmap(0, 0, original);
        painter.end();
        dimmed.addPixmap(faded);
    }
    return dimmed;
}
}

StatusItem::StatusItem(const Options &itemOptions, QObject *parent)
    : QObject(parent)
    , options(itemOptions)
    , statusMenu(std::make_unique<QMenu>())
    , item(std::make_unique<StatusNotifierItem>(itemId))
{
    dimming.setSingleShot(true);
    connect(&dimming, &QTimer::timeout, this, &StatusItem::dim);
    item->setMenu(statusMenu.get());
    connect(item.get(), &StatusNotifierItem::registeredChanged, this, &StatusItem::hostChanged);
    connect(item.get(), &StatusNotifierItem::activationTokenProvided, this,
            [this](const QString &token) {
                activationToken = token;
                activationTokenExpiry.setRemainingTime(options.activationTokenLifetime);
            });
    connect(item.get(), &StatusNotifierItem::activateRequested, this, &StatusItem::openWindow);
    connect(item.get(), &StatusNotifierItem::contextMenuRequested, this, &StatusItem::clicked);
}

StatusItem::~StatusItem() = default;

void StatusItem::setImage(const QString &name)
{
    pictureName = name;
    presentIcon();
}

QString StatusItem::imageName() const { return pictureName; }

void StatusItem::setToolTip(const QString &toolTipTitle)
{
    title = toolTipTitle;
    item->setTitle(title);
    presentToolTip();
}

void StatusItem::addMenuItem(const QString &itemTitle, const QKeySequence &shortcut,
                             const std::function<void()> &action)
{
    QAction *entry = statusMenu->addAction(itemTitle, this, [this, action] {
        const ActivationTokenScope activation(takeActivationToken());
        action();
    });
    entry->setShortcut(shortcut);
}

// While a StatusNotifierItem host is about, Qt's tray icon would be a second
// item of its own: it is made only where no watcher is, and dropped as soon
// as a host shows the agent's item.
void StatusItem::show()
{
    shown = true;
    if (!watcherOnBus())
        useTray(true);
}

void StatusItem::showState(const StreamState &streamState)
{
    state = streamState;
    if (state.isConnected()) {
        dimming.stop();
        if (std::exchange(dimmed, false))
            presentIcon();
    } else if (!dimmed && !dimming.isActive()) {
        dimming.start(options.dimAfter);
    }
    presentToolTip();
}

// Each picture is drawn at 22 px and, for the panels that want it, at 44 px;
// both are offered as pictures of their own size.
QIcon StatusItem::icon() const
{
    QIcon picture;
    for (const QString &drawing : {pictureName, QString(pictureName).replace(QLatin1String(".png"), QLatin1String("@2x.png"))}) {
        QPixmap pixmap(QStringLiteral(":/") + drawing);
        pixmap.setDevicePixelRatio(1.0);
        picture.addPixmap(pixmap);
    }
    return dimmed ? dimmedIcon(picture) : picture;
}

bool StatusItem::isDimmed() const { return dimmed; }
QString StatusItem::toolTipTitle() const { return title; }
QString StatusItem::toolTipBody() const { return state.text(); }
QMenu *StatusItem::menu() const { return statusMenu.get(); }

// A menu-bar agent shows its menu on a plain click on Qt's tray icon, and
// when a StatusNotifierItem host asks for it. On Wayland a menu without a
// parent window cannot be placed and would become a window of its own, so
// the click opens the agent's one window instead.
void StatusItem::clicked(const QPoint &position)
{
    if (WaylandSession::isActive()) {
        openWindow();
        return;
    }
    takeActivationToken();
    statusMenu->popup(position);
}

// A host that shows the item's menu itself has a click on the item open the
// agent's window: a menu of Qt's own beside the host's would be a second one.
void StatusItem::openWindow()
{
    const ActivationTokenScope activation(takeActivationToken());
    Q_EMIT windowRequested();
}

QString StatusItem::takeActivationToken()
{
    const QString token = std::exchange(activationToken, QString());
    return activationTokenExpiry.hasExpired() ? QString() : token;
}

void StatusItem::hostChanged(bool itemShown)
{
    qCInfo(lcDesktop) << (itemShown ? "a StatusNotifierItem host shows the item" : "no StatusNotifierItem host");
    if (shown)
        useTray(!itemShown);
}

void StatusItem::useTray(bool use)
{
    if (!use) {
        tray.reset();
        return;
    }
    if (tray)
        return;
    // Shown all the same without a tray: on X11 a tray that appears later,
    // as a panel started after the agent, picks the icon up.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(lcDesktop) << "no system tray: starting pellix-growl again opens the preferences";
    tray = std::make_unique<QSystemTrayIcon>();
    tray->setContextMenu(statusMenu.get());
    connect(tray.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            clicked(QCursor::pos());
    });
    presentIcon();
    presentToolTip();
    tray->show();
}

void StatusItem::dim()
{
    dimmed = true;
    presentIcon();
}

QString StatusItem::installedIconThemePath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1String("/../share/icons"));
}

// "pellix_menu_icon.png" is installed as pellix-growl-pellix_menu_icon, and
// dimmed as pellix-growl-pellix_menu_icon-offline; none when not installed.
QString StatusItem::iconName() const
{
    const QString name = QLatin1String("pellix-growl-") + QFileInfo(pictureName).completeBaseName()
                         + QLatin1String(dimmed ? "-offline" : "");
    const bool installed =
        QFileInfo::exists(options.iconThemePath + QLatin1String("/hicolor/scalable/status/") + name + QLatin1String(".svg"));
    return installed ? name : QString();
}

void StatusItem::presentIcon()
{
    const QIcon picture = icon();
    const QString name = iconName();
    item->setIcon(picture, name, name.isEmpty() ? QString() : options.iconThemePath);
    if (tray)
        tray->setIcon(picture);
}

void StatusItem::presentToolTip()
{
    item->setToolTip(title, toolTipBody());
    if (tray)
        tray->setToolTip(title + QLatin1Char('\n') + toolTipBody());
}
