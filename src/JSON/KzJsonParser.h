// SPDX-License-Identifier: MIT

#pragma once

#include "internal/KzJsonArena.h"
#include "KzJsonBase.h"
#include "KzJsonDictionary.h"
#include "KzJsonInput.h"
#include "KzJsonValue.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Turns JSON text into values. The text is read as UTF-8 up to its first zero
// byte (the parser works on a copy, so the caller's bytes need no terminator);
// UTF-16 text is converted first. On failure it returns none and leaves the
// reasons in errorTrace(), innermost first.
//
// Beyond strict JSON it accepts vertical tab and form feed as white space and
// a missing comma between elements or members. Malformed UTF-8 inside a string
// and UTF-16 text with a lone surrogate (which has no UTF-8 form) are refused
// with code 6 (KzJSONErrorUnicode); nesting beyond hardDepthLimit with code 7
// even when maxDepth is 0; an exponent beyond KzJsonValue::maxExponent with
// code 2.
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
    bool scanStringValue(KzJsonValue &value);
    bool scanKey(KzJsonValue &key);
    bool scanRestOfDictionary(KzJsonValue &value);
    bool scanRestOfArray(KzJsonValue &value);
    // Build the container from the values scanned since first.
    void finishArray(std::size_t first, KzJsonValue &value);
    void finishDictionary(std::size_t first, KzJsonValue &value);
    // The view points into a buffer that the next string scan overwrites.
    bool scanRestOfString(std::u16string_view &text);
    // The key whose text lies between begin and end, shared with the last
    // key of the same text where there was one.
    template <typename MakeKey>
    KzJsonValue sharedKey(const unsigned char *begin, const unsigned char *end, MakeKey makeKey);
    KzJsonValue arenaString(const unsigned char *begin, const unsigned char *end);
    KzJsonValue arenaString(std::u16string_view text);
    bool scanPlainRun(char16_t *&out);
    bool scanEscape(char16_t *&out);
    bool scanNumber(KzJsonValue &value);
    bool scanRestOfTrue(KzJsonValue &value);
    bool scanRestOfFalse(KzJsonValue &value);
    bool scanRestOfNull(KzJsonValue &value);
    bool scanUnicodeChar(char16_t *&out);
    bool scanHexQuad(unsigned &quad);
    bool scanIsAtEnd();
    void skipWhiteSpace();

    struct RecentKey
    {
        // The key's text in the input, between its quotation marks.
        const unsigned char *source = nullptr;
        std::size_t length = 0;
        KzJsonValue key;
    };

    // What a parse works in: the text, the decoded string content and the
    // containers being built. Reused by the thread's parses one after another.
    struct Workspace
    {
        void prepare(std::string_view text);
        // Lets go of every value and of room beyond what is worth keeping.
        void release();

        // A copy of the text, ending with zero bytes enough for 32-byte
        // reads anywhere before the first of them.
        std::string input;
        // Decoded string content; never shorter than the input, which no
        // string can outgrow. Left uninitialised: only what a scan wrote is read.
        std::unique_ptr<char16_t[]> scratch;
        std::size_t scratchRoom = 0;
        // Elements of the arrays being scanned, innermost last.
        std::vector<KzJsonValue> elements;
        // Members of the objects being scanned, innermost last.
        std::vector<KzJsonDictionary::Entry> members;
        // Keys met during the parse, so that a key that repeats (as in an
        // array of similar objects) is shared instead of made again.
        std::vector<RecentKey> recentKeys;
        // Where the values of the parse in progress live.
        KzJsonArena *arena = nullptr;
        bool inUse = false;
    };

    // The document's value is borrowed from the workspace's arena.
    bool scanDocument(std::string_view text, KzJsonValue &value);

    // The cursor into the workspace's input.
    const unsigned char *c = nullptr;
    Workspace *work = nullptr;
};
