// SPDX-License-Identifier: MIT

#include "KzJsonParser.h"

#include "internal/KzJsonUtf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <iterator>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::array<bool, 256> whiteSpace = [] {
    std::array<bool, 256> table{};
    for (unsigned char byte : {' ', '\t', '\n', '\v', '\f', '\r'})
        table[byte] = true;
    return table;
}();

constexpr std::size_t recentKeySlots = 256;
constexpr std::size_t maxRecentKeyLength = 32;
// Zero bytes after the text: wide loads near its end, up to 32 bytes from
// anywhere before the first of them, stay inside the buffer.
constexpr std::size_t inputPadding = 32;
static_assert(maxRecentKeyLength <= inputPadding, "recent keys are compared in 32-byte reads");
// A thread keeps the room of texts up to this size from parse to parse.
constexpr std::size_t keptWorkspaceBytes = std::size_t(8) << 20;

#if defined(__SSE2__)
// A mask of the bytes among sixteen that end a plain ASCII run of string
// content: a quotation mark, a backslash, a control byte (the zero byte that
// ends the input included) or any byte from 0x80 up.
unsigned asciiRunStops(__m128i bytes)
{
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x1F)), bytes);
    const __m128i stops = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))), control);
    return static_cast<unsigned>(_mm_movemask_epi8(stops) | _mm_movemask_epi8(bytes));
}
#endif

// The first byte at or after at that ends a plain ASCII run of string content.
const unsigned char *endOfAsciiRun(const unsigned char *at)
{
#if defined(__SSE2__)
    for (;; at += 16) {
        const unsigned stops = asciiRunStops(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)));
        if (stops != 0)
            return at + std::countr_zero(stops);
    }
#else
    while (*at >= 0x20 && *at < 0x80 && *at != '"' && *at != '\\')
        ++at;
    return at;
#endif
}

// Widens the plain ASCII run at at into out and returns its end. With SSE2 it
// stores sixteen units a step, up to sixteen past the run: a decoded string
// is never longer than its text, and the room for it never shorter than the
// padded input, so the stores stay inside.
const unsigned char *copyAsciiRun(const unsigned char *at, char16_t *&out)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (;; at += 16, out += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(bytes, zero));
        if (const unsigned stops = asciiRunStops(bytes); stops != 0) {
            const int length = std::countr_zero(stops);
            out += length;
            return at + length;
        }
    }
#else
    const unsigned char *const stop = endOfAsciiRun(at);
    out = std::copy(at, stop, out);
    return stop;
#endif
}

// The first byte at or after at that is no white space. Indented text puts
// runs of spaces before most tokens, so once past the first byte the search
// goes sixteen bytes a step with SSE2.
const unsigned char *endOfWhiteSpace(const unsigned char *at)
{
    if (!whiteSpace[*at])
        return at;
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i firstControl = _mm_set1_epi8('\t');
    const __m128i controlSpan = _mm_set1_epi8('\r' - '\t');
    for (;; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        // Tab up to carriage return are one span: below it, bytes wrap round.
        const __m128i offset = _mm_sub_epi8(bytes, firstControl);
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(offset, controlSpan), offset);
        const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(bytes, space), control);
        const auto mask = static_cast<unsigned>(~_mm_movemask_epi8(blank) & 0xFFFF);
        if (mask != 0)
            return at + std::countr_zero(mask);
    }
#else
    while (whiteSpace[*at])
        ++at;
    return at;
#endif
}

std::uint64_t eightBytesAt(const unsigned char *at)
{
    std::uint64_t bytes = 0;
    std::memcpy(&bytes, at, sizeof bytes);
    return bytes;
}

bool isDigit(unsigned char byte)
{
    return byte >= '0' && byte <= '9';
}

#if defined(__SSE2__)
constexpr int widestDigitRun = 16;
#else
constexpr int widestDigitRun = 8;
#endif

