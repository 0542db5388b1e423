#include "TestStatusNotifierHost.h"

#include "tray/StatusNotifierItem.h"

#include <QDBusPendingCall>
#include <QImage>
#include <QtEndian>
#include <QtTest>

namespace {
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuPath = QStringLiteral("/MenuBar");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

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
}

TestStatusNotifierHost::TestStatusNotifierHost()
    : connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                               QStringLiteral("pellix-test-sni-host-%1").arg(quintptr(this))))
{
    connection.registerObject(watcherPath, this, QDBusConnection::ExportScriptableContents);
    for (const char *name : {"NewTitle", "NewIcon", "NewToolTip"})
        connection.connect({}, {}, itemInterface, QLatin1String(name), this, SLOT(recordItemSignal(QDBusMessage)));
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
    const QDBusMessage reply = call(service, itemPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("GetAll"), {itemInterface});
    QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    const auto toolTip = qdbus_cast<StatusNotifierItem::ToolTip>(properties.value(QStringLiteral("ToolTip")));
    properties[QStringLiteral("ToolTip")] = QStringList{toolTip.title, toolTip.body};
    properties[QStringLiteral("IconPixmap")] = QVariant::fromValue(
        imagesOf(qdbus_cast<StatusNotifierItem::Pixmaps>(properties.value(QStringLiteral("IconPixmap")))));
    properties[QStringLiteral("Menu")] = properties.value(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    return properties;
}

QList<DBusMenuExporter::LayoutItem> TestStatusNotifierHost::menu(const QString &service)
{
    const QVariantList wholeLayout{0, -1, QStringList()};
    const QDBusMessage reply = call(service, menuPath, menuInterface, QStringLiteral("GetLayout"), wholeLayout);
    return qdbus_cast<DBusMenuExporter::LayoutItem>(reply.arguments().value(1)).children;
}

bool TestStatusNotifierHost::callItem(const QString &service, const QString &method, const QVariantList &arguments)
{
    return call(service, itemPath, itemInterface, method, arguments).type() == QDBusMessage::ReplyMessage;
}

bool TestStatusNotifierHost::menuEvent(const QString &service, int id, const QString &eventId)
{
    const QVariantList event{id, eventId, QVariant::fromValue(QDBusVariant(QString())), 0u};
    return call(service, menuPath, menuInterface, QStringLiteral("Event"), event).type() == QDBusMessage::ReplyMessage;
}

void TestStatusNotifierHost::RegisterStatusNotifierItem(const QString &service)
{
    ++registrations;
    if (!items.contains(service))
        items.append(service);
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

void TestStatusNotifierHost::recordItemSignal(const QDBusMessage &message)
{
    itemSignals.append(message.member());
    signalsBeforeAnswer += held.isEmpty() ? 0 : 1;
}

// The item may live in this very thread, so the answer is awaited with the
// event loop running; one that never comes is an invalid message.
QDBusMessage TestStatusNotifierHost::call(const QString &service, const QString &path, const QString &interface,
                                          const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    const QDBusPendingCall pending = connection.asyncCall(message);
    return QTest::qWaitFor([&] { return pending.isFinished(); }) ? pending.reply() : QDBusMessage();
}
