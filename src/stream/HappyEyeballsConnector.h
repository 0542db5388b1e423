// SPDX-License-Identifier: MIT

#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class QHostInfo;
class QTcpSocket;

// Opens one TCP connection to a host as RFC 8305 (Happy Eyeballs) has it: the
// host's addresses, IPv6 and IPv4 taking turns, are tried one after another,
// each next attempt started as soon as the one before fails or has had its
// head start, and the first connection made wins; the others are closed. So a
// dead address costs the head start, not a connection time-out.
class HappyEyeballsConnector : public QObject
{
    Q_OBJECT

public:
    // Makes the socket of one attempt, unconnected.
    using SocketMaker = std::function<QTcpSocket *(QObject *parent)>;

    static constexpr std::chrono::milliseconds defaultHeadStart{250};

    HappyEyeballsConnector(SocketMaker makeSocket, std::chrono::milliseconds headStart, QObject *parent = nullptr);
    ~HappyEyeballsConnector() override;

    void connectTo(const QString &host, quint16 port);

    static QList<QHostAddress> interleaved(const QList<QHostAddress> &addresses);

Q_SIGNALS:
    // The connected socket, now without a parent: the receiver's to own.
    void connected(QTcpSocket *socket);
    // Every attempt failed; the error of the last one.
    void failed(QAbstractSocket::SocketError error, const QString &detail);

private:
    void resolved(const QHostInfo &host);
    void startNextAttempt();
    QTcpSocket *newAttempt();
    void attemptFailed(QTcpSocket *attempt);
    void attemptConnected(QTcpSocket *attempt);

    SocketMaker makeSocket;
    quint16 port = 0;
    int lookup = -1;
    QList<QHostAddress> untried;
    QList<QTcpSocket *> attempts;
    QTimer headStart;
};
