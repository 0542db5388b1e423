// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <QStringList>

// The notification type list (the setting notificationTypesArray): "Generic"
// and the titles registered most recently. A service that puts a counter in
// its titles registers a new one with every message, so the list keeps only
// the latest, and a title too long to be a sensible type is never one.
class NotificationTypeList
{
public:
    // The type of messages without a title, and of those whose title is not one.
    static const QString genericType;
    static constexpr qsizetype maximumTitles = 1000;
    static constexpr qsizetype maximumTitleLength = 256;

    // Whether a title may become a type: not empty, and not too long.
    static bool admits(const QString &title);
    // The list with the title appended, and its oldest titles other than
    // "Generic" left out beyond maximumTitles.
    static QStringList withTitle(QStringList types, const QString &title);
};
