// SPDX-License-Identifier: MIT

#include "NetworkProxies.h"

#include "session/LoggingCategories.h"

#include <QRegularExpression>

namespace {
constexpr int defaultProxyPort = 1080;

QByteArray firstSet(std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QByteArray value = qgetenv(name).trimmed();
        if (!value.isEmpty())
            return value;
    }
    return {};
}
}

QNetworkProxy NetworkProxies::forAddress(const QUrl &address)
{
    if (bypasses(address.host().toLower()))
        return QNetworkProxy::NoProxy;
    const QByteArray named = environmentProxy(address.scheme());
    if (!named.isEmpty()) {
        if (const std::optional<QNetworkProxy> proxy = fromAddress(named))
            return *proxy;
        qCInfo(lcStream).noquote() << "the proxy" << named << "is not an http, socks5 or socks5h proxy; going direct";
        return QNetworkProxy::NoProxy;
    }
    // The stream speaks to HTTP and SOCKS5 proxies; anything else the
    // desktop names (an FTP proxy, say) is no proxy for it.
    const QNetworkProxy desktop = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(address)).value(0);
    switch (desktop.type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
        return {QNetworkProxy::HttpProxy, desktop.hostName(), desktop.port(), desktop.user(), desktop.password()};
    case QNetworkProxy::Socks5Proxy:
        return desktop;
    default:
        return QNetworkProxy::NoProxy;
    }
}

QList<QNetworkProxy> NetworkProxies::queryProxy(const QNetworkProxyQuery &query) { return {forAddress(query.url())}; }

// curl reads only the lower-case http_proxy: a CGI program is handed the
// request's "Proxy:" header as HTTP_PROXY.
QByteArray NetworkProxies::environmentProxy(const QString &scheme)
{
    const QByteArray own = scheme == QLatin1String("https") ? firstSet({"https_proxy", "HTTPS_PROXY"})
                                                             : firstSet({"http_proxy"});
    return own.isEmpty() ? firstSet({"all_proxy", "ALL_PROXY"}) : own;
}

// no_proxy lists host names, each also standing for its subdomains, and
// addresses; "*" alone means every host.
bool NetworkProxies::bypasses(const QString &host)
{
    const QString list = QString::fromLocal8Bit(firstSet({"no_proxy", "NO_PROXY"})).toLower();
    if (list == QLatin1String("*"))
        return true;
    const QStringList entries = list.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
    return std::any_of(entries.begin(), entries.end(), [&host](QString entry) {
        entry.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        if (entry.startsWith(QLatin1Char('.')))
            entry.remove(0, 1);
        return host == entry || host.endsWith(QLatin1Char('.') + entry);
    });
}

std::optional<QNetworkProxy> NetworkProxies::fromAddress(const QByteArray &address)
{
    const QUrl url = QUrl::fromEncoded(address.contains("://") ? address : "http://" + address);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    QNetworkProxy proxy(QNetworkProxy::HttpProxy, url.host(), quint16(url.port(defaultProxyPort)),
                        url.userName(QUrl::FullyDecoded), url.password(QUrl::FullyDecoded));
    if (scheme == QLatin1String("socks5") || scheme == QLatin1String("socks5h"))
        proxy.setType(QNetworkProxy::Socks5Proxy);
    else if (scheme != QLatin1String("http"))
        return std::nullopt;
    return proxy;
}
