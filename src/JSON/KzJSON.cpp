// SPDX-License-Identifier: MIT

#include "KzJSON.h"

KzJSON::KzJSON()
{
    setMaxDepth(512);
}

std::size_t KzJSON::maxDepth() const
{
    return jsonParser.maxDepth();
}

void KzJSON::setMaxDepth(std::size_t limit)
{
    jsonParser.setMaxDepth(limit);
    jsonWriter.setMaxDepth(limit);
}

bool KzJSON::humanReadable() const
{
    return jsonWriter.humanReadable();
}

void KzJSON::setHumanReadable(bool human)
{
    jsonWriter.setHumanReadable(human);
}

bool KzJSON::sortKeys() const
{
    return jsonWriter.sortKeys();
}

void KzJSON::setSortKeys(bool sort)
{
    jsonWriter.setSortKeys(sort);
}

template <typename Result>
Result KzJSON::adoptFailure(Result result, const KzJsonBase &component, KzJsonErrorRecord *error)
{
    if (result)
        return result;
    replaceErrorTrace(component.errorTrace());
    if (error) {
        const KzJsonErrorTrace adopted = errorTrace();
        *error = adopted && !adopted->empty() ? adopted->back() : nullptr;
    }
    return result;
}

std::optional<KzJsonValue> KzJSON::objectWithString(KzJsonInput text)
{
    return objectWithString(text, false, nullptr);
}

std::optional<KzJsonValue> KzJSON::objectWithString(KzJsonInput text, bool allowScalar, KzJsonErrorRecord *error)
{
    std::optional<KzJsonValue> value =
        allowScalar ? jsonParser.fragmentWithString(text) : jsonParser.objectWithString(text);
    return adoptFailure(std::move(value), jsonParser, error);
}

std::optional<KzJsonValue> KzJSON::objectWithString(KzJsonInput text, KzJsonErrorRecord *error)
{
    return objectWithString(text, false, error);
}

std::optional<KzJsonValue> KzJSON::fragmentWithString(KzJsonInput text, KzJsonErrorRecord *error)
{
    return objectWithString(text, true, error);
}

std::optional<std::u16string> KzJSON::stringWithObject(const std::optional<KzJsonValue> &value)
{
    return stringWithObject(value, false, nullptr);
}

std::optional<std::u16string> KzJSON::stringWithObject(const std::optional<KzJsonValue> &value, bool allowScalar,
                                                       KzJsonErrorRecord *error)
{
    std::optional<std::u16string> text =
        allowScalar ? jsonWriter.stringWithFragment(value) : jsonWriter.stringWithObject(value);
    return adoptFailure(std::move(text), jsonWriter, error);
}

std::optional<std::u16string> KzJSON::stringWithObject(const std::optional<KzJsonValue> &value,
                                                       KzJsonErrorRecord *error)
{
    return stringWithObject(value, false, error);
}

std::optional<std::u16string> KzJSON::stringWithFragment(const std::optional<KzJsonValue> &value,
                                                         KzJsonErrorRecord *error)
{
    return stringWithObject(value, true, error);
}
