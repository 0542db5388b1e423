// SPDX-License-Identifier: MIT

#include "SecretServiceAccess.h"

#include "DBusPropertiesProxy.h"
#include "SecretServiceProxy.h"
#include "session/LoggingCategories.h"

#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>

#include <libsecret/secret.h>

const QString SecretServiceAccess::name = QStringLiteral("org.freedesktop.secrets");
const QString SecretServiceAccess::path = QStringLiteral("/org/freedesktop/secrets");
const QString SecretServiceAccess::interface = QStringLiteral("org.freedesktop.Secret.Service");

QString SecretServiceAccess::labelFor(const QString &username) { return QStringLiteral("Pellix API key for %1").arg(username); }

void SecretServiceAccess::label(const QString &service, const QString &username)
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    SecretServiceProxy secrets(name, path, QDBusConnection::sessionBus());
    // The attributes QtKeychain files the item under.
    const QMap<QString, QString> attributes{{QStringLiteral("xdg:schema"), QStringLiteral("org.qt.keychain")},
                                            {QStringLiteral("server"), service},
                                            {QStringLiteral("user"), username}};
    auto *search = new QDBusPendingCallWatcher(secrets.SearchItems(attributes));
    QObject::connect(search, &QDBusPendingCallWatcher::finished, [username](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusPendingReply<QList<QDBusObjectPath>, QList<QDBusObjectPath>> found = *finished;
        if (found.isError())
            qCInfo(lcPrefs).noquote() << "the keyring item keeps its label:" << found.error().message();
        for (const QDBusObjectPath &item : found.argumentAt<0>()) {
            DBusPropertiesProxy properties(name, item.path(), QDBusConnection::sessionBus());
            properties.Set(QStringLiteral("org.freedesktop.Secret.Item"), QStringLiteral("Label"),
                           QDBusVariant(labelFor(username)));
        }
    });
}

void SecretServiceAccess::askForDefaultCollection(QObject *context, std::function<void(Collection)> answer)
{
    SecretServiceProxy secrets(name, path, QDBusConnection::sessionBus());
    auto *found = new QDBusPendingCallWatcher(secrets.ReadAlias(QStringLiteral("default")), context);
    QObject::connect(found, &QDBusPendingCallWatcher::finished, context, [context, answer](QDBusPendingCallWatcher *read) {
        read->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> alias = *read;
        if (alias.isError())
            return answer(Collection::Open);
        if (alias.value().path() == QLatin1String("/"))
            return answer(Collection::Missing);
        DBusPropertiesProxy collection(name, alias.value().path(), QDBusConnection::sessionBus());
        auto *asked = new QDBusPendingCallWatcher(
            collection.Get(QStringLiteral("org.freedesktop.Secret.Collection"), QStringLiteral("Locked")), context);
        QObject::connect(asked, &QDBusPendingCallWatcher::finished, context, [answer](QDBusPendingCallWatcher *got) {
            got->deleteLater();
            const QDBusPendingReply<QDBusVariant> locked = *got;
            answer(!locked.isError() && locked.value().variant().toBool() ? Collection::Locked : Collection::Open);
        });
    });
}

void SecretServiceAccess::forgetSession() { secret_service_disconnect(); }
