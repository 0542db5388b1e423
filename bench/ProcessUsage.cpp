// SPDX-License-Identifier: MIT

#include "ProcessUsage.h"

#include <QDir>
#include <QFile>

ProcessUsage::ProcessUsage(qint64 processId) : pid(processId) {}

std::chrono::nanoseconds ProcessUsage::cpuTime() const
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    qint64 total = 0;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        // Files under /proc report no size: read them whole, never by atEnd().
        if (schedstat.open(QIODevice::ReadOnly))
            total += schedstat.readAll().split(' ').value(0).toLongLong();
    }
    return std::chrono::nanoseconds(total);
}

qint64 ProcessUsage::residentKiB() const { return statusKiB("VmRSS:"); }

qint64 ProcessUsage::peakResidentKiB() const { return statusKiB("VmHWM:"); }

qint64 ProcessUsage::statusKiB(const char *field) const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArrayList lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