// How many digits begin at at, up to widestDigitRun. Zero on big-endian
// machines, whose digits take the byte-by-byte path.
int digitRunLength(const unsigned char *at)
{
#if defined(__SSE2__)
    const __m128i offset = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)), _mm_set1_epi8('0'));
    const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset);
    return std::countr_zero(~static_cast<unsigned>(_mm_movemask_epi8(digits)) | 0x10000u);
#else
    if constexpr (std::endian::native != std::endian::little)
        return 0;
    // A byte is a digit when its high half is 3 both before and after adding
    // 6; a carry out of a non-digit can only spoil bytes after it.
    const std::uint64_t chunk = eightBytesAt(at);
    const std::uint64_t highHalves = 0xF0F0F0F0F0F0F0F0u;
    const std::uint64_t nonDigits =
        ((chunk & highHalves) | (((chunk + 0x0606060606060606u) & highHalves) >> 4)) ^ 0x3333333333333333u;
    return std::countr_zero(nonDigits) / 8;
#endif
}

// The value of the length digits at at, 1 to 8 of them, in one step
// (little-endian machines only).
std::uint64_t shortDigitRunValue(const unsigned char *at, int length)
{
    // Shift the run to the top so that the bytes before it read as leading zeros.
    std::uint64_t chunk = (eightBytesAt(at) - 0x3030303030303030u) << (8 * (8 - length));
    // Pairs of digits, then groups of four, then all eight.
    chunk = chunk * 10 + (chunk >> 8);
    const std::uint64_t pairs = 0x000000FF000000FFu;
    return ((chunk & pairs) * (100 + (std::uint64_t(1000000) << 32)) +
            ((chunk >> 16) & pairs) * (1 + (std::uint64_t(10000) << 32))) >>
           32;
}

constexpr std::array<std::uint64_t, 17> powersOfTen = [] {
    std::array<std::uint64_t, 17> powers{};
    std::uint64_t power = 1;
    for (std::uint64_t &entry : powers) {
        entry = power;
        power *= 10;
    }
    return powers;
}();

// The value of the length digits at at, 1 to 16 of them. The two halves of a
// long run are independent steps, so they overlap; inline, so that they do.
[[gnu::always_inline]] inline std::uint64_t digitRunValue(const unsigned char *at, int length)
{
    if (length <= 8)
        return shortDigitRunValue(at, length);
    return shortDigitRunValue(at, 8) * powersOfTen[static_cast<std::size_t>(length - 8)] +
           shortDigitRunValue(at + 8, length - 8);
}

// A number's significand so far: at most 19 digits are kept, and those after
// them only counted.
struct Significand
{
    std::uint64_t value = 0;
    int digits = 0;
};

// Moves at past the digits it points to and adds them to significand, whole
// runs at a time. Leading zeros are not significant. Always inline: a number
// scans two runs, and a call each would keep the significand in memory.
[[gnu::always_inline]] inline const unsigned char *scanDigits(const unsigned char *at, Significand &significand)
{
    std::uint64_t value = significand.value;
    int counted = significand.digits;
    if (counted == 0) {
        while (*at == '0')
            ++at;
    }
    for (;;) {
        const int length = digitRunLength(at);
        if (length == 0 || counted + length > 19)
            break;
        value = value * powersOfTen[static_cast<std::size_t>(length)] + digitRunValue(at, length);
        counted += length;
        at += length;
        if (length < widestDigitRun)
            break;
    }
    for (; counted < 19 && isDigit(*at); ++at, ++counted)
        value = value * 10 + (*at - unsigned('0'));
    const unsigned char *const uncounted = at;
    while (isDigit(*at))
        ++at;
    significand = {value, counted + static_cast<int>(at - uncounted)};
    return at;
}

// A hash of a short key in the input from its first and last eight bytes and
// its length. It reads eight bytes even of a shorter key (the padding after
// the text allows it) and keeps the key's own.
std::size_t keyHash(const unsigned char *key, std::size_t length)
{
    const std::uint64_t own = length >= 8 ? ~std::uint64_t(0) : (std::uint64_t(1) << (8 * length)) - 1;
    const std::uint64_t head = eightBytesAt(key) & own;
    const std::uint64_t tail = length > 8 ? eightBytesAt(key + length - 8) : 0;
    const std::uint64_t mixed = (head * 0x9E3779B97F4A7C15u) ^ (tail * 0xC2B2AE3D27D4EB4Fu) ^ length;
    return static_cast<std::size_t>(mixed ^ (mixed >> 29));
}

