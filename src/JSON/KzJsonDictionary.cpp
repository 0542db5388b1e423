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

std::size_t KzJsonDictionary::position(std::u16string_view key) const
{
    if (!slots.empty()) {
        const std::size_t mask = slots.size() - 1;
        for (std::size_t at = hashOf(key) & mask;; at = (at + 1) & mask) {
            const std::size_t slot = slots[at];
            if (slot == 0)
                return entries.size();
            if (*entries[slot - 1].key.asString() == key)
                return slot - 1;
        }
    }
    for (std::size_t at = 0; at < entries.size(); ++at) {
        const std::u16string *text = entries[at].key.asString();
        if (text && *text == key)
            return at;
    }
    return entries.size();
}

std::size_t KzJsonDictionary::position(const KzJsonValue &key) const
{
    if (const std::u16string *text = key.asString())
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

void KzJsonDictionary::insertOrAssign(std::u16string key, KzJsonValue value)
{
    insertOrAssign(KzJsonValue::string(std::move(key)), std::move(value));
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
    const std::u16string *text = entries[at].key.asString();
    if (!text)
        return;
    const std::size_t mask = slots.size() - 1;
    std::size_t slot = hashOf(*text) & mask;
    while (slots[slot] != 0)
        slot = (slot + 1) & mask;
    slots[slot] = at + 1;
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
