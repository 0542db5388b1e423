// SPDX-License-Identifier: MIT

#include "AgentCommandLine.h"

#include <QCommandLineParser>

#include <utility>

// One option at most, and only a known one: anything else is a usage error,
// never a second start.
AgentCommandLine AgentCommandLine::parse(const QStringList &arguments)
{
    if (arguments.size() > 1)
        return {Action::UsageError, QT_TR_NOOP("one option at most")};
    const std::pair<QCommandLineOption, Action> options[] = {
        {QCommandLineOption(QStringLiteral("preferences")), Action::Preferences},
        {QCommandLineOption(QStringLiteral("quit")), Action::Quit},
        {QCommandLineOption(QStringLiteral("status")), Action::Status},
        {QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}), Action::Help},
        {QCommandLineOption(QStringLiteral("version")), Action::Version},
    };
    QCommandLineParser parser;
    for (const auto &[option, action] : options)
        parser.addOption(option);
    // The parser expects the program's name in front.
    if (!parser.parse(QStringList{QStringLiteral("pellix-growl")} + arguments) || !parser.positionalArguments().isEmpty())
        //: %1 is the option as typed.
        return {Action::UsageError, QT_TR_NOOP("unknown option '%1'"), arguments.constFirst()};
    for (const auto &[option, action] : options) {
        if (parser.isSet(option))
            return {action};
    }
    return {};
}

QString AgentCommandLine::error() const
{
    const QString text = tr(errorText);
    return errorSubject.isNull() ? text : text.arg(errorSubject);
}

QString AgentCommandLine::usage()
{
    //: The option names (--preferences and so on) and "pellix-growl" stay as they are.
    return tr("Usage: pellix-growl [--preferences | --quit | --status | --help | --version]\n"
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
