#pragma once

#include <QFile>

// The resident memory of this test process, which the agent under test
// shares: the growth tests compare it before and after long runs.
namespace ProcessMemory {
// In KiB, or -1 when /proc cannot tell.
inline qint64 residentKibibytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray entries = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype entry = entries.indexOf("\nVmRSS:");
    return entry < 0 ? -1 : entries.mid(entry + 7).trimmed().split(' ').constFirst().toLongLong();
}

// The address sanitizer's allocator keeps freed memory back on purpose,
// so resident memory says nothing about growth in a sanitised build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool residentMemoryIsMeaningful = false;
#else
constexpr bool residentMemoryIsMeaningful = true;
#endif
}
