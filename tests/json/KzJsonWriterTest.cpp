#include "KzJsonDictionary.h"
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

KzJsonValue workedExample()
{
    return dictionary({{string(u"list"), KzJsonValue::array({KzJsonValue::number(1), KzJsonValue::boolean(false),
                                                             KzJsonValue::null()})},
                       {string(u"Name"), string(u"a\"b")},
                       {string(u"empty"), KzJsonValue::dictionary({})}});
}

std::u16string written(KzJsonWriter &writer, const KzJsonValue &value)
{
    const std::optional<std::u16string> text = writer.stringWithFragment(value);
    EXPECT_EQ(writer.errorTrace(), nullptr);
    return text.value_or(u"<failed>");
}

std::u16string compact(const KzJsonValue &value)
{
    KzJsonWriter writer;
    return written(writer, value);
}

std::u16string readable(const KzJsonValue &value, bool sorted = false)
{
    KzJsonWriter writer;
    writer.setHumanReadable(true);
    writer.setSortKeys(sorted);
    return written(writer, value);
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

TEST(KzJsonWriter, StartsCompactUnsortedWithLimit512)
{
    KzJsonWriter writer;
    EXPECT_FALSE(writer.humanReadable());
    EXPECT_FALSE(writer.sortKeys());
    EXPECT_EQ(writer.maxDepth(), 512u);
    EXPECT_EQ(writer.errorTrace(), nullptr);
}

TEST(KzJsonWriter, WritesTheWorkedExampleSortedInBothModes)
{
    KzJsonWriter writer;
    writer.setSortKeys(true);
    EXPECT_EQ(written(writer, workedExample()), u"{\"Name\":\"a\\\"b\",\"empty\":{},\"list\":[1,false,null]}");
    writer.setHumanReadable(true);
    EXPECT_EQ(written(writer, workedExample()), u"{\n"
                                                u"  \"Name\" : \"a\\\"b\",\n"
                                                u"  \"empty\" : {},\n"
                                                u"  \"list\" : [\n"
                                                u"    1,\n"
                                                u"    false,\n"
                                                u"    null\n"
                                                u"  ]\n"
                                                u"}");
}

TEST(KzJsonWriter, UnsortedKeysComeInInsertionOrderWithTheSameLayout)
{
    EXPECT_EQ(compact(workedExample()), u"{\"list\":[1,false,null],\"Name\":\"a\\\"b\",\"empty\":{}}");
    EXPECT_EQ(readable(dictionary({{string(u"b"), KzJsonValue::number(1)}, {string(u"a"), KzJsonValue::number(2)}})),
              u"{\n  \"b\" : 1,\n  \"a\" : 2\n}");
}

TEST(KzJsonWriter, SortsKeysByCodeUnits)
{
    const KzJsonValue value = dictionary({{string(u"b"), KzJsonValue::number(1)},
                                          {string(u"ab"), KzJsonValue::number(2)},
                                          {string(u"\u00e9"), KzJsonValue::number(3)},
                                          {string(u"a"), KzJsonValue::number(4)},
                                          {string(u"B"), KzJsonValue::number(5)}});
    KzJsonWriter writer;
    writer.setSortKeys(true);
    EXPECT_EQ(written(writer, value), u"{\"B\":5,\"a\":4,\"ab\":2,\"b\":1,\"\u00e9\":3}");
}

TEST(KzJsonWriter, LaysOutEmptyAndNestedContainers)
{
    EXPECT_EQ(readable(KzJsonValue::array({})), u"[]");
    EXPECT_EQ(readable(KzJsonValue::dictionary({})), u"{}");
    EXPECT_EQ(readable(KzJsonValue::array({KzJsonValue::array({})})), u"[\n  []\n]");
    EXPECT_EQ(readable(dictionary({{string(u"a"), KzJsonValue::array({KzJsonValue::dictionary({})})}})),
              u"{\n  \"a\" : [\n    {}\n  ]\n}");
}

TEST(KzJsonWriter, IndentIsALineFeedAndTwoSpacesPerLevel)
{
    KzJsonWriter writer;
    EXPECT_EQ(writer.indent(), u"\n");
}

TEST(KzJsonWriter, EscapesOnlyControlsQuoteAndBackslash)
{
    EXPECT_EQ(compact(string(u"a\t")), u"\"a\\t\"");
    EXPECT_EQ(compact(string(std::u16string(1, u'\0'))), u"\"\\u0000\"");
    EXPECT_EQ(compact(string(u"\x1f\x01\b\f\n\r\"\\")), u"\"\\u001f\\u0001\\b\\f\\n\\r\\\"\\\\\"");
    EXPECT_EQ(compact(string(u"\u007f/\u00e9\U0001D11E")), u"\"\u007f/\u00e9\U0001D11E\"");
    EXPECT_EQ(compact(string(u"plain text without escapes")), u"\"plain text without escapes\"");
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
    KzJsonArray many(100000, KzJsonValue::number(12345));
    KzJsonWriter writer;
    const std::optional<std::u16string> large = writer.stringWithObject(KzJsonValue::array(std::move(many)));
    ASSERT_TRUE(large);
    EXPECT_EQ(large->size(), 600001u);
    const std::optional<std::u16string> small = KzJsonValue::array({KzJsonValue::number(-7)}).JSONRepresentation();
    ASSERT_TRUE(small);
    EXPECT_EQ(*small, u"[-7]");
    EXPECT_LT(small->capacity(), 1000u);
}

TEST(KzJsonWriter, WritesScalarsAsFragments)
{
    EXPECT_EQ(compact(KzJsonValue::boolean(true)), u"true");
    EXPECT_EQ(compact(KzJsonValue::number(static_cast<signed char>(2))), u"true");
    EXPECT_EQ(compact(KzJsonValue::number(static_cast<signed char>(0))), u"false");
    EXPECT_EQ(compact(KzJsonValue::number(-42)), u"-42");
    EXPECT_EQ(compact(KzJsonValue::number(UINT64_MAX)), u"18446744073709551615");
    EXPECT_EQ(compact(KzJsonValue::number(INT64_MIN)), u"-9223372036854775808");
    EXPECT_EQ(compact(KzJsonValue::number(static_cast<unsigned char>(200))), u"200");
    EXPECT_EQ(compact(KzJsonValue::null()), u"null");
    EXPECT_EQ(KzJsonValue::number(7).typeCode(), 'i');
    EXPECT_EQ(KzJsonValue::number(7LL).typeCode(), 'q');
    EXPECT_EQ(KzJsonValue::number(7u).typeCode(), 'I');
}

struct RefusalCase
{
    std::string name;
    KzJsonValue value;
    ExpectedTrace trace;
};

std::ostream &operator<<(std::ostream &out, const RefusalCase &row)
{
    return out << row.name;
}

class WriterRefusal : public testing::TestWithParam<RefusalCase>
{
};

TEST_P(WriterRefusal, LeavesTheWholeTrace)
{
    KzJsonWriter writer;
    EXPECT_FALSE(writer.stringWithFragment(GetParam().value));
    EXPECT_EQ(recordsOf(writer.errorTrace()), GetParam().trace);
}

const ExpectedRecord keyMustBeString{1, "JSON object key must be string"};

INSTANTIATE_TEST_SUITE_P(Values, WriterRefusal, testing::Values(
    RefusalCase{"unsupported", KzJsonValue::unsupported("NSDate"), {{1, "JSON serialisation not supported for NSDate"}}},
    RefusalCase{"nestedUnsupported",
                KzJsonValue::array({KzJsonValue::number(1),
                                    dictionary({{string(u"k"), KzJsonValue::unsupported("QWidget")}})}),
                {{1, "JSON serialisation not supported for QWidget"}, {1, "Unsupported value for key k in object"}}},
    RefusalCase{"numberKey", dictionary({{string(u"a"), KzJsonValue::number(1)}, {KzJsonValue::number(2), string(u"b")}}),
                {keyMustBeString}},
    RefusalCase{"nullKeyInside",
                dictionary({{string(u"outer"), dictionary({{KzJsonValue::null(), KzJsonValue::number(1)}})}}),
                {keyMustBeString, {1, "Unsupported value for key outer in object"}}},
    RefusalCase{"proxyOfNothing", KzJsonValue::proxy(std::make_shared<FixedProxy>(std::nullopt)),
                {{1, "JSON serialisation not supported for (null)"}}},
    RefusalCase{"proxyOfUnsupported",
                dictionary({{string(u"p"), KzJsonValue::proxy(std::make_shared<FixedProxy>(KzJsonValue::unsupported("X")))}}),
                {{1, "JSON serialisation not supported for X"}, {1, "Unsupported value for key p in object"}}},
    RefusalCase{"proxyOfItself", KzJsonValue::proxy(std::make_shared<SelfProxy>()), {{7, "Nested too deep"}}}));

TEST(KzJsonWriter, SortingToleratesNonStringKeysBeforeRefusingThem)
{
    KzJsonWriter writer;
    writer.setSortKeys(true);
    EXPECT_FALSE(writer.stringWithObject(
        dictionary({{string(u"b"), KzJsonValue::number(1)}, {KzJsonValue::boolean(true), KzJsonValue::number(2)}})));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (ExpectedTrace{keyMustBeString}));
}

