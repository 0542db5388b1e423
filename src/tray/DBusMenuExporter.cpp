// SPDX-License-Identifier: MIT

#include "DBusMenuExporter.h"

#include "DBusMenuAdaptor.h"
#include "session/LoggingCategories.h"

#include <QAction>
#include <QActionEvent>
#include <QDBusMetaType>
#include <QGuiApplication>
#include <QMenu>

#include <utility>

namespace {
// The item every menu hangs from; actions count from 1.
constexpr int rootId = 0;

void registerDBusTypes()
{
    qDBusRegisterMetaType<DBusMenuExporter::LayoutItem>();
    qDBusRegisterMetaType<DBusMenuExporter::ItemProperties>();
    qDBusRegisterMetaType<QList<DBusMenuExporter::ItemProperties>>();
    qDBusRegisterMetaType<DBusMenuExporter::ItemPropertyNames>();
    qDBusRegisterMetaType<QList<DBusMenuExporter::ItemPropertyNames>>();
    qDBusRegisterMetaType<DBusMenuExporter::MenuEvent>();
    qDBusRegisterMetaType<QList<DBusMenuExporter::MenuEvent>>();
}

// Qt marks the access key with '&' ("&&" for a literal one), DBusMenu with
// '_' ("__" for a literal one).
QString labelOf(const QString &text)
{
    QString label;
    label.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar character = text.at(i);
        if (character == u'_')
            label += QStringLiteral("__");
        else if (character == u'&' && i + 1 < text.size() && text.at(i + 1) == u'&')
            label += text.at(++i);
        else if (character == u'&')
            label += u'_';
        else
            label += character;
    }
    return label;
}

QVariantMap propertiesOf(const QAction *action)
{
    QVariantMap properties{
        {QStringLiteral("type"), action->isSeparator() ? QStringLiteral("separator") : QStringLiteral("standard")},
        {QStringLiteral("label"), labelOf(action->text())},
        {QStringLiteral("enabled"), action->isEnabled()},
        {QStringLiteral("visible"), action->isVisible()},
    };
    return properties;
}

QVariantMap rootProperties() { return {{QStringLiteral("children-display"), QStringLiteral("submenu")}}; }

// An empty list of names asks for every property.
QVariantMap only(const QStringList &names, QVariantMap properties)
{
    if (!names.isEmpty())
        properties.removeIf([&](QVariantMap::iterator property) { return !names.contains(property.key()); });
    return properties;
}
}

DBusMenuExporter::DBusMenuExporter(QMenu *exported, const QDBusConnection &connection, const QString &objectPath)
    : menu(exported)
    , bus(connection)
    , path(objectPath)
{
    registerDBusTypes();
    for (QAction *action : menu->actions())
        ids.insert(action, ++lastId);
    menu->installEventFilter(this);
    new DBusMenuAdaptor(this);
    if (!bus.registerObject(path, this))
        qCWarning(lcDesktop) << "cannot offer the tray menu on the session bus at" << path;
}

DBusMenuExporter::~DBusMenuExporter() { bus.unregisterObject(path); }

uint DBusMenuExporter::version() const { return 3; }

QString DBusMenuExporter::textDirection() const
{
    return QGuiApplication::isRightToLeft() ? QStringLiteral("rtl") : QStringLiteral("ltr");
}

QString DBusMenuExporter::status() const { return QStringLiteral("normal"); }

QStringList DBusMenuExporter::iconThemePath() const { return {}; }

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                                 LayoutItem &layout)
{
    if (parentId == rootId) {
        layout = {rootId, only(propertyNames, rootProperties()), {}};
        if (recursionDepth != 0 && menu) {
            for (QAction *action : menu->actions())
                layout.children.append({ids.value(action), only(propertyNames, propertiesOf(action)), {}});
        }
    } else if (const QAction *action = actionOf(parentId)) {
        layout = {parentId, only(propertyNames, propertiesOf(action)), {}};
    } else {
        replyNoSuchItem(parentId);
    }
    return revision;
}

QList<DBusMenuExporter::ItemProperties> DBusMenuExporter::GetGroupProperties(const QList<int> &requested,
                                                                             const QStringList &propertyNames)
{
    QList<ItemProperties> items;
    if (!menu)
        return items;
    for (QAction *action : menu->actions()) {
        const int id = ids.value(action);
        if (requested.isEmpty() || requested.contains(id))
            items.append({id, only(propertyNames, propertiesOf(action))});
    }
    return items;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString &name)
{
    const QAction *action = actionOf(id);
    if (!action) {
        replyNoSuchItem(id);
        return {};
    }
    return QDBusVariant(propertiesOf(action).value(name));
}

void DBusMenuExporter::Event(int id, const QString &eventId, const QDBusVariant &, uint)
{
    if (!handleEvent(id, eventId))
        replyNoSuchItem(id);
}

QList<int> DBusMenuExporter::EventGroup(const QList<MenuEvent> &events)
{
    QList<int> idErrors;
    for (const MenuEvent &event : events) {
        if (!handleEvent(event.id, event.eventId))
            idErrors.append(event.id);
    }
    return idErrors;
}

// The layout is announced whenever it changes, so showing never needs an update.
bool DBusMenuExporter::AboutToShow(int) { return false; }

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int> &requested, QList<int> &idErrors)
{
    for (const int id : requested) {
        if (id != rootId && !actionOf(id))
            idErrors.append(id);
    }
    return {};
}

bool DBusMenuExporter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == menu) {
        switch (event->type()) {
        case QEvent::ActionAdded:
            ids.insert(static_cast<QActionEvent *>(event)->action(), ++lastId);
            layoutChanged();
            break;
        case QEvent::ActionRemoved:
            ids.remove(static_cast<QActionEvent *>(event)->action());
            layoutChanged();
            break;
        case QEvent::ActionChanged:
            actionChanged(static_cast<QActionEvent *>(event)->action());
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

QAction *DBusMenuExporter::actionOf(int id) const { return id == rootId ? nullptr : ids.key(id); }

// The action runs from the event loop, after the host has had its answer
// (Qt ignores the trigger should the action be disabled by then).
bool DBusMenuExporter::handleEvent(int id, const QString &eventId)
{
    // The menu itself is opened and closed; nothing runs for that.
    if (id == rootId)
        return true;
    QAction *action = actionOf(id);
    if (!action)
        return false;
    if (eventId == QLatin1String("clicked"))
        QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
    return true;
}

void DBusMenuExporter::layoutChanged() { Q_EMIT LayoutUpdated(++revision, rootId); }

void DBusMenuExporter::actionChanged(QAction *action)
{
    Q_EMIT ItemsPropertiesUpdated({{ids.value(action), propertiesOf(action)}}, {});
}

void DBusMenuExporter::replyNoSuchItem(int id)
{
    sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no menu item %1").arg(id));
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuExporter::LayoutItem &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuExporter::LayoutItem &child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuExporter::LayoutItem &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    item.children.clear();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children.append(qdbus_cast<DBusMenuExporter::LayoutItem>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuExporter::ItemProperties &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuExporter::ItemProperties &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuExporter::ItemPropertyNames &item)
{
    argument.beginStructure();
    argument << item.id << item.names;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuExporter::ItemPropertyNames &item)
{
    argument.beginStructure();
    argument >> item.id >> item.names;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuExporter::MenuEvent &event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuExporter::MenuEvent &event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}
