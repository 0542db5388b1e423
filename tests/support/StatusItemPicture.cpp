#include "StatusItemPicture.h"

#include <QImage>
#include <QPixmap>

namespace {
QImage pixels(const QIcon &icon) { return icon.pixmap(22, 22).toImage().convertToFormat(QImage::Format_ARGB32); }
}

QString StatusItemPicture::nameOf(const QIcon &icon)
{
    if (icon.isNull())
        return {};
    for (const QString &name : {QStringLiteral("pellix_menu_icon.png"), QStringLiteral("zarkleSMASHr.png")}) {
        if (pixels(icon) == pixels(QIcon(QStringLiteral(":/") + name)))
            return name;
    }
    return {};
}
