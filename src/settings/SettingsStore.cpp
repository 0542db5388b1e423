// SPDX-License-Identifier: MIT

#include "SettingsStore.h"

#include "session/LoggingCategories.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStorageInfo>

#include <unistd.h>

namespace {
QString settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Pellix/PellixGrowl.conf");
}

// A file is written in full beside the one it replaces.
QString whyWritingFails(const QString &path)
{
    const QFileInfo file(path);
    const QStorageInfo disk(file.absolutePath());
    if (disk.isReadOnly())
        return SettingsStore::tr("its disk is read-only");
    if (disk.bytesAvailable() < file.size() + disk.blockSize())
        return SettingsStore::tr("the disk is full");
    if (!QFileInfo(file.absolutePath()).isWritable())
        return SettingsStore::tr("its folder cannot be written");
    return SettingsStore::tr("writing it failed");
}

std::pair<qint64, QDateTime> contentAsQtSeesIt(const QString &path)
{
    const QFileInfo file(path);
    return {file.size(), file.lastModified()};
}
}

// Owned by the application, so that it writes what is still waiting before
// Qt's own globals go.
SettingsStore &SettingsStore::instance()
{
    static QPointer<SettingsStore> store;
    if (!store)
        store = new SettingsStore(QCoreApplication::instance());
    return *store;
}

SettingsStore::SettingsStore(QObject *parent)
    : QObject(parent)
    , path(settingsPath())
{
    writeLater.setSingleShot(true);
    writeLater.setInterval(writeDelay);
    connect(&writeLater, &QTimer::timeout, this, &SettingsStore::flush);
    connect(&folder, &QFileSystemWatcher::directoryChanged, this, &SettingsStore::folderChanged);
    watch();
}

SettingsStore::~SettingsStore() { flush(); }

QVariant SettingsStore::value(const QString &key)
{
    refresh();
    if (!settings)
        return {};
    const auto change = pending.constFind(key);
    return change != pending.cend() ? *change : settings->value(key);
}

void SettingsStore::setValue(const QString &key, const QVariant &value)
{
    if (!isWritable())
        return;
    pending.insert(key, value);
    // Never later than writeDelay, also while a failed write waits.
    if (!writeLater.isActive() || writeLater.remainingTimeAsDuration() > writeDelay)
        writeLater.start(writeDelay);
}

// Changes made while the file was changed or replaced on disk are applied to
// what it holds now, unless it can no longer be written.
bool SettingsStore::flush()
{
    writeLater.stop();
    if (!pending.isEmpty() && condition == SettingsFileCondition::Missing)
        createOwnerOnly();
    refresh();
    if (!isWritable()) {
        pending.clear();
        return false;
    }
    if (pending.isEmpty() && failedWrite.isEmpty())
        return true;
    for (auto change = pending.cbegin(); change != pending.cend(); ++change) {
        if (change.value().isValid())
            settings->setValue(change.key(), change.value());
        else
            settings->remove(change.key());
    }
    pending.clear();
    // Qt writes a new file and puts it in the old one's place, or leaves the
    // old one and keeps the changes to try again; its status keeps the first
    // error for good, so only a file replaced tells that a write succeeded.
    settings->sync();
    return noteWrite(SettingsFileCondition::versionOf(path) != loadedVersion);
}

bool SettingsStore::noteWrite(bool written)
{
    if (written) {
        loadedVersion = SettingsFileCondition::versionOf(path);
        failedWrite.clear();
        retryDelay = writeDelay;
        return true;
    }
    const QString reason = whyWritingFails(path);
    if (reason != failedWrite)
        qCWarning(lcPrefs).noquote() << path << "cannot be written:" << reason
                                     << "- the changes wait and are written once it can be";
    failedWrite = reason;
    retryDelay = std::min(retryDelay * 2, std::chrono::milliseconds(longestRetryDelay));
    writeLater.start(retryDelay);
    return false;
}

QString SettingsStore::writeFailure() const { return failedWrite; }

void SettingsStore::removeLeftoverCopies() const
{
    const QFileInfo file(path);
    static const QRegularExpression copyName(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(file.fileName()) + QLatin1String("\\.[A-Za-z0-9]{6}")));
    const QFileInfoList candidates =
        QDir(file.absolutePath()).entryInfoList({file.fileName() + QLatin1String(".??????")},
                                                QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QFileInfo &candidate : candidates) {
        if (copyName.match(candidate.fileName()).hasMatch() && candidate.ownerId() == ::geteuid()
            && QFile::remove(candidate.filePath()))
            qCInfo(lcPrefs).noquote() << "removed" << candidate.filePath() << "left behind by an interrupted write";
    }
}

QString SettingsStore::fileName() const { return path; }

bool SettingsStore::isWritable()
{
    refresh();
    return condition == SettingsFileCondition::Missing || condition == SettingsFileCondition::Sound;
}

// A file is replaced, not changed in place, by Qt and most editors: its
// folder is what tells of it, and the folder's parent of a folder made later.
void SettingsStore::watch()
{
    const QFileInfo settingsFolder(QFileInfo(path).absolutePath());
    for (const QString &watched : {settingsFolder.absolutePath(), settingsFolder.absoluteFilePath()}) {
        if (!folder.directories().contains(watched) && QFileInfo(watched).isDir())
            folder.addPath(watched);
    }
}

void SettingsStore::folderChanged()
{
    watch();
    const std::optional<SettingsFileCondition::Version> before = loadedVersion;
    refresh();
    if (loadedVersion != before)
        Q_EMIT changedOnDisk();
}

void SettingsStore::refresh()
{
    const SettingsFileCondition::Version version = SettingsFileCondition::versionOf(path);
    if (version != loadedVersion)
        load(version);
}

// Qt shares what it has parsed of a file among the settings objects open on
// it: the old one goes first, so that the new one reads the file afresh.
// Every section is parsed at once, since Qt notices a malformed line only
// when it parses the section that holds it.
void SettingsStore::load(const SettingsFileCondition::Version &version)
{
    settings.reset();
    loadedVersion = version;
    QString reason;
    condition = SettingsFileCondition::examine(path, reason);
    if (condition != SettingsFileCondition::Unusable && !parseFailedBefore()) {
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        settings->allKeys();
        // An access error here is Qt trying again to write changes it
        // could not write before: what the file holds is still read.
        if (settings->status() == QSettings::FormatError) {
            unparsableContent = contentAsQtSeesIt(path);
            settings.reset();
        }
    }
    if (condition != SettingsFileCondition::Unusable && !settings) {
        condition = SettingsFileCondition::Unusable;
        reason = QStringLiteral("does not parse as settings");
    }
    if (condition != SettingsFileCondition::Unusable && SettingsFileCondition::keepOwnerOnly(path))
        loadedVersion = SettingsFileCondition::versionOf(path);
    reportUnusable(reason);
}

bool SettingsStore::parseFailedBefore() const
{
    return unparsableContent && *unparsableContent == contentAsQtSeesIt(path);
}

void SettingsStore::reportUnusable(const QString &reason)
{
    if (!reason.isEmpty() && reason != reportedReason)
        qCWarning(lcPrefs).noquote() << path << reason
                                     << "- the agent runs as without settings and leaves the file as it is";
    reportedReason = reason;
}

// Qt rewrites the file through a temporary that keeps the mode of the file
// it replaces, so creating it owner-only up front means the API key is never
// readable by others, not even between a write and a change of mode. Never
// through a link: creating fails on anything already in the file's place.
void SettingsStore::createOwnerOnly()
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    watch();
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
        file.close();
}
