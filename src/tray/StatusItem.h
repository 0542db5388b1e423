// SPDX-License-Identifier: MIT

#pragma once

#include "stream/StreamState.h"

#include <QDeadlineTimer>
#include <QIcon>
#include <QKeySequence>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class StatusNotifierItem;

// The agent's item in the desktop's panel: its picture, its menu, and where
// the stream stands, as the tool tip's second line and as a dimmed picture
// while the stream has been offline for a while. Hosts that speak
// StatusNotifierItem (Plasma, GNOME's AppIndicator extension, waybar, …)
// get the agent's own item and show its menu themselves; without such a
// host, an X11 tray gets Qt's XEmbed icon.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // Routine reconnects stay unseen: the picture dims only once the
        // stream has been offline this long.
        std::chrono::milliseconds dimAfter{std::chrono::seconds(10)};
        // A token the host hands over serves the activation that follows it
        // (a click on the item or on a menu entry) within this time, and only it.
        std::chrono::milliseconds activationTokenLifetime{std::chrono::seconds(5)};
        // Where the pictures are installed as named icons, if they are: the
        // icon folder beside the agent's own, as its package installs them.
        QString iconThemePath = installedIconThemePath();
    };

    static const QString itemId;
    static QString installedIconThemePath();

    explicit StatusItem(const Options &options, QObject *parent = nullptr);
    ~StatusItem() override;

    // A picture of the agent's resources, by name ("pellix_menu_icon.png").
    void setImage(const QString &pictureName);
    QString imageName() const;
    // Also the item's name in the host's lists.
    void setToolTip(const QString &title);
    void addMenuItem(const QString &title, const QKeySequence &shortcut, const std::function<void()> &action);
    void show();

    void showState(const StreamState &state);

    // What the panel is given.
    QIcon icon() const;
    QString iconName() const;
    bool isDimmed() const;
    QString toolTipTitle() const;
    QString toolTipBody() const;
    QMenu *menu() const;

Q_SIGNALS:
    // A click on the item of a StatusNotifierItem host, or one where a menu
    // cannot be popped up at the pointer (Wayland): the agent's window is the
    // nearest thing to offer. Emitted with the host's activation token, when
    // it gave one, in the environment.
    void windowRequested();

private:
    void clicked(const QPoint &position);
    void openWindow();
    QString takeActivationToken();
    void hostChanged(bool itemShown);
    void useTray(bool use);
    void dim();
    void presentIcon();
    void presentToolTip();

    const Options options;
    QString pictureName;
    QString title;
    StreamState state;
    bool dimmed = false;
    bool shown = false;
    QTimer dimming;
    QString activationToken;
    QDeadlineTimer activationTokenExpiry;
    std::unique_ptr<QMenu> statusMenu;
    std::unique_ptr<StatusNotifierItem> item;
    std::unique_ptr<QSystemTrayIcon> tray;
};
