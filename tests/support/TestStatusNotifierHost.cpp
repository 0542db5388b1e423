#include "TestStatusNotifierHost.h"

#include <QDBusArgument>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QImage>
#include <QtEndian>
#include <QtTest>

namespace {
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString menuPath = QStringLiteral("/MenuBar");
constexpr int answerTimeoutMs = 5000;

QString newConnectionName()
{
    static int count = 0;
    return QStringLiteral("pellix-test-sni-host-%1").arg(++count);
}

// a(iiay): ARGB32 pictures, each pixel in network byte order.
QList<QImage> decodedPixmaps(const QDBusArgument &argument)
{
    QList<QImage> images;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0, height = 0;
        QByteArray argb;
        argument.beginStructure();
        argument >> width >> height >> argb;
        argument.endStructure();
        QImage image(width, height, QImage::Format_ARGB32);
        if (argb.size() == qsizetype(width) * height * 4) {
            for (int y = 0; y < height; ++y)
                qFromBigEndian<quint32>(argb.constData() + qsizetype(y) * width * 4, width, image.scanLine(y));
        }
        images.append(image);
    }
    argument.endArray();
    return images;
}

// (sa(iiay)ss): icon name, icon, title, body.
QStringList decodedToolTip(const QDBusArgument &argument)
{
    QString iconName, title, body;
    argument.beginStructure();
    argument >> iconName;
    decodedPixmaps(argument);
    argument >> title >> body;
    argument.endStructure();
    return {title, body};
}

HostedMenuEntry decodedMenuEntry(const QDBusArgument &argument)
{
    HostedMenuEntry entry;
    QVariantMap properties;
    argument.beginStructure();
    argument >> entry.id >> properties;
    argument.endStructure();
    entry.label = properties.value(QStringLiteral("label")).toString();
    entry.shortcut = qdbus_cast<QList<QStringList>>(properties.value(QStringLiteral("shortcut")));
    return entry;
}
}

TestStatusNotifierHost::TestStatusNotifierHost()
    : connectionName(newConnectionName())
    , connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
{
    connection.registerObject(watcherPath, this, QDBusConnection::ExportScriptableContents);
    for (const char *name : {"NewTitle", "NewIcon", "NewToolTip"})
        connection.connect({}, {}, itemInterface, QLatin1String(name), this, SLOT(recordItemSignal(QDBusMessage)));
    join();
}

TestStatusNotifierHost::~TestStatusNotifierHost()
{
    connection.unregisterObject(watcherPath);
    connection = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName);
}

bool TestStatusNotifierHost::join() { return connection.registerService(watcherService); }

void TestStatusNotifierHost::leave()
{
    connection.unregisterService(watcherService);
    items.clear();
}

QStringList TestStatusNotifierHost::registeredItems() const { return items; }

bool TestStatusNotifierHost::isHostRegistered() const { return true; }

QVariantMap TestStatusNotifierHost::itemProperties(const QString &service)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, itemPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("GetAll"));
    call << itemInterface;
    const QDBusMessage reply = callAndWait(call);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    const auto decode = [&](const QString &name, auto decoder) {
        properties[name] = QVariant::fromValue(decoder(properties.value(name).template value<QDBusArgument>()));
    };
    decode(QStringLiteral("IconPixmap"), decodedPixmaps);
    decode(QStringLiteral("ToolTip"), decodedToolTip);
    properties[QStringLiteral("Menu")] = properties.value(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    return properties;
}

QList<HostedMenuEntry> TestStatusNotifierHost::menu(const QString &service)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, menuPath, menuInterface, QStringLiteral("GetLayout"));
    call << 0 << -1 << QStringList();
    const QDBusMessage reply = callAndWait(call);
    QList<HostedMenuEntry> entries;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return entries;
    const QDBusArgument root = reply.arguments().value(1).value<QDBusArgument>();
    int rootId = 0;
    QVariantMap rootProperties;
    root.beginStructure();
    root >> rootId >> rootProperties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        entries.append(decodedMenuEntry(child.variant().value<QDBusArgument>()));
    }
    root.endArray();
    root.endStructure();
    return entries;
}

bool TestStatusNotifierHost::callItem(const QString &service, const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, itemPath, itemInterface, method);
    call.setArguments(arguments);
    return callAndWait(call).type() == QDBusMessage::ReplyMessage;
}

bool TestStatusNotifierHost::clickMenuEntry(const QString &service, int id)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, menuPath, menuInterface, QStringLiteral("Event"));
    call << id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(QString())) << 0u;
    return callAndWait(call).type() == QDBusMessage::ReplyMessage;
}

QStringList TestStatusNotifierHost::itemSignals() const { return receivedSignals; }

void TestStatusNotifierHost::clearItemSignals() { receivedSignals.clear(); }

void TestStatusNotifierHost::RegisterStatusNotifierItem(const QString &service)
{
    if (!items.contains(service))
        items.append(service);
    emit StatusNotifierItemRegistered(service);
}

void TestStatusNotifierHost::recordItemSignal(const QDBusMessage &message) { receivedSignals.append(message.member()); }

// The item may live in this very thread, so the answer is awaited with the
// event loop running.
QDBusMessage TestStatusNotifierHost::callAndWait(const QDBusMessage &call)
{
    QDBusPendingCall pending = connection.asyncCall(call, answerTimeoutMs);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, answerTimeoutMs))
        return QDBusMessage::createError(QDBusError::Timeout, QStringLiteral("the item did not answer"));
    return pending.reply();
}
