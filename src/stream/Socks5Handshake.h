// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QString>

// The client's side of a SOCKS5 handshake (RFC 1928; user name and password
// by RFC 1929) that asks the proxy to connect to a host by its name. Bytes in,
// bytes out: the stream's own socket carries it, so that its keepalive
// covers the hop to the proxy (Qt's SOCKS socket hides its descriptor).
class Socks5Handshake
{
public:
    enum class Outcome {
        Continue,           // send the reply, if any, and wait for more
        Connected,          // the proxy holds a connection to the host
        Unreachable,        // the proxy cannot reach the host
        Refused,            // the proxy's rules refuse the connection
        CredentialsRefused, // the proxy wants credentials, or other ones
        Broken,             // not a SOCKS5 proxy
    };

    Socks5Handshake(const QString &user, const QString &password, const QString &host, quint16 port);

    QByteArray greeting() const;
    // Takes what it needs of what the proxy sent; reply: what to send next.
    Outcome read(QByteArray &received, QByteArray &reply);

private:
    enum class Step { Method, Authentication, Connection };

    QByteArray connectionRequest() const;
    Outcome readConnection(QByteArray &received);

    const QByteArray user;
    const QByteArray password;
    const QString host;
    const quint16 port;
    Step step = Step::Method;
};
