// SPDX-License-Identifier: MIT

#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QAction;
class QMenu;

// Offers a flat QMenu over DBusMenu (com.canonical.dbusmenu) at an object
// path, so that a tray host can show it where it shows menus: each action is
// an item with its label and state, a click from the host triggers the
// action, and the host hears when actions are added, removed or changed.
// Shortcuts are not offered: a host's menu does not pass them on, so they
// would be hints that work nowhere. Its adaptor, generated from
// dbus/com.canonical.dbusmenu.xml, reads the properties below, passes the
// host's calls on and relays the two signals, matched by their signatures
// (hence the qualified type names).
class DBusMenuExporter : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(uint Version READ version CONSTANT)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status CONSTANT)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath CONSTANT)

public:
    // (ia{sv}av): an item, its properties and its children, each child in a variant.
    struct LayoutItem
    {
        int id = 0;
        QVariantMap properties;
        QList<LayoutItem> children;
    };
    // (ia{sv})
    struct ItemProperties
    {
        int id = 0;
        QVariantMap properties;
    };
    // (ias)
    struct ItemPropertyNames
    {
        int id = 0;
        QStringList names;
    };
    // (isvu)
    struct MenuEvent
    {
        int id = 0;
        QString eventId;
        QDBusVariant data;
        uint timestamp = 0;
    };

    // The menu stays the caller's; the exporter follows it while both live.
    DBusMenuExporter(QMenu *menu, const QDBusConnection &bus, const QString &objectPath);
    ~DBusMenuExporter() override;

    uint version() const;
    QString textDirection() const;
    QString status() const;
    QStringList iconThemePath() const;

    // What the host calls.
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames, LayoutItem &layout);
    QList<ItemProperties> GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames);
    QDBusVariant GetProperty(int id, const QString &name);
    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp);
    QList<int> EventGroup(const QList<MenuEvent> &events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors);

Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);
    void ItemsPropertiesUpdated(const QList<DBusMenuExporter::ItemProperties> &updatedProps,
                                const QList<DBusMenuExporter::ItemPropertyNames> &removedProps);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *actionOf(int id) const;
    bool handleEvent(int id, const QString &eventId);
    void layoutChanged();
    void actionChanged(QAction *action);
    void replyNoSuchItem(int id);

    QPointer<QMenu> menu;
    QDBusConnection bus;
    QString path;
    QHash<QAction *, int> ids;
    int lastId = 0;
    uint revision = 1;
};

Q_DECLARE_METATYPE(DBusMenuExporter::LayoutItem)
Q_DECLARE_METATYPE(DBusMenuExporter::ItemProperties)
Q_DECLARE_METATYPE(DBusMenuExporter::ItemPropertyNames)
Q_DECLARE_METATYPE(DBusMenuExporter::MenuEvent)

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuExporter::LayoutItem &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuExporter::LayoutItem &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuExporter::ItemProperties &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuExporter::ItemProperties &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuExporter::ItemPropertyNames &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuExporter::ItemPropertyNames &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuExporter::MenuEvent &event);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuExporter::MenuEvent &event);
