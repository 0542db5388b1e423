// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <QStringList>

// What the agent's command line asks for. It is read before any window
// system is touched, so that --status, --help and --version work from any
// terminal, and a mistyped option is an error instead of a second start that
// would open the running agent's preferences.
struct AgentCommandLine
{
    enum class Action { Run, Preferences, Quit, Status, Help, Version, UsageError };

    Action action = Action::Run;
    QString error;

    // arguments: the program's arguments without its name.
    static AgentCommandLine parse(const QStringList &arguments);
    static QString usage();
};
