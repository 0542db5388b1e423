// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <QUrl>

// Where the notification stream of one user is fetched from:
// <scheme>://<host[:port]>/user/notifications/<user>/<key digest>.
class NotificationStreamAddress
{
public:
    static const QString defaultStreamHost;

    // streamhost: "host[:port]", optionally led by "http://" or "https://";
    // empty means the default host. A value that names more than a host and
    // port gives an invalid address, which no connection can be opened to.
    // The user name stays one path segment, "." and ".." included.
    static QUrl forUser(const QString &streamhost, const QString &username, const QString &apikeyDigest);
};
