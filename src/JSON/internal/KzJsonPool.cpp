// SPDX-License-Identifier: MIT

#include "KzJsonPool.h"

#include <array>

namespace {

constexpr std::size_t granule = 16;
constexpr std::size_t largestPooled = 256;
constexpr std::size_t sizeClasses = largestPooled / granule;
// Enough for the nodes of a few megabytes of JSON text.
constexpr std::size_t keptBytes = std::size_t(32) << 20;

struct FreeBlock
{
    FreeBlock *next;
};

// Set once the thread's lists are gone, so that values destroyed later in the
// thread's (or the process's) end go straight to operator delete.
thread_local bool listsRetired = false;

struct FreeLists
{
    std::array<FreeBlock *, sizeClasses> heads{};
    std::size_t kept = 0;

    FreeLists() = default;
    FreeLists(const FreeLists &) = delete;
    FreeLists &operator=(const FreeLists &) = delete;
    ~FreeLists()
    {
        listsRetired = true;
        for (FreeBlock *&head : heads) {
            while (FreeBlock *block = head) {
                head = block->next;
                ::operator delete(block);
            }
        }
    }
};

thread_local FreeLists freeLists;

std::size_t classOf(std::size_t bytes)
{
    return (bytes + granule - 1) / granule - 1;
}

} // namespace

void *KzJsonPool::allocate(std::size_t bytes)
{
    if (bytes == 0 || bytes > largestPooled || listsRetired)
        return ::operator new(bytes);
    const std::size_t sizeClass = classOf(bytes);
    FreeLists &lists = freeLists;
    if (FreeBlock *block = lists.heads[sizeClass]) {
        lists.heads[sizeClass] = block->next;
        // Freed blocks lie scattered: fetch the next one while this one is used.
        if (block->next)
            __builtin_prefetch(block->next, 1);
        lists.kept -= granule * (sizeClass + 1);
        return block;
    }
    return ::operator new(granule * (sizeClass + 1));
}

void KzJsonPool::release(void *block, std::size_t bytes) noexcept
{
    if (!block)
        return;
    if (bytes == 0 || bytes > largestPooled || listsRetired) {
        ::operator delete(block);
        return;
    }
    const std::size_t sizeClass = classOf(bytes);
    const std::size_t blockBytes = granule * (sizeClass + 1);
    FreeLists &lists = freeLists;
    if (lists.kept + blockBytes > keptBytes) {
        ::operator delete(block);
        return;
    }
    lists.kept += blockBytes;
    lists.heads[sizeClass] = new (block) FreeBlock{lists.heads[sizeClass]};
}
