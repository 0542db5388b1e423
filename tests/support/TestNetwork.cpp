// SPDX-License-Identifier: MIT

#include "TestNetwork.h"

#include <QFile>
#include <QProcess>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
bool run(const QString &commandLine)
{
    QStringList words = QProcess::splitCommand(commandLine);
    const QString program = words.takeFirst();
    return QProcess::execute(program, words) == 0;
}

bool dropTheDeadAddress()
{
    return run(QStringLiteral("nft add rule inet pellix out ip6 daddr %1 drop").arg(QLatin1String(TestNetwork::deadAddress)));
}
}

QString TestNetwork::enter()
{
    if (::geteuid() != 0)
        return QStringLiteral("only root can make network namespaces");
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("unshare: ") + QString::fromLocal8Bit(std::strerror(errno));
    QFile hosts(QStringLiteral("/tmp/pellix-test-hosts-%1").arg(::getpid()));
    const bool written = hosts.open(QIODevice::WriteOnly)
                         && hosts.write(QByteArray(deadAddress) + ' ' + hostName + "\n127.0.0.1 " + hostName + '\n') > 0;
    hosts.close();
    const bool mounted = written && ::mount(QFile::encodeName(hosts.fileName()), "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
    hosts.remove();
    const bool configured = run(QStringLiteral("ip link set lo up"))
                            && run(QStringLiteral("ip -6 addr add %1/128 dev lo nodad").arg(QLatin1String(deadAddress)))
                            && run(QStringLiteral("ip addr add 192.0.2.1/32 dev lo")) && run(QStringLiteral("nft add table inet pellix"))
                            && run(QStringLiteral("nft add chain inet pellix out { type filter hook output priority 0 ; }"))
                            && dropTheDeadAddress();
    return mounted && configured ? QString() : QStringLiteral("the test network could not be set up (ip, nft)");
}

bool TestNetwork::dropPacketsFrom(quint16 port)
{
    return run(QStringLiteral("nft add rule inet pellix out tcp sport %1 drop").arg(port));
}

bool TestNetwork::letPacketsFlow()
{
    return run(QStringLiteral("nft flush chain inet pellix out")) && dropTheDeadAddress();
}
