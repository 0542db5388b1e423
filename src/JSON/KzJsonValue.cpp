// SPDX-License-Identifier: MIT

#include "KzJsonValue.h"

#include "KzJsonDictionary.h"
#include "KzJsonParser.h"
#include "KzJsonProxy.h"
#include "KzJsonWriter.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <utility>

static_assert(sizeof(KzJsonValue) <= 16, "a value must stay a small handle");

namespace {

// Digits with the trailing zeros moved into the exponent; empty for zero.
std::string_view normalised(std::string_view digits, std::int64_t &exponent)
{
    while (!digits.empty() && digits.back() == '0') {
        digits.remove_suffix(1);
        ++exponent;
    }
    return digits;
}

// Plain notation while the text stays as long as its digits plus a few zeros,
// exponential notation beyond: the text is bounded by the digits it holds.
void appendDecimal(std::string &out, bool negative, std::string_view digits, std::int64_t exponent)
{
    if (digits.empty()) {
        out.push_back('0');
        return;
    }
    if (negative)
        out.push_back('-');
    const auto count = static_cast<std::int64_t>(digits.size());
    const std::int64_t point = exponent + count;
    if (exponent >= 0 && exponent <= 21) {
        out.append(digits);
        out.append(static_cast<std::size_t>(exponent), '0');
    } else if (point > 0 && point < count) {
        out.append(digits.substr(0, static_cast<std::size_t>(point)));
        out.push_back('.');
        out.append(digits.substr(static_cast<std::size_t>(point)));
    } else if (point <= 0 && point > -6) {
        out.append("0.");
        out.append(static_cast<std::size_t>(-point), '0');
        out.append(digits);
    } else {
        out.push_back(digits.front());
        if (count > 1) {
            out.push_back('.');
            out.append(digits.substr(1));
        }
        out.push_back('e');
        const std::int64_t shown = point - 1;
        out.push_back(shown < 0 ? '-' : '+');
        char buffer[24];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, shown < 0 ? -shown : shown).ptr;
        out.append(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
    }
}

} // namespace

KzJsonValue::KzJsonValue(const KzJsonValue &other)
    : held(other.held), tag(other.tag)
{
    if (!other.holdsBox())
        return;
    // A copy counts on what it shares, even when the original is borrowed.
    tag = tag.withHolding(Holding::Owned);
    if (held.box->arena)
        held.box->arena->retain();
    else
        held.box->references.fetch_add(1, std::memory_order_relaxed);
}

