// SPDX-License-Identifier: MIT

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// The memory of one parsed tree: its nodes, their buffers and their strings,
// handed out in order from a few large chunks and given back all at once.
// A parse makes tens of thousands of small blocks; taking each from a chunk and
// dropping the chunks together costs a fraction of allocating and freeing them
// one by one, and the tree lies in memory in the order it is read.
//
// The arena counts the values outside it that refer into it (a parse's result
// and every copy taken of a part of it), from any thread; the last of them to
// go frees it. Nothing inside the arena is destroyed on its own, so whatever
// lives there holds only arena memory. A small part kept from a large tree
// keeps the whole tree's memory.
class KzJsonArena
{
public:
    // A new arena, sized for a text of expectedBytes, with one reference.
    static KzJsonArena *create(std::size_t expectedBytes);

    KzJsonArena(const KzJsonArena &) = delete;
    KzJsonArena &operator=(const KzJsonArena &) = delete;

    // A block of bytes at alignment, a power of two. Inline: a parse asks for
    // one per node.
    void *allocate(std::size_t bytes, std::size_t alignment)
    {
        const std::uintptr_t at = alignedUp(reinterpret_cast<std::uintptr_t>(free), alignment);
        const auto limit = reinterpret_cast<std::uintptr_t>(end);
        if (at <= limit && bytes <= limit - at && free) {
            free = reinterpret_cast<char *>(at) + bytes;
            return reinterpret_cast<char *>(at);
        }
        return allocateInNewChunk(bytes, alignment);
    }

    void retain() noexcept { references.fetch_add(1, std::memory_order_relaxed); }
    void release() noexcept;

private:
    struct Chunk;

    KzJsonArena() = default;
    ~KzJsonArena();
    void *allocateInNewChunk(std::size_t bytes, std::size_t alignment);
    static std::uintptr_t alignedUp(std::uintptr_t address, std::size_t alignment)
    {
        return (address + alignment - 1) & ~std::uintptr_t(alignment - 1);
    }

    std::atomic<std::size_t> references{1};
    Chunk *chunks = nullptr;
    std::size_t nextChunkBytes = 0;
    char *free = nullptr;
    char *end = nullptr;
};
