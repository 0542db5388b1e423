// SPDX-License-Identifier: MIT

#pragma once

#include "KzJsonArena.h"

#include <cstddef>
#include <new>
#include <type_traits>

// Recycles the small blocks that values, arrays and dictionaries are made of.
// A parse makes, and the end of a tree frees, one or two blocks per node;
// a list per thread and size hands them back in a few instructions where the
// general allocator takes many. Every block comes from operator new, so any
// thread may free any block: it simply joins the freeing thread's list. Each
// list keeps a bounded number of bytes; the rest goes back to operator delete.
class KzJsonPool
{
public:
    static void *allocate(std::size_t bytes);
    static void release(void *block, std::size_t bytes) noexcept;

    // Takes its blocks from the pool, or from an arena when given one; blocks
    // of an arena are never handed back one by one. A copy of a container
    // made from arena memory lives in the pool.
    template <typename Element>
    struct Allocator
    {
        using value_type = Element;
        using propagate_on_container_move_assignment = std::true_type;
        using propagate_on_container_swap = std::true_type;

        Allocator() = default;
        explicit Allocator(KzJsonArena *memory) noexcept : arena(memory) {}
        template <typename Other>
        Allocator(const Allocator<Other> &other) noexcept : arena(other.arena)
        {
        }

        Allocator select_on_container_copy_construction() const noexcept { return {}; }

        Element *allocate(std::size_t count)
        {
            if (count > std::size_t(-1) / sizeof(Element))
                throw std::bad_array_new_length();
            if (arena)
                return static_cast<Element *>(arena->allocate(count * sizeof(Element), alignof(Element)));
            return static_cast<Element *>(KzJsonPool::allocate(count * sizeof(Element)));
        }
        void deallocate(Element *block, std::size_t count) noexcept
        {
            if (!arena)
                KzJsonPool::release(block, count * sizeof(Element));
        }

        template <typename Other>
        bool operator==(const Allocator<Other> &other) const noexcept
        {
            return arena == other.arena;
        }

        KzJsonArena *arena = nullptr;
    };
};