// Whether two keys in the input, of length bytes (at most 32), are the same.
// It reads 32 bytes at each, which the padding after the text allows.
bool sameShortKey(const unsigned char *left, const unsigned char *right, std::size_t length)
{
#if defined(__SSE2__)
    const auto equalBytes = [&](std::size_t offset) {
        const __m128i leftBytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(left + offset));
        const __m128i rightBytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(right + offset));
        return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(leftBytes, rightBytes)));
    };
    const std::uint32_t equal = equalBytes(0) | (equalBytes(16) << 16);
    const std::uint32_t own = length >= 32 ? ~std::uint32_t(0) : (std::uint32_t(1) << length) - 1;
    return (~equal & own) == 0;
#else
    return std::memcmp(left, right, length) == 0;
#endif
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Decodes the UTF-8 sequence at at, whose lead byte is 0x80 or more, into
// out. Returns the bytes it took, or 0 for a malformed sequence: a stray or
// overlong form, a surrogate, a point past U+10FFFF or one cut short.
int decodeUtf8Sequence(const unsigned char *at, char16_t *&out)
{
    const unsigned char lead = at[0];
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        if (at[1] < low || at[1] > high || !isContinuation(at[2]))
            return 0;
        *out++ = static_cast<char16_t>(((lead & 0x0Fu) << 12) | ((at[1] & 0x3Fu) << 6) | (at[2] & 0x3Fu));
        return 3;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (!isContinuation(at[1]))
            return 0;
        *out++ = static_cast<char16_t>(((lead & 0x1Fu) << 6) | (at[1] & 0x3Fu));
        return 2;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        if (at[1] < low || at[1] > high || !isContinuation(at[2]) || !isContinuation(at[3]))
            return 0;
        const char32_t point =
            ((lead & 0x07u) << 18) | ((at[1] & 0x3Fu) << 12) | ((at[2] & 0x3Fu) << 6) | (at[3] & 0x3Fu);
        *out++ = static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
        *out++ = static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        return 4;
    }
    return 0;
}

std::string hex(unsigned value)
{
    char buffer[16];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
    return {buffer, static_cast<std::size_t>(end - buffer)};
}

} // namespace

std::optional<KzJsonValue> KzJsonParser::objectWithString(KzJsonInput text)
{
    std::optional<KzJsonValue> value = fragmentWithString(text);
    if (!value || value->isDictionary() || value->isArray())
        return value;
    addErrorWithCode(KzJSONErrorFragment, "Valid fragment, but not JSON");
    return std::nullopt;
}

std::optional<KzJsonValue> KzJsonParser::fragmentWithString(KzJsonInput text)
{
    clearErrorTrace();
    switch (text.form) {
    case KzJsonInput::Form::None:
        addErrorWithCode(KzJSONErrorNilInput, "Input was 'nil'");
        return std::nullopt;
    case KzJsonInput::Form::Utf8:
        return fragmentWithUtf8(text.utf8);
    case KzJsonInput::Form::Utf16:
        break;
    }
    const std::optional<std::string> utf8 = KzJsonUtf8::fromUtf16(text.utf16);
    if (!utf8) {
        addErrorWithCode(KzJSONErrorUnicode, "Input text has no UTF-8 form");
        return std::nullopt;
    }
    return fragmentWithUtf8(*utf8);
}

std::optional<KzJsonValue> KzJsonParser::fragmentWithUtf8(std::string_view text)
{
    // The buffers live on with the thread, so that the many small parses of
    // a stream (each with a parser of its own) find their room ready.
    thread_local Workspace threadWorkspace;
    Workspace ownWorkspace;
    Workspace &chosen = threadWorkspace.inUse ? ownWorkspace : threadWorkspace;
    chosen.inUse = true;
    work = &chosen;
    KzJsonArena *const arena = KzJsonArena::create(text.size());
    chosen.arena = arena;
    std::optional<KzJsonValue> result;
    KzJsonValue borrowed;
    if (scanDocument(text, borrowed))
        result.emplace(std::as_const(borrowed));
    chosen.release();
    work = nullptr;
    // The result, when it holds part of the arena, now counts on it.
    arena->release();
    return result;
}

