// SPDX-License-Identifier: MIT

#include "Socks5Handshake.h"

#include <QHostAddress>
#include <QUrl>
#include <QtEndian>

#include <initializer_list>

namespace {
constexpr char version = 5;
constexpr char noAuthentication = 0;
constexpr char userAndPassword = 2;
constexpr char passwordVersion = 1;
constexpr char connectCommand = 1;
constexpr char domainName = 3;
constexpr char ipv4 = 1;
constexpr char ipv6 = 4;
constexpr char succeeded = 0;
constexpr char notAllowedByRules = 2;

QByteArray bytes(std::initializer_list<char> values) { return QByteArray(values.begin(), qsizetype(values.size())); }

// A name or password goes with a length byte: at most 255 bytes.
QByteArray counted(const QByteArray &bytes) { return char(bytes.size()) + bytes.left(255); }
}

Socks5Handshake::Socks5Handshake(const QString &userName, const QString &secret, const QString &hostName,
                                 quint16 hostPort)
    : user(userName.toUtf8())
    , password(secret.toUtf8())
    , host(hostName)
    , port(hostPort)
{
}

QByteArray Socks5Handshake::greeting() const
{
    return user.isEmpty() ? bytes({version, 1, noAuthentication}) : bytes({version, 2, noAuthentication, userAndPassword});
}

Socks5Handshake::Outcome Socks5Handshake::read(QByteArray &received, QByteArray &reply)
{
    reply.clear();
    if (step == Step::Connection)
        return readConnection(received);
    if (received.size() < 2)
        return Outcome::Continue;
    const char answer = received.at(1);
    const bool wellFormed = received.at(0) == (step == Step::Method ? version : passwordVersion);
    received.remove(0, 2);
    if (!wellFormed)
        return Outcome::Broken;
    if (step == Step::Method && answer == userAndPassword && !user.isEmpty()) {
        step = Step::Authentication;
        reply = passwordVersion + counted(user) + counted(password);
        return Outcome::Continue;
    }
    if ((step == Step::Method && answer != noAuthentication) || (step == Step::Authentication && answer != succeeded))
        return Outcome::CredentialsRefused;
    step = Step::Connection;
    reply = connectionRequest();
    return Outcome::Continue;
}

// An address goes as one; a name as the proxy is to resolve it.
QByteArray Socks5Handshake::connectionRequest() const
{
    QByteArray request = bytes({version, connectCommand, 0});
    const QHostAddress address(host);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        char bytes[4];
        qToBigEndian(address.toIPv4Address(), bytes);
        request += ipv4 + QByteArray(bytes, 4);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        request += ipv6 + QByteArray(reinterpret_cast<const char *>(bytes.c), 16);
    } else {
        request += domainName + counted(QUrl::toAce(host));
    }
    char portBytes[2];
    qToBigEndian(port, portBytes);
    return request + QByteArray(portBytes, 2);
}

// The answer ends with the address the proxy bound, of a length its type says.
Socks5Handshake::Outcome Socks5Handshake::readConnection(QByteArray &received)
{
    if (received.size() < 5)
        return Outcome::Continue;
    const char type = received.at(3);
    const qsizetype addressLength = type == ipv4 ? 4 : type == ipv6 ? 16 : type == domainName ? 1 + quint8(received.at(4)) : -1;
    if (received.at(0) != version || addressLength < 0)
        return Outcome::Broken;
    const qsizetype length = 4 + addressLength + 2;
    if (received.size() < length)
        return Outcome::Continue;
    const char answer = received.at(1);
    received.remove(0, length);
    if (answer == succeeded)
        return Outcome::Connected;
    return answer == notAllowedByRules ? Outcome::Refused : Outcome::Unreachable;
}
