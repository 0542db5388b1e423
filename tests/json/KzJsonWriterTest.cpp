#include "KzJsonDictionary.h"
#include "KzJsonParser.h"
#include "KzJsonProxy.h"
#include "KzJsonWriter.h"
#include "TraceMatcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

KzJsonValue string(std::u16string text)
{
    return KzJsonValue::string(std::move(text));
}

KzJsonValue dictionary(std::initializer_list<std::pair<KzJsonValue, KzJsonValue>> members)
{
    KzJsonDictionary built;
    for (const auto &[key, value] : members)
        built.insertOrAssign(key, value);
    return KzJsonValue::dictionary(std::move(built));
}

std::u16string compact(const KzJsonValue &value)
{
    KzJsonWriter writer;
    const std::optional<std::u16string> text = writer.stringWithFragment(value);
    EXPECT_EQ(writer.errorTrace(), nullptr);
    return text.value_or(u"<failed>");
}

KzJsonValue nestedArrays(std::size_t levels)
{
    KzJsonValue value = KzJsonValue::array({});
    for (std::size_t level = 1; level < levels; ++level)
        value = KzJsonValue::array({value});
    return value;
}

class FixedProxy : public KzJsonProxy
{
public:
    explicit FixedProxy(std::optional<KzJsonValue> value) : replacement(std::move(value)) {}
    std::optional<KzJsonValue> proxyForJson() const override { return replacement; }

private:
    std::optional<KzJsonValue> replacement;
};

class SelfProxy : public KzJsonProxy, public std::enable_shared_from_this<SelfProxy>
{
public:
    std::optional<KzJsonValue> proxyForJson() const override { return KzJsonValue::proxy(shared_from_this()); }
};

enum Layout { Compact, Sorted, Readable, ReadableSorted };

// The values are parsed from `json`; a parsed object keeps its keys' order.
TEST(KzJsonWriter, WritesTheExactText)
{
    const char *worked = R"({"list":[1,false,null],"Name":"a\"b","empty":{}})";
    const struct
    {
        const char *json;
        Layout layout;
        std::u16string text;
    } rows[] = {
        {worked, Compact, uR"({"list":[1,false,null],"Name":"a\"b","empty":{}})"},
        {worked, Sorted, uR"({"Name":"a\"b","empty":{},"list":[1,false,null]})"},
        {worked, ReadableSorted,
         u"{\n  \"Name\" : \"a\\\"b\",\n  \"empty\" : {},\n  \"list\" : [\n    1,\n    false,\n    null\n  ]\n}"},
        {R"({"b":1,"a":2})", Readable, u"{\n  \"b\" : 1,\n  \"a\" : 2\n}"},
        // Keys sort by UTF-16 code units.
        {R"({"b":1,"ab":2,"é":3,"a":4,"B":5})", Sorted, uR"({"B":5,"a":4,"ab":2,"b":1,"é":3})"},
        {"[]", Readable, u"[]"}, {"{}", Readable, u"{}"}, {"[[]]", Readable, u"[\n  []\n]"},
        {R"({"a":[{}]})", Readable, u"{\n  \"a\" : [\n    {}\n  ]\n}"},
        // Only controls, the quote and the backslash are escaped.
        {R"("a\t")", Compact, uR"("a\t")"}, {R"("\u0000")", Compact, uR"("\u0000")"},
        {R"("\u001f\u0001\b\f\n\r\"\\")", Compact, uR"("\u001f\u0001\b\f\n\r\"\\")"},
        {R"("\u007f\/é\ud834\udd1e")", Compact, u"\"\u007f/\u00e9\U0001D11E\""},
        {R"("plain text without escapes")", Compact, uR"("plain text without escapes")"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.json);
        const std::optional<KzJsonValue> value = KzJsonParser().fragmentWithString(row.json);
        ASSERT_TRUE(value);
        KzJsonWriter writer;
        writer.setSortKeys(row.layout == Sorted || row.layout == ReadableSorted);
        writer.setHumanReadable(row.layout == Readable || row.layout == ReadableSorted);
        EXPECT_EQ(writer.stringWithFragment(value), row.text);
        EXPECT_EQ(writer.errorTrace(), nullptr);
    }
}

