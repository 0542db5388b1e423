#include "TestStatusNotifierHost.h"

#include "StatusNotifierItem.h"

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
    join();
}

TestStatusNotifierHost::~TestStatusNotifierHost()
{
    connection.unregisterObject(watcherPath);
    QDBusConnection::disconnectFromBus(connection.name());
}

bool TestStatusNotifierHost::join() { return connection.registerService(watcherService); }

void TestStatusNotifierHost::leave()
{
    connection.unregisterService(watcherService);
    items.clear();
}

QVariantMap TestStatusNotifierHost::itemProperties(const QString &service)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, itemPath,
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("GetAll"));
    call << itemInterface;
    QVariantMap properties = qdbus_cast<QVariantMap>(callAndWait(call).arguments().value(0));
    const auto toolTip = qdbus_cast<StatusNotifierItem::ToolTip>(properties.value(QStringLiteral("ToolTip")));
    properties[QStringLiteral("ToolTip")] = QStringList{toolTip.title, toolTip.body};
    properties[QStringLiteral("IconPixmap")] = QVariant::fromValue(
        imagesOf(qdbus_cast<StatusNotifierItem::Pixmaps>(properties.value(QStringLiteral("IconPixmap")))));
    properties[QStringLiteral("Menu")] = properties.value(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    return properties;
}

QList<DBusMenuExporter::LayoutItem> TestStatusNotifierHost::menu(const QString &service)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, menuPath, menuInterface,
                                                       QStringLiteral("GetLayout"));
    call << 0 << -1 << QStringList();
    return qdbus_cast<DBusMenuExporter::LayoutItem>(callAndWait(call).arguments().value(1)).children;
}

bool TestStatusNotifierHost::callItem(const QString &service, const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, itemPath, itemInterface, method);
    call.setArguments(arguments);
    return callAndWait(call).type() == QDBusMessage::ReplyMessage;
}

bool TestStatusNotifierHost::clickMenuEntry(const QString &service, int id)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, menuPath, menuInterface,
                                                       QStringLiteral("Event"));
    call << id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(QString())) << 0u;
    return callAndWait(call).type() == QDBusMessage::ReplyMessage;
}

void TestStatusNotifierHost::RegisterStatusNotifierItem(const QString &service)
{
    if (!items.contains(service))
        items.append(service);
}

void TestStatusNotifierHost::recordItemSignal(const QDBusMessage &message) { itemSignals.append(message.member()); }

// The item may live in this very thread, so the answer is awaited with the
// event loop running; one that never comes is an invalid message.
QDBusMessage TestStatusNotifierHost::callAndWait(const QDBusMessage &call)
{
    const QDBusPendingCall pending = connection.asyncCall(call);
    return QTest::qWaitFor([&] { return pending.isFinished(); }) ? pending.reply() : QDBusMessage();
}
