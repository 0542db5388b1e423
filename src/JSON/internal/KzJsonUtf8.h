// SPDX-License-Identifier: MIT

#pragma once

#include <optional>
#include <string>
#include <string_view>

// Conversions from the codec's UTF-16 text to UTF-8 bytes.
class KzJsonUtf8
{
public:
    // None when the text holds a lone surrogate, which has no UTF-8 form.
    static std::optional<std::string> fromUtf16(std::u16string_view text);
    // Lone surrogates become U+FFFD; for messages, which must always be made.
    static std::string fromUtf16Lossy(std::u16string_view text);

private:
    static bool append(std::string &out, std::u16string_view text, bool lossy);
};