TEST(KzJsonWriter, WritesNumbersByTheirTypeAndWhatProxiesStandFor)
{
    EXPECT_EQ(compact(KzJsonValue::boolean(true)), u"true");
    EXPECT_EQ(compact(KzJsonValue::number(static_cast<signed char>(2))), u"true");
    EXPECT_EQ(compact(KzJsonValue::number(static_cast<signed char>(0))), u"false");
    EXPECT_EQ(compact(KzJsonValue::number(static_cast<unsigned char>(200))), u"200");
    EXPECT_EQ(compact(KzJsonValue::number(-42)), u"-42");
    EXPECT_EQ(compact(KzJsonValue::number(UINT64_MAX)), u"18446744073709551615");
    EXPECT_EQ(compact(KzJsonValue::number(INT64_MIN)), u"-9223372036854775808");
    EXPECT_EQ(compact(KzJsonValue::null()), u"null");
    EXPECT_EQ(KzJsonValue::number(7).typeCode(), 'i');
    EXPECT_EQ(KzJsonValue::number(7LL).typeCode(), 'q');
    EXPECT_EQ(KzJsonValue::number(7u).typeCode(), 'I');
    const auto inner = std::make_shared<FixedProxy>(string(u"inner"));
    const auto outer = std::make_shared<FixedProxy>(KzJsonValue::proxy(inner));
    EXPECT_EQ(compact(KzJsonValue::array({KzJsonValue::proxy(outer)})), u"[\"inner\"]");
}

// Escape-free runs are found eight code units a step: escapes before, at and
// after a step's end, and units from U+8000 up, which are never escaped.
TEST(KzJsonWriter, FindsEscapesAnywhereInLongStrings)
{
    for (const std::size_t at : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 30u}) {
        std::u16string text(31, u'a');
        std::u16string expected = u"\"" + text + u"\"";
        text[at] = u'\x1f';
        expected.replace(at + 1, 1, u"\\u001f");
        EXPECT_EQ(compact(string(text)), expected) << at;
        text[at] = u'\\';
        expected.replace(at + 1, 6, u"\\\\");
        EXPECT_EQ(compact(string(text)), expected) << at;
    }
    const std::u16string high = u"\u8000\uffff\ue000\U0001F600\u00e9\u007f/ plain ascii text beyond";
    EXPECT_EQ(compact(string(high)), u"\"" + high + u"\"");
}

// Room is reserved after the size of the last text written; a short text
// after a long one must not carry the long one's room away with it.
TEST(KzJsonWriter, AShortTextAfterALongOneKeepsNoSpareRoom)
{
    KzJsonWriter writer;
    const std::optional<std::u16string> large =
        writer.stringWithObject(KzJsonValue::array(KzJsonArray(100000, KzJsonValue::number(12345))));
    ASSERT_TRUE(large);
    EXPECT_EQ(large->size(), 600001u);
    const std::optional<std::u16string> small = KzJsonValue::array({KzJsonValue::number(-7)}).JSONRepresentation();
    ASSERT_TRUE(small);
    EXPECT_EQ(*small, u"[-7]");
    EXPECT_LT(small->capacity(), 1000u);
}

