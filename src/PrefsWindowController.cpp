#include "PrefsWindowController.h"

#include <QWidget>

PrefsWindowController *PrefsWindowController::initWithWindowNibName(const QString &windowNibName)
{
    static PrefsWindowController *const sharedObject = new PrefsWindowController(windowNibName);
    return sharedObject;
}

PrefsWindowController::PrefsWindowController(const QString &nibName)
    : windowNibName(nibName)
{
}

void PrefsWindowController::showWindow(QObject *)
{
    if (!loadedWindow) {
        loadedWindow = new QWidget;
        loadedWindow->setObjectName(windowNibName);
        loadedWindow->setWindowTitle(QStringLiteral("Pellix Preferences"));
    }
    loadedWindow->show();
    loadedWindow->raise();
    loadedWindow->activateWindow();
}

QWidget *PrefsWindowController::window() const { return loadedWindow; }
