// SPDX-License-Identifier: MIT

#pragma once

#include "ClickContext.h"

#include <QImage>
#include <QString>
#include <QVariantMap>

#include <optional>

// What the notification bridge asks of the application that uses it: its
// registration and name, and where to deliver clicks and time-outs.
class GrowlApplicationBridgeDelegate
{
public:
    virtual ~GrowlApplicationBridgeDelegate() = default;

    virtual QVariantMap registrationDictionaryForGrowl() = 0;
    virtual QString applicationNameForGrowl() = 0;
    virtual QImage applicationIconDataForGrowl() = 0;
    virtual void growlIsReady() = 0;
    virtual void growlNotificationWasClicked(const std::optional<ClickContext> &clickContext) = 0;
    virtual void growlNotificationTimedOut(const std::optional<ClickContext> &clickContext) = 0;
};
