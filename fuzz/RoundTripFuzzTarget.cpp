// SPDX-License-Identifier: MIT

// Whatever parses must write, parse back to an equal value, and write to the
// same text again. The first byte chooses the writer's style and whether a
// bare scalar is allowed; the rest is the text.
#include "FuzzCheck.h"

#include "KzJsonParser.h"
#include "internal/KzJsonUtf8.h"
#include "KzJsonWriter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t options = data[0];
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
    const bool fragments = options & 0x01;

    KzJsonParser parser;
    const std::optional<KzJsonValue> parsed = fragments ? parser.fragmentWithString(text) : parser.objectWithString(text);
    if (!parsed)
        return 0;

    KzJsonWriter writer;
    writer.setHumanReadable(options & 0x02);
    writer.setSortKeys(options & 0x04);
    const auto write = [&](const KzJsonValue &value) {
        return fragments ? writer.stringWithFragment(value) : writer.stringWithObject(value);
    };
    const std::optional<std::u16string> written = write(*parsed);
    fuzzCheck(written.has_value(), "a parsed value can be written");
    fuzzCheck(write(*parsed) == written, "writing twice gives the same text");

    const std::optional<KzJsonValue> again =
        fragments ? parser.fragmentWithString(*written) : parser.objectWithString(*written);
    fuzzCheck(again.has_value(), "written text parses");
    fuzzCheck(*again == *parsed, "the text parses back to an equal value");
    fuzzCheck(write(*again) == written, "the value parsed back writes the same text");

    const std::optional<std::string> bytes = KzJsonUtf8::fromUtf16(*written);
    fuzzCheck(bytes.has_value(), "written text has a UTF-8 form");
    const std::optional<KzJsonValue> fromBytes =
        fragments ? parser.fragmentWithString(*bytes) : parser.objectWithString(*bytes);
    fuzzCheck(fromBytes && *fromBytes == *parsed, "its UTF-8 form parses back to an equal value");
    return 0;
}
