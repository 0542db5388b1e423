#pragma once

#include <QIcon>
#include <QString>

// Tells which of the agent's two menu-bar pictures an icon shows, by its
// pixels, so tests need not know how the icon was set.
class StatusItemPicture
{
public:
    // "pellix_menu_icon.png", "zarkleSMASHr.png", or a null string for neither.
    static QString nameOf(const QIcon &icon);
};
