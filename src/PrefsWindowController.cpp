// SPDX-License-Identifier: MIT

#include "PrefsWindowController.h"

#include "AXCVHandlerField.h"
#include "PellixVersion.h"
#include "settings/ApiKeyStore.h"
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
    connect(&ApiKeyStore::instance(), &ApiKeyStore::changed, this, [this] {
        if (prefsWindow->isVisible() && !ui->apikeyField->isModified())
            showApiKey();
    });
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
                             ? tr("Sign in to receive your notifications.")
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
    showApiKey();
    ui->streamhostField->setText(settings.streamhost());
    // Only 1 selects the monochrome picture at start-up, so only 1 ticks the box.
    ui->checkboxBWIcon->setChecked(settings.bwmenuicon() == 1);
    ui->checkboxStartAtLogin->setChecked(AutostartEntry::isEnabled());
    ui->lblVersion->setText(tr("Version %1 beta").arg(QStringLiteral(PELLIX_VERSION)));
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

// While the keyring is being asked the field takes nothing; it fills in
// once the keyring answers, unless typed into meanwhile.
void PrefsWindowController::showApiKey()
{
    const ApiKeyStore::Key key = PellixSettings().apikeyEntry();
    ui->apikeyField->setText(key.value);
    ui->apikeyField->setEnabled(key.status != ApiKeyStore::Key::Status::BeingRead);
    ui->apikeyLocation->setText(ApiKeyStore::instance().whereKept());
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

// The key goes first, to the keyring when there is one; only once it is
// stored are the other settings. A key the keyring has not given is kept
// as it is unless one was typed: saving never replaces it with nothing.
void PrefsWindowController::savePrefs(QObject *)
{
    if (!ui)
        return;
    const bool keyShown = PellixSettings().apikeyEntry().status == ApiKeyStore::Key::Status::Known;
    if (!keyShown && !ui->apikeyField->isModified())
        return storeSettings();
    ui->saveButton->setEnabled(false);
    ApiKeyStore::instance().save(ui->usernameField->text().toLower(), ui->apikeyField->text(),
                                 [this](const QString &failure) {
                                     ui->saveButton->setEnabled(true);
                                     if (failure.isEmpty())
                                         storeSettings();
                                     else
                                         //: %1 is the keyring's own reason.
                                         showSaveFailure(tr("The keyring did not store the API key: %1. "
                                                            "Nothing was changed.")
                                                             .arg(failure));
                                 });
}

void PrefsWindowController::storeSettings()
{
    const bool monochrome = ui->checkboxBWIcon->isChecked();
    PellixSettings settings;
    settings.setUsername(ui->usernameField->text());
    settings.setStreamhost(ui->streamhostField->text());
    settings.setBwmenuicon(monochrome ? 1 : 0);
    const bool saved = settings.synchronize();
    AutostartEntry().setEnabled(ui->checkboxStartAtLogin->isChecked());
    if (!saved) {
        showSaveFailure(fileFailure(settings.fileName(), settings.writeFailure()));
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
void PrefsWindowController::showSaveFailure(const QString &cause)
{
    auto *alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Pellix"),
                                  tr("Your preferences could not be saved."), QMessageBox::Ok,
                                  prefsWindow.get());
    alert->setInformativeText(cause);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
}

// A file that failed to be written still holds the settings it held: the
// advice to move it aside is only for one the agent must not write at all.
QString PrefsWindowController::fileFailure(const QString &fileName, const QString &writeFailure)
{
    return writeFailure.isEmpty()
            //: %1 is the settings file's path.
            ? tr("%1 cannot be written. Check that you may write it, or move it aside to start afresh.")
                  .arg(fileName)
            //: %1 is the settings file's path, %2 why it cannot be written ("the disk is full").
            : tr("%1 cannot be written: %2. It keeps the settings it holds; Pellix saves these while it "
                 "runs, as soon as it can.")
                  .arg(fileName, writeFailure);
}

void PrefsWindowController::showMenuIcon(bool monochrome)
{
    if (StatusItem *statusItem = pellix_growlAppDelegate::appDelegate()->statusItem())
        statusItem->setImage(pellix_growlAppDelegate::menuPicture(monochrome));
}

AXCVHandlerField *PrefsWindowController::usernameField() const { return ui ? ui->usernameField : nullptr; }
QLineEdit *PrefsWindowController::apikeyField() const { return ui ? ui->apikeyField : nullptr; }
QLabel *PrefsWindowController::apikeyLocation() const { return ui ? ui->apikeyLocation : nullptr; }
QLineEdit *PrefsWindowController::streamhostField() const { return ui ? ui->streamhostField : nullptr; }
QCheckBox *PrefsWindowController::checkboxBWIcon() const { return ui ? ui->checkboxBWIcon : nullptr; }
QCheckBox *PrefsWindowController::checkboxStartAtLogin() const { return ui ? ui->checkboxStartAtLogin : nullptr; }
QLabel *PrefsWindowController::lblVersion() const { return ui ? ui->lblVersion : nullptr; }