KzJsonValue &KzJsonValue::operator=(const KzJsonValue &other)
{
    if (this != &other) {
        KzJsonValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void KzJsonValue::release()
{
    Shared *const shared = held.box;
    held.box = nullptr;
    tag = tag.withHolding(Holding::Inline);
    if (KzJsonArena *arena = shared->arena) {
        arena->release();
        return;
    }
    // A sole owner needs no atomic decrement: nobody else can reach the box.
    if (shared->references.load(std::memory_order_acquire) == 1 ||
        shared->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        destroyBox(shared);
}

void KzJsonValue::destroyBox(Shared *shared) const
{
    switch (tag.kind()) {
    case Kind::Null:
        break;
    case Kind::Number:
        delete static_cast<Box<Digits> *>(shared);
        break;
    case Kind::String:
        delete static_cast<Box<KzJsonString> *>(shared);
        break;
    case Kind::Array:
        delete static_cast<Box<KzJsonArray> *>(shared);
        break;
    case Kind::Dictionary:
        delete static_cast<Box<KzJsonDictionary> *>(shared);
        break;
    case Kind::Object:
        delete static_cast<Box<std::string> *>(shared);
        break;
    case Kind::Proxy:
        delete static_cast<Box<std::shared_ptr<const KzJsonProxy>> *>(shared);
        break;
    }
}

template <typename Content>
KzJsonValue KzJsonValue::boxed(Kind kind, Content content)
{
    KzJsonValue value;
    value.held.box = new Box<Content>(std::move(content));
    value.tag = Tag(kind, Holding::Owned);
    return value;
}

template <typename Content>
const Content &KzJsonValue::content() const
{
    return static_cast<const Box<Content> *>(held.box)->content;
}

template <typename Content>
Content *KzJsonValue::detachedContent()
{
    if (held.box->arena || held.box->references.load(std::memory_order_acquire) != 1) {
        Shared *copy = new Box<Content>(content<Content>());
        release();
        held.box = copy;
        tag = tag.withHolding(Holding::Owned);
    }
    return &static_cast<Box<Content> *>(held.box)->content;
}

std::optional<KzJsonValue> KzJsonValue::decimal(bool isNegative, std::string_view digits, std::int64_t power)
{
    return longDecimal(nullptr, isNegative, digits, power);
}

std::optional<KzJsonValue> KzJsonValue::longDecimal(KzJsonArena *arena, bool isNegative, std::string_view digits,
                                                    std::int64_t power)
{
    while (!digits.empty() && digits.front() == '0')
        digits.remove_prefix(1);
    if (digits.empty())
        return decimal(isNegative, std::uint64_t(0), 0);
    if (power < -maxExponent || power > maxExponent)
        return std::nullopt;
    if (digits.size() <= 19) {
        std::uint64_t small = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), small);
        return decimal(isNegative, small, static_cast<std::int32_t>(power));
    }
    Digits significant(digits, KzJsonPool::Allocator<char>(arena));
    KzJsonValue value = arena ? boxedIn(*arena, Kind::Number, std::move(significant))
                              : boxed(Kind::Number, std::move(significant));
    value.tag = Tag(Kind::Number, value.tag.holding(), 'd', isNegative, static_cast<std::int32_t>(power));
    return value;
}

std::optional<KzJsonValue> KzJsonValue::decimal(std::string_view text)
{
    KzJsonParser parser;
    std::optional<KzJsonValue> value = parser.fragmentWithString(text);
    if (value && value->isNumber() && !value->isBool())
        return value;
    return std::nullopt;
}

KzJsonValue KzJsonValue::string(std::u16string_view text)
{
    return boxed(Kind::String, KzJsonString(text));
}

KzJsonValue KzJsonValue::array(KzJsonArray elements)
{
    return boxed(Kind::Array, std::move(elements));
}

KzJsonValue KzJsonValue::dictionary(KzJsonDictionary members)
{
    return boxed(Kind::Dictionary, std::move(members));
}

KzJsonValue KzJsonValue::unsupported(std::string className)
{
    return boxed(Kind::Object, std::move(className));
}

KzJsonValue KzJsonValue::proxy(std::shared_ptr<const KzJsonProxy> proxy)
{
    return boxed(Kind::Proxy, std::move(proxy));
}

const KzJsonArray *KzJsonValue::asArray() const
{
    return isArray() ? &content<KzJsonArray>() : nullptr;
}

const KzJsonDictionary *KzJsonValue::asDictionary() const
{
    return isDictionary() ? &content<KzJsonDictionary>() : nullptr;
}

KzJsonArray *KzJsonValue::mutableArray()
{
    return isArray() ? detachedContent<KzJsonArray>() : nullptr;
}

KzJsonDictionary *KzJsonValue::mutableDictionary()
{
    return isDictionary() ? detachedContent<KzJsonDictionary>() : nullptr;
}

const KzJsonValue *KzJsonValue::member(std::u16string_view key) const
{
    return isDictionary() ? content<KzJsonDictionary>().find(key) : nullptr;
}

const std::string *KzJsonValue::className() const
{
    return tag.kind() == Kind::Object ? &content<std::string>() : nullptr;
}

std::shared_ptr<const KzJsonProxy> KzJsonValue::proxyObject() const
{
    return tag.kind() == Kind::Proxy ? content<std::shared_ptr<const KzJsonProxy>>() : nullptr;
}

std::string_view KzJsonValue::significandDigits(char (&buffer)[24]) const
{
    if (holdsBox())
        return content<Digits>();
    if (held.significand == 0)
        return {};
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, held.significand).ptr;
    return {buffer, static_cast<std::size_t>(end - buffer)};
}

bool KzJsonValue::boolValue() const
{
    return isNumber() && (holdsBox() || held.significand != 0);
}

std::string KzJsonValue::numberText() const
{
    std::string text;
    if (isNumber()) {
        char buffer[24];
        appendDecimal(text, tag.negative(), significandDigits(buffer), tag.exponent());
    }
    return text;
}

