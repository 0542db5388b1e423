#include "KzJsonDictionary.h"
#include "KzJsonParser.h"
#include "TraceMatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_literals;

struct FailureCase
{
    std::string input;
    bool fragment;
    ExpectedTrace trace;
};

std::ostream &operator<<(std::ostream &out, const FailureCase &row)
{
    return out << (row.fragment ? "fragment " : "object ") << '"' << row.input << '"';
}

class ParserFailure : public testing::TestWithParam<FailureCase>
{
};

TEST_P(ParserFailure, LeavesTheWholeTrace)
{
    const FailureCase &row = GetParam();
    KzJsonParser parser;
    const std::optional<KzJsonValue> value =
        row.fragment ? parser.fragmentWithString(row.input) : parser.objectWithString(row.input);
    EXPECT_FALSE(value.has_value());
    EXPECT_EQ(recordsOf(parser.errorTrace()), row.trace);
}

const ExpectedRecord unexpectedEnd{11, "Unexpected end of string"};
const ExpectedRecord notJson{4, "Valid fragment, but not JSON"};
const ExpectedRecord garbage{10, "Garbage after JSON"};
const ExpectedRecord leading{3, "Unrecognised leading character"};
const ExpectedRecord inArray{3, "Expected value while parsing array"};
const ExpectedRecord keyExpected{3, "Object key string expected"};
const ExpectedRecord brokenUnicode{6, "Broken unicode character"};

INSTANTIATE_TEST_SUITE_P(TopLevel, ParserFailure, testing::Values(
    FailureCase{"", false, {unexpectedEnd}},
    FailureCase{" \t\r\n\v\f", true, {unexpectedEnd}},
    FailureCase{"\"abc\"", false, {notJson}},
    FailureCase{"12", false, {notJson}},
    FailureCase{"true", false, {notJson}},
    FailureCase{"null", false, {notJson}},
    FailureCase{"[1] x", false, {garbage}},
    FailureCase{"nullx", true, {garbage}},
    FailureCase{"12abc", true, {garbage}},
    FailureCase{"{} {}", false, {garbage}},
    FailureCase{"truex", true, {garbage}},
    FailureCase{"tru", true, {{3, "Expected 'true'"}}},
    FailureCase{"fals", true, {{3, "Expected 'false'"}}},
    FailureCase{"nul", true, {{3, "Expected 'null'"}}},
    FailureCase{"\x85", true, {leading}},
    FailureCase{"[1] \xc2\xa0", false, {garbage}}));

