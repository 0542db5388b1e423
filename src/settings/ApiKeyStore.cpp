// SPDX-License-Identifier: MIT

#include "ApiKeyStore.h"

#include "SecretServiceAccess.h"
#include "SettingsStore.h"
#include "session/LoggingCategories.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QPointer>

#include <qt6keychain/keychain.h>

#include <algorithm>

namespace {
const QString fileKey = QStringLiteral("apikey");
// The Secret Service (GNOME Keyring, KeePassXC) and Plasma's KWallet.
QStringList keyringServices()
{
    return {SecretServiceAccess::name, QStringLiteral("org.kde.kwalletd6"), QStringLiteral("org.kde.kwalletd5")};
}

ApiKeyStore::Key known(const QString &value) { return {ApiKeyStore::Key::Status::Known, value, {}}; }
}

const QString ApiKeyStore::service = QStringLiteral("org.pellix.PellixGrowl");

ApiKeyStore &ApiKeyStore::instance()
{
    static QPointer<ApiKeyStore> store;
    if (!store)
        store = new ApiKeyStore(QCoreApplication::instance());
    return *store;
}

ApiKeyStore::ApiKeyStore(QObject *parent)
    : QObject(parent)
    , keyrings(QString(), QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForRegistration)
{
    keyrings.setWatchedServices(keyringServices());
    connect(&keyrings, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        SecretServiceAccess::forgetSession();
        keyringChanged();
    });
    // Among the changes: a collection unlocked, or made where there was none.
    for (const QString &change : {QStringLiteral("CollectionChanged"), QStringLiteral("CollectionCreated")})
        QDBusConnection::sessionBus().connect(SecretServiceAccess::name, SecretServiceAccess::path,
                                              SecretServiceAccess::interface, change, this, SLOT(keyringChanged()));
}

// A keyring that can be started counts: at login it may come after the agent.
// One found to hold no collection does not. Throw-away runs (the demo) keep
// their key out of the user's keyring.
ApiKeyStore::Location ApiKeyStore::location() const
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    if (!bus || noCollection || qEnvironmentVariable("PELLIX_KEY_STORE") == QLatin1String("file"))
        return Location::SettingsFile;
    const QStringList activatable = bus->activatableServiceNames().value();
    const QStringList names = keyringServices();
    const bool available = std::any_of(names.begin(), names.end(), [&](const QString &name) {
        return activatable.contains(name) || bus->isServiceRegistered(name).value();
    });
    return available ? Location::Keyring : Location::SettingsFile;
}

QString ApiKeyStore::whereKept() const
{
    if (location() == Location::SettingsFile)
        return tr("Stored in the settings file; no keyring is running");
    if (!keyInFile().isEmpty())
        return tr("Stored in the settings file until it can be moved into your keyring");
    return tr("Stored in your keyring");
}

QString ApiKeyStore::keyInFile() { return SettingsStore::instance().value(fileKey).toString(); }

ApiKeyStore::Key ApiKeyStore::keyOf(const QString &username)
{
    const QString inFile = keyInFile();
    if (!inFile.isEmpty()) {
        moveIntoKeyring(username, inFile);
        return known(inFile);
    }
    if (const auto found = keys.constFind(username); found != keys.constEnd())
        return *found;
    if (username.isEmpty() || location() == Location::SettingsFile)
        return known({});
    read(username);
    return keys.value(username);
}

void ApiKeyStore::read(const QString &username)
{
    keys.insert(username, {Key::Status::BeingRead, {}, {}});
    start(new QKeychain::ReadPasswordJob(service, this), username, [this, username](const QKeychain::Job &job) {
        const auto &reading = static_cast<const QKeychain::ReadPasswordJob &>(job);
        if (reading.error() == QKeychain::NoError) {
            entryOwner = username;
            return readFinished(username, known(reading.textData()));
        }
        if (reading.error() != QKeychain::EntryNotFound)
            return readFinished(username, {Key::Status::Unreadable, {}, reading.errorString()});
        SecretServiceAccess::askForDefaultCollection(this, [this, username](SecretServiceAccess::Collection collection) {
            noCollection = collection == SecretServiceAccess::Collection::Missing;
            readFinished(username, collection == SecretServiceAccess::Collection::Locked
                                       ? Key{Key::Status::Unreadable, {}, QStringLiteral("the keyring is locked")}
                                       : known({}));
        });
    });
}

