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
};

// A StatusNotifierItem host on a bus connection of its own, not the item's:
// it owns org.kde.StatusNotifierWatcher (with a host always registered) and
// records the items that register, reads their properties and DBusMenu
// layout, calls their methods, clicks their menu entries, records the
// signals they send, and can leave and rejoin the bus as a panel restarting.
class TestStatusNotifierHost : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)

public:
    // Joins the bus at once.
    TestStatusNotifierHost();
    ~TestStatusNotifierHost() override;

    bool join();
    // Forgets the registered items, as a watcher that ends does.
    void leave();

    QStringList registeredItems() const;
    bool isHostRegistered() const;

    // The item's properties, IconPixmap as QList<QImage>, ToolTip as
    // QStringList{title, body}, Menu as a path string; empty on failure.
    QVariantMap itemProperties(const QString &service);
    QList<HostedMenuEntry> menu(const QString &service);
    // A method of org.kde.StatusNotifierItem; true when it answered.
    bool callItem(const QString &service, const QString &method, const QVariantList &arguments);
    bool clickMenuEntry(const QString &service, int id);

    // Names of the item's signals received so far.
    QStringList itemSignals() const;
    void clearItemSignals();

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString &service);

signals:
    Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString &service);

private slots:
    void recordItemSignal(const QDBusMessage &message);

private:
    QDBusMessage callAndWait(const QDBusMessage &call);

    QString connectionName;
    QDBusConnection connection;
    QStringList items;
    QStringList receivedSignals;
};