INSTANTIATE_TEST_SUITE_P(Containers, ParserFailure, testing::Values(
    FailureCase{"[1,]", false, {{9, "Trailing comma disallowed in array"}}},
    FailureCase{"{\"a\":1,}", false, {{9, "Trailing comma disallowed in object"}}},
    FailureCase{"{\"a\":[1,]}", false, {{9, "Trailing comma disallowed in array"}, {3, "Object value expected for key: a"}}},
    FailureCase{"[,1]", false, {leading, inArray}},
    FailureCase{"[", false, {{11, "End of input while parsing array"}}},
    FailureCase{"[1", false, {{11, "End of input while parsing array"}}},
    FailureCase{"[1,", false, {{11, "End of input while parsing array"}}},
    FailureCase{"[ ", false, {unexpectedEnd, inArray}},
    FailureCase{"{", false, {{11, "End of input while parsing object"}}},
    FailureCase{"{\"a\":1", false, {{11, "End of input while parsing object"}}},
    FailureCase{"{\"a\":1,", false, {{11, "End of input while parsing object"}}},
    FailureCase{"{ ", false, {keyExpected}},
    FailureCase{"{a:1}", false, {keyExpected}},
    FailureCase{"{\"a\" 1}", false, {{3, "Expected ':' separating key and value"}}},
    FailureCase{"{\"a\":}", false, {leading, {3, "Object value expected for key: a"}}},
    FailureCase{"{\"a\\q\":1}", false, {{8, "Illegal escape sequence '0x71'"}, keyExpected}},
    FailureCase{"{\"\xc3\xa9\":+1}", false, {{2, "Leading + disallowed in number"}, {3, "Object value expected for key: \xc3\xa9"}}},
    FailureCase{"[1, {\"k\": \"\\u12\"}]", false,
                {{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, brokenUnicode,
                 {3, "Object value expected for key: k"}, inArray}}));

INSTANTIATE_TEST_SUITE_P(Numbers, ParserFailure, testing::Values(
    FailureCase{"01", true, {{2, "Leading 0 disallowed in number"}}},
    FailureCase{"-01", true, {{2, "Leading 0 disallowed in number"}}},
    FailureCase{"-", true, {{2, "No digits after initial minus"}}},
    FailureCase{"-a", true, {{2, "No digits after initial minus"}}},
    FailureCase{"1.", true, {{2, "No digits after decimal point"}}},
    FailureCase{"1.e5", true, {{2, "No digits after decimal point"}}},
    FailureCase{"1e", true, {{2, "No digits after exponent"}}},
    FailureCase{"1e+", true, {{2, "No digits after exponent"}}},
    FailureCase{"+1", true, {{2, "Leading + disallowed in number"}}},
    FailureCase{".5", true, {leading}},
    FailureCase{"1e999999999999", true, {{2, "Failed creating decimal instance"}}},
    FailureCase{"1e1000000000", true, {{2, "Failed creating decimal instance"}}},
    FailureCase{"[0.5e-999999999]", false, {{2, "Failed creating decimal instance"}, inArray}}));

INSTANTIATE_TEST_SUITE_P(Strings, ParserFailure, testing::Values(
    FailureCase{"\"\\udd1e\"", true, {{6, "Invalid high character in surrogate pair"}, brokenUnicode}},
    FailureCase{"\"\\ud834\"", true, {{6, "Missing low character in surrogate pair"}, brokenUnicode}},
    FailureCase{"\"\\ud834", true, {{6, "Missing low character in surrogate pair"}, brokenUnicode}},
    FailureCase{"\"\\ud834\\n\"", true, {{6, "Missing low character in surrogate pair"}, brokenUnicode}},
    FailureCase{"\"\\ud834\\u00g1\"", true,
                {{6, "Missing hex digit in quad"}, {6, "Missing low character in surrogate pair"}, brokenUnicode}},
    FailureCase{"\"\\ud834\\u0041\"", true, {{6, "Invalid low surrogate char"}, brokenUnicode}},
    FailureCase{"\"\\u12\"", true, {{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, brokenUnicode}},
    FailureCase{"\"\\q\"", true, {{8, "Illegal escape sequence '0x71'"}}},
    FailureCase{"\"\\", true, {{8, "Illegal escape sequence '0x0'"}}},
    FailureCase{"\"\\\xc3\xa9\"", true, {{8, "Illegal escape sequence '0xffc3'"}}},
    FailureCase{"\"a\tb\"", true, {{5, "Unescaped control character '0x9'"}}},
    FailureCase{"\"a\x1f\"", true, {{5, "Unescaped control character '0x1f'"}}},
    FailureCase{"\"abc", true, {{5, "Unescaped control character '0x0'"}}},
    FailureCase{"\"abc\\n", true, {{11, "Unexpected EOF while parsing string"}}},
    FailureCase{"\"abc\\u0041", true, {{11, "Unexpected EOF while parsing string"}}}));

// Malformed UTF-8 is refused inside a string, never read past the end.
INSTANTIATE_TEST_SUITE_P(MalformedUtf8, ParserFailure, testing::Values(
    FailureCase{"\"\x80\"", true, {{6, "Invalid UTF-8 sequence in string"}}},
    FailureCase{"\"\xc3\"", true, {{6, "Invalid UTF-8 sequence in string"}}},
    FailureCase{"\"\xc3", true, {{6, "Invalid UTF-8 sequence in string"}}},
    FailureCase{"\"\xe2\x82", true, {{6, "Invalid UTF-8 sequence in string"}}},
    FailureCase{"\"\xc0\xaf\"", true, {{6, "Invalid UTF-8 sequence in string"}}},
    FailureCase{"\"\xe0\x80\xaf\"", true, {{6, "Invalid UTF-8 sequence in string"}}},
    FailureCase{"\"\xed\xa0\x80\"", true, {{6, "Invalid UTF-8 sequence in string"}}},
    FailureCase{"\"\xf4\x90\x80\x80\"", true, {{6, "Invalid UTF-8 sequence in string"}}},
    FailureCase{"\"\xf8\x88\x80\x80\x80\"", true, {{6, "Invalid UTF-8 sequence in string"}}},
    FailureCase{"[\"\xff\"]", false, {{6, "Invalid UTF-8 sequence in string"}, inArray}}));

std::optional<KzJsonValue> fragment(std::string_view text)
{
    KzJsonParser parser;
    std::optional<KzJsonValue> value = parser.fragmentWithString(text);
    EXPECT_EQ(parser.errorTrace(), nullptr) << text;
    return value;
}

std::u16string stringOf(std::string_view text)
{
    const std::optional<KzJsonValue> value = fragment(text);
    return std::u16string(value && value->isString() ? std::u16string_view(*value->asString()) : u"<no string>");
}

TEST(KzJsonParser, StartsWithoutTraceAndWithLimit512)
{
    KzJsonParser parser;
    EXPECT_EQ(parser.errorTrace(), nullptr);
    EXPECT_EQ(parser.maxDepth(), 512u);
}

TEST(KzJsonParser, NoInputIsRefused)
{
    KzJsonParser parser;
    EXPECT_FALSE(parser.objectWithString(std::nullopt));
    EXPECT_EQ(recordsOf(parser.errorTrace()), (ExpectedTrace{{12, "Input was 'nil'"}}));
    EXPECT_FALSE(parser.fragmentWithString(static_cast<const char *>(nullptr)));
    EXPECT_EQ(recordsOf(parser.errorTrace()), (ExpectedTrace{{12, "Input was 'nil'"}}));
}

TEST(KzJsonParser, UnicodeTextIsParsedThroughItsUtf8Form)
{
    KzJsonParser parser;
    const std::optional<KzJsonValue> value = parser.objectWithString(u"{\"\u00e9\":\"\U0001D11E\"}");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value->member(u"\u00e9")->asString(), u"\U0001D11E");
}

TEST(KzJsonParser, UnicodeTextWithoutUtf8FormIsRefused)
{
    KzJsonParser parser;
    const std::u16string lone = u"[\"" + std::u16string(1, char16_t(0xD800)) + u"\"]";
    EXPECT_FALSE(parser.objectWithString(lone));
    EXPECT_EQ(recordsOf(parser.errorTrace()), (ExpectedTrace{{6, "Input text has no UTF-8 form"}}));
}

TEST(KzJsonParser, ScalarsAreFragments)
{
    EXPECT_EQ(*fragment("\"abc\"")->asString(), u"abc");
    EXPECT_EQ(fragment("12")->numberText(), "12");
    EXPECT_TRUE(fragment("true")->isBool());
    EXPECT_TRUE(fragment("true")->boolValue());
    EXPECT_FALSE(fragment("false")->boolValue());
    EXPECT_TRUE(fragment("null")->isNull());
}

TEST(KzJsonParser, WhiteSpaceAfterTheValueAndTextAfterAZeroByteAreAllowed)
{
    EXPECT_TRUE(fragment("[1] \t\r\v\f\n"));
    EXPECT_TRUE(fragment("[1]\0 anything at all"s));
    EXPECT_TRUE(fragment("{\"title\":\"t\"}\r"));
    EXPECT_EQ(*fragment("\"ab\"\0\""s)->asString(), u"ab");
}

// Runs of white space are skipped many bytes a step, so runs of every length
// around a step, and the bytes just outside the white-space set, are tried.
TEST(KzJsonParser, WhiteSpaceRunsOfAnyLengthEndAtTheFirstOtherByte)
{
    const std::string kinds = " \t\n\v\f\r";
    for (std::size_t length = 1; length <= 40; ++length) {
        std::string run;
        for (std::size_t at = 0; at < length; ++at)
            run.push_back(kinds[(at * 5 + length) % kinds.size()]);
        const std::optional<KzJsonValue> value = fragment(run + "{" + run + "\"a\"" + run + ":" + run + "[" + run +
                                                          "1" + run + "," + run + "2" + run + "]" + run + "}" + run);
        ASSERT_TRUE(value) << length;
        EXPECT_EQ(*value->member(u"a"), KzJsonValue::array({KzJsonValue::number(1), KzJsonValue::number(2)}));
    }
    const std::string longRun(20, ' ');
    for (const char outside : {'\x08', '\x0e', '\x1f', '!', '\x80', '\xff'}) {
        KzJsonParser parser;
        EXPECT_FALSE(parser.fragmentWithString("[" + longRun + outside + "]")) << int(outside);
        EXPECT_EQ(recordsOf(parser.errorTrace()), (ExpectedTrace{leading, inArray}));
    }
}

TEST(KzJsonParser, CommasAreOptionalAndDuplicatesReplace)
{
    const std::optional<KzJsonValue> array = fragment("[1 2]");
    ASSERT_TRUE(array && array->isArray());
    EXPECT_EQ(array->asArray()->size(), 2u);
    const std::optional<KzJsonValue> two = fragment("{\"a\":1 \"b\":2}");
    ASSERT_TRUE(two && two->isDictionary());
    EXPECT_EQ(two->asDictionary()->size(), 2u);
    const std::optional<KzJsonValue> replaced = fragment("{\"a\":1,\"a\":2}");
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->asDictionary()->size(), 1u);
    EXPECT_EQ(replaced->member(u"a")->numberText(), "2");
    const std::optional<KzJsonValue> booleans = fragment("[true false]");
    ASSERT_TRUE(booleans);
    EXPECT_EQ(*booleans, KzJsonValue::array({KzJsonValue::boolean(true), KzJsonValue::boolean(false)}));
}

