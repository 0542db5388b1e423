// SPDX-License-Identifier: MIT

#pragma once

#include "notifications/GrowlApplicationBridgeDelegate.h"

#include <QUrl>

#include <functional>

// Answers the notification bridge for the agent: its registration under the
// name "PellixGrowl" and what a click on one of its notifications opens.
class PellixGrowlDelegate : public GrowlApplicationBridgeDelegate
{
public:
    // Opens an address with the user's default handler; answers whether it did.
    using UrlOpener = std::function<bool(const QUrl &url)>;

    explicit PellixGrowlDelegate(UrlOpener urlOpener);

    QVariantMap registrationDictionaryForGrowl() override;
    QString applicationNameForGrowl() override;
    QImage applicationIconDataForGrowl() override;
    void growlIsReady() override;
    void growlNotificationWasClicked(const std::optional<ClickContext> &clickContext) override;
    void growlNotificationTimedOut(const std::optional<ClickContext> &clickContext) override;

private:
    bool open(const QString &address) const;

    UrlOpener urlOpener;
};
