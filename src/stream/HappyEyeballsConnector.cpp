// SPDX-License-Identifier: MIT

#include "HappyEyeballsConnector.h"

#include <QHostInfo>
#include <QNetworkProxy>
#include <QTcpSocket>

HappyEyeballsConnector::HappyEyeballsConnector(SocketMaker socketMaker, std::chrono::milliseconds attemptHeadStart,
                                               QObject *parent)
    : QObject(parent)
    , makeSocket(std::move(socketMaker))
{
    headStart.setSingleShot(true);
    headStart.setInterval(attemptHeadStart);
    connect(&headStart, &QTimer::timeout, this, &HappyEyeballsConnector::startNextAttempt);
}

HappyEyeballsConnector::~HappyEyeballsConnector()
{
    if (lookup >= 0)
        QHostInfo::abortHostLookup(lookup);
}

void HappyEyeballsConnector::connectTo(const QString &host, quint16 hostPort)
{
    port = hostPort;
    lookup = QHostInfo::lookupHost(host, this, &HappyEyeballsConnector::resolved);
}

// The family of the resolver's first choice leads; the families alternate.
QList<QHostAddress> HappyEyeballsConnector::interleaved(const QList<QHostAddress> &addresses)
{
    QList<QHostAddress> leading;
    QList<QHostAddress> other;
    for (const QHostAddress &address : addresses)
        (address.protocol() == addresses.constFirst().protocol() ? leading : other).append(address);
    QList<QHostAddress> turns;
    for (qsizetype i = 0; i < std::max(leading.size(), other.size()); ++i) {
        if (i < leading.size())
            turns.append(leading.at(i));
        if (i < other.size())
            turns.append(other.at(i));
    }
    return turns;
}

void HappyEyeballsConnector::resolved(const QHostInfo &host)
{
    lookup = -1;
    untried = interleaved(host.addresses());
    if (host.error() != QHostInfo::NoError || untried.isEmpty()) {
        Q_EMIT failed(QAbstractSocket::HostNotFoundError, host.errorString());
        return;
    }
    startNextAttempt();
}

void HappyEyeballsConnector::startNextAttempt()
{
    if (untried.isEmpty())
        return;
    headStart.start();
    QTcpSocket *attempt = newAttempt();
    attempt->setProxy(QNetworkProxy::NoProxy);
    attempt->connectToHost(untried.takeFirst(), port);
}

QTcpSocket *HappyEyeballsConnector::newAttempt()
{
    QTcpSocket *attempt = makeSocket(this);
    attempts.append(attempt);
    connect(attempt, &QTcpSocket::connected, this, [this, attempt] { attemptConnected(attempt); });
    connect(attempt, &QTcpSocket::errorOccurred, this, [this, attempt] { attemptFailed(attempt); });
    return attempt;
}

void HappyEyeballsConnector::attemptFailed(QTcpSocket *attempt)
{
    attempts.removeOne(attempt);
    disconnect(attempt, nullptr, this, nullptr);
    attempt->deleteLater();
    if (!untried.isEmpty())
        startNextAttempt();
    else if (attempts.isEmpty())
        Q_EMIT failed(attempt->error(), attempt->errorString());
}

void HappyEyeballsConnector::attemptConnected(QTcpSocket *winner)
{
    headStart.stop();
    untried.clear();
    for (QTcpSocket *attempt : std::as_const(attempts)) {
        disconnect(attempt, nullptr, this, nullptr);
        if (attempt != winner) {
            attempt->abort();
            attempt->deleteLater();
        }
    }
    attempts.clear();
    winner->setParent(nullptr);
    Q_EMIT connected(winner);
}