bool KzJsonParser::scanDocument(std::string_view text, KzJsonValue &value)
{
    depth = 0;
    work->prepare(text);
    c = reinterpret_cast<const unsigned char *>(work->input.c_str());
    if (!scanValue(value))
        return false;
    if (!scanIsAtEnd()) {
        addErrorWithCode(KzJSONErrorTrailingGarbage, "Garbage after JSON");
        return false;
    }
    return true;
}

void KzJsonParser::Workspace::prepare(std::string_view text)
{
    input.reserve(text.size() + inputPadding);
    input.assign(text);
    input.append(inputPadding, '\0');
    if (scratchRoom < input.size()) {
        scratch = std::make_unique_for_overwrite<char16_t[]>(input.size());
        scratchRoom = input.size();
    }
    elements.clear();
    members.clear();
    recentKeys.assign(recentKeySlots, RecentKey());
}

void KzJsonParser::Workspace::release()
{
    elements.clear();
    members.clear();
    recentKeys.clear();
    arena = nullptr;
    if (input.capacity() > keptWorkspaceBytes) {
        input = std::string();
        scratch.reset();
        scratchRoom = 0;
    }
    inUse = false;
}

void KzJsonParser::skipWhiteSpace()
{
    c = endOfWhiteSpace(c);
}

bool KzJsonParser::scanIsAtEnd()
{
    skipWhiteSpace();
    return *c == 0;
}

bool KzJsonParser::scanValue(KzJsonValue &value)
{
    skipWhiteSpace();
    switch (*c++) {
    case '{':
        return scanRestOfDictionary(value);
    case '[':
        return scanRestOfArray(value);
    case '"':
        return scanStringValue(value);
    case 't':
        return scanRestOfTrue(value);
    case 'f':
        return scanRestOfFalse(value);
    case 'n':
        return scanRestOfNull(value);
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
        --c;
        return scanNumber(value);
    case '+':
        addErrorWithCode(KzJSONErrorNumber, "Leading + disallowed in number");
        return false;
    case 0:
        addErrorWithCode(KzJSONErrorEndOfInput, "Unexpected end of string");
        return false;
    default:
        addErrorWithCode(KzJSONErrorSyntax, "Unrecognised leading character");
        return false;
    }
}

bool KzJsonParser::scanRestOfTrue(KzJsonValue &value)
{
    if (std::strncmp(reinterpret_cast<const char *>(c), "rue", 3) != 0) {
        addErrorWithCode(KzJSONErrorSyntax, "Expected 'true'");
        return false;
    }
    c += 3;
    value = KzJsonValue::boolean(true);
    return true;
}

bool KzJsonParser::scanRestOfFalse(KzJsonValue &value)
{
    if (std::strncmp(reinterpret_cast<const char *>(c), "alse", 4) != 0) {
        addErrorWithCode(KzJSONErrorSyntax, "Expected 'false'");
        return false;
    }
    c += 4;
    value = KzJsonValue::boolean(false);
    return true;
}

bool KzJsonParser::scanRestOfNull(KzJsonValue &value)
{
    if (std::strncmp(reinterpret_cast<const char *>(c), "ull", 3) != 0) {
        addErrorWithCode(KzJSONErrorSyntax, "Expected 'null'");
        return false;
    }
    c += 3;
    value = KzJsonValue::null();
    return true;
}

