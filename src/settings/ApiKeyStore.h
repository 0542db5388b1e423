// SPDX-License-Identifier: MIT

#pragma once

#include <QDBusServiceWatcher>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace QKeychain {
class Job;
}

// Where the API key lives: in the desktop's keyring (the Secret Service, or
// KWallet on Plasma, through QtKeychain) when one is on the session bus or
// can be started there and has a collection to store it in, else in the
// settings file as before. The keyring
// holds one entry per user: service org.pellix.PellixGrowl, key the user
// name in lower case. A key in the settings file (from an older version, or
// put there by hand) is the one in use; with a keyring it is moved there,
// and removed from the file only once it reads back the same. Reading may
// wait for the user to unlock the keyring; it never blocks the event loop.
class ApiKeyStore : public QObject
{
    Q_OBJECT

public:
    static const QString service;

    enum class Location { Keyring, SettingsFile };

    struct Key
    {
        enum class Status { Known, BeingRead, Unreadable };
        Status status = Status::Known;
        // Empty when none is stored.
        QString value;
        // Why the keyring did not give it.
        QString failure;
    };

    // Done with an empty failure once the key is where it lives.
    using Saved = std::function<void(const QString &failure)>;

    static ApiKeyStore &instance();

    Location location() const;
    // Where the user's key is kept, as Preferences tells it.
    QString whereKept() const;
    // The user's key, from the settings file or from what the keyring gave;
    // otherwise reading it starts, and changed() tells when it ends. A read
    // that failed (a locked keyring among the causes) is tried again when a
    // keyring comes onto the bus or changes, or the key is saved.
    Key keyOf(const QString &username);
    // Stores the key where it lives; an empty key removes it. With a
    // keyring, it is removed from the settings file and from the entry of a
    // user saved before, so it is never kept twice.
    void save(const QString &username, const QString &key, Saved saved);

Q_SIGNALS:
    // A read ended, or a keyring came onto the bus or changed (was unlocked,
    // say): keyOf() may answer differently.
    void changed();

private Q_SLOTS:
    void keyringChanged();

private:
    explicit ApiKeyStore(QObject *parent);

    static QString keyInFile();
    void read(const QString &username);
    void readFinished(const QString &username, const Key &key);
    void moveIntoKeyring(const QString &username, const QString &key);
    void writeToKeyring(const QString &username, const QString &key, Saved written);
    void forgetOtherEntries(const QString &username);
    void start(QKeychain::Job *job, const QString &username, std::function<void(const QKeychain::Job &)> finished);

    QHash<QString, Key> keys;
    // The user whose entry the keyring holds, as far as this run knows.
    QString entryOwner;
    bool moving = false;
    // A move that failed waits for another keyring rather than asking again.
    bool moveFailed = false;
    // A Secret Service without a default collection stores nothing.
    bool noCollection = false;
    QDBusServiceWatcher keyrings;
};
