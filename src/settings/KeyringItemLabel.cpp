// SPDX-License-Identifier: MIT

#include "KeyringItemLabel.h"

#include "DBusPropertiesProxy.h"
#include "SecretServiceProxy.h"
#include "session/LoggingCategories.h"

#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>

namespace {
const QString secretService = QStringLiteral("org.freedesktop.secrets");
}

QString KeyringItemLabel::of(const QString &username) { return QStringLiteral("Pellix API key for %1").arg(username); }

void KeyringItemLabel::apply(const QString &service, const QString &username)
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    SecretServiceProxy secrets(secretService, QStringLiteral("/org/freedesktop/secrets"),
                               QDBusConnection::sessionBus());
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
            DBusPropertiesProxy properties(secretService, item.path(), QDBusConnection::sessionBus());
            properties.Set(QStringLiteral("org.freedesktop.Secret.Item"), QStringLiteral("Label"),
                           QDBusVariant(of(username)));
        }
    });
}