std::u16string numberedKey(int number)
{
    const std::string text = "k" + std::to_string(number);
    return {text.begin(), text.end()};
}

// Small and large objects look for repeated keys in different ways; each
// size keeps every distinct key and lets a repeated one replace its value.
TEST(KzJsonParser, ObjectsOfEverySizeKeepEachKeyAndReplaceRepeatedOnes)
{
    for (const int size : {2, 15, 16, 17, 64, 100}) {
        std::string text = "{";
        for (int member = 0; member < size; ++member)
            text += "\"k" + std::to_string(member) + "\":" + std::to_string(member) + ",";
        text += "\"k0\":\"again\",\"k" + std::to_string(size - 1) + "\":\"last\"}";
        const std::optional<KzJsonValue> value = fragment(text);
        ASSERT_TRUE(value) << size;
        EXPECT_EQ(value->asDictionary()->size(), std::size_t(size)) << size;
        for (int member = 1; member < size - 1; ++member)
            EXPECT_EQ(value->member(numberedKey(member))->numberText(), std::to_string(member)) << size;
        EXPECT_EQ(*value->member(u"k0")->asString(), u"again") << size;
        EXPECT_EQ(*value->member(numberedKey(size - 1))->asString(), u"last") << size;
        EXPECT_EQ(value->member(numberedKey(size)), nullptr) << size;
    }
}

