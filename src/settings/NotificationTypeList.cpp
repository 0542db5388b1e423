// SPDX-License-Identifier: MIT

#include "NotificationTypeList.h"

#include <algorithm>

const QString NotificationTypeList::genericType = QStringLiteral("Generic");

bool NotificationTypeList::admits(const QString &title)
{
    return !title.isEmpty() && title.size() <= maximumTitleLength;
}

QStringList NotificationTypeList::withTitle(QStringList types, const QString &title)
{
    types.append(title);
    const qsizetype titles = types.size() - types.count(genericType);
    qsizetype surplus = std::max<qsizetype>(0, titles - maximumTitles);
    types.removeIf([&surplus](const QString &type) { return type != genericType && surplus-- > 0; });
    return types;
}
