#include "AgentCommandLine.h"

#include <QHash>

AgentCommandLine AgentCommandLine::parse(const QStringList &arguments)
{
    static const QHash<QString, Action> options{
        {QStringLiteral("--preferences"), Action::Preferences},
        {QStringLiteral("--quit"), Action::Quit},
        {QStringLiteral("--status"), Action::Status},
        {QStringLiteral("--help"), Action::Help},
        {QStringLiteral("-h"), Action::Help},
        {QStringLiteral("--version"), Action::Version},
    };
    if (arguments.isEmpty())
        return {};
    if (arguments.size() > 1)
        return {Action::UsageError, QStringLiteral("one option at most")};
    const auto known = options.constFind(arguments.constFirst());
    if (known == options.cend())
        return {Action::UsageError, QStringLiteral("unknown option '%1'").arg(arguments.constFirst())};
    return {*known, {}};
}

QString AgentCommandLine::usage()
{
    return QStringLiteral("Usage: pellix-growl [--preferences | --quit | --status | --help | --version]\n"
                          "\n"
                          "Without an option, starts the Pellix agent, or opens the Preferences of the\n"
                          "agent already running in this session.\n"
                          "\n"
                          "  --preferences  open the Preferences, of the running agent or of one started\n"
                          "                 for it\n"
                          "  --quit         end the running agent; exit status 1 when none runs\n"
                          "  --status       print where the running agent's stream stands; exit status 0\n"
                          "                 when connected, 3 when not, 1 when no agent runs\n"
                          "  --help         print this text\n"
                          "  --version      print the version\n");
}
