// SPDX-License-Identifier: MIT

#include "PellixSettings.h"

#include "SettingsStore.h"

namespace {
const QString usernameKey = QStringLiteral("username");
const QString bwmenuiconKey = QStringLiteral("bwmenuicon");
const QString streamhostKey = QStringLiteral("streamhost");
const QString notificationTypesArrayKey = QStringLiteral("notificationTypesArray");
}

QString PellixSettings::username() const { return read(usernameKey).toString(); }
QString PellixSettings::apikey() const { return apikeyEntry().value; }
ApiKeyStore::Key PellixSettings::apikeyEntry() const { return ApiKeyStore::instance().keyOf(username().toLower()); }
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
void PellixSettings::setBwmenuicon(int bwmenuicon) { write(bwmenuiconKey, bwmenuicon); }
void PellixSettings::setStreamhost(const QString &streamhost) { write(streamhostKey, streamhost); }

void PellixSettings::setNotificationTypesArray(const QStringList &types) { write(notificationTypesArrayKey, types); }

bool PellixSettings::synchronize() { return SettingsStore::instance().flush(); }

QString PellixSettings::fileName() const { return SettingsStore::instance().fileName(); }

QString PellixSettings::writeFailure() const { return SettingsStore::instance().writeFailure(); }
bool PellixSettings::isWritable() const { return SettingsStore::instance().isWritable(); }

QVariant PellixSettings::read(const QString &key) { return SettingsStore::instance().value(key); }

void PellixSettings::write(const QString &key, const QVariant &value) { SettingsStore::instance().setValue(key, value); }
