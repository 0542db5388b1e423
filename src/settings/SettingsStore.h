// SPDX-License-Identifier: MIT

#pragma once

#include "SettingsFileCondition.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QTimer>
#include <QVariantHash>

#include <chrono>
#include <memory>
#include <optional>

// The agent's settings file ($XDG_CONFIG_HOME/Pellix/PellixGrowl.conf, Qt's
// INI format), one store for the whole run. The file is read and parsed once
// per version on disk: each read looks whether it has changed since, and
// reads it again only then. Changes wait up to writeDelay and are written
// together, so that a burst of them costs one rewrite; flush() writes them at
// once. Because the file holds the API key it is kept readable by its owner
// only. A file that is not one the agent may use, cannot be read or does not
// parse reads as no settings, and it and a read-only one are never written.
// A write that fails (a full disk, a read-only folder) leaves the file as it
// was and the changes waiting: they are read back as made, and written again
// after a growing delay, or sooner with the next change. Its folder is watched, so that a change made on disk by another hand is
// read (once) and told as it happens.
class SettingsStore : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds writeDelay{1000};
    static constexpr std::chrono::milliseconds longestRetryDelay{std::chrono::minutes(5)};

    static SettingsStore &instance();

    // The value on disk, or the change to it not yet written; none when absent.
    QVariant value(const QString &key);
    // An invalid value removes the key. Ignored while the file must not be written.
    void setValue(const QString &key, const QVariant &value);
    // Writes the waiting changes now. Whether the file holds every change:
    // never for a file that must not be written.
    bool flush();

    QString fileName() const;
    bool isWritable();
    // Why the last write failed ("the disk is full"); empty once one succeeds.
    QString writeFailure() const;
    // A rewrite killed between writing its copy (PellixGrowl.conf.XXXXXX)
    // and putting it in place leaves the copy, API key and all: removes
    // those, the user's own regular files of that name, and nothing else.
    // For the running agent only, never while another may be writing.
    void removeLeftoverCopies() const;

Q_SIGNALS:
    // The file on disk now holds what the agent did not write itself.
    void changedOnDisk();

private:
    explicit SettingsStore(QObject *parent);
    ~SettingsStore() override;

    void refresh();
    void watch();
    void folderChanged();
    void load(const SettingsFileCondition::Version &version);
    bool parseFailedBefore() const;
    void reportUnusable(const QString &reason);
    void createOwnerOnly();
    bool noteWrite(bool written);

    const QString path;
    std::unique_ptr<QSettings> settings;
    SettingsFileCondition::Condition condition = SettingsFileCondition::Missing;
    std::optional<SettingsFileCondition::Version> loadedVersion;
    // Qt keeps what it parsed of a file for as long as its size and time of
    // modification stay the same: a failed parse holds as long.
    std::optional<std::pair<qint64, QDateTime>> unparsableContent;
    QString reportedReason;
    QString failedWrite;
    std::chrono::milliseconds retryDelay = writeDelay;
    QVariantHash pending;
    QTimer writeLater;
    QFileSystemWatcher folder;
};
