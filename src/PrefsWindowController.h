// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>
#include <QString>

#include <memory>

class AXCVHandlerField;
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QWidget;
class StreamState;

namespace Ui {
class PrefsWindow;
}

// Runs the preferences window: the user name, the API key, the stream server,
// the monochrome tray icon and whether the agent starts at login, under a
// line that says where the stream stands (on a desktop without a tray, the
// one place that shows it). One controller serves the whole run; its window
// is built from its description at the first showing and then only hidden
// and shown again.
class PrefsWindowController : public QObject
{
    Q_OBJECT

public:
    // The one shared controller, created by the first call with the name of
    // its window description; later calls answer it whatever name they give.
    static PrefsWindowController *initWithWindowNibName(const QString &windowNibName);

    ~PrefsWindowController() override;

    QString windowNibName() const;
    // The loaded window, or none before the first showing.
    QWidget *window() const;

    // Builds the window on first use, brings it to the front and refills it
    // from the settings, discarding edits that were not saved.
    void showWindow(QObject *sender);
    // Runs once the window has been built from its description.
    void awakeFromNib();
    // Fills the controls from the settings and centres the window.
    void restoreState();
    void useReadablePlaceholders();
    // Kept for controls of the window that need an action with no effect.
    void buttonCliiiiicked(QObject *sender);
    // Shows the picture the checkbox selects in the menu bar at once; the
    // choice is stored only by saving.
    void menuIconCheck(QObject *sender);
    // Stores what was typed (the key where it lives) and the start-at-login
    // choice, reconnects the stream and closes the window. When the key or
    // the settings cannot be written it says so and keeps the window open.
    void savePrefs(QObject *sender);

    // The controls, or none before the window has been built.
    AXCVHandlerField *usernameField() const;
    QLineEdit *apikeyField() const;
    QLabel *apikeyLocation() const;
    QLineEdit *streamhostField() const;
    QCheckBox *checkboxBWIcon() const;
    QCheckBox *checkboxStartAtLogin() const;
    QLabel *lblVersion() const;

private:
    explicit PrefsWindowController(const QString &windowNibName);

    void loadWindow();
    void followStream();
    void showStreamState(const StreamState &state);
    void centreWindow();
    void showApiKey();
    void storeSettings();
    void showSaveFailure(const QString &cause);
    static QString fileFailure(const QString &fileName, const QString &writeFailure);
    static void showMenuIcon(bool monochrome);

    const QString nibName;
    std::unique_ptr<QDialog> prefsWindow;
    std::unique_ptr<Ui::PrefsWindow> ui;
};
