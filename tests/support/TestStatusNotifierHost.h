#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// One entry of an item's menu as a host reads it over DBusMenu.
struct HostedMenuEntry
{
    int id = 0;
    QString label; // DBusMenu's form: '_' marks the access key
    QList<QStringList> shortcut;
    bool enabled = true;
};

// A StatusNotifierItem host on a bus connection of its own, not the item's:
// it owns org.kde.StatusNotifierWatcher and records the items that register,
// reads their properties and DBusMenu layout, calls their methods, clicks
// their menu entries, records the signals they send, and can leave and rejoin
// the bus.
class TestStatusNotifierHost : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion CONSTANT)

public:
    // Joins the bus at once, with a host registered.
    TestStatusNotifierHost();
    ~TestStatusNotifierHost() override;

    bool join();
    // Forgets the registered items, as a watcher that ends does.
    void leave();
    void setHostRegistered(bool registered);

    QStringList registeredItems() const;
    bool isHostRegistered() const;
    int protocolVersion() const;
    bool waitForItem(const QString &service);

    // The item's properties, IconPixmap as QList<QImage>, ToolTip as
    // QStringList{title, body}, Menu as a path string; empty on failure.
    QVariantMap itemProperties(const QString &service);
    QList<HostedMenuEntry> menu(const QString &service);
    // A method of org.kde.StatusNotifierItem; true when it answered.
    bool callItem(const QString &service, const QString &method, const QVariantList &arguments);
    bool clickMenuEntry(const QString &service, int id);

    // Names of the item and menu signals received so far.
    QStringList itemSignals() const;
    void clearItemSignals();

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString &service);
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString &service);

signals:
    Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString &service);
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString &service);
    Q_SCRIPTABLE void StatusNotifierHostRegistered();
    Q_SCRIPTABLE void StatusNotifierHostUnregistered();

private slots:
    void recordItemSignal(const QDBusMessage &message);

private:
    QDBusMessage callAndWait(const QDBusMessage &call);
    QString menuPath(const QString &service);

    QString connectionName;
    QDBusConnection connection;
    QStringList items;
    bool hostRegistered = true;
    QStringList receivedSignals;
};
