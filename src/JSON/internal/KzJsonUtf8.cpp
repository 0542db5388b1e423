// SPDX-License-Identifier: MIT

#include "KzJsonUtf8.h"

namespace {

void appendCodePoint(std::string &out, char32_t point)
{
    if (point < 0x80) {
        out.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (point >> 6)));
        out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (point >> 12)));
        out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (point >> 18)));
        out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

} // namespace

bool KzJsonUtf8::append(std::string &out, std::u16string_view text, bool lossy)
{
    out.reserve(out.size() + text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char16_t unit = text[at];
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
        } else if (isHighSurrogate(unit) && at + 1 < text.size() && isLowSurrogate(text[at + 1])) {
            appendCodePoint(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[at + 1]) - 0xDC00));
            ++at;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            if (!lossy)
                return false;
            appendCodePoint(out, 0xFFFD);
        } else {
            appendCodePoint(out, unit);
        }
    }
    return true;
}

std::optional<std::string> KzJsonUtf8::fromUtf16(std::u16string_view text)
{
    std::string out;
    if (!append(out, text, false))
        return std::nullopt;
    return out;
}

std::string KzJsonUtf8::fromUtf16Lossy(std::u16string_view text)
{
    std::string out;
    append(out, text, true);
    return out;
}
