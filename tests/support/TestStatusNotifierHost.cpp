// SPDX-License-Identifier: MIT

#include "TestStatusNotifierHost.h"

#include "DBusMenuProxy.h"
#include "StatusNotifierItemProxy.h"
#include "StatusNotifierWatcherAdaptor.h"
#include "TestDBusPropertiesProxy.h"
#include "tray/StatusNotifierItem.h"

#include <QImage>
#include <QtEndian>
#include <QtTest>

namespace {
using Item = StatusNotifierItemProxy;
using Menu = DBusMenuProxy;

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString menuPath = QStringLiteral("/MenuBar");

// ARGB32 pictures, each pixel in network byte order; none at all when one
// does not hold its width × height pixels.
QList<QImage> imagesOf(const StatusNotifierItem::Pixmaps &pixmaps)
{
    QList<QImage> images;
    for (const auto &[width, height, argb] : pixmaps) {
        QImage image(width, height, QImage::Format_ARGB32);
        if (argb.size() != image.sizeInBytes())
            return {};
        qFromBigEndian<quint32>(argb.constData(), argb.size() / 4, image.bits());
        images.append(image);
    }
    return images;
}

// The item may live in this very thread, so the answer is awaited with the
// event loop running.
bool answered(const QDBusPendingCall &call)
{
    return QTest::qWaitFor([&call] { return call.isFinished(); }) && !call.isError();
}
}

TestStatusNotifierHost::TestStatusNotifierHost()
    : connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                               QStringLiteral("pellix-test-sni-host-%1").arg(quintptr(this))))
{
    new StatusNotifierWatcherAdaptor(this);
    connection.registerObject(watcherPath, this);
    connection.registerService(watcherService);
}

TestStatusNotifierHost::~TestStatusNotifierHost()
{
    connection.unregisterService(watcherService);
    connection.unregisterObject(watcherPath);
    QDBusConnection::disconnectFromBus(connection.name());
}

QVariantMap TestStatusNotifierHost::itemProperties(const QString &service)
{
    const auto all = TestDBusPropertiesProxy(service, itemPath, connection).GetAll(Item::staticInterfaceName());
    QVariantMap properties = answered(all) ? all.value() : QVariantMap();
    const auto toolTip = qdbus_cast<StatusNotifierItem::ToolTip>(properties.value(QStringLiteral("ToolTip")));
    properties[QStringLiteral("ToolTip")] = QStringList{toolTip.title, toolTip.body};
    properties[QStringLiteral("IconPixmap")] = QVariant::fromValue(
        imagesOf(qdbus_cast<StatusNotifierItem::Pixmaps>(properties.value(QStringLiteral("IconPixmap")))));
    properties[QStringLiteral("Menu")] = properties.value(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    return properties;
}

QList<DBusMenuExporter::LayoutItem> TestStatusNotifierHost::menu(const QString &service)
{
    const auto layout = Menu(service, menuPath, connection).GetLayout(0, -1, {});
    return answered(layout) ? layout.argumentAt<1>().children : QList<DBusMenuExporter::LayoutItem>();
}

bool TestStatusNotifierHost::callItem(const QString &service, const QString &method, const QVariantList &arguments)
{
    return answered(Item(service, itemPath, connection).asyncCallWithArgumentList(method, arguments));
}

bool TestStatusNotifierHost::menuEvent(const QString &service, int id, const QString &eventId)
{
    return answered(Menu(service, menuPath, connection).Event(id, eventId, QDBusVariant(QString()), 0));
}

// Each item's signals are heard from the registration on, as a host hears them.
void TestStatusNotifierHost::RegisterStatusNotifierItem(const QString &service)
{
    ++registrations;
    if (!items.contains(service)) {
        items.append(service);
        auto *item = new Item(service, itemPath, connection, this);
        for (const auto signal : {&Item::NewTitle, &Item::NewIcon, &Item::NewToolTip})
            connect(item, signal, this, [this, name = QString::fromLatin1(QMetaMethod::fromSignal(signal).name())] {
                itemSignals.append(name);
                signalsBeforeAnswer += held.isEmpty() ? 0 : 1;
            });
    }
    if (holdRegistrations) {
        setDelayedReply(true);
        held.append(message().createReply());
    }
}

void TestStatusNotifierHost::answerRegistrations()
{
    for (const QDBusMessage &answer : std::exchange(held, {}))
        connection.send(answer);
}

void TestStatusNotifierHost::emitWatcherSignal(const QString &name, const QVariantList &arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(watcherPath, watcherService, name);
    signal.setArguments(arguments);
    connection.send(signal);
}
