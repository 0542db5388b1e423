// SPDX-License-Identifier: MIT

#pragma once

#include "KzJsonBase.h"
#include "KzJsonInput.h"
#include "KzJsonParser.h"
#include "KzJsonValue.h"
#include "KzJsonWriter.h"

#include <cstddef>
#include <optional>
#include <string>

// The one object for both directions: a parser and a writer with one depth
// limit. After a failed call errorTrace() holds a copy of the failing
// component's trace (and keeps it through later successful calls); where an
// error slot is given, it receives the trace's last record, the outermost one,
// whose underlying() links lead back to the innermost cause.
//
//     KzJSON json;
//     KzJsonErrorRecord error;
//     if (std::optional<KzJsonValue> line = json.objectWithString(bytes, &error)) {
//         const KzJsonValue *title = line->member(u"title"); // nullptr: absent
//         if (title && title->isString()) use(*title->asString());
//     }
class KzJSON : public KzJsonBase
{
public:
    KzJSON();

    std::size_t maxDepth() const override;
    // Sets the parser's limit, then the writer's.
    void setMaxDepth(std::size_t limit) override;
    bool humanReadable() const;
    void setHumanReadable(bool human);
    bool sortKeys() const;
    void setSortKeys(bool sort);

    // An object or an array (any value with allowScalar); none on failure.
    std::optional<KzJsonValue> objectWithString(KzJsonInput text);
    std::optional<KzJsonValue> objectWithString(KzJsonInput text, bool allowScalar, KzJsonErrorRecord *error);
    std::optional<KzJsonValue> objectWithString(KzJsonInput text, KzJsonErrorRecord *error);
    std::optional<KzJsonValue> fragmentWithString(KzJsonInput text, KzJsonErrorRecord *error);

    // A dictionary or an array (any value with allowScalar); none on failure.
    std::optional<std::u16string> stringWithObject(const std::optional<KzJsonValue> &value);
    std::optional<std::u16string> stringWithObject(const std::optional<KzJsonValue> &value, bool allowScalar,
                                                   KzJsonErrorRecord *error);
    std::optional<std::u16string> stringWithObject(const std::optional<KzJsonValue> &value, KzJsonErrorRecord *error);
    std::optional<std::u16string> stringWithFragment(const std::optional<KzJsonValue> &value, KzJsonErrorRecord *error);

private:
    template <typename Result>
    Result adoptFailure(Result result, const KzJsonBase &component, KzJsonErrorRecord *error);

    KzJsonWriter jsonWriter;
    KzJsonParser jsonParser;
};
