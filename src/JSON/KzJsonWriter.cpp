// SPDX-License-Identifier: MIT

#include "KzJsonWriter.h"

#include "KzJsonProxy.h"
#include "internal/KzJsonUtf8.h"

#include <algorithm>
#include <bit>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The length of the last text this thread wrote: the next call reserves that
// much at once, as repeated writes of similar values are common, instead of
// growing and copying its buffer step by step.
thread_local std::size_t recentLength = 0;

bool isEscaped(char16_t unit)
{
    return unit < 0x20 || unit == u'"' || unit == u'\\';
}

// The position of the first code unit from at on that must be escaped, or
// end; eight units a step with SSE2.
const char16_t *firstEscaped(const char16_t *at, const char16_t *end)
{
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi16(u'"');
    const __m128i backslash = _mm_set1_epi16(u'\\');
    const __m128i aboveControls = _mm_set1_epi16(static_cast<short>(0xFFE0));
    const __m128i zero = _mm_setzero_si128();
    for (; end - at >= 8; at += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        const __m128i control = _mm_cmpeq_epi16(_mm_and_si128(units, aboveControls), zero);
        const __m128i escaped =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, quote), _mm_cmpeq_epi16(units, backslash)), control);
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(escaped));
        if (mask != 0)
            return at + std::countr_zero(mask) / 2;
    }
#endif
    return std::find_if(at, end, isEscaped);
}

void appendEscape(char16_t unit, std::u16string &into)
{
    static constexpr char16_t hexDigits[] = u"0123456789abcdef";
    switch (unit) {
    case u'"':
        into.append(u"\\\"");
        break;
    case u'\\':
        into.append(u"\\\\");
        break;
    case u'\b':
        into.append(u"\\b");
        break;
    case u'\t':
        into.append(u"\\t");
        break;
    case u'\n':
        into.append(u"\\n");
        break;
    case u'\f':
        into.append(u"\\f");
        break;
    case u'\r':
        into.append(u"\\r");
        break;
    default:
        into.append(u"\\u00");
        into.push_back(hexDigits[unit >> 4]);
        into.push_back(hexDigits[unit & 0xF]);
        break;
    }
}

// Strings by code units; keys of other kinds first, in their own order.
bool keyBefore(const KzJsonDictionary::Entry *left, const KzJsonDictionary::Entry *right)
{
    const KzJsonString *leftText = left->key.asString();
    const KzJsonString *rightText = right->key.asString();
    if (!leftText || !rightText)
        return !leftText && rightText;
    return *leftText < *rightText;
}

} // namespace

std::optional<std::u16string> KzJsonWriter::stringWithObject(const std::optional<KzJsonValue> &value)
{
    if (value && (value->isDictionary() || value->isArray()))
        return stringWithFragment(value);
    clearErrorTrace();
    addErrorWithCode(KzJSONErrorFragment, "Not valid type for JSON");
    return std::nullopt;
}

std::optional<std::u16string> KzJsonWriter::stringWithFragment(const std::optional<KzJsonValue> &value)
{
    clearErrorTrace();
    depth = 0;
    proxyDepth = 0;
    output.clear();
    output.reserve(std::max<std::size_t>(128, recentLength));
    if (!appendValue(value ? &*value : nullptr, output))
        return std::nullopt;
    recentLength = output.size();
    // A text far shorter than the room reserved for it gives the room back.
    if (output.size() < output.capacity() / 2)
        output.shrink_to_fit();
    return std::move(output);
}

std::u16string KzJsonWriter::indent() const
{
    std::u16string text;
    appendIndent(text);
    return text;
}

void KzJsonWriter::appendIndent(std::u16string &into) const
{
    into.push_back(u'\n');
    into.append(2 * depth, u' ');
}

