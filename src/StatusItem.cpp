#include "StatusItem.h"

#include "LoggingCategories.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

namespace {
constexpr qreal dimmedOpacity = 0.4;
const QList<int> panelSizes{22, 44};

bool onWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

QIcon dimmedIcon(const QIcon &icon)
{
    QIcon dimmed;
    for (const int size : panelSizes) {
        const QPixmap original = icon.pixmap(size, size);
        QPixmap faded(original.size());
        faded.fill(Qt::transparent);
        QPainter painter(&faded);
        painter.setOpacity(dimmedOpacity);
        painter.drawPixmap(0, 0, original);
        painter.end();
        dimmed.addPixmap(faded);
    }
    return dimmed;
}
}

StatusItem::StatusItem(const Options &itemOptions, QObject *parent)
    : QObject(parent)
    , options(itemOptions)
    , statusMenu(std::make_unique<QMenu>())
    , tray(std::make_unique<QSystemTrayIcon>())
{
    dimming.setSingleShot(true);
    connect(&dimming, &QTimer::timeout, this, &StatusItem::dim);
    tray->setContextMenu(statusMenu.get());
    connect(tray.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        activated(reason);
    });
}

StatusItem::~StatusItem() = default;

void StatusItem::setImage(const QString &name)
{
    pictureName = name;
    present();
}

QString StatusItem::imageName() const { return pictureName; }

void StatusItem::setToolTip(const QString &toolTipTitle)
{
    title = toolTipTitle;
    present();
}

void StatusItem::addMenuItem(const QString &itemTitle, const QKeySequence &shortcut,
                             const std::function<void()> &action)
{
    QAction *item = statusMenu->addAction(itemTitle, this, action);
    item->setShortcut(shortcut);
}

// Shown all the same without a tray: on X11 a tray that appears later, as a
// panel started after the agent, picks the icon up.
void StatusItem::show()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(lcDesktop) << "no system tray: starting pellix-growl again opens the preferences";
    tray->show();
}

void StatusItem::showState(const StreamState &streamState)
{
    state = streamState;
    if (state.isConnected()) {
        dimming.stop();
        dimmed = false;
    } else if (!dimmed && !dimming.isActive()) {
        dimming.start(options.dimAfter);
    }
    present();
}

QIcon StatusItem::icon() const
{
    const QIcon picture(QStringLiteral(":/") + pictureName);
    return dimmed ? dimmedIcon(picture) : picture;
}

bool StatusItem::isDimmed() const { return dimmed; }
QString StatusItem::toolTipTitle() const { return title; }
QString StatusItem::toolTipBody() const { return state.text(); }
QMenu *StatusItem::menu() const { return statusMenu.get(); }

// A menu-bar agent shows its menu on a plain click as well, where the
// desktop lets a menu appear at the pointer.
void StatusItem::activated(int reason)
{
    if (reason != QSystemTrayIcon::Trigger)
        return;
    if (onWayland())
        emit windowRequested();
    else
        statusMenu->popup(QCursor::pos());
}

void StatusItem::dim()
{
    dimmed = true;
    present();
}

void StatusItem::present()
{
    tray->setIcon(icon());
    tray->setToolTip(title + QLatin1Char('\n') + toolTipBody());
}
