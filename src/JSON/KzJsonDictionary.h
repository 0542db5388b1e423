// SPDX-License-Identifier: MIT

#pragma once

#include "internal/KzJsonPool.h"
#include "KzJsonValue.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The members of a JSON object in insertion order. Keys are values so that
// callers can build the non-string keys the writer must refuse; an equal key
// replaces the member stored before. Large dictionaries keep an index of their
// string keys so that lookups stay cheap.
class KzJsonDictionary
{
public:
    struct Entry
    {
        KzJsonValue key;
        KzJsonValue value;
    };

    using Entries = std::vector<Entry, KzJsonPool::Allocator<Entry>>;

    KzJsonDictionary() = default;
    // A dictionary whose storage comes from an arena.
    explicit KzJsonDictionary(KzJsonArena &arena)
        : entries(KzJsonPool::Allocator<Entry>(&arena)), slots(KzJsonPool::Allocator<Slot>(&arena))
    {
    }
    // The string-keyed members of a parsed object, taken over in order in
    // one step; a key met again replaces the value stored before.
    KzJsonDictionary(KzJsonArena &arena, std::span<Entry> members);

    void reserve(std::size_t count) { entries.reserve(count); }
    std::size_t size() const { return entries.size(); }
    bool empty() const { return entries.empty(); }
    Entries::const_iterator begin() const { return entries.begin(); }
    Entries::const_iterator end() const { return entries.end(); }

    const KzJsonValue *find(std::u16string_view key) const;
    const KzJsonValue *find(const KzJsonValue &key) const;
    void insertOrAssign(std::u16string_view key, KzJsonValue value);
    void insertOrAssign(KzJsonValue key, KzJsonValue value);

    friend bool operator==(const KzJsonDictionary &left, const KzJsonDictionary &right);

private:
    static constexpr std::size_t indexThreshold = 16;
    // A position + 1, or 0 for a free slot. Half the width of a size: the
    // index of a parsed object is built whole, and a smaller one is quicker
    // to clear and stays in the cache; no dictionary nears 2^32 members, at
    // 32 bytes each.
    using Slot = std::uint32_t;

    // Where in table the slot of key lies: the one holding its position + 1,
    // or the free one where it belongs.
    std::size_t slotOf(std::span<const Slot> table, std::u16string_view key) const;
    std::size_t position(std::u16string_view key) const;
    std::size_t position(const KzJsonValue &key) const;
    void indexEntry(std::size_t at);
    void rebuildIndex();

    Entries entries;
    // Open-addressing index of the string keys, built once the dictionary
    // outgrows indexThreshold, at most half full.
    std::vector<Slot, KzJsonPool::Allocator<Slot>> slots;
};
