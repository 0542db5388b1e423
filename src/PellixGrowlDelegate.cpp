// SPDX-License-Identifier: MIT

#include "PellixGrowlDelegate.h"

#include "settings/NotificationTypeList.h"
#include "settings/PellixSettings.h"

#include <QStringList>
#include <QUrlQuery>

#include <algorithm>

namespace {
// Addresses from the stream are opened only when they lead to a web page or a
// mail composer, never to a local file or a program.
const QStringList openableSchemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto")};
// Some mail clients attach the local file such a parameter names.
const QStringList attachmentParameters{QStringLiteral("attach"), QStringLiteral("attachment")};

bool asksForAnAttachment(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) != 0)
        return false;
    const QList<std::pair<QString, QString>> parameters = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    return std::ranges::any_of(parameters, [](const std::pair<QString, QString> &parameter) {
        return attachmentParameters.contains(parameter.first.trimmed(), Qt::CaseInsensitive);
    });
}
}

PellixGrowlDelegate::PellixGrowlDelegate(UrlOpener opener)
    : urlOpener(std::move(opener))
{
}

QVariantMap PellixGrowlDelegate::registrationDictionaryForGrowl()
{
    PellixSettings settings;
    std::optional<QStringList> types = settings.notificationTypesArray();
    if (!types) {
        types = QStringList{NotificationTypeList::genericType};
        settings.setNotificationTypesArray(*types);
    }
    return {
        {QStringLiteral("TicketVersion"), 1},
        {QStringLiteral("AllNotifications"), *types},
        {QStringLiteral("DefaultNotifications"), *types},
    };
}

QString PellixGrowlDelegate::applicationNameForGrowl() { return QStringLiteral("PellixGrowl"); }

QImage PellixGrowlDelegate::applicationIconDataForGrowl() { return {}; }

void PellixGrowlDelegate::growlIsReady() {}

void PellixGrowlDelegate::growlNotificationWasClicked(const std::optional<ClickContext> &clickContext)
{
    if (!clickContext || !clickContext->final_uri)
        return;
    if (open(*clickContext->final_uri))
        return;
    if (clickContext->websafe_uri)
        open(*clickContext->websafe_uri);
}

void PellixGrowlDelegate::growlNotificationTimedOut(const std::optional<ClickContext> &) {}

bool PellixGrowlDelegate::open(const QString &address) const
{
    const QUrl url(address);
    if (!url.isValid() || !openableSchemes.contains(url.scheme(), Qt::CaseInsensitive) || asksForAnAttachment(url))
        return false;
    return urlOpener(url);
}
