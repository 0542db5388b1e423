#pragma once

#include "KzJsonPool.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

class KzJsonDictionary;
class KzJsonProxy;
class KzJsonValue;

using KzJsonArray = std::vector<KzJsonValue, KzJsonPool::Allocator<KzJsonValue>>;

// One JSON value: a small handle (24 bytes) with value semantics. Copies share
// their content; changing a shared array or dictionary through mutableArray()
// or mutableDictionary() copies it first, so no other copy ever sees a change.
//
// Reading a value:
// - kind tests: isNull(), isNumber(), isBool(), isString(), isArray(),
//   isDictionary() (or kind());
// - asString() gives the std::u16string, asArray() the KzJsonArray,
//   asDictionary() the KzJsonDictionary; each is nullptr for another kind;
// - member(u"key") looks a key up in a dictionary: nullptr when the key is
//   absent (or the value is no dictionary), a value with isNull() when the
//   member holds JSON null. Absent values elsewhere are std::nullopt;
// - numbers: numberText() is the exact decimal text, typeCode() the one
//   character code of the type the number was made from ('d' for parsed
//   numbers, 'c' for booleans, 'i', 'q', ... for machine integers);
//   boolValue(), int64Value() and doubleValue() convert on demand.
class KzJsonValue
{
public:
    enum class Kind : std::uint8_t { Null, Number, String, Array, Dictionary, Object, Proxy };

    // Decimal exponents beyond this (in magnitude) are refused: the value
    // could not be written in bounded text.
    static constexpr std::int64_t maxExponent = 999999999;

    KzJsonValue() = default;
    KzJsonValue(const KzJsonValue &other);
    KzJsonValue(KzJsonValue &&other) noexcept
        : box(other.box), significand(other.significand), exponent(other.exponent), valueKind(other.valueKind),
          code(other.code), negative(other.negative)
    {
        other.box = nullptr;
        other.valueKind = Kind::Null;
    }
    KzJsonValue &operator=(const KzJsonValue &other);
    KzJsonValue &operator=(KzJsonValue &&other) noexcept;
    ~KzJsonValue()
    {
        if (box)
            release();
    }

    static KzJsonValue null() { return {}; }
    static KzJsonValue boolean(bool flag);
    template <typename Integer>
        requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>)
    static KzJsonValue number(Integer integer);
    // value = (negative ? -1 : 1) * significand * 10^exponent, parsed type code 'd'.
    static KzJsonValue decimal(bool negative, std::uint64_t significand, std::int32_t exponent);
    // Same with a significand of any length, given as decimal digits.
    static std::optional<KzJsonValue> decimal(bool negative, std::string_view digits, std::int64_t exponent);
    // A JSON number text such as "-12.5e+3"; none when it is not one or its
    // exponent is out of range.
    static std::optional<KzJsonValue> decimal(std::string_view text);
    static KzJsonValue string(std::u16string text);
    static KzJsonValue array(KzJsonArray elements);
    static KzJsonValue dictionary(KzJsonDictionary members);
    // A value of no JSON kind, known by its class name: the writer refuses it.
    static KzJsonValue unsupported(std::string className);
    // A value that the writer replaces by what proxy->proxyForJson() gives.
    static KzJsonValue proxy(std::shared_ptr<const KzJsonProxy> proxy);

    Kind kind() const { return valueKind; }
    bool isNull() const { return valueKind == Kind::Null; }
    bool isNumber() const { return valueKind == Kind::Number; }
    bool isBool() const { return valueKind == Kind::Number && code == 'c'; }
    bool isString() const { return valueKind == Kind::String; }
    bool isArray() const { return valueKind == Kind::Array; }
    bool isDictionary() const { return valueKind == Kind::Dictionary; }

    const std::u16string *asString() const;
    const KzJsonArray *asArray() const;
    const KzJsonDictionary *asDictionary() const;
    KzJsonArray *mutableArray();
    KzJsonDictionary *mutableDictionary();
    const KzJsonValue *member(std::u16string_view key) const;

    // Number accessors; 0, false, "" or none for other kinds.
    char typeCode() const { return valueKind == Kind::Number ? code : '\0'; }
    bool boolValue() const;
    std::string numberText() const;
    // Appends numberText() to out without building a text of its own.
    void appendNumberText(std::u16string &out) const;
    std::optional<std::int64_t> int64Value() const;
    double doubleValue() const;

    // The class name of an unsupported value, the proxy of a proxy value.
    const std::string *className() const;
    std::shared_ptr<const KzJsonProxy> proxyObject() const;

    // One-call writing with a fresh default writer; none on failure.
    std::optional<std::u16string> JSONRepresentation() const;
    std::optional<std::u16string> JSONFragment() const;

    // Deep equality; numbers compare by value, booleans only with booleans.
    friend bool operator==(const KzJsonValue &left, const KzJsonValue &right);

private:
    struct Shared;
    template <typename Content>
    struct Box;

    static KzJsonValue integer(bool negative, std::uint64_t magnitude, char typeCode);
    template <typename Content>
    static KzJsonValue boxed(Kind kind, Content content);
    template <typename Content>
    const Content &content() const;
    template <typename Content>
    Content *detachedContent();
    std::string_view significandDigits(char (&buffer)[24]) const;
    void release();

    Shared *box = nullptr;
    std::uint64_t significand = 0;
    std::int32_t exponent = 0;
    Kind valueKind = Kind::Null;
    char code = '\0';
    bool negative = false;
};

template <typename Integer>
    requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>)
KzJsonValue KzJsonValue::number(Integer value)
{
    constexpr bool isSigned = std::is_signed_v<Integer>;
    constexpr char codes[] = {isSigned ? 'c' : 'C', isSigned ? 's' : 'S', isSigned ? 'i' : 'I', isSigned ? 'q' : 'Q'};
    constexpr int slot = sizeof(Integer) == 1 ? 0 : sizeof(Integer) == 2 ? 1 : sizeof(Integer) == 4 ? 2 : 3;
    const bool below = isSigned && value < 0;
    const std::uint64_t magnitude =
        below ? std::uint64_t(0) - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    return integer(below, magnitude, codes[slot]);
}
