// SPDX-License-Identifier: MIT

#pragma once

#include "internal/KzJsonPool.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

class KzJsonDictionary;
class KzJsonProxy;
class KzJsonValue;

using KzJsonArray = std::vector<KzJsonValue, KzJsonPool::Allocator<KzJsonValue>>;
// UTF-16 code units, kept in the pool or in the arena of a parsed tree.
using KzJsonString = std::basic_string<char16_t, std::char_traits<char16_t>, KzJsonPool::Allocator<char16_t>>;

// One JSON value: a small handle (16 bytes) with value semantics. Copies share
// their content; changing a shared array or dictionary through mutableArray()
// or mutableDictionary() copies it first, so no other copy ever sees a change.
// A parsed tree lives in an arena (see KzJsonArena) and is never changed in
// place: a copy of any part of it keeps the arena.
//
// Reading a value:
// - kind tests: isNull(), isNumber(), isBool(), isString(), isArray(),
//   isDictionary() (or kind());
// - asString() gives the KzJsonString, asArray() the KzJsonArray,
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
        : held(other.held), tag(other.tag)
    {
        other.tag = Tag();
    }
    KzJsonValue &operator=(const KzJsonValue &other);
    KzJsonValue &operator=(KzJsonValue &&other) noexcept
    {
        // Take the other value over before letting go of this one's content:
        // the other value may live inside that content.
        KzJsonValue taken(std::move(other));
        std::swap(held, taken.held);
        std::swap(tag, taken.tag);
        return *this;
    }
    ~KzJsonValue()
    {
        if (tag.holding() == Holding::Owned)
            release();
    }

    static KzJsonValue null() { return {}; }
    static KzJsonValue boolean(bool flag) { return integer(false, flag ? 1 : 0, 'c'); }
    template <typename Integer>
        requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>)
    static KzJsonValue number(Integer integer);
    // value = (negative ? -1 : 1) * significand * 10^exponent, parsed type code 'd'.
    static KzJsonValue decimal(bool negative, std::uint64_t significand, std::int32_t exponent)
    {
        KzJsonValue value;
        value.held.significand = significand;
        value.tag = Tag(Kind::Number, Holding::Inline, 'd', negative, significand == 0 ? 0 : exponent);
        return value;
    }
    // Same with a significand of any length, given as decimal digits.
    static std::optional<KzJsonValue> decimal(bool negative, std::string_view digits, std::int64_t exponent);
    // A JSON number text such as "-12.5e+3"; none when it is not one or its
    // exponent is out of range.
    static std::optional<KzJsonValue> decimal(std::string_view text);
    static KzJsonValue string(std::u16string_view text);
    static KzJsonValue array(KzJsonArray elements);
    static KzJsonValue dictionary(KzJsonDictionary members);
    // A value of no JSON kind, known by its class name: the writer refuses it.
    static KzJsonValue unsupported(std::string className);
    // A value that the writer replaces by what proxy->proxyForJson() gives.
    static KzJsonValue proxy(std::shared_ptr<const KzJsonProxy> proxy);

    Kind kind() const { return tag.kind(); }
    bool isNull() const { return tag.kind() == Kind::Null; }
    bool isNumber() const { return tag.kind() == Kind::Number; }
    bool isBool() const { return tag.kind() == Kind::Number && tag.code() == 'c'; }
    bool isString() const { return tag.kind() == Kind::String; }
    bool isArray() const { return tag.kind() == Kind::Array; }
    bool isDictionary() const { return tag.kind() == Kind::Dictionary; }

    const KzJsonString *asString() const
    {
        return isString() ? &static_cast<const Box<KzJsonString> *>(held.box)->content : nullptr;
    }
    const KzJsonArray *asArray() const;
    const KzJsonDictionary *asDictionary() const;
    KzJsonArray *mutableArray();
    KzJsonDictionary *mutableDictionary();
    const KzJsonValue *member(std::u16string_view key) const;

    // Number accessors; 0, false, "" or none for other kinds.
    char typeCode() const { return tag.kind() == Kind::Number ? tag.code() : '\0'; }
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
    friend class KzJsonParser;

    // What every box begins with. A box is destroyed as the box of its
    // value's kind (destroyBox()), so it needs no table of virtual functions:
    // a parsed tree holds one box per string and container, and every word
    // of it is memory the parse fills.
    struct Shared
    {
        static void *operator new(std::size_t bytes) { return KzJsonPool::allocate(bytes); }
        static void operator delete(void *block, std::size_t bytes) { KzJsonPool::release(block, bytes); }

        // Counts the values sharing a box of its own; unused for a box in an arena.
        std::atomic<std::size_t> references{1};
        KzJsonArena *arena = nullptr;
    };

    template <typename Content>
    struct Box final : Shared
    {
        explicit Box(Content value) : content(std::move(value)) {}
        Content content;
    };
    using Digits = std::basic_string<char, std::char_traits<char>, KzJsonPool::Allocator<char>>;

    // Values inside an arena, made by the parser. They are borrowed: they
    // count on nothing, as the arena's own values are never destroyed one by
    // one; a copy of one counts on the arena. Inline, as a parse makes one per
    // node: the handle is built in registers instead of through memory.
    template <typename Content>
    static KzJsonValue boxedIn(KzJsonArena &arena, Kind kind, Content content)
    {
        auto *placed = ::new (arena.allocate(sizeof(Box<Content>), alignof(Box<Content>))) Box<Content>(std::move(content));
        placed->arena = &arena;
        KzJsonValue value;
        value.held.box = placed;
        value.tag = Tag(kind, Holding::Borrowed);
        return value;
    }
    static KzJsonValue borrowedString(KzJsonString text)
    {
        KzJsonArena &arena = *text.get_allocator().arena;
        return boxedIn(arena, Kind::String, std::move(text));
    }
    static KzJsonValue borrowedArray(KzJsonArray elements)
    {
        KzJsonArena &arena = *elements.get_allocator().arena;
        return boxedIn(arena, Kind::Array, std::move(elements));
    }
    // Another borrowed handle on the same content, for use inside the arena.
    KzJsonValue borrow() const
    {
        KzJsonValue value;
        value.held = held;
        value.tag = holdsBox() ? tag.withHolding(Holding::Borrowed) : tag;
        return value;
    }

    static KzJsonValue integer(bool negative, std::uint64_t magnitude, char typeCode)
    {
        KzJsonValue value;
        value.held.significand = magnitude;
        value.tag = Tag(Kind::Number, Holding::Inline, typeCode, negative);
        return value;
    }
    template <typename Content>
    static KzJsonValue boxed(Kind kind, Content content);
    // A decimal of any number of digits; a long one is boxed in the arena
    // (borrowed) when one is given, on its own otherwise.
    static std::optional<KzJsonValue> longDecimal(KzJsonArena *arena, bool negative, std::string_view digits,
                                                  std::int64_t exponent);
    template <typename Content>
    const Content &content() const;
    template <typename Content>
    Content *detachedContent();
    std::string_view significandDigits(char (&buffer)[24]) const;
    void release();
    void destroyBox(Shared *shared) const;
    bool holdsBox() const { return tag.holding() != Holding::Inline; }

    // How the value holds its content. Inline: numbers of up to 19 digits,
    // null and booleans, in the handle itself. Owned: a box that the value
    // counts on (or the arena it lies in, which the value counts on).
    // Borrowed: a box in an arena, held by a node of the same arena.
    enum class Holding : std::uint8_t { Inline, Owned, Borrowed };
    // The box, or the significand of an inline number.
    union Held
    {
        Shared *box = nullptr;
        std::uint64_t significand;
    };

    // The rest of the handle: the kind, how it is held and a number's type
    // code, sign and exponent. One word, so that it is always written in one
    // step: a handle written field by field and then read back whole (as
    // the parser does with every value it makes) stalls the processor.
    class Tag
    {
    public:
        constexpr Tag() = default;
        constexpr Tag(Kind kind, Holding holding, char code = '\0', bool negative = false, std::int32_t exponent = 0)
            : bits(static_cast<std::uint32_t>(exponent) | std::uint64_t(kind) << 32 |
                   std::uint64_t(static_cast<unsigned char>(code)) << 40 | std::uint64_t(negative) << 48 |
                   std::uint64_t(holding) << 56)
        {
        }

        Kind kind() const { return static_cast<Kind>(byte(32)); }
        char code() const { return static_cast<char>(byte(40)); }
        bool negative() const { return byte(48) != 0; }
        Holding holding() const { return static_cast<Holding>(byte(56)); }
        std::int32_t exponent() const { return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)); }
        Tag withHolding(Holding holding) const
        {
            return Tag((bits & ~(std::uint64_t(0xFF) << 56)) | std::uint64_t(holding) << 56);
        }

    private:
        constexpr explicit Tag(std::uint64_t word) : bits(word) {}
        std::uint8_t byte(int shift) const { return static_cast<std::uint8_t>(bits >> shift); }

        std::uint64_t bits = 0;
    };

    Held held;
    Tag tag;
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