bool KzJsonParser::scanRestOfArray(KzJsonValue &value)
{
    if (enterContainerIsTooDeep()) {
        addErrorWithCode(KzJSONErrorDepth, "Nested too deep");
        return false;
    }
    const std::size_t first = work->elements.size();
    for (;;) {
        if (*c == 0) {
            addErrorWithCode(KzJSONErrorEndOfInput, "End of input while parsing array");
            return false;
        }
        skipWhiteSpace();
        if (*c == ']') {
            ++c;
            break;
        }
        KzJsonValue element;
        if (!scanValue(element)) {
            addErrorWithCode(KzJSONErrorSyntax, "Expected value while parsing array");
            return false;
        }
        work->elements.push_back(std::move(element));
        skipWhiteSpace();
        if (*c == ',') {
            ++c;
            skipWhiteSpace();
            if (*c == ']') {
                addErrorWithCode(KzJSONErrorTrailingComma, "Trailing comma disallowed in array");
                return false;
            }
        }
    }
    finishArray(first, value);
    --depth;
    return true;
}

// Out of the recursive scan, so that its frame stays small at any depth.
[[gnu::noinline]] void KzJsonParser::finishArray(std::size_t first, KzJsonValue &value)
{
    const auto begin = work->elements.begin() + static_cast<std::ptrdiff_t>(first);
    value = KzJsonValue::borrowedArray(KzJsonArray(std::make_move_iterator(begin), std::make_move_iterator(work->elements.end()),
                                                   KzJsonPool::Allocator<KzJsonValue>(work->arena)));
    work->elements.erase(begin, work->elements.end());
}

bool KzJsonParser::scanRestOfDictionary(KzJsonValue &value)
{
    if (enterContainerIsTooDeep()) {
        addErrorWithCode(KzJSONErrorDepth, "Nested too deep");
        return false;
    }
    const std::size_t first = work->members.size();
    for (;;) {
        if (*c == 0) {
            addErrorWithCode(KzJSONErrorEndOfInput, "End of input while parsing object");
            return false;
        }
        skipWhiteSpace();
        if (*c == '}') {
            ++c;
            break;
        }
        KzJsonValue key;
        if (*c != '"' || (++c, !scanKey(key))) {
            addErrorWithCode(KzJSONErrorSyntax, "Object key string expected");
            return false;
        }
        skipWhiteSpace();
        if (*c != ':') {
            addErrorWithCode(KzJSONErrorSyntax, "Expected ':' separating key and value");
            return false;
        }
        ++c;
        KzJsonValue member;
        if (!scanValue(member)) {
            addErrorWithCode(KzJSONErrorSyntax, "Object value expected for key: " + KzJsonUtf8::fromUtf16Lossy(*key.asString()));
            return false;
        }
        work->members.push_back({std::move(key), std::move(member)});
        skipWhiteSpace();
        if (*c == ',') {
            ++c;
            skipWhiteSpace();
            if (*c == '}') {
                addErrorWithCode(KzJSONErrorTrailingComma, "Trailing comma disallowed in object");
                return false;
            }
        }
    }
    finishDictionary(first, value);
    --depth;
    return true;
}

[[gnu::noinline]] void KzJsonParser::finishDictionary(std::size_t first, KzJsonValue &value)
{
    KzJsonDictionary dictionary(*work->arena, std::span(work->members).subspan(first));
    work->members.erase(work->members.begin() + static_cast<std::ptrdiff_t>(first), work->members.end());
    value = KzJsonValue::boxedIn(*work->arena, KzJsonValue::Kind::Dictionary, std::move(dictionary));
}

// Plain ASCII strings, by far the most common, are made straight from the
// input bytes; others are decoded into the scratch buffer first.
bool KzJsonParser::scanStringValue(KzJsonValue &value)
{
    const unsigned char *const start = c;
    const unsigned char *const stop = endOfAsciiRun(start);
    if (*stop == '"') {
        c = stop + 1;
        value = arenaString(start, stop);
        return true;
    }
    std::u16string_view text;
    if (!scanRestOfString(text))
        return false;
    value = arenaString(text);
    return true;
}

bool KzJsonParser::scanKey(KzJsonValue &key)
{
    const unsigned char *const start = c;
    const unsigned char *const stop = endOfAsciiRun(start);
    if (*stop == '"') {
        c = stop + 1;
        key = sharedKey(start, stop, [&] { return arenaString(start, stop); });
        return true;
    }
    std::u16string_view text;
    if (!scanRestOfString(text))
        return false;
    key = sharedKey(start, c - 1, [&] { return arenaString(text); });
    return true;
}

