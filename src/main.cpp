#include "AgentInstance.h"
#include "TerminationSignals.h"
#include "pellix_growlAppDelegate.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(PELLIX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("pellix-growl"));
    // Closing the preferences window must not end a tray agent.
    QApplication::setQuitOnLastWindowClosed(false);

    pellix_growlAppDelegate delegate;
    // Decided before start-up asks for the notification service: a second
    // start only hands over to the running agent, which has already asked.
    AgentInstance instance(delegate);
    if (instance.claim() == AgentInstance::Claim::HeldByAnother)
        return AgentInstance::showPreferencesOfRunningAgent() ? 0 : 1;

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &delegate, &pellix_growlAppDelegate::quit);
    delegate.wakeUps()->listen();
    QTimer::singleShot(0, &delegate, &pellix_growlAppDelegate::applicationDidFinishLaunching);
    return application.exec();
}
