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
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &delegate, &pellix_growlAppDelegate::quit);
    QTimer::singleShot(0, &delegate, &pellix_growlAppDelegate::applicationDidFinishLaunching);
    return application.exec();
}
