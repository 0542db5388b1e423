// SPDX-License-Identifier: MIT

#include "NotificationStreamAddress.h"

const QString NotificationStreamAddress::defaultStreamHost = QStringLiteral("stream.pellix.org");

namespace {
const QString streamPath = QStringLiteral("/user/notifications");

QUrl serviceRoot(const QString &streamhost)
{
    const QString host = streamhost.trimmed().isEmpty() ? NotificationStreamAddress::defaultStreamHost
                                                        : streamhost.trimmed();
    const bool hasScheme = host.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                           || host.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    const QUrl root(hasScheme ? host : QStringLiteral("http://") + host, QUrl::StrictMode);
    const bool onlyHostAndPort = root.isValid() && !root.host().isEmpty() && root.userInfo().isEmpty()
                                 && (root.path().isEmpty() || root.path() == QLatin1String("/"))
                                 && !root.hasQuery() && !root.hasFragment();
    return onlyHostAndPort ? root : QUrl();
}
}

QUrl NotificationStreamAddress::forUser(const QString &streamhost, const QString &username,
                                        const QString &apikeyDigest)
{
    QUrl root = serviceRoot(streamhost);
    if (!root.isValid())
        return {};
    // The user name is one path segment whatever it holds (the connection
    // escapes one made only of dots).
    const QString userSegment = QString::fromLatin1(QUrl::toPercentEncoding(username));
    root.setPath(streamPath + QLatin1Char('/') + userSegment + QLatin1Char('/') + apikeyDigest, QUrl::StrictMode);
    return root;
}
