#include "PellixSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QString usernameKey = QStringLiteral("username");
const QString apikeyKey = QStringLiteral("apikey");
const QString bwmenuiconKey = QStringLiteral("bwmenuicon");
const QString streamhostKey = QStringLiteral("streamhost");
const QString notificationTypesArrayKey = QStringLiteral("notificationTypesArray");

constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions groupOrOthers = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                             | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
}

PellixSettings::PellixSettings()
    : store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellix"), QStringLiteral("PellixGrowl"))
{
    keepOwnerOnly();
}

QString PellixSettings::username() const { return store.value(usernameKey).toString(); }
QString PellixSettings::apikey() const { return store.value(apikeyKey).toString(); }
int PellixSettings::bwmenuicon() const { return store.value(bwmenuiconKey).toInt(); }
QString PellixSettings::streamhost() const { return store.value(streamhostKey).toString(); }

std::optional<QStringList> PellixSettings::notificationTypesArray() const
{
    if (!store.contains(notificationTypesArrayKey))
        return std::nullopt;
    return store.value(notificationTypesArrayKey).toStringList();
}

void PellixSettings::setUsername(const QString &username) { store.setValue(usernameKey, username); }
void PellixSettings::setApikey(const QString &apikey) { store.setValue(apikeyKey, apikey); }
void PellixSettings::setBwmenuicon(int bwmenuicon) { store.setValue(bwmenuiconKey, bwmenuicon); }
void PellixSettings::setStreamhost(const QString &streamhost) { store.setValue(streamhostKey, streamhost); }

void PellixSettings::setNotificationTypesArray(const QStringList &types)
{
    store.setValue(notificationTypesArrayKey, types);
}

void PellixSettings::synchronize()
{
    store.sync();
    keepOwnerOnly();
}

QString PellixSettings::fileName() const { return store.fileName(); }

// Qt rewrites the file through a temporary that keeps the permissions of the
// file it replaces, so creating it owner-only up front means the API key is
// never readable by others, not even between a write and a chmod.
void PellixSettings::keepOwnerOnly() const
{
    const QFileInfo file(store.fileName());
    if (!file.exists()) {
        QDir().mkpath(file.absolutePath());
        QFile create(file.absoluteFilePath());
        if (create.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly))
            create.close();
        return;
    }
    if (file.permissions() & groupOrOthers)
        QFile::setPermissions(file.absoluteFilePath(), ownerOnly);
}
