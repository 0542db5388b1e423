// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QString>

// The user's "start at login" choice: the desktop entry
// $XDG_CONFIG_HOME/autostart/pellix-growl.desktop, which desktops start at
// login. Its presence is the choice; nothing else records it.
class AutostartEntry
{
public:
    // program: what the entry starts; by default the running executable, so
    // that the agent found at login is the one the user chose it in.
    explicit AutostartEntry(const QString &program = defaultProgram());

    static QString path();
    static bool isEnabled();

    // Writes or removes the entry; false when that failed and the previous
    // state is kept.
    bool setEnabled(bool enabled) const;

    // The agent's desktop entry with its Exec line starting the program.
    QByteArray contents() const;

private:
    static QString defaultProgram();

    QString program;
};