TEST(KzJsonWriter, WritesWhatAProxyStandsFor)
{
    const auto inner = std::make_shared<FixedProxy>(string(u"inner"));
    const auto outer = std::make_shared<FixedProxy>(KzJsonValue::proxy(inner));
    EXPECT_EQ(compact(KzJsonValue::array({KzJsonValue::proxy(outer)})), u"[\"inner\"]");
}

TEST(KzJsonWriter, ObjectTextNeedsADictionaryOrAnArray)
{
    KzJsonWriter writer;
    for (const std::optional<KzJsonValue> &value :
         {std::optional<KzJsonValue>(string(u"s")), std::optional<KzJsonValue>(KzJsonValue::number(1)),
          std::optional<KzJsonValue>(KzJsonValue::null()), std::optional<KzJsonValue>()}) {
        EXPECT_FALSE(writer.stringWithObject(value));
        EXPECT_EQ(recordsOf(writer.errorTrace()), (ExpectedTrace{{4, "Not valid type for JSON"}}));
    }
    EXPECT_FALSE(writer.stringWithFragment(std::nullopt));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (ExpectedTrace{{1, "JSON serialisation not supported for (null)"}}));
    EXPECT_EQ(writer.stringWithObject(KzJsonValue::array({})), u"[]");
    EXPECT_EQ(writer.errorTrace(), nullptr);
}

