// SPDX-License-Identifier: MIT

#pragma once

#include "ApiKeyStore.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The agent's settings by name, kept in the one settings store of the run
// (SettingsStore). Every value is read from the store at each use, so a
// change to the file is seen at the next read; nothing is kept here.
class PellixSettings
{
public:
    // An absent key reads as a null string; an absent integer as 0.
    QString username() const;
    // The user's API key, wherever it lives (ApiKeyStore); empty while the
    // keyring has not given it.
    QString apikey() const;
    ApiKeyStore::Key apikeyEntry() const;
    int bwmenuicon() const;
    QString streamhost() const;
    // Absent when no list has been stored yet (distinct from an empty list).
    std::optional<QStringList> notificationTypesArray() const;

    void setUsername(const QString &username);
    void setBwmenuicon(int bwmenuicon);
    void setStreamhost(const QString &streamhost);
    void setNotificationTypesArray(const QStringList &types);

    // Writes pending changes to disk now, keeping the file owner-only.
    // Whether they are there: never for a file that must not be written.
    bool synchronize();

    QString fileName() const;
    // Why the file could not be written last ("the disk is full"), while the
    // changes wait to be; empty once a write succeeds.
    QString writeFailure() const;
    // Whether changes are kept: false while the file is unusable or read-only.
    bool isWritable() const;

private:
    static QVariant read(const QString &key);
    static void write(const QString &key, const QVariant &value);
};