bool KzJsonWriter::appendValue(const KzJsonValue *value, std::u16string &into)
{
    if (!value) {
        addErrorWithCode(KzJSONErrorUnsupported, "JSON serialisation not supported for (null)");
        return false;
    }
    switch (value->kind()) {
    case KzJsonValue::Kind::Dictionary:
        return appendDictionary(*value->asDictionary(), into);
    case KzJsonValue::Kind::Array:
        return appendArray(*value->asArray(), into);
    case KzJsonValue::Kind::String:
        appendString(*value->asString(), into);
        return true;
    case KzJsonValue::Kind::Number:
        if (value->isBool())
            into.append(value->boolValue() ? u"true" : u"false");
        else
            value->appendNumberText(into);
        return true;
    case KzJsonValue::Kind::Null:
        into.append(u"null");
        return true;
    case KzJsonValue::Kind::Proxy:
        return appendProxy(*value, into);
    case KzJsonValue::Kind::Object:
        break;
    }
    addErrorWithCode(KzJSONErrorUnsupported, "JSON serialisation not supported for " + *value->className());
    return false;
}

bool KzJsonWriter::appendProxy(const KzJsonValue &value, std::u16string &into)
{
    if (++proxyDepth > hardDepthLimit) {
        addErrorWithCode(KzJSONErrorDepth, "Nested too deep");
        return false;
    }
    const std::optional<KzJsonValue> replacement = value.proxyObject()->proxyForJson();
    if (!appendValue(replacement ? &*replacement : nullptr, into))
        return false;
    --proxyDepth;
    return true;
}

bool KzJsonWriter::appendDictionary(const KzJsonDictionary &dictionary, std::u16string &into)
{
    if (enterContainerIsTooDeep()) {
        addErrorWithCode(KzJSONErrorDepth, "Nested too deep");
        return false;
    }
    into.push_back(u'{');
    const std::u16string_view separator = readable ? u" : " : u":";
    bool written = true;
    if (sortingKeys) {
        std::vector<const KzJsonDictionary::Entry *> entries;
        entries.reserve(dictionary.size());
        for (const KzJsonDictionary::Entry &entry : dictionary)
            entries.push_back(&entry);
        std::stable_sort(entries.begin(), entries.end(), keyBefore);
        for (std::size_t at = 0; written && at < entries.size(); ++at)
            written = appendMember(*entries[at], at == 0, separator, into);
    } else {
        bool first = true;
        for (auto entry = dictionary.begin(); written && entry != dictionary.end(); ++entry, first = false)
            written = appendMember(*entry, first, separator, into);
    }
    if (!written)
        return false;
    --depth;
    if (readable && !dictionary.empty())
        appendIndent(into);
    into.push_back(u'}');
    return true;
}

bool KzJsonWriter::appendMember(const KzJsonDictionary::Entry &entry, bool first, std::u16string_view separator,
                                std::u16string &into)
{
    if (!first)
        into.push_back(u',');
    if (readable)
        appendIndent(into);
    const KzJsonString *key = entry.key.asString();
    if (!key) {
        addErrorWithCode(KzJSONErrorUnsupported, "JSON object key must be string");
        return false;
    }
    appendString(*key, into);
    into.append(separator);
    if (!appendValue(&entry.value, into)) {
        addErrorWithCode(KzJSONErrorUnsupported, "Unsupported value for key " + KzJsonUtf8::fromUtf16Lossy(*key) + " in object");
        return false;
    }
    return true;
}

bool KzJsonWriter::appendArray(const KzJsonArray &array, std::u16string &into)
{
    if (enterContainerIsTooDeep()) {
        addErrorWithCode(KzJSONErrorDepth, "Nested too deep");
        return false;
    }
    into.push_back(u'[');
    bool first = true;
    for (const KzJsonValue &element : array) {
        if (!first)
            into.push_back(u',');
        first = false;
        if (readable)
            appendIndent(into);
        if (!appendValue(&element, into))
            return false;
    }
    --depth;
    if (readable && !array.empty())
        appendIndent(into);
    into.push_back(u']');
    return true;
}

// Escape-free runs go in with one copy each.
void KzJsonWriter::appendString(std::u16string_view text, std::u16string &into) const
{
    into.push_back(u'"');
    const char16_t *run = text.data();
    const char16_t *const end = run + text.size();
    for (;;) {
        const char16_t *const escaped = firstEscaped(run, end);
        into.append(run, static_cast<std::size_t>(escaped - run));
        if (escaped == end)
            break;
        appendEscape(*escaped, into);
        run = escaped + 1;
    }
    into.push_back(u'"');
}
