#include "SettingsFileCondition.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QTemporaryDir>

namespace {
struct Verdict
{
    qint64 size;
    QDateTime modified;
    QFile::Permissions permissions;
    SettingsFileCondition::Condition condition;
};
}

SettingsFileCondition::Condition SettingsFileCondition::of(const QString &path)
{
    static QHash<QString, Verdict> verdicts;
    const QFileInfo file(path);
    if (!file.exists()) {
        verdicts.remove(path);
        return Missing;
    }
    const auto known = verdicts.constFind(path);
    if (known != verdicts.cend() && known->size == file.size() && known->modified == file.lastModified()
        && known->permissions == file.permissions())
        return known->condition;
    const Condition condition = examine(path);
    verdicts.insert(path, {file.size(), file.lastModified(), file.permissions(), condition});
    return condition;
}

SettingsFileCondition::Condition SettingsFileCondition::examine(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || !parsesCleanly(path))
        return Unusable;
    return QFileInfo(path).isWritable() ? Sound : ReadOnly;
}

// Qt notices some malformed lines only while rewriting the file, so the check
// is a rewrite of a private copy.
bool SettingsFileCondition::parsesCleanly(const QString &path)
{
    const QTemporaryDir probeFolder;
    const QString probePath = probeFolder.filePath(QStringLiteral("probe.conf"));
    // The copy keeps the original's mode; only the parsing is in question.
    if (!probeFolder.isValid() || !QFile::copy(path, probePath)
        || !QFile::setPermissions(probePath, QFile::ReadOwner | QFile::WriteOwner))
        return false;
    QSettings probe(probePath, QSettings::IniFormat);
    probe.setValue(QStringLiteral("probe"), true);
    probe.sync();
    return probe.status() == QSettings::NoError;
}
