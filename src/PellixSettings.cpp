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
constexpr QFile::Permissions ownersOwn = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions groupOrOthers = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                             | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
}

PellixSettings::PellixSettings()
    : store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellix"), QStringLiteral("PellixGrowl"))
{
    keepOwnerOnly();
    fileCondition = SettingsFileCondition::of(store.fileName());
}

QString PellixSettings::username() const { return read(usernameKey).toString(); }
QString PellixSettings::apikey() const { return read(apikeyKey).toString(); }
int PellixSettings::bwmenuicon() const { return read(bwmenuiconKey).toInt(); }
QString PellixSettings::streamhost() const { return read(streamhostKey).toString(); }

std::optional<QStringList> PellixSettings::notificationTypesArray() const
{
    const QVariant types = read(notificationTypesArrayKey);
    if (!types.isValid())
        return std::nullopt;
    return types.toStringList();
}

void PellixSettings::setUsername(const QString &username) { write(usernameKey, username); }
void PellixSettings::setApikey(const QString &apikey) { write(apikeyKey, apikey); }
void PellixSettings::setBwmenuicon(int bwmenuicon) { write(bwmenuiconKey, bwmenuicon); }
void PellixSettings::setStreamhost(const QString &streamhost) { write(streamhostKey, streamhost); }

void PellixSettings::setNotificationTypesArray(const QStringList &types) { write(notificationTypesArrayKey, types); }

bool PellixSettings::isWritable() const
{
    return fileCondition == SettingsFileCondition::Missing || fileCondition == SettingsFileCondition::Sound;
}

// What a file Qt cannot read or parse may hold is unknown: the agent runs as
// without settings rather than on a part of them.
QVariant PellixSettings::read(const QString &key) const
{
    return fileCondition == SettingsFileCondition::Unusable ? QVariant() : store.value(key);
}

// Changes to a file that must not be written stay unmade, so that the store
// never writes it: not on sync, not when it is destroyed.
void PellixSettings::write(const QString &key, const QVariant &value)
{
    if (isWritable())
        store.setValue(key, value);
}

bool PellixSettings::synchronize()
{
    store.sync();
    keepOwnerOnly();
    return isWritable() && store.status() == QSettings::NoError;
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
    // Only others lose their access; the owner's own, read-only included, is kept.
    if (file.isFile() && (file.permissions() & groupOrOthers))
        QFile::setPermissions(file.absoluteFilePath(), file.permissions() & ownersOwn);
}