TEST(KzJsonWriter, DepthLimitIsStrictlyGreaterThanAndArraysAddNoRecord)
{
    KzJsonWriter writer;
    EXPECT_TRUE(writer.stringWithObject(nestedArrays(512)));
    EXPECT_FALSE(writer.stringWithObject(nestedArrays(513)));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (ExpectedTrace{{7, "Nested too deep"}}));
    EXPECT_TRUE(writer.stringWithObject(nestedArrays(512))) << "depth starts from 0 again";
}

TEST(KzJsonWriter, LimitOneRefusesADictionaryInsideADictionary)
{
    KzJsonWriter writer;
    writer.setMaxDepth(1);
    EXPECT_FALSE(writer.stringWithObject(dictionary({{string(u"a"), KzJsonValue::dictionary({})}})));
    EXPECT_EQ(recordsOf(writer.errorTrace()),
              (ExpectedTrace{{7, "Nested too deep"}, {1, "Unsupported value for key a in object"}}));
}

TEST(KzJsonWriter, LimitZeroStillIndentsByLevelAndStopsAtTheHardLimit)
{
    KzJsonWriter writer;
    writer.setMaxDepth(0);
    writer.setHumanReadable(true);
    const std::optional<std::u16string> text = writer.stringWithObject(nestedArrays(600));
    ASSERT_TRUE(text);
    EXPECT_NE(text->find(u"\n" + std::u16string(2 * 599, u' ') + u"[]"), std::u16string::npos);
    EXPECT_TRUE(writer.stringWithObject(nestedArrays(KzJsonBase::hardDepthLimit)));
    EXPECT_FALSE(writer.stringWithObject(nestedArrays(KzJsonBase::hardDepthLimit + 1)));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (ExpectedTrace{{7, "Nested too deep"}}));
}

} // namespace