// Keys are told apart by their bytes in the text: the same bytes always
// decode to the same key, and comparing them takes two wide reads.
template <typename MakeKey>
KzJsonValue KzJsonParser::sharedKey(const unsigned char *begin, const unsigned char *end, MakeKey makeKey)
{
    const auto length = static_cast<std::size_t>(end - begin);
    if (length > maxRecentKeyLength)
        return makeKey();
    RecentKey &slot = work->recentKeys[keyHash(begin, length) % recentKeySlots];
    if (slot.key.isNull() || slot.length != length || !sameShortKey(slot.source, begin, length))
        slot = {begin, length, makeKey()};
    return slot.key.borrow();
}

KzJsonValue KzJsonParser::arenaString(const unsigned char *begin, const unsigned char *end)
{
    return KzJsonValue::borrowedString(KzJsonString(begin, end, KzJsonPool::Allocator<char16_t>(work->arena)));
}

KzJsonValue KzJsonParser::arenaString(std::u16string_view text)
{
    return KzJsonValue::borrowedString(KzJsonString(text, KzJsonPool::Allocator<char16_t>(work->arena)));
}

bool KzJsonParser::scanRestOfString(std::u16string_view &text)
{
    char16_t *const begin = work->scratch.get();
    char16_t *out = begin;
    for (;;) {
        if (!scanPlainRun(out))
            return false;
        const unsigned char byte = *c;
        if (byte == '"') {
            ++c;
            text = std::u16string_view(begin, static_cast<std::size_t>(out - begin));
            return true;
        }
        if (byte != '\\') {
            addErrorWithCode(KzJSONErrorControlCharacter, "Unescaped control character '0x" + hex(byte) + "'");
            return false;
        }
        ++c;
        if (!scanEscape(out))
            return false;
        if (*c == 0) {
            addErrorWithCode(KzJSONErrorEndOfInput, "Unexpected EOF while parsing string");
            return false;
        }
    }
}

// Decodes the bytes up to the next stop byte. Text in other scripts is mostly
// sequences one after another, which are decoded without looking for ASCII.
bool KzJsonParser::scanPlainRun(char16_t *&out)
{
    for (;;) {
        c = copyAsciiRun(c, out);
        if (*c < 0x80)
            return true;
        do {
            const int length = decodeUtf8Sequence(c, out);
            if (length == 0) {
                addErrorWithCode(KzJSONErrorUnicode, "Invalid UTF-8 sequence in string");
                return false;
            }
            c += length;
        } while (*c >= 0x80);
    }
}

bool KzJsonParser::scanEscape(char16_t *&out)
{
    const unsigned char letter = *c;
    switch (letter) {
    case '"':
    case '\\':
    case '/':
        *out++ = letter;
        break;
    case 'b':
        *out++ = u'\b';
        break;
    case 'f':
        *out++ = u'\f';
        break;
    case 'n':
        *out++ = u'\n';
        break;
    case 'r':
        *out++ = u'\r';
        break;
    case 't':
        *out++ = u'\t';
        break;
    case 'u':
        ++c;
        if (!scanUnicodeChar(out)) {
            addErrorWithCode(KzJSONErrorUnicode, "Broken unicode character");
            return false;
        }
        return true;
    default: {
        // Reported as the byte read as a signed character widened to 16 bits.
        const auto widened = static_cast<std::uint16_t>(static_cast<std::int16_t>(static_cast<signed char>(letter)));
        addErrorWithCode(KzJSONErrorEscape, "Illegal escape sequence '0x" + hex(widened) + "'");
        return false;
    }
    }
    ++c;
    return true;
}

