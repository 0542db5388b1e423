#pragma once

#include <cstddef>
#include <new>

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

    template <typename Element>
    struct Allocator
    {
        using value_type = Element;

        Allocator() = default;
        template <typename Other>
        Allocator(const Allocator<Other> &) noexcept
        {
        }

        Element *allocate(std::size_t count)
        {
            if (count > std::size_t(-1) / sizeof(Element))
                throw std::bad_array_new_length();
            return static_cast<Element *>(KzJsonPool::allocate(count * sizeof(Element)));
        }
        void deallocate(Element *block, std::size_t count) noexcept
        {
            KzJsonPool::release(block, count * sizeof(Element));
        }

        template <typename Other>
        bool operator==(const Allocator<Other> &) const noexcept
        {
            return true;
        }
    };
};
