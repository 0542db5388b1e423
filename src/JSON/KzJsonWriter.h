// SPDX-License-Identifier: MIT

#pragma once

#include "KzJsonBase.h"
#include "KzJsonDictionary.h"
#include "KzJsonValue.h"

#include <optional>
#include <string>
#include <string_view>

// Turns values into JSON text (UTF-16 code units; KzJsonUtf8 gives the bytes).
// Compact by default; humanReadable puts every element and member on a line
// of its own, indented by two spaces per level, with " : " after each key.
// On failure it returns none and leaves the reasons in errorTrace().
class KzJsonWriter : public KzJsonBase
{
public:
    // Only a dictionary or an array.
    std::optional<std::u16string> stringWithObject(const std::optional<KzJsonValue> &value);
    // Any value.
    std::optional<std::u16string> stringWithFragment(const std::optional<KzJsonValue> &value);

    bool sortKeys() const { return sortingKeys; }
    void setSortKeys(bool sort) { sortingKeys = sort; }
    bool humanReadable() const { return readable; }
    void setHumanReadable(bool human) { readable = human; }

    // A line feed and two spaces per current nesting level.
    std::u16string indent() const;

private:
    bool appendValue(const KzJsonValue *value, std::u16string &into);
    bool appendProxy(const KzJsonValue &value, std::u16string &into);
    bool appendDictionary(const KzJsonDictionary &dictionary, std::u16string &into);
    bool appendMember(const KzJsonDictionary::Entry &entry, bool first, std::u16string_view separator,
                      std::u16string &into);
    bool appendArray(const KzJsonArray &array, std::u16string &into);
    void appendString(std::u16string_view text, std::u16string &into) const;
    void appendIndent(std::u16string &into) const;

    bool sortingKeys = false;
    bool readable = false;
    // Proxies being resolved; bounded so that a proxy naming itself fails cleanly.
    std::size_t proxyDepth = 0;
    // The text of the call in progress, handed out when it succeeds.
    std::u16string output;
};
