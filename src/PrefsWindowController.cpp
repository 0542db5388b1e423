// SPDX-License-Identifier: MIT

#include "PrefsWindowController.h"

#include "AXCVHandlerField.h"
#include "PellixVersion.h"
#include "settings/AutostartEntry.h"
#include "stream/NotificationStreamAddress.h"
#include "settings/PellixSettings.h"
#include "pellix_growlAppDelegate.h"
#include "session/WaylandSession.h"
#include "session/X11StartupNotification.h"
#include "ui_PrefsWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

PrefsWindowController *PrefsWindowController::initWithWindowNibName(const QString &windowNibName)
{
    // Never destroyed: the agent keeps its preferences window for the whole run.
    static PrefsWindowController *const sharedObject = new PrefsWindowController(windowNibName);
    return sharedObject;
}

PrefsWindowController::PrefsWindowController(const QString &windowNibName)
    : nibName(windowNibName)
{
}

PrefsWindowController::~PrefsWindowController() = default;

QString PrefsWindowController::windowNibName() const { return nibName; }
QWidget *PrefsWindowController::window() const { return prefsWindow.get(); }

void PrefsWindowController::showWindow(QObject *)
{
    if (!prefsWindow)
        loadWindow();
    followStream();
    prefsWindow->show();
    // The agent is never the active application when its menu is used, so
    // the window is raised and activated explicitly.
    prefsWindow->raise();
    prefsWindow->activateWindow();
    X11StartupNotification::complete();
    restoreState();
}

void PrefsWindowController::loadWindow()
{
    prefsWindow = std::make_unique<QDialog>();
    ui = std::make_unique<Ui::PrefsWindow>();
    ui->setupUi(prefsWindow.get());
    connect(ui->checkboxBWIcon, &QCheckBox::clicked, this, [this] { menuIconCheck(ui->checkboxBWIcon); });
    connect(ui->saveButton, &QPushButton::clicked, this, [this] { savePrefs(ui->saveButton); });
    awakeFromNib();
}

// The window outlives any one agent object; it tells the state of the one
// that shows it.
void PrefsWindowController::followStream()
{
    const NotificationStream &stream = pellix_growlAppDelegate::appDelegate()->notificationStream();
    showStreamState(stream.state());
    connect(&stream, &NotificationStream::stateChanged, this, &PrefsWindowController::showStreamState,
            Qt::UniqueConnection);
}

void PrefsWindowController::showStreamState(const StreamState &state)
{
    const QString line = state.phase() == StreamState::Phase::NotSignedIn
                             ? QStringLiteral("Sign in to receive your notifications.")
                             : state.text().toHtmlEscaped();
    ui->intro->setText(QStringLiteral("<b>Pellix</b><br>") + line);
}

void PrefsWindowController::awakeFromNib()
{
    if (!ui)
        return;
    ui->streamhostField->setPlaceholderText(NotificationStreamAddress::defaultStreamHost);
    restoreState();
}

void PrefsWindowController::restoreState()
{
    if (!ui)
        return;
    const PellixSettings settings;
    ui->usernameField->setText(settings.username().toLower());
    ui->apikeyField->setText(settings.apikey());
    ui->streamhostField->setText(settings.streamhost());
    // Only 1 selects the monochrome picture at start-up, so only 1 ticks the box.
    ui->checkboxBWIcon->setChecked(settings.bwmenuicon() == 1);
    ui->checkboxStartAtLogin->setChecked(AutostartEntry::isEnabled());
    ui->lblVersion->setText(QStringLiteral("Version %1 beta").arg(QStringLiteral(PELLIX_VERSION)));
    useReadablePlaceholders();
    centreWindow();
}

