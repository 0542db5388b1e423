#pragma once

#include <QtGlobal>

// The resident memory of this test process, which the agent under test
// shares: the growth tests compare it before and after long runs.
class ProcessMemory
{
public:
    // In KiB, or -1 when /proc cannot tell.
    static qint64 residentKibibytes();

    // The address sanitizer's allocator keeps freed memory back on purpose,
    // so resident memory says nothing about growth in a sanitised build.
#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool residentMemoryIsMeaningful = false;
#else
    static constexpr bool residentMemoryIsMeaningful = true;
#endif
};
