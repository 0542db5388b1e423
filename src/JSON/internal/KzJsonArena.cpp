// SPDX-License-Identifier: MIT

#include "KzJsonArena.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

constexpr std::size_t smallestChunkBytes = std::size_t(4) << 10;
constexpr std::size_t largestChunkBytes = std::size_t(64) << 20;
// A parsed tree takes up to about two and a half times the bytes of its
// text; the first chunk leaves room to spare.
constexpr std::size_t treeBytesPerTextByte = 3;

} // namespace

struct KzJsonArena::Chunk
{
    Chunk *previous;
};

KzJsonArena *KzJsonArena::create(std::size_t expectedBytes)
{
    auto *arena = new KzJsonArena;
    const std::size_t wanted = expectedBytes < largestChunkBytes / treeBytesPerTextByte
                                   ? expectedBytes * treeBytesPerTextByte
                                   : largestChunkBytes;
    arena->nextChunkBytes = std::max(smallestChunkBytes, wanted);
    return arena;
}

KzJsonArena::~KzJsonArena()
{
    while (Chunk *chunk = chunks) {
        chunks = chunk->previous;
        ::operator delete(chunk);
    }
}

void KzJsonArena::release() noexcept
{
    // A sole owner needs no atomic decrement: nobody else can reach the arena.
    if (references.load(std::memory_order_acquire) == 1 || references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

void *KzJsonArena::allocateInNewChunk(std::size_t bytes, std::size_t alignment)
{
    const std::size_t header = (sizeof(Chunk) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
                               alignof(std::max_align_t);
    if (bytes > std::size_t(-1) / 2 - header - alignment)
        throw std::bad_alloc();
    const std::size_t chunkBytes = std::max(nextChunkBytes, header + bytes + alignment);
    auto *chunk = static_cast<Chunk *>(::operator new(chunkBytes));
    *chunk = Chunk{chunks};
    chunks = chunk;
    nextChunkBytes = std::min(largestChunkBytes, nextChunkBytes * 2);
    char *const start = reinterpret_cast<char *>(chunk);
    auto *const at = reinterpret_cast<char *>(alignedUp(reinterpret_cast<std::uintptr_t>(start + header), alignment));
    free = at + bytes;
    end = start + chunkBytes;
    return at;
}
