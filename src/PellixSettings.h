#pragma once

#include "SettingsFileCondition.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <optional>

// The agent's per-user settings store ("Pellix"/"PellixGrowl" in Qt's native
// format, $XDG_CONFIG_HOME/Pellix/PellixGrowl.conf). Every value is read afresh
// from the store at each use; nothing is cached here. Because the file holds
// the API key it is kept readable by its owner only. A file that cannot be
// read or parsed reads as no settings; it and a read-only one are never written.
class PellixSettings
{
public:
    PellixSettings();

    // An absent key reads as a null string; an absent integer as 0.
    QString username() const;
    QString apikey() const;
    int bwmenuicon() const;
    QString streamhost() const;
    // Absent when no list has been stored yet (distinct from an empty list).
    std::optional<QStringList> notificationTypesArray() const;

    void setUsername(const QString &username);
    void setApikey(const QString &apikey);
    void setBwmenuicon(int bwmenuicon);
    void setStreamhost(const QString &streamhost);
    void setNotificationTypesArray(const QStringList &types);

    // Writes pending changes to disk, keeping the file owner-only. Whether
    // they are there: never for a file that must not be written.
    bool synchronize();

    QString fileName() const;
    // Whether changes are kept: false while the file is unusable or read-only.
    bool isWritable() const;

private:
    QVariant read(const QString &key) const;
    void write(const QString &key, const QVariant &value);
    void keepOwnerOnly() const;

    QSettings store;
    SettingsFileCondition::Condition fileCondition = SettingsFileCondition::Missing;
};
