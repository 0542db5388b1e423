// SPDX-License-Identifier: MIT

#pragma once

#include "tray/DBusMenuExporter.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A StatusNotifierItem host on a bus connection of its own, not the item's:
// it owns org.kde.StatusNotifierWatcher (with a host always registered),
// records the items that register and the signals they send, reads their
// properties and DBusMenu layout, and calls them. A panel restarting is one
// host ended and another made. It may hold its answers to registrations back,
// as a slow shell does, and counts the item signals that come before them.
class TestStatusNotifierHost : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER hostRegistered)

public:
    TestStatusNotifierHost();
    ~TestStatusNotifierHost() override;

    // The item's properties, IconPixmap as QList<QImage> (none when one is
    // malformed), ToolTip as QStringList{title, body}, Menu as a path string.
    QVariantMap itemProperties(const QString &service);
    // The entries of the item's menu, as its exporter lays them out.
    QList<DBusMenuExporter::LayoutItem> menu(const QString &service);
    // A method of org.kde.StatusNotifierItem; true when it answered.
    bool callItem(const QString &service, const QString &method, const QVariantList &arguments);
    // A DBusMenu event ("clicked", "opened", …) on an entry (0: the menu); true when it answered.
    bool menuEvent(const QString &service, int id, const QString &event);

    // Answers the registrations held back so far.
    void answerRegistrations();
    // Sends a signal of the watcher's to every item.
    void emitWatcherSignal(const QString &name, const QVariantList &arguments = {});

    // The watcher's method, called through its adaptor.
    void RegisterStatusNotifierItem(const QString &service);

    // The registered items' services.
    QStringList items;
    // Names of the item's signals received so far.
    QStringList itemSignals;
    bool holdRegistrations = false;
    int registrations = 0;
    // Item signals received while a registration was held back.
    int signalsBeforeAnswer = 0;

private:
    QDBusConnection connection;
    bool hostRegistered = true;
    QList<QDBusMessage> held;
};