// Placeholders three fifths of the way from the field's background to its
// text, in whatever theme is in use: some platform themes leave
// PlaceholderText to Qt's fallback, which can vanish into a dark background.
void PrefsWindowController::useReadablePlaceholders()
{
    const QPalette inherited = QApplication::palette(prefsWindow.get());
    const QColor text = inherited.color(QPalette::Text);
    const QColor base = inherited.color(QPalette::Base);
    const auto between = [](int from, int to) { return from + (to - from) * 3 / 5; };
    QPalette placeholders;
    placeholders.setColor(QPalette::PlaceholderText, QColor(between(base.red(), text.red()),
                                                           between(base.green(), text.green()),
                                                           between(base.blue(), text.blue())));
    prefsWindow->setPalette(placeholders);
}

// On Wayland the compositor places windows; a client cannot move its own.
void PrefsWindowController::centreWindow()
{
    if (WaylandSession::isActive())
        return;
    const QRect available = prefsWindow->screen()->availableGeometry();
    QRect frame = prefsWindow->frameGeometry();
    frame.moveCenter(available.center());
    prefsWindow->move(frame.topLeft());
}

void PrefsWindowController::buttonCliiiiicked(QObject *)
{
}

void PrefsWindowController::menuIconCheck(QObject *sender)
{
    if (!ui || sender != ui->checkboxBWIcon)
        return;
    showMenuIcon(ui->checkboxBWIcon->isChecked());
}

void PrefsWindowController::savePrefs(QObject *)
{
    if (!ui)
        return;
    const bool monochrome = ui->checkboxBWIcon->isChecked();
    PellixSettings settings;
    settings.setUsername(ui->usernameField->text());
    settings.setApikey(ui->apikeyField->text());
    settings.setStreamhost(ui->streamhostField->text());
    settings.setBwmenuicon(monochrome ? 1 : 0);
    const bool saved = settings.synchronize();
    AutostartEntry().setEnabled(ui->checkboxStartAtLogin->isChecked());
    if (!saved) {
        showSaveFailure(settings.fileName(), settings.writeFailure());
        return;
    }
    // The picture may still show an unsaved choice made earlier; after saving
    // it shows the stored one.
    showMenuIcon(monochrome);

    // Closed before reconnecting: incomplete settings make the reconnection
    // show this window again, and it must then stay open, with no claim that
    // the agent is listening.
    prefsWindow->close();
    pellix_growlAppDelegate *agent = pellix_growlAppDelegate::appDelegate();
    agent->reconnectNotificationStream();
    if (!prefsWindow->isVisible())
        agent->announceListening();
}

// The window stays open with what was typed, so nothing is lost, and the
// agent goes on with the settings it has.
// A file that failed to be written still holds the settings it held: the
// advice to move it aside is only for one the agent must not write at all.
void PrefsWindowController::showSaveFailure(const QString &fileName, const QString &writeFailure)
{
    auto *alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Pellix"),
                                  QStringLiteral("Your preferences could not be saved."), QMessageBox::Ok,
                                  prefsWindow.get());
    alert->setInformativeText(
        writeFailure.isEmpty()
            ? QStringLiteral("%1 cannot be written. Check that you may write it, or move it aside to start afresh.")
                  .arg(fileName)
            : QStringLiteral("%1 cannot be written: %2. It keeps the settings it holds; Pellix saves these while it "
                             "runs, as soon as it can.")
                  .arg(fileName, writeFailure));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
}

void PrefsWindowController::showMenuIcon(bool monochrome)
{
    if (StatusItem *statusItem = pellix_growlAppDelegate::appDelegate()->statusItem())
        statusItem->setImage(pellix_growlAppDelegate::menuPicture(monochrome));
}

AXCVHandlerField *PrefsWindowController::usernameField() const { return ui ? ui->usernameField : nullptr; }
QLineEdit *PrefsWindowController::apikeyField() const { return ui ? ui->apikeyField : nullptr; }
QLineEdit *PrefsWindowController::streamhostField() const { return ui ? ui->streamhostField : nullptr; }
QCheckBox *PrefsWindowController::checkboxBWIcon() const { return ui ? ui->checkboxBWIcon : nullptr; }
QCheckBox *PrefsWindowController::checkboxStartAtLogin() const { return ui ? ui->checkboxStartAtLogin : nullptr; }
QLabel *PrefsWindowController::lblVersion() const { return ui ? ui->lblVersion : nullptr; }
