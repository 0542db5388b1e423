// SPDX-License-Identifier: MIT

#include "AutostartEntry.h"

#include "session/LoggingCategories.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {
const QString entryName = QStringLiteral("pellix-growl.desktop");
const QString installedProgram = QStringLiteral("pellix-growl");
const QString bundledEntry = QStringLiteral(":/pellix-growl.desktop");

// An Exec argument: quoted when it holds a reserved character, with ", `, $
// and \ escaped inside the quotes; % is doubled, as it starts a field code.
QString quotedExecArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString escaped = argument;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    const bool needsQuotes = std::any_of(escaped.cbegin(), escaped.cend(),
                                         [](QChar character) { return reserved.contains(character); });
    if (!needsQuotes)
        return escaped;
    QString quoted;
    for (const QChar character : escaped) {
        if (character == QLatin1Char('"') || character == QLatin1Char('`') || character == QLatin1Char('$')
            || character == QLatin1Char('\\'))
            quoted.append(QLatin1Char('\\'));
        quoted.append(character);
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The escapes of a desktop entry's string values apply on top of the quoting.
QString asStringValue(const QString &text)
{
    QString value = text;
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    value.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    value.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return value;
}
}

AutostartEntry::AutostartEntry(const QString &startedProgram)
    : program(startedProgram.isEmpty() ? installedProgram : startedProgram)
{
}

QString AutostartEntry::defaultProgram() { return QCoreApplication::applicationFilePath(); }

QString AutostartEntry::path()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/")
           + entryName;
}

bool AutostartEntry::isEnabled() { return QFileInfo::exists(path()); }

bool AutostartEntry::setEnabled(bool enabled) const
{
    const QString file = path();
    if (!enabled) {
        if (QFile::exists(file) && !QFile::remove(file)) {
            qCWarning(lcPrefs) << "cannot remove the autostart entry" << file;
            return false;
        }
        qCInfo(lcPrefs) << "start at login: off";
        return true;
    }
    const QByteArray text = contents();
    QSaveFile entry(file);
    if (text.isEmpty() || !QDir().mkpath(QFileInfo(file).absolutePath()) || !entry.open(QIODevice::WriteOnly)
        || entry.write(text) != text.size() || !entry.commit()) {
        qCWarning(lcPrefs) << "cannot write the autostart entry" << file << entry.errorString();
        return false;
    }
    qCInfo(lcPrefs) << "start at login: on," << file;
    return true;
}

QByteArray AutostartEntry::contents() const
{
    QFile bundled(bundledEntry);
    if (!bundled.open(QIODevice::ReadOnly))
        return {};
    // The main group only: a login starts no desktop actions, and shows no
    // launch feedback for an agent that opens no window.
    const QString exec = QStringLiteral("Exec=") + asStringValue(quotedExecArgument(program));
    const QStringList bundledLines = QString::fromUtf8(bundled.readAll()).split(QLatin1Char('\n'));
    QStringList lines;
    for (const QString &line : bundledLines) {
        if (!lines.isEmpty() && line.startsWith(QLatin1Char('[')))
            break;
        if (line.startsWith(QLatin1String("Exec=")))
            lines.append(exec);
        else if (line.startsWith(QLatin1String("StartupNotify=")))
            lines.append(QStringLiteral("StartupNotify=false"));
        else if (!line.startsWith(QLatin1String("Actions=")))
            lines.append(line);
    }
    return lines.join(QLatin1Char('\n')).toUtf8();
}
