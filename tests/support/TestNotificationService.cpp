// SPDX-License-Identifier: MIT

#include "TestNotificationService.h"

#include "NotificationsAdaptor.h"

#include <QDBusArgument>
#include <QUuid>
#include <QtTest>

namespace {
const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString servicePath = QStringLiteral("/org/freedesktop/Notifications");

QImage decodedImage(const QVariant &hint)
{
    if (!hint.canConvert<QDBusArgument>())
        return {};
    const QDBusArgument argument = hint.value<QDBusArgument>();
    int width = 0, height = 0, rowStride = 0, bitsPerSample = 0, channels = 0;
    bool hasAlpha = false;
    QByteArray pixels;
    argument.beginStructure();
    argument >> width >> height >> rowStride >> hasAlpha >> bitsPerSample >> channels >> pixels;
    argument.endStructure();
    if (bitsPerSample != 8 || channels != (hasAlpha ? 4 : 3) || pixels.size() < qsizetype(rowStride) * height)
        return {};
    const QImage::Format format = hasAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    return QImage(reinterpret_cast<const uchar *>(pixels.constData()), width, height, rowStride, format).copy();
}
}

TestNotificationService::TestNotificationService()
    : connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QUuid::createUuid().toString()))
{
    new NotificationsAdaptor(this);
    connection.registerObject(servicePath, this, QDBusConnection::ExportAdaptors);
    join();
}

// Gone at once, as a service whose process ends: its name, its object and
// the calls it has not answered, together. The connection closes when its
// last reference, the member, goes.
TestNotificationService::~TestNotificationService() { QDBusConnection::disconnectFromBus(connection.name()); }

bool TestNotificationService::join() { return connection.registerService(serviceName); }

void TestNotificationService::leave() { connection.unregisterService(serviceName); }

void TestNotificationService::dropObject() { connection.unregisterObject(servicePath); }

void TestNotificationService::holdAnswers() { holdingAnswers = true; }

void TestNotificationService::releaseAnswers()
{
    holdingAnswers = false;
    for (const QDBusMessage &answer : std::exchange(heldAnswers, {}))
        connection.send(answer);
}

QList<NotifyCall> TestNotificationService::calls() const { return received; }

void TestNotificationService::clearCalls() { received.clear(); }

bool TestNotificationService::waitForCalls(qsizetype count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return received.size() >= count; }, timeoutMs);
}

void TestNotificationService::invokeAction(uint id, const QString &actionKey, const QString &activationToken)
{
    if (!activationToken.isEmpty())
        Q_EMIT ActivationToken(id, activationToken);
    Q_EMIT ActionInvoked(id, actionKey);
}

void TestNotificationService::closeNotification(uint id, uint reason) { Q_EMIT NotificationClosed(id, reason); }

uint TestNotificationService::Notify(const QString &app_name, uint, const QString &app_icon,
                                     const QString &summary, const QString &body, const QStringList &actions,
                                     const QVariantMap &hints, int expire_timeout)
{
    NotifyCall call{++lastId, app_name, app_icon, summary, body, actions, hints, {}, expire_timeout};
    call.image = decodedImage(call.hints.take(QStringLiteral("image-data")));
    received.append(call);
    if (holdingAnswers) {
        setDelayedReply(true);
        heldAnswers.append(message().createReply(call.id));
    }
    Q_EMIT notified(call);
    return call.id;
}

QStringList TestNotificationService::GetCapabilities()
{
    return {QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup")};
}
