#pragma once

#include "KzJsonBase.h"
#include "KzJsonInput.h"
#include "KzJsonValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Turns JSON text into values. The text is read as UTF-8 up to its first zero
// byte; UTF-16 text is converted first. On failure it returns none and leaves
// the reasons in errorTrace(), innermost first.
//
// Beyond strict JSON it accepts vertical tab and form feed as white space and
// a missing comma between elements or members. Input that no JSON text holds,
// malformed UTF-8 in a string or UTF-16 text with a lone surrogate, is refused
// with code 6 (KzJSONErrorUnicode).
class KzJsonParser : public KzJsonBase
{
public:
    // Only an object or an array.
    std::optional<KzJsonValue> objectWithString(KzJsonInput text);
    // Any value.
    std::optional<KzJsonValue> fragmentWithString(KzJsonInput text);

private:
    std::optional<KzJsonValue> fragmentWithUtf8(std::string_view text);
    bool scanValue(KzJsonValue &value);
    bool scanRestOfDictionary(KzJsonValue &value);
    bool scanRestOfArray(KzJsonValue &value);
    // The view points into a buffer that the next string scan overwrites.
    bool scanRestOfString(std::u16string_view &text);
    bool scanPlainRun(char16_t *&out);
    bool scanEscape(char16_t *&out);
    bool scanNumber(KzJsonValue &value);
    void scanDigits(std::uint64_t &significand, int &significantDigits, std::int64_t *fractionDigits);
    bool scanRestOfTrue(KzJsonValue &value);
    bool scanRestOfFalse(KzJsonValue &value);
    bool scanRestOfNull(KzJsonValue &value);
    bool scanUnicodeChar(char16_t *&out);
    bool scanHexQuad(unsigned &quad);
    bool scanIsAtEnd();
    void skipWhiteSpace();

    // The cursor into input, which always ends with a zero byte.
    const unsigned char *c = nullptr;
    std::string input;
    // Decoded string content; never shorter than the input, which no string can outgrow.
    std::u16string scratch;
    // Elements of the arrays being scanned, innermost last.
    std::vector<KzJsonValue> elements;
};
