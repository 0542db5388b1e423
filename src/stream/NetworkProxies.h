// SPDX-License-Identifier: MIT

#pragma once

#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QUrl>

#include <optional>

// The proxy for an address, as the user's other programs find it: first the
// environment, read as curl reads it (http_proxy for http, https_proxy or
// HTTPS_PROXY for https, all_proxy or ALL_PROXY for either, no_proxy or
// NO_PROXY for the hosts reached directly), then the desktop's own proxy
// settings, which Qt reads through libproxy (GNOME's and KDE's settings, PAC).
// Proxies are named as http://[user:password@]host[:port], socks5:// or
// socks5h:// (the proxy resolves the names either way); the port is 1080
// unless given.
class NetworkProxies : public QNetworkProxyFactory
{
public:
    static QNetworkProxy forAddress(const QUrl &address);

    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

private:
    static QByteArray environmentProxy(const QString &scheme);
    static bool bypasses(const QString &host);
    static std::optional<QNetworkProxy> fromAddress(const QByteArray &address);
};