void KzJsonValue::appendNumberText(std::u16string &out) const
{
    if (!isNumber())
        return;
    // Integers, the most common numbers, straight from their digits.
    if (!holdsBox() && tag.exponent() == 0) {
        char digits[24];
        char *first = digits;
        if (tag.negative() && held.significand != 0)
            *first++ = '-';
        const char *const end = std::to_chars(first, digits + sizeof digits, held.significand).ptr;
        out.append(static_cast<const char *>(digits), end);
        return;
    }
    // Built as bytes in a buffer kept per thread, then widened in one step.
    thread_local std::string text;
    text.clear();
    char buffer[24];
    appendDecimal(text, tag.negative(), significandDigits(buffer), tag.exponent());
    out.append(text.cbegin(), text.cend());
}

std::optional<std::int64_t> KzJsonValue::int64Value() const
{
    if (!isNumber())
        return std::nullopt;
    char buffer[24];
    std::int64_t power = tag.exponent();
    const std::string_view digits = normalised(significandDigits(buffer), power);
    if (digits.empty())
        return 0;
    if (power < 0 || static_cast<std::int64_t>(digits.size()) + power > 19)
        return std::nullopt;
    std::uint64_t magnitude = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    for (std::int64_t step = 0; step < power; ++step)
        magnitude *= 10;
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (tag.negative() ? 1 : 0);
    if (magnitude > limit)
        return std::nullopt;
    return tag.negative() ? static_cast<std::int64_t>(std::uint64_t(0) - magnitude)
                        : static_cast<std::int64_t>(magnitude);
}

double KzJsonValue::doubleValue() const
{
    if (!isNumber())
        return 0.0;
    char buffer[24];
    const std::string_view digits = significandDigits(buffer);
    if (digits.empty())
        return tag.negative() ? -0.0 : 0.0;
    std::string text(digits);
    text += 'e';
    text += std::to_string(tag.exponent());
    double magnitude = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (result.ec == std::errc::result_out_of_range)
        magnitude = tag.exponent() + static_cast<std::int64_t>(digits.size()) > 0 ? HUGE_VAL : 0.0;
    return tag.negative() ? -magnitude : magnitude;
}

std::optional<std::u16string> KzJsonValue::JSONRepresentation() const
{
    KzJsonWriter writer;
    return writer.stringWithObject(*this);
}

std::optional<std::u16string> KzJsonValue::JSONFragment() const
{
    KzJsonWriter writer;
    return writer.stringWithFragment(*this);
}

namespace {

bool equalNumbers(bool leftNegative, std::string_view leftDigits, std::int64_t leftPower, bool rightNegative,
                  std::string_view rightDigits, std::int64_t rightPower)
{
    leftDigits = normalised(leftDigits, leftPower);
    rightDigits = normalised(rightDigits, rightPower);
    if (leftDigits.empty() || rightDigits.empty())
        return leftDigits.empty() && rightDigits.empty();
    return leftNegative == rightNegative && leftDigits == rightDigits && leftPower == rightPower;
}

} // namespace

bool operator==(const KzJsonValue &left, const KzJsonValue &right)
{
    if (left.tag.kind() != right.tag.kind())
        return false;
    switch (left.tag.kind()) {
    case KzJsonValue::Kind::Null:
        return true;
    case KzJsonValue::Kind::Number: {
        if (left.isBool() || right.isBool())
            return left.isBool() && right.isBool() && left.boolValue() == right.boolValue();
        char leftBuffer[24];
        char rightBuffer[24];
        return equalNumbers(left.tag.negative(), left.significandDigits(leftBuffer), left.tag.exponent(),
                            right.tag.negative(), right.significandDigits(rightBuffer), right.tag.exponent());
    }
    case KzJsonValue::Kind::String:
        return *left.asString() == *right.asString();
    case KzJsonValue::Kind::Array:
        return *left.asArray() == *right.asArray();
    case KzJsonValue::Kind::Dictionary:
        return *left.asDictionary() == *right.asDictionary();
    case KzJsonValue::Kind::Object:
        return left.held.box == right.held.box;
    case KzJsonValue::Kind::Proxy:
        return left.proxyObject() == right.proxyObject();
    }
    return false;
}