void ApiKeyStore::readFinished(const QString &username, const Key &key)
{
    if (key.status == Key::Status::Unreadable)
        qCWarning(lcPrefs).noquote() << "the keyring did not give the API key:" << key.failure;
    keys.insert(username, key);
    Q_EMIT changed();
}

// Written, read back and compared before the file lets go of it; a failure
// leaves the file's key in place, and in use.
void ApiKeyStore::moveIntoKeyring(const QString &username, const QString &key)
{
    if (moving || moveFailed || username.isEmpty() || location() == Location::SettingsFile)
        return;
    moving = true;
    const auto giveUp = [this](const QString &why) {
        qCWarning(lcPrefs).noquote() << "the API key stays in the settings file:" << why;
        moving = false;
        moveFailed = true;
    };
    writeToKeyring(username, key, [this, username, key, giveUp](const QString &failure) {
        if (!failure.isEmpty())
            return giveUp(failure);
        start(new QKeychain::ReadPasswordJob(service, this), username,
              [this, username, key, giveUp](const QKeychain::Job &job) {
                  if (static_cast<const QKeychain::ReadPasswordJob &>(job).textData() != key)
                      return giveUp(QStringLiteral("the keyring gave back another key"));
                  moving = false;
                  keys.insert(username, known(key));
                  // A key put into the file meanwhile is newer: it stays, to be moved in turn.
                  if (keyInFile() == key) {
                      SettingsStore::instance().setValue(fileKey, QVariant());
                      SettingsStore::instance().flush();
                  }
                  qCInfo(lcPrefs) << "moved the API key from the settings file into the keyring";
              });
    });
}

void ApiKeyStore::save(const QString &username, const QString &key, Saved saved)
{
    if (username.isEmpty() || location() == Location::SettingsFile) {
        SettingsStore::instance().setValue(fileKey, key);
        saved({});
        return;
    }
    writeToKeyring(username, key, [this, username, key, saved](const QString &failure) {
        if (failure.isEmpty()) {
            keys.insert(username, known(key));
            if (!keyInFile().isNull())
                SettingsStore::instance().setValue(fileKey, QVariant());
        }
        saved(failure);
    });
}

void ApiKeyStore::writeToKeyring(const QString &username, const QString &key, Saved written)
{
    const auto finished = [this, username, key, written](const QKeychain::Job &job) {
        const bool done = job.error() == QKeychain::NoError || (key.isEmpty() && job.error() == QKeychain::EntryNotFound);
        if (done) {
            forgetOtherEntries(username);
            entryOwner = key.isEmpty() ? QString() : username;
            if (!key.isEmpty())
                SecretServiceAccess::label(service, username);
        }
        written(done ? QString() : job.errorString());
    };
    if (key.isEmpty())
        return start(new QKeychain::DeletePasswordJob(service, this), username, finished);
    auto *job = new QKeychain::WritePasswordJob(service, this);
    job->setTextData(key);
    start(job, username, finished);
}

void ApiKeyStore::forgetOtherEntries(const QString &username)
{
    if (entryOwner.isEmpty() || entryOwner == username)
        return;
    keys.remove(entryOwner);
    start(new QKeychain::DeletePasswordJob(service, this), entryOwner, [](const QKeychain::Job &job) {
        if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound)
            qCWarning(lcPrefs).noquote() << "the previous user's API key stays in the keyring:" << job.errorString();
    });
}

void ApiKeyStore::keyringChanged()
{
    moveFailed = false;
    noCollection = false;
    keys.removeIf([](const auto &entry) { return entry.value().status == Key::Status::Unreadable; });
    Q_EMIT changed();
}

void ApiKeyStore::start(QKeychain::Job *job, const QString &username,
                        std::function<void(const QKeychain::Job &)> finished)
{
    job->setKey(username);
    connect(job, &QKeychain::Job::finished, this, [finished](QKeychain::Job *done) { finished(*done); });
    job->start();
}
