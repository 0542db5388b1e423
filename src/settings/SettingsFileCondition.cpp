// SPDX-License-Identifier: MIT

#include "SettingsFileCondition.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr mode_t groupAndOthers = S_IRWXG | S_IRWXO;

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a device");
}

SettingsFileCondition::Condition unusable(QString &reason, const QString &why)
{
    reason = why;
    return SettingsFileCondition::Unusable;
}

// What tells one state of a file from another: its identity, kind, owner,
// size and the times of its last write and last change.
std::array<qint64, 6> stamp(const struct stat &status)
{
    constexpr qint64 nanoseconds = 1'000'000'000;
    return {qint64(status.st_ino),
            qint64(status.st_mode),
            qint64(status.st_uid),
            qint64(status.st_size),
            status.st_mtim.tv_sec * nanoseconds + status.st_mtim.tv_nsec,
            status.st_ctim.tv_sec * nanoseconds + status.st_ctim.tv_nsec};
}

// Non-blocking, so that a FIFO put in the file's place in the meantime
// cannot hold the agent up.
int openForReading(const QByteArray &path) { return ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }
}

SettingsFileCondition::Version SettingsFileCondition::versionOf(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat entry = {};
    struct stat target = {};
    if (::lstat(name.constData(), &entry) != 0)
        return {};
    if (S_ISLNK(entry.st_mode))
        ::stat(name.constData(), &target);
    const std::array<qint64, 6> entryStamp = stamp(entry);
    const std::array<qint64, 6> targetStamp = stamp(target);
    Version version{};
    std::ranges::copy(entryStamp, version.begin());
    std::ranges::copy(targetStamp, version.begin() + entryStamp.size());
    return version;
}

SettingsFileCondition::Condition SettingsFileCondition::examine(const QString &path, QString &reason)
{
    reason.clear();
    const QByteArray name = QFile::encodeName(path);
    struct stat entry = {};
    if (::lstat(name.constData(), &entry) != 0)
        return errno == ENOENT ? Missing : unusable(reason, QStringLiteral("cannot be examined: ") + systemError());
    if (S_ISLNK(entry.st_mode)) {
        struct stat target = {};
        if (::stat(name.constData(), &target) != 0)
            return unusable(reason, QStringLiteral("is a symbolic link to nothing that can be reached"));
        if (!S_ISREG(target.st_mode))
            return unusable(reason, QStringLiteral("is a symbolic link to ") + kindOf(target.st_mode));
        if (target.st_uid != ::geteuid())
            return unusable(reason, QStringLiteral("is a symbolic link to a file of another user"));
    } else if (!S_ISREG(entry.st_mode)) {
        return unusable(reason, QStringLiteral("is ") + kindOf(entry.st_mode) + QStringLiteral(", not a file"));
    }
    const int file = openForReading(name);
    if (file < 0)
        return unusable(reason, QStringLiteral("cannot be read: ") + systemError());
    struct stat opened = {};
    const bool isFile = ::fstat(file, &opened) == 0 && S_ISREG(opened.st_mode);
    ::close(file);
    if (!isFile)
        return unusable(reason, QStringLiteral("was replaced by something that is not a file"));
    return ::access(name.constData(), W_OK) == 0 ? Sound : ReadOnly;
}

// The mode is changed through the descriptor of the file checked, so that a
// link turned elsewhere meanwhile cannot lend another file its treatment.
bool SettingsFileCondition::keepOwnerOnly(const QString &path)
{
    QString reason;
    const Condition condition = examine(path, reason);
    if (condition != Sound && condition != ReadOnly)
        return false;
    const int file = openForReading(QFile::encodeName(path));
    if (file < 0)
        return false;
    struct stat status = {};
    const bool narrowed = ::fstat(file, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid()
                          && (status.st_mode & groupAndOthers) && ::fchmod(file, status.st_mode & S_IRWXU) == 0;
    ::close(file);
    return narrowed;
}
