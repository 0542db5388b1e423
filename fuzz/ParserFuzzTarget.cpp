// SPDX-License-Identifier: MIT

// Feeds arbitrary text to both parser entry points under several depth limits
// and checks what any result must satisfy. The first byte chooses the entry
// point, the input form and the limit; the rest is the text.
#include "FuzzCheck.h"

#include "KzJSON.h"
#include "KzJsonParser.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {
constexpr std::size_t depthLimits[] = {512, 0, 1, 2, 3, 16, 64, KzJsonBase::hardDepthLimit};

std::size_t nestingOf(const KzJsonValue &value)
{
    std::size_t deepest = 0;
    if (const KzJsonArray *array = value.asArray()) {
        for (const KzJsonValue &element : *array)
            deepest = std::max(deepest, nestingOf(element));
        return deepest + 1;
    }
    if (const KzJsonDictionary *dictionary = value.asDictionary()) {
        for (const KzJsonDictionary::Entry &entry : *dictionary)
            deepest = std::max(deepest, nestingOf(entry.value));
        return deepest + 1;
    }
    return 0;
}

// Every failure leaves a trace of well-formed records, each linked to the
// one recorded before it.
void checkFailureTrace(const KzJsonErrorTrace &trace)
{
    fuzzCheck(trace && !trace->empty(), "a failure leaves records");
    KzJsonErrorRecord before;
    for (const KzJsonErrorRecord &record : *trace) {
        fuzzCheck(record != nullptr, "records are present");
        fuzzCheck(record->domain() == KzJSONErrorDomain, "the codec's domain");
        fuzzCheck(record->code() >= 1 && record->code() <= 12, "a known code");
        // The codec's own texts end without a full stop; one that quotes a
        // key ends as the key does.
        const std::string &description = record->description();
        const bool quotesKey = description.starts_with("Object value expected for key: ");
        fuzzCheck(!description.empty() && (quotesKey || description.back() != '.'),
                  "a message without a final full stop");
        fuzzCheck(record->underlying() == before, "linked to the record before");
        before = record;
    }
}

void checkResult(const std::optional<KzJsonValue> &value, const KzJsonParser &parser, std::size_t limit)
{
    if (!value) {
        checkFailureTrace(parser.errorTrace());
        return;
    }
    fuzzCheck(!parser.errorTrace() || parser.errorTrace()->empty(), "a success leaves no records");
    const std::size_t effectiveLimit = limit == 0 ? KzJsonBase::hardDepthLimit : limit;
    fuzzCheck(nestingOf(*value) <= effectiveLimit, "nesting within the limit");
}

std::u16string asUtf16(std::string_view bytes)
{
    std::u16string text;
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[at])
                                             | static_cast<unsigned char>(bytes[at + 1]) << 8));
    return text;
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t options = data[0];
    const std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    const bool utf16 = options & 0x01;
    const std::size_t limit = depthLimits[(options >> 1) & 0x07];
    const std::u16string wide = utf16 ? asUtf16(bytes) : std::u16string();
    const KzJsonInput input = utf16 ? KzJsonInput(wide) : KzJsonInput(bytes);

    KzJsonParser parser;
    parser.setMaxDepth(limit);
    const std::optional<KzJsonValue> fragment = parser.fragmentWithString(input);
    checkResult(fragment, parser, limit);
    const std::optional<KzJsonValue> object = parser.objectWithString(input);
    checkResult(object, parser, limit);

    // The object entry point is the fragment one restricted to containers.
    const bool isContainer = fragment && (fragment->isArray() || fragment->isDictionary());
    fuzzCheck(object.has_value() == isContainer, "an object parses exactly when its fragment is a container");
    if (object)
        fuzzCheck(*object == *fragment, "both entry points give the same value");

    // The facade reports the outermost record of the parser's trace.
    KzJSON json;
    json.setMaxDepth(limit);
    KzJsonErrorRecord error;
    const std::optional<KzJsonValue> viaFacade = json.objectWithString(input, &error);
    fuzzCheck(viaFacade.has_value() == object.has_value(), "the facade agrees with the parser");
    if (!viaFacade)
        fuzzCheck(error && error == json.errorTrace()->back(), "the error slot holds the outermost record");
    return 0;
}