TEST(KzJsonParser, NullIsAValueDistinctFromAbsence)
{
    const std::optional<KzJsonValue> value = fragment("{\"title\":null}");
    ASSERT_TRUE(value);
    ASSERT_NE(value->member(u"title"), nullptr);
    EXPECT_TRUE(value->member(u"title")->isNull());
    EXPECT_EQ(value->member(u"description"), nullptr);
}

struct NumberCase
{
    std::string input;
    std::string text;
};

std::ostream &operator<<(std::ostream &out, const NumberCase &row)
{
    return out << '"' << row.input << '"';
}

class ParsedNumber : public testing::TestWithParam<NumberCase>
{
};

TEST_P(ParsedNumber, KeepsItsExactValue)
{
    std::optional<KzJsonValue> value = fragment(GetParam().input);
    if (value && value->isArray() && GetParam().text == "<array>") {
        ASSERT_EQ(value->asArray()->size(), 1u);
        value = (*value->asArray())[0];
        EXPECT_EQ(value->numberText(), GetParam().input.substr(1, GetParam().input.size() - 2));
        return;
    }
    ASSERT_TRUE(value && value->isNumber());
    EXPECT_EQ(value->typeCode(), 'd');
    EXPECT_FALSE(value->isBool());
    EXPECT_EQ(value->numberText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Decimals, ParsedNumber, testing::Values(
    NumberCase{"0", "0"}, NumberCase{"-0", "0"}, NumberCase{"0.5", "0.5"}, NumberCase{"-12.5e+3", "-12500"},
    NumberCase{"1E5", "100000"}, NumberCase{"1e-007", "1e-7"}, NumberCase{"0.1", "0.1"},
    NumberCase{"1.50", "1.50"}, NumberCase{"0.000001", "0.000001"}, NumberCase{"1e21", "1000000000000000000000"},
    NumberCase{"1e22", "1e+22"}, NumberCase{"123.456e-2", "1.23456"}, NumberCase{"-0.00000123", "-0.00000123"},
    NumberCase{"18446744073709551615", "18446744073709551615"},
    NumberCase{"1234567890123456789012345678901234567890", "1234567890123456789012345678901234567890"},
    NumberCase{"0.1234567890123456789012345678901234567890", "0.1234567890123456789012345678901234567890"},
    NumberCase{"1e999999999", "1e+999999999"}, NumberCase{"-5e-999999999", "-5e-999999999"}));

// Digits are read up to eight at a time: runs that end inside, at and beyond
// a group of eight, zeros inside a group, and the step to the long form.
INSTANTIATE_TEST_SUITE_P(DigitRuns, ParsedNumber, testing::Values(
    NumberCase{"12345678", "12345678"}, NumberCase{"123456789", "123456789"},
    NumberCase{"-65.613616999999977", "-65.613616999999977"}, NumberCase{"12345678e3", "12345678000"},
    NumberCase{"123456789.12345678", "123456789.12345678"}, NumberCase{"100000000.000000001", "100000000.000000001"},
    NumberCase{"0.12345678901234567", "0.12345678901234567"}, NumberCase{"0.0000000012345678", "1.2345678e-9"},
    NumberCase{"9999999999999999999", "9999999999999999999"}, NumberCase{"12345678901234567890", "12345678901234567890"},
    NumberCase{"1.00000000000000000001", "1.00000000000000000001"}, NumberCase{"[12345678]", "<array>"}));

TEST(KzJsonParser, NumbersAreExactDecimals)
{
    EXPECT_EQ(*fragment("0.1"), KzJsonValue::decimal(false, 1, -1));
    EXPECT_EQ(*fragment("100e-3"), KzJsonValue::decimal(false, 1, -1));
    EXPECT_FALSE(*fragment("0.1") == *fragment("0.10000000000000001"));
    EXPECT_EQ(fragment("0.1")->doubleValue(), 0.1);
    EXPECT_EQ(fragment("-12.5e+3")->int64Value(), -12500);
    EXPECT_EQ(fragment("1.5")->int64Value(), std::nullopt);
    EXPECT_EQ(fragment("-9223372036854775808")->int64Value(), INT64_MIN);
    EXPECT_EQ(fragment("9223372036854775808")->int64Value(), std::nullopt);
}

TEST(KzJsonParser, BooleansStayApartFromOneAndZero)
{
    EXPECT_FALSE(*fragment("true") == *fragment("1"));
    EXPECT_FALSE(*fragment("false") == *fragment("0"));
    EXPECT_EQ(fragment("true")->typeCode(), 'c');
    EXPECT_FALSE(fragment("1")->isBool());
}

TEST(KzJsonParser, StringEscapesGiveTheirCharacters)
{
    EXPECT_EQ(stringOf(R"("\"\\\/\b\f\n\r\t")"), u"\"\\/\b\f\n\r\t");
    EXPECT_EQ(stringOf(R"("\u00e9")"), u"\u00e9");
    EXPECT_EQ(stringOf(R"("\u0000")"), std::u16string(1, u'\0'));
    EXPECT_EQ(stringOf(R"("\ud834\udd1e")"), u"\U0001D11E");
    EXPECT_EQ(stringOf(R"("\uD834\uDD1E")"), u"\U0001D11E");
    EXPECT_EQ(stringOf(R"("\udbff\udfff")"), u"\U0010FFFF");
    EXPECT_EQ(stringOf("\"a\x7f\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z\""), u"a\u007f\u00e9\u20ac\U0001F600z");
    EXPECT_EQ(stringOf("\"plain \\n and \\u0041gain\""), u"plain \n and Again");
    // The first and last point of each sequence length, back to back and
    // over the end of a sixteen-byte step.
    const std::string edges = "\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf";
    const std::u16string decoded = u"\u0080\u07ff\u0800\uffff\U00010000\U0010FFFF";
    for (const std::size_t lead : {0u, 13u, 15u}) {
        const std::string ascii(lead, 'a');
        EXPECT_EQ(stringOf("\"" + ascii + edges + ascii + edges + "\""),
                  std::u16string(lead, u'a') + decoded + std::u16string(lead, u'a') + decoded)
            << lead;
    }
}

// Plain ASCII is taken sixteen bytes a step: stops before, at and after a
// step's end must all be found, in values and in keys alike.
TEST(KzJsonParser, LongRunsStopAtEveryKindOfStopByte)
{
    for (const std::size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 40u}) {
        const std::string plain(length, 'x');
        const std::u16string wide(length, u'x');
        EXPECT_EQ(stringOf("\"" + plain + "\""), wide) << length;
        EXPECT_EQ(stringOf("\"" + plain + "\\t" + plain + "\""), wide + u"\t" + wide) << length;
        EXPECT_EQ(stringOf("\"" + plain + "\xc3\xa9" + plain + "\""), wide + u"\u00e9" + wide) << length;
        const std::optional<KzJsonValue> object = fragment("{\"" + plain + "\":1,\"" + plain + "\\n\":2}");
        ASSERT_TRUE(object) << length;
        EXPECT_EQ(object->member(wide)->numberText(), "1") << length;
        EXPECT_EQ(object->member(wide + u"\n")->numberText(), "2") << length;

        KzJsonParser parser;
        EXPECT_FALSE(parser.fragmentWithString("\"" + plain + "\x01\""));
        EXPECT_EQ(recordsOf(parser.errorTrace()), (ExpectedTrace{{5, "Unescaped control character '0x1'"}}));
        EXPECT_FALSE(parser.fragmentWithString("\"" + plain));
        EXPECT_EQ(recordsOf(parser.errorTrace()), (ExpectedTrace{{5, "Unescaped control character '0x0'"}}));
    }
}