// Sorting must tolerate keys that are not strings until they are refused.
TEST(KzJsonWriter, RefusalLeavesTheWholeTraceSortedOrNot)
{
    const Record keyMustBeString{1, "JSON object key must be string"};
    const struct
    {
        const char *name;
        KzJsonValue value;
        Trace trace;
    } rows[] = {
        {"unsupported", KzJsonValue::unsupported("NSDate"), {{1, "JSON serialisation not supported for NSDate"}}},
        {"nestedUnsupported",
         KzJsonValue::array(
             {KzJsonValue::number(1), dictionary({{string(u"k"), KzJsonValue::unsupported("QWidget")}})}),
         {{1, "JSON serialisation not supported for QWidget"}, {1, "Unsupported value for key k in object"}}},
        {"numberKey", dictionary({{string(u"a"), KzJsonValue::number(1)}, {KzJsonValue::number(2), string(u"b")}}),
         {keyMustBeString}},
        {"boolKey", dictionary({{string(u"b"), KzJsonValue::number(1)}, {KzJsonValue::boolean(true), string(u"c")}}),
         {keyMustBeString}},
        {"nullKeyInside", dictionary({{string(u"outer"), dictionary({{KzJsonValue::null(), KzJsonValue::number(1)}})}}),
         {keyMustBeString, {1, "Unsupported value for key outer in object"}}},
        {"proxyOfNothing", KzJsonValue::proxy(std::make_shared<FixedProxy>(std::nullopt)),
         {{1, "JSON serialisation not supported for (null)"}}},
        {"proxyOfUnsupported",
         dictionary({{string(u"p"), KzJsonValue::proxy(std::make_shared<FixedProxy>(KzJsonValue::unsupported("X")))}}),
         {{1, "JSON serialisation not supported for X"}, {1, "Unsupported value for key p in object"}}},
        {"proxyOfItself", KzJsonValue::proxy(std::make_shared<SelfProxy>()), {{7, "Nested too deep"}}},
    };
    for (const auto &row : rows) {
        for (const bool sorted : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (sorted ? " sorted" : ""));
            KzJsonWriter writer;
            writer.setSortKeys(sorted);
            EXPECT_FALSE(writer.stringWithFragment(row.value));
            EXPECT_EQ(recordsOf(writer.errorTrace()), row.trace);
        }
    }
}

TEST(KzJsonWriter, ObjectTextNeedsADictionaryOrAnArray)
{
    KzJsonWriter writer;
    for (const std::optional<KzJsonValue> &value : {std::optional<KzJsonValue>(string(u"s")),
                                                    std::optional<KzJsonValue>(KzJsonValue::number(1)),
                                                    std::optional<KzJsonValue>(KzJsonValue::null()),
                                                    std::optional<KzJsonValue>()}) {
        EXPECT_FALSE(writer.stringWithObject(value));
        EXPECT_EQ(recordsOf(writer.errorTrace()), (Trace{{4, "Not valid type for JSON"}}));
    }
    EXPECT_FALSE(writer.stringWithFragment(std::nullopt));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (Trace{{1, "JSON serialisation not supported for (null)"}}));
    EXPECT_EQ(writer.stringWithObject(KzJsonValue::array({})), u"[]");
    EXPECT_EQ(writer.errorTrace(), nullptr);
}

// Arrays add no record of their own to a depth failure; dictionaries do.
TEST(KzJsonWriter, DepthLimitIsStrictlyGreaterThan)
{
    KzJsonWriter writer;
    EXPECT_TRUE(writer.stringWithObject(nestedArrays(512)));
    EXPECT_FALSE(writer.stringWithObject(nestedArrays(513)));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (Trace{{7, "Nested too deep"}}));
    EXPECT_TRUE(writer.stringWithObject(nestedArrays(512))) << "depth starts from 0 again";

    writer.setMaxDepth(1);
    EXPECT_FALSE(writer.stringWithObject(dictionary({{string(u"a"), KzJsonValue::dictionary({})}})));
    EXPECT_EQ(recordsOf(writer.errorTrace()),
              (Trace{{7, "Nested too deep"}, {1, "Unsupported value for key a in object"}}));

    // Without a limit, levels are still indented and the hard limit holds.
    writer.setMaxDepth(0);
    writer.setHumanReadable(true);
    const std::optional<std::u16string> text = writer.stringWithObject(nestedArrays(600));
    ASSERT_TRUE(text);
    EXPECT_NE(text->find(u"\n" + std::u16string(2 * 599, u' ') + u"[]"), std::u16string::npos);
    EXPECT_TRUE(writer.stringWithObject(nestedArrays(KzJsonBase::hardDepthLimit)));
    EXPECT_FALSE(writer.stringWithObject(nestedArrays(KzJsonBase::hardDepthLimit + 1)));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (Trace{{7, "Nested too deep"}}));
}

} // namespace