bool KzJsonParser::scanHexQuad(unsigned &quad)
{
    quad = 0;
    for (int digit = 0; digit < 4; ++digit) {
        const unsigned char byte = *c;
        unsigned value = 0;
        if (byte >= '0' && byte <= '9') {
            value = byte - unsigned('0');
        } else if (byte >= 'a' && byte <= 'f') {
            value = byte - unsigned('a') + 10;
        } else if (byte >= 'A' && byte <= 'F') {
            value = byte - unsigned('A') + 10;
        } else {
            addErrorWithCode(KzJSONErrorUnicode, "Missing hex digit in quad");
            return false;
        }
        ++c;
        quad = quad * 16 + value;
    }
    return true;
}

bool KzJsonParser::scanUnicodeChar(char16_t *&out)
{
    unsigned high = 0;
    if (!scanHexQuad(high)) {
        addErrorWithCode(KzJSONErrorUnicode, "Missing hex quad");
        return false;
    }
    if (high < 0xD800 || high >= 0xE000) {
        *out++ = static_cast<char16_t>(high);
        return true;
    }
    if (high >= 0xDC00) {
        addErrorWithCode(KzJSONErrorUnicode, "Invalid high character in surrogate pair");
        return false;
    }
    unsigned low = 0;
    const bool introduced = *c == '\\' && (++c, *c == 'u') && (++c, true);
    if (!introduced || !scanHexQuad(low)) {
        addErrorWithCode(KzJSONErrorUnicode, "Missing low character in surrogate pair");
        return false;
    }
    if (low < 0xDC00 || low > 0xDFFF) {
        addErrorWithCode(KzJSONErrorUnicode, "Invalid low surrogate char");
        return false;
    }
    *out++ = static_cast<char16_t>(high);
    *out++ = static_cast<char16_t>(low);
    return true;
}

bool KzJsonParser::scanNumber(KzJsonValue &value)
{
    const unsigned char *const start = c;
    const bool negative = *c == '-';
    if (negative)
        ++c;
    Significand significand;
    std::int64_t fractionDigits = 0;
    if (*c == '0') {
        ++c;
        if (isDigit(*c)) {
            addErrorWithCode(KzJSONErrorNumber, "Leading 0 disallowed in number");
            return false;
        }
    } else if (!isDigit(*c)) {
        addErrorWithCode(KzJSONErrorNumber, "No digits after initial minus");
        return false;
    } else {
        c = scanDigits(c, significand);
    }
    if (*c == '.') {
        ++c;
        if (!isDigit(*c)) {
            addErrorWithCode(KzJSONErrorNumber, "No digits after decimal point");
            return false;
        }
        const unsigned char *const fraction = c;
        c = scanDigits(c, significand);
        fractionDigits = c - fraction;
    }
    const unsigned char *const mantissaEnd = c;
    std::int64_t written = 0;
    bool exponentInRange = true;
    if (*c == 'e' || *c == 'E') {
        ++c;
        const bool negativeExponent = *c == '-';
        if (*c == '+' || *c == '-')
            ++c;
        if (!isDigit(*c)) {
            addErrorWithCode(KzJSONErrorNumber, "No digits after exponent");
            return false;
        }
        while (isDigit(*c)) {
            written = written * 10 + (*c++ - '0');
            if (written > KzJsonValue::maxExponent) {
                exponentInRange = false;
                written = 0;
            }
        }
        if (negativeExponent)
            written = -written;
    }
    const std::int64_t exponent = written - fractionDigits;
    const bool inRange =
        exponentInRange && exponent >= -KzJsonValue::maxExponent && exponent <= KzJsonValue::maxExponent;
    if (inRange && significand.digits <= 19) {
        value = KzJsonValue::decimal(negative, significand.value, static_cast<std::int32_t>(exponent));
        return true;
    }
    std::optional<KzJsonValue> number;
    if (inRange) {
        std::string digits;
        for (const unsigned char *at = start; at != mantissaEnd; ++at) {
            if (isDigit(*at))
                digits.push_back(static_cast<char>(*at));
        }
        number = KzJsonValue::longDecimal(work->arena, negative, digits, exponent);
    }
    if (!number) {
        addErrorWithCode(KzJSONErrorNumber, "Failed creating decimal instance");
        return false;
    }
    value = std::move(*number);
    return true;
}