// Keys that repeat are shared between objects; sharing must never hand one
// object another's key.
TEST(KzJsonParser, RepeatedAndSimilarKeysKeepTheirOwnText)
{
    const std::string longKey(40, 'k');
    const std::optional<KzJsonValue> value = fragment(
        "[{\"id\":1,\"id_str\":\"1\",\"" + longKey + "\":true},{\"id\":2,\"id_str\":\"2\",\"" + longKey +
        "\":false},{\"di\":3,\"id_stR\":\"3\",\"\\u0069d\":4,\"abcdefghijklmnopqrstuvwxyz\":5,"
        "\"abcdefghijklmnopQRSTUVWXYZ\":6,\"caf\u00e9\":7},{\"café\":8,\"cafè\":9}]");
    ASSERT_TRUE(value && value->isArray());
    const KzJsonArray &objects = *value->asArray();
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(objects[1].member(u"id")->numberText(), "2");
    EXPECT_EQ(*objects[1].member(u"id_str")->asString(), u"2");
    EXPECT_FALSE(objects[1].member(std::u16string(40, u'k'))->boolValue());
    EXPECT_EQ(objects[2].member(u"id")->numberText(), "4");
    EXPECT_EQ(objects[2].member(u"di")->numberText(), "3");
    EXPECT_EQ(*objects[2].member(u"id_stR")->asString(), u"3");
    EXPECT_EQ(objects[2].member(u"id_str"), nullptr);
    EXPECT_EQ(objects[2].member(u"abcdefghijklmnopqrstuvwxyz")->numberText(), "5");
    EXPECT_EQ(objects[2].member(u"abcdefghijklmnopQRSTUVWXYZ")->numberText(), "6");
    EXPECT_EQ(objects[2].member(u"café")->numberText(), "7");
    EXPECT_EQ(objects[3].member(u"café")->numberText(), "8");
    EXPECT_EQ(objects[3].member(u"cafè")->numberText(), "9");
}

