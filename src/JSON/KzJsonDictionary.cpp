#include "KzJsonDictionary.h"

#include <utility>

std::size_t KzJsonDictionary::position(std::u16string_view key) const
{
    if (!index.empty()) {
        const auto found = index.find(key);
        return found == index.end() ? entries.size() : found->second;
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
    if (!index.empty()) {
        indexEntry(entries.size() - 1);
    } else if (entries.size() > indexThreshold) {
        index.reserve(entries.size() * 2);
        for (std::size_t each = 0; each < entries.size(); ++each)
            indexEntry(each);
    }
}

void KzJsonDictionary::indexEntry(std::size_t at)
{
    if (const std::u16string *text = entries[at].key.asString())
        index.emplace(std::u16string_view(*text), at);
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
