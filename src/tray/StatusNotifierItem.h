// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>

class DBusMenuExporter;
class DBusPropertiesProxy;
class StatusNotifierWatcherProxy;
class QDBusServiceWatcher;
class QMenu;

// A tray item for hosts that speak StatusNotifierItem (Plasma, GNOME's
// AppIndicator extension, waybar, …): the object org.kde.StatusNotifierItem
// at /StatusNotifierItem under its own service name, registered with
// org.kde.StatusNotifierWatcher whenever a watcher is on the bus, its menu
// exported over DBusMenu for the host to show. Qt's own item cannot carry a
// title apart from its id, a tool tip body, or the activation token.
// While a registration waits for the watcher's answer, the item's change
// signals wait too and go out once, together, after it: GNOME's AppIndicator
// extension loses an item whose signals reach it before that answer. One
// registration is in flight at a time; any asked for meanwhile make one more.
// Its adaptor, generated from dbus/org.kde.StatusNotifierItem.xml, reads the
// properties below, passes the host's calls on and relays the New* signals.
class StatusNotifierItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id CONSTANT)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status CONSTANT)
    Q_PROPERTY(int WindowId READ windowId CONSTANT)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(StatusNotifierItem::Pixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ noName CONSTANT)
    Q_PROPERTY(StatusNotifierItem::Pixmaps OverlayIconPixmap READ noPixmaps CONSTANT)
    Q_PROPERTY(QString AttentionIconName READ noName CONSTANT)
    Q_PROPERTY(StatusNotifierItem::Pixmaps AttentionIconPixmap READ noPixmaps CONSTANT)
    Q_PROPERTY(QString AttentionMovieName READ noName CONSTANT)
    Q_PROPERTY(StatusNotifierItem::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu CONSTANT)
    Q_PROPERTY(QDBusObjectPath Menu READ menuPath)

public:
    // One picture of the item: ARGB32, each pixel in network byte order.
    struct Pixmap
    {
        int width = 0;
        int height = 0;
        QByteArray argb;
    };
    using Pixmaps = QList<Pixmap>;

    struct ToolTip
    {
        QString iconName;
        Pixmaps icon;
        QString title;
        QString body; // markup, as hosts read it
    };

    static const QString watcherService;
    static const QString objectPath;
    static const QString menuObjectPath;
    static const QList<int> pixmapSides; // 22 and 44 px

    // Offers the item on bus at once and registers it with the watcher
    // whenever one is there. The object paths are fixed: one item per
    // connection at a time.
    explicit StatusNotifierItem(const QString &id, const QDBusConnection &bus = QDBusConnection::sessionBus(),
                                QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    QString serviceName() const;
    // True while a watcher holds the item and says a host shows items.
    bool isRegistered() const;

    void setTitle(const QString &title);
    // The name, if any, of an installed icon that shows the same, found in
    // the hicolor theme under themePath: hosts scale a named icon to their
    // panel and use the pixmaps where they do not find it.
    void setIcon(const QIcon &icon, const QString &name = {}, const QString &themePath = {});
    // Plain text; the body is escaped for hosts that read it as markup.
    void setToolTip(const QString &title, const QString &body);
    // Exported at menuObjectPath for hosts to show; null for none. The item
    // does not own the menu.
    void setMenu(QMenu *menu);

    QString category() const;
    QString id() const;
    QString title() const;
    QString status() const;
    int windowId() const;
    QString iconName() const;
    QString iconThemePath() const;
    Pixmaps iconPixmap() const;
    ToolTip toolTip() const;
    bool itemIsMenu() const;
    QDBusObjectPath menuPath() const;

    // What the host calls.
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString &orientation);
    void ProvideXdgActivationToken(const QString &token);

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewToolTip();

    void registeredChanged(bool registered);
    // Positions are in screen coordinates, as the host gives them.
    void activateRequested(const QPoint &position);
    void contextMenuRequested(const QPoint &position);
    // Plasma sends this just before Activate: the token to raise a window with.
    void activationTokenProvided(const QString &token);

private:
    enum Change { TitleChange = 1, IconChange = 2, ToolTipChange = 4 };

    void registerWithWatcher();
    void itemUnregistered(const QString &service);
    void announce(Change change);
    void watcherAnswered(bool accepted);
    void askWhetherHostIsThere();
    void setRegistered(bool registered);
    QString noName() const;
    Pixmaps noPixmaps() const;

    QDBusConnection bus;
    QString service;
    QString itemId;
    QString itemTitle;
    Pixmaps pixmaps;
    QString namedIcon;
    QString themePath;
    ToolTip tip;
    std::unique_ptr<DBusMenuExporter> menuExporter;
    QDBusServiceWatcher *watcherPresence;
    StatusNotifierWatcherProxy *watcher;
    DBusPropertiesProxy *watcherProperties;
    bool registered = false;
    bool registering = false;
    bool registrationAskedFor = false;
    int heldChanges = 0;
};

Q_DECLARE_METATYPE(StatusNotifierItem::Pixmap)
Q_DECLARE_METATYPE(StatusNotifierItem::ToolTip)

QDBusArgument &operator<<(QDBusArgument &argument, const StatusNotifierItem::Pixmap &pixmap);
const QDBusArgument &operator>>(const QDBusArgument &argument, StatusNotifierItem::Pixmap &pixmap);
QDBusArgument &operator<<(QDBusArgument &argument, const StatusNotifierItem::ToolTip &toolTip);
const QDBusArgument &operator>>(const QDBusArgument &argument, StatusNotifierItem::ToolTip &toolTip);