std::string nested(std::size_t levels)
{
    return std::string(levels, '[') + std::string(levels, ']');
}

TEST(KzJsonParser, DepthLimitIsStrictlyGreaterThan)
{
    KzJsonParser parser;
    EXPECT_TRUE(parser.objectWithString(nested(512)));
    EXPECT_FALSE(parser.objectWithString(nested(513)));
    ExpectedTrace expected{{7, "Nested too deep"}};
    expected.insert(expected.end(), 512, inArray);
    EXPECT_EQ(recordsOf(parser.errorTrace()), expected);
    EXPECT_TRUE(parser.objectWithString(nested(512))) << "depth starts from 0 again";
    EXPECT_EQ(parser.errorTrace(), nullptr);
}

TEST(KzJsonParser, LimitOneAcceptsOneContainer)
{
    KzJsonParser parser;
    parser.setMaxDepth(1);
    EXPECT_TRUE(parser.objectWithString("{\"a\":1}"));
    EXPECT_FALSE(parser.objectWithString("{\"a\":{}}"));
    EXPECT_EQ(recordsOf(parser.errorTrace()),
              (ExpectedTrace{{7, "Nested too deep"}, {3, "Object value expected for key: a"}}));
}

TEST(KzJsonParser, LimitZeroAcceptsDeepNestingAndStillStopsCleanly)
{
    KzJsonParser parser;
    parser.setMaxDepth(0);
    EXPECT_TRUE(parser.objectWithString(nested(KzJsonBase::hardDepthLimit)));
    EXPECT_FALSE(parser.objectWithString(std::string(1000000, '[')));
    const KzJsonErrorTrace trace = parser.errorTrace();
    ASSERT_TRUE(trace);
    ASSERT_EQ(trace->size(), KzJsonBase::hardDepthLimit + 1);
    EXPECT_EQ(trace->front()->code(), KzJSONErrorDepth);
    EXPECT_EQ(trace->front()->description(), "Nested too deep");
    EXPECT_EQ(trace->back()->description(), "Expected value while parsing array");
}

TEST(KzJsonParser, ObtainedTraceIsNotChangedByLaterCalls)
{
    KzJsonParser parser;
    EXPECT_FALSE(parser.objectWithString("[,]"));
    const KzJsonErrorTrace first = parser.errorTrace();
    const ExpectedTrace expected = recordsOf(first);
    EXPECT_FALSE(parser.objectWithString("{"));
    EXPECT_EQ(recordsOf(first), expected);
    EXPECT_TRUE(parser.objectWithString("[]"));
    EXPECT_EQ(parser.errorTrace(), nullptr);
    EXPECT_EQ(recordsOf(first), expected);
}

} // namespace
