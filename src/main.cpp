// SPDX-License-Identifier: MIT

#include "notifications/ActivationTokenScope.h"
#include "session/AgentCommandLine.h"
#include "session/AgentInstance.h"
#include "session/AgentTranslations.h"
#include "session/TerminationSignals.h"
#include "session/WakeUpWatcher.h"
#include "session/X11StartupNotification.h"
#include "pellix_growlAppDelegate.h"
#include "PellixVersion.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {
QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    return arguments;
}

int answerCommandLine(const AgentCommandLine &command, int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    AgentTranslations::install(application);
    switch (command.action) {
    case AgentCommandLine::Action::Help:
        std::printf("%s", qPrintable(AgentCommandLine::usage()));
        return 0;
    case AgentCommandLine::Action::Version:
        std::printf("pellix-growl %s\n", PELLIX_VERSION);
        return 0;
    case AgentCommandLine::Action::UsageError:
        std::fprintf(stderr, "pellix-growl: %s\n%s", qPrintable(command.error()), qPrintable(AgentCommandLine::usage()));
        return 2;
    case AgentCommandLine::Action::Status:
        return AgentInstance::printStateOfRunningAgent();
    case AgentCommandLine::Action::Quit:
        return AgentInstance::quitRunningAgent() ? 0 : AgentInstance::NoAgent;
    case AgentCommandLine::Action::Run:
    case AgentCommandLine::Action::Preferences:
        break;
    }
    return -1;
}
}

int main(int argc, char *argv[])
{
    const AgentCommandLine command = AgentCommandLine::parse(argumentsOf(argc, argv));
    const bool showPreferences = command.action == AgentCommandLine::Action::Preferences;
    if (command.action != AgentCommandLine::Action::Run && !showPreferences)
        return answerCommandLine(command, argc, argv);

    // Qt would abort without a display to connect to.
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "pellix-growl: no desktop session to show notifications in "
                             "(neither WAYLAND_DISPLAY nor DISPLAY is set)\n");
        return 1;
    }
    // Taken before Qt reads it: a second start hands it to the running agent.
    const QString launchToken = ActivationTokenScope::takeLaunchToken();
    QApplication application(argc, argv);
    AgentTranslations::install(application);
    QApplication::setApplicationVersion(QStringLiteral(PELLIX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("pellix-growl"));
    // Closing the preferences window must not end a tray agent.
    QApplication::setQuitOnLastWindowClosed(false);

    pellix_growlAppDelegate delegate;
    // Decided before start-up asks for the notification service: a second
    // start only hands over to the running agent, which has already asked.
    AgentInstance instance(delegate);
    if (instance.claim() == AgentInstance::Claim::HeldByAnother)
        return AgentInstance::showPreferencesOfRunningAgent(launchToken) ? 0 : 1;

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &delegate, &pellix_growlAppDelegate::quit);
    WakeUpWatcher wakeUps;
    QObject::connect(&wakeUps, &WakeUpWatcher::wokeUp, &delegate, &pellix_growlAppDelegate::reopenStreamAfterWakeUp);
    wakeUps.listen();
    // The preferences window shown at start-up, for want of settings or
    // because it was asked for, is raised with the launcher's token.
    QTimer::singleShot(0, &delegate, [&delegate, &launchToken, showPreferences] {
        const ActivationTokenScope launch(launchToken);
        delegate.applicationDidFinishLaunching();
        if (showPreferences)
            delegate.prefs();
        // A tray agent is up without a window.
        X11StartupNotification::complete();
    });
    return application.exec();
}
