// SPDX-License-Identifier: MIT

#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// What the agent's command line asks for. It is read before any window
// system is touched, so that --status, --help and --version work from any
// terminal, and a mistyped option is an error instead of a second start that
// would open the running agent's preferences.
// It is read before the application object exists; its texts are
// translated when they are printed.
struct AgentCommandLine
{
    Q_DECLARE_TR_FUNCTIONS(AgentCommandLine)

public:
    enum class Action { Run, Preferences, Quit, Status, Help, Version, UsageError };

    Action action = Action::Run;
    // For a usage error: what is wrong, and the word it is about.
    const char *errorText = nullptr;
    QString errorSubject = {};

    // arguments: the program's arguments without its name.
    static AgentCommandLine parse(const QStringList &arguments);
    QString error() const;
    static QString usage();
};
