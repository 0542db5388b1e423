#include "ProcessMemory.h"

#include <QByteArray>
#include <QFile>

qint64 ProcessMemory::residentKibibytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &entry : status.readAll().split('\n')) {
        if (entry.startsWith("VmRSS:"))
            return entry.mid(6).trimmed().split(' ').constFirst().toLongLong();
    }
    return -1;
}
