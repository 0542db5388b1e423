// SPDX-License-Identifier: MIT

#include "KzJsonDictionary.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// Cheap for the short keys of JSON objects: the first and last four code
// units and the length; the index compares whole keys anyway.
std::size_t hashOf(std::u16string_view key)
{
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    const std::size_t units = std::min<std::size_t>(key.size(), 4);
    std::memcpy(&head, key.data(), units * sizeof(char16_t));
    if (key.size() > 4)
        std::memcpy(&tail, key.data() + key.size() - 4, 4 * sizeof(char16_t));
    const std::uint64_t mixed = (head * 0x9E3779B97F4A7C15u) ^ (tail * 0xC2B2AE3D27D4EB4Fu) ^ key.size();
    return static_cast<std::size_t>(mixed ^ (mixed >> 31));
}

} // namespace

KzJsonDictionary::KzJsonDictionary(KzJsonArena &arena, std::span<Entry> members) : KzJsonDictionary(arena)
{
    entries.reserve(members.size());
    if (members.size() > indexThreshold) {
        slots.assign(std::bit_ceil(members.size() * 2), 0);
        for (Entry &member : members) {
            Slot &slot = slots[slotOf(slots, *member.key.asString())];
            if (slot != 0) {
                entries[slot - 1].value = std::move(member.value);
            } else {
                entries.push_back(std::move(member));
                slot = static_cast<Slot>(entries.size());
            }
        }
        return;
    }
    // A small object marks the hash of each key in one word; only a key whose
    // mark is already set is looked for among the keys before it.
    std::uint64_t marks = 0;
    for (Entry &member : members) {
        const std::u16string_view key = *member.key.asString();
        const std::uint64_t mark = std::uint64_t(1) << (hashOf(key) & 63);
        if ((marks & mark) != 0) {
            if (const std::size_t at = position(key); at < entries.size()) {
                entries[at].value = std::move(member.value);
                continue;
            }
        }
        marks |= mark;
        entries.push_back(std::move(member));
    }
}

std::size_t KzJsonDictionary::slotOf(std::span<const Slot> table, std::u16string_view key) const
{
    const std::size_t mask = table.size() - 1;
    for (std::size_t at = hashOf(key) & mask;; at = (at + 1) & mask) {
        const Slot slot = table[at];
        if (slot == 0 || *entries[slot - 1].key.asString() == key)
            return at;
    }
}

std::size_t KzJsonDictionary::position(std::u16string_view key) const
{
    if (!slots.empty()) {
        const Slot slot = slots[slotOf(slots, key)];
        return slot != 0 ? slot - 1 : entries.size();
    }
    for (std::size_t at = 0; at < entries.size(); ++at) {
        const KzJsonString *text = entries[at].key.asString();
        if (text && *text == key)
            return at;
    }
    return entries.size();
}

std::size_t KzJsonDictionary::position(const KzJsonValue &key) const
{
    if (const KzJsonString *text = key.asString())
        return position(std::u16string_view(*text));
    for (std::size_t at = 0; at < entries.size(); ++at) {
        if (entries[at].key == key)
            return at;
    }
    return entries.size();
}

const KzJsonValue *KzJsonDictionary::find(std::u16string_view key) const
{
    const std::size_t at = position(key);
    return at < entries.size() ? &entries[at].value : nullptr;
}

const KzJsonValue *KzJsonDictionary::find(const KzJsonValue &key) const
{
    const std::size_t at = position(key);
    return at < entries.size() ? &entries[at].value : nullptr;
}

void KzJsonDictionary::insertOrAssign(std::u16string_view key, KzJsonValue value)
{
    insertOrAssign(KzJsonValue::string(key), std::move(value));
}

void KzJsonDictionary::insertOrAssign(KzJsonValue key, KzJsonValue value)
{
    const std::size_t at = position(key);
    if (at < entries.size()) {
        entries[at].value = std::move(value);
        return;
    }
    entries.push_back({std::move(key), std::move(value)});
    if (entries.size() * 2 > slots.size()) {
        if (entries.size() > indexThreshold)
            rebuildIndex();
    } else {
        indexEntry(entries.size() - 1);
    }
}

void KzJsonDictionary::rebuildIndex()
{
    slots.assign(std::bit_ceil(entries.size() * 4), 0);
    for (std::size_t at = 0; at < entries.size(); ++at)
        indexEntry(at);
}

void KzJsonDictionary::indexEntry(std::size_t at)
{
    const KzJsonString *text = entries[at].key.asString();
    if (!text)
        return;
    const std::size_t mask = slots.size() - 1;
    std::size_t slot = hashOf(*text) & mask;
    while (slots[slot] != 0)
        slot = (slot + 1) & mask;
    slots[slot] = static_cast<Slot>(at + 1);
}

bool operator==(const KzJsonDictionary &left, const KzJsonDictionary &right)
{
    if (left.size() != right.size())
        return false;
    for (const KzJsonDictionary::Entry &entry : left) {
        const KzJsonValue *other = right.find(entry.key);
        if (!other || !(*other == entry.value))
            return false;
    }
    return true;
}
