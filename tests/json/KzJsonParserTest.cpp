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
    Trace trace;
};

std::ostream &operator<<(std::ostream &out, const FailureCase &row)
{
    return out << '"' << row.input << '"';
}

class ParserFailure : public testing::TestWithParam<FailureCase>
{
};

// Malformed text fails with the same trace whether an object or a fragment
// is asked for, and the second call's trace replaces the first one's.
TEST_P(ParserFailure, LeavesTheWholeTrace)
{
    KzJsonParser parser;
    EXPECT_FALSE(parser.objectWithString(GetParam().input));
    EXPECT_EQ(recordsOf(parser.errorTrace()), GetParam().trace) << "as object";
    EXPECT_FALSE(parser.fragmentWithString(GetParam().input));
    EXPECT_EQ(recordsOf(parser.errorTrace()), GetParam().trace) << "as fragment";
}

const Record unexpectedEnd{11, "Unexpected end of string"};
const Record garbage{10, "Garbage after JSON"};
const Record leading{3, "Unrecognised leading character"};
const Record inArray{3, "Expected value while parsing array"};
const Record keyExpected{3, "Object key string expected"};
const Record arrayEnd{11, "End of input while parsing array"};
const Record objectEnd{11, "End of input while parsing object"};
const Record valueForA{3, "Object value expected for key: a"};
const Record trailingInArray{9, "Trailing comma disallowed in array"};
const Record leadingZero{2, "Leading 0 disallowed in number"};
const Record leadingPlus{2, "Leading + disallowed in number"};
const Record noDecimal{2, "Failed creating decimal instance"};
const Record brokenUnicode{6, "Broken unicode character"};
const Record missingLow{6, "Missing low character in surrogate pair"};
const Record missingHexDigit{6, "Missing hex digit in quad"};
const Record badUtf8{6, "Invalid UTF-8 sequence in string"};

const FailureCase failures[] = {
    {"", {unexpectedEnd}}, {" \t\r\n\v\f", {unexpectedEnd}}, {"\x85", {leading}}, {"[1] x", {garbage}},
    {"{} {}", {garbage}}, {"nullx", {garbage}}, {"truex", {garbage}}, {"12abc", {garbage}},
    {"[1] \xc2\xa0", {garbage}}, {"tru", {{3, "Expected 'true'"}}}, {"fals", {{3, "Expected 'false'"}}},
    {"nul", {{3, "Expected 'null'"}}},
    // Containers.
    {"[1,]", {trailingInArray}}, {R"({"a":1,})", {{9, "Trailing comma disallowed in object"}}},
    {R"({"a":[1,]})", {trailingInArray, valueForA}}, {"[,1]", {leading, inArray}}, {"[", {arrayEnd}},
    {"[1", {arrayEnd}}, {"[1,", {arrayEnd}}, {"[ ", {unexpectedEnd, inArray}}, {"{", {objectEnd}},
    {R"({"a":1)", {objectEnd}}, {R"({"a":1,)", {objectEnd}}, {"{ ", {keyExpected}}, {"{a:1}", {keyExpected}},
    {R"({"a" 1})", {{3, "Expected ':' separating key and value"}}}, {R"({"a":})", {leading, valueForA}},
    {R"({"a\q":1})", {{8, "Illegal escape sequence '0x71'"}, keyExpected}},
    {"{\"\xc3\xa9\":+1}", {leadingPlus, {3, "Object value expected for key: \xc3\xa9"}}},
    {R"([1, {"k": "\u12"}])",
     {missingHexDigit, {6, "Missing hex quad"}, brokenUnicode, {3, "Object value expected for key: k"}, inArray}},
    // Numbers.
    {"01", {leadingZero}}, {"-01", {leadingZero}}, {"+1", {leadingPlus}}, {".5", {leading}},
    {"-", {{2, "No digits after initial minus"}}}, {"-a", {{2, "No digits after initial minus"}}},
    {"1.", {{2, "No digits after decimal point"}}}, {"1.e5", {{2, "No digits after decimal point"}}},
    {"1e", {{2, "No digits after exponent"}}}, {"1e+", {{2, "No digits after exponent"}}},
    {"1e999999999999", {noDecimal}}, {"1e1000000000", {noDecimal}}, {"[0.5e-999999999]", {noDecimal, inArray}},
    // Strings.
    {R"("\udd1e")", {{6, "Invalid high character in surrogate pair"}, brokenUnicode}},
    {R"("\ud834")", {missingLow, brokenUnicode}}, {R"("\ud834)", {missingLow, brokenUnicode}},
    {R"("\ud834\n")", {missingLow, brokenUnicode}}, {R"("\ud834\u00g1")", {missingHexDigit, missingLow, brokenUnicode}},
    {R"("\ud834\u0041")", {{6, "Invalid low surrogate char"}, brokenUnicode}},
    {R"("\u12")", {missingHexDigit, {6, "Missing hex quad"}, brokenUnicode}},
    {R"("\q")", {{8, "Illegal escape sequence '0x71'"}}}, {R"("\)", {{8, "Illegal escape sequence '0x0'"}}},
    {"\"\\\xc3\xa9\"", {{8, "Illegal escape sequence '0xffc3'"}}},
    {"\"a\tb\"", {{5, "Unescaped control character '0x9'"}}},
    {"\"a\x1f\"", {{5, "Unescaped control character '0x1f'"}}},
    {"\"abc", {{5, "Unescaped control character '0x0'"}}},
    {R"("abc\n)", {{11, "Unexpected EOF while parsing string"}}},
    {R"("abc\u0041)", {{11, "Unexpected EOF while parsing string"}}},
    // Malformed UTF-8 is refused inside a string, never read past the end.
    {"\"\x80\"", {badUtf8}}, {"\"\xc3\"", {badUtf8}}, {"\"\xc3", {badUtf8}}, {"\"\xe2\x82", {badUtf8}},
    {"\"\xc0\xaf\"", {badUtf8}}, {"\"\xe0\x80\xaf\"", {badUtf8}}, {"\"\xed\xa0\x80\"", {badUtf8}},
    {"\"\xf4\x90\x80\x80\"", {badUtf8}}, {"\"\xf8\x88\x80\x80\x80\"", {badUtf8}}, {"[\"\xff\"]", {badUtf8, inArray}},
};
INSTANTIATE_TEST_SUITE_P(Rows, ParserFailure, testing::ValuesIn(failures));

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

TEST(KzJsonParser, RefusesNoInputAndTextWithoutUtf8Form)
{
    KzJsonParser parser;
    EXPECT_FALSE(parser.objectWithString(std::nullopt));
    EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{{12, "Input was 'nil'"}}));
    EXPECT_FALSE(parser.fragmentWithString(static_cast<const char *>(nullptr)));
    EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{{12, "Input was 'nil'"}}));
    EXPECT_FALSE(parser.objectWithString(u"[\"" + std::u16string(1, char16_t(0xD800)) + u"\"]"));
    EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{{6, "Input text has no UTF-8 form"}}));
    const std::optional<KzJsonValue> value = parser.objectWithString(u"{\"\u00e9\":\"\U0001D11E\"}");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value->member(u"\u00e9")->asString(), u"\U0001D11E");
}

TEST(KzJsonParser, ScalarsAreFragmentsButNotObjects)
{
    for (const std::string scalar : {"\"abc\"", "12", "true", "false", "null"}) {
        KzJsonParser parser;
        EXPECT_FALSE(parser.objectWithString(scalar)) << scalar;
        EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{{4, "Valid fragment, but not JSON"}})) << scalar;
        EXPECT_EQ(fragment(scalar)->JSONFragment(), std::u16string(scalar.begin(), scalar.end()));
    }
    EXPECT_EQ(fragment("true")->typeCode(), 'c');
    EXPECT_FALSE(*fragment("true") == *fragment("1"));
    EXPECT_FALSE(*fragment("false") == *fragment("0"));
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
    for (const char outside : {'\x08', '\x0e', '\x1f', '!', '\x80', '\xff'}) {
        KzJsonParser parser;
        EXPECT_FALSE(parser.fragmentWithString("[" + std::string(20, ' ') + outside + "]")) << int(outside);
        EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{leading, inArray}));
    }
}

TEST(KzJsonParser, AcceptsMissingCommasTrailingWhiteSpaceAndTextAfterAZeroByte)
{
    EXPECT_TRUE(fragment("[1] \t\r\v\f\n"));
    EXPECT_TRUE(fragment("[1]\0 anything at all"s));
    EXPECT_TRUE(fragment("{\"title\":\"t\"}\r"));
    EXPECT_EQ(*fragment("\"ab\"\0\""s)->asString(), u"ab");
    EXPECT_EQ(*fragment("[1 true false 2]"), KzJsonValue::array({KzJsonValue::number(1), KzJsonValue::boolean(true),
                                                                 KzJsonValue::boolean(false), KzJsonValue::number(2)}));
    // A member holding null is there; an absent one is not.
    const std::optional<KzJsonValue> object = fragment("{\"a\":1 \"title\":null}");
    ASSERT_TRUE(object && object->isDictionary());
    EXPECT_EQ(object->asDictionary()->size(), 2u);
    ASSERT_NE(object->member(u"title"), nullptr);
    EXPECT_TRUE(object->member(u"title")->isNull());
    EXPECT_EQ(object->member(u"description"), nullptr);
}

// Small and large objects look for repeated keys in different ways; each
// size keeps every distinct key and lets a repeated one replace its value.
TEST(KzJsonParser, ObjectsOfEverySizeKeepEachKeyAndReplaceRepeatedOnes)
{
    const auto key = [](int number) {
        const std::string text = "k" + std::to_string(number);
        return std::u16string(text.begin(), text.end());
    };
    for (const int size : {2, 15, 16, 17, 64, 100}) {
        std::string text = "{";
        for (int member = 0; member < size; ++member)
            text += "\"k" + std::to_string(member) + "\":" + std::to_string(member) + ",";
        const std::optional<KzJsonValue> value =
            fragment(text + "\"k0\":\"again\",\"k" + std::to_string(size - 1) + "\":\"last\"}");
        ASSERT_TRUE(value) << size;
        EXPECT_EQ(value->asDictionary()->size(), std::size_t(size)) << size;
        for (int member = 1; member < size - 1; ++member)
            EXPECT_EQ(value->member(key(member))->numberText(), std::to_string(member)) << size;
        EXPECT_EQ(*value->member(u"k0")->asString(), u"again") << size;
        EXPECT_EQ(*value->member(key(size - 1))->asString(), u"last") << size;
        EXPECT_EQ(value->member(key(size)), nullptr) << size;
    }
}

TEST(KzJsonParser, NumbersKeepTheirExactValue)
{
    const struct
    {
        std::string input;
        std::string text = {}; // empty: the input itself
    } rows[] = {
        {"0"}, {"-0", "0"}, {"0.5"}, {"-12.5e+3", "-12500"}, {"1E5", "100000"}, {"1e-007", "1e-7"}, {"0.1"},
        {"1.50"}, {"0.000001"}, {"1e21", "1000000000000000000000"}, {"1e22", "1e+22"}, {"123.456e-2", "1.23456"},
        {"-0.00000123"}, {"18446744073709551615"}, {"1234567890123456789012345678901234567890"},
        {"0.1234567890123456789012345678901234567890"}, {"1e999999999", "1e+999999999"}, {"-5e-999999999"},
        // Digits are read in runs of up to sixteen, valued eight at a time:
        // runs that end inside, at and beyond a group of eight or of sixteen,
        // zeros inside a group, a fraction that reaches the 19-digit
        // significand exactly or passes it, and the long form.
        {"12345678"}, {"123456789"}, {"-65.613616999999977"}, {"12345678e3", "12345678000"}, {"123456789.12345678"},
        {"100000000.000000001"}, {"0.12345678901234567"}, {"0.0000000012345678", "1.2345678e-9"},
        {"9999999999999999999"}, {"12345678901234567890"}, {"1.00000000000000000001"}, {"123456789012345"},
        {"1234567890123456"}, {"1000000000000001"}, {"12345678901234567"}, {"1234567890123456.789"},
        {"1234567890123456.7890"}, {"0.1234567890123456"}, {"-0.0000000000000000001", "-1e-19"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.input);
        const std::optional<KzJsonValue> value = fragment(row.input);
        ASSERT_TRUE(value && value->isNumber());
        EXPECT_EQ(value->typeCode(), 'd');
        EXPECT_FALSE(value->isBool());
        EXPECT_EQ(value->numberText(), row.text.empty() ? row.input : row.text);
    }
}

TEST(KzJsonParser, NumbersAreExactDecimals)
{
    EXPECT_EQ((*fragment("[12345678]")->asArray())[0].numberText(), "12345678");
    EXPECT_EQ(*fragment("0.1"), KzJsonValue::decimal(false, 1, -1));
    EXPECT_EQ(*fragment("100e-3"), KzJsonValue::decimal(false, 1, -1));
    EXPECT_FALSE(*fragment("0.1") == *fragment("0.10000000000000001"));
    EXPECT_EQ(fragment("0.1")->doubleValue(), 0.1);
    EXPECT_EQ(fragment("-12.5e+3")->int64Value(), -12500);
    EXPECT_EQ(fragment("1.5")->int64Value(), std::nullopt);
    EXPECT_EQ(fragment("-9223372036854775808")->int64Value(), INT64_MIN);
    EXPECT_EQ(fragment("9223372036854775808")->int64Value(), std::nullopt);
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
}

// Plain ASCII is taken sixteen bytes a step: stops before, at and after a
// step's end must all be found, in values and in keys alike. After the runs
// come the first and last point of each UTF-8 sequence length.
TEST(KzJsonParser, LongRunsStopAtEveryKindOfStopByte)
{
    const std::string edges = "\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf";
    const std::u16string decoded = u"\u0080\u07ff\u0800\uffff\U00010000\U0010FFFF";
    for (const std::size_t length : {0u, 1u, 13u, 15u, 16u, 17u, 31u, 32u, 33u, 40u}) {
        const std::string plain(length, 'x');
        const std::u16string wide(length, u'x');
        EXPECT_EQ(stringOf("\"" + plain + "\""), wide) << length;
        EXPECT_EQ(stringOf("\"" + plain + "\\t" + plain + "\""), wide + u"\t" + wide) << length;
        EXPECT_EQ(stringOf("\"" + plain + edges + plain + edges + "\""), wide + decoded + wide + decoded) << length;
        const std::optional<KzJsonValue> object = fragment("{\"" + plain + "\":1,\"" + plain + "\\n\":2}");
        ASSERT_TRUE(object) << length;
        EXPECT_EQ(object->member(wide)->numberText(), "1") << length;
        EXPECT_EQ(object->member(wide + u"\n")->numberText(), "2") << length;
        KzJsonParser parser;
        EXPECT_FALSE(parser.fragmentWithString("\"" + plain + "\x01\""));
        EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{{5, "Unescaped control character '0x1'"}}));
        EXPECT_FALSE(parser.fragmentWithString("\"" + plain));
        EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{{5, "Unescaped control character '0x0'"}}));
    }
}

// Keys that repeat are shared between objects; sharing must never hand one
// object another's key. The tree written back shows every key it holds.
TEST(KzJsonParser, RepeatedAndSimilarKeysKeepTheirOwnText)
{
    const std::u16string longKey(40, u'k');
    const std::u16string written = uR"([{"id":1,"id_str":"1",")" + longKey + uR"(":true},{"id":2,"id_str":"2",")" +
                                   longKey + uR"(":false},{"di":3,"id_stR":"3","id":4,"abcdefghijklmnopqrstuvwxyz":5,)"
                                             uR"("abcdefghijklmnopQRSTUVWXYZ":6,"café":7},{"café":8,"cafè":9}])";
    std::u16string input = written;
    input.replace(input.find(u"\"id\":4"), 4, uR"("\u0069d")");
    KzJsonParser parser;
    const std::optional<KzJsonValue> value = parser.fragmentWithString(input);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->JSONRepresentation(), written);
}

std::string nested(std::size_t levels)
{
    return std::string(levels, '[') + std::string(levels, ']');
}

Trace tooDeepInArrays(std::size_t arrays)
{
    Trace expected{{7, "Nested too deep"}};
    expected.insert(expected.end(), arrays, inArray);
    return expected;
}

// A trace obtained once is a copy: later calls, failing or not, leave it be.
TEST(KzJsonParser, DepthLimitIsStrictlyGreaterThanAndObtainedTracesStay)
{
    KzJsonParser parser;
    EXPECT_TRUE(parser.objectWithString(nested(512)));
    EXPECT_FALSE(parser.objectWithString(nested(513)));
    const KzJsonErrorTrace obtained = parser.errorTrace();
    EXPECT_EQ(recordsOf(obtained), tooDeepInArrays(512));
    EXPECT_FALSE(parser.objectWithString("{"));
    EXPECT_TRUE(parser.objectWithString(nested(512))) << "depth starts from 0 again";
    EXPECT_EQ(parser.errorTrace(), nullptr);
    EXPECT_EQ(recordsOf(obtained), tooDeepInArrays(512));

    parser.setMaxDepth(1);
    EXPECT_TRUE(parser.objectWithString("{\"a\":1}"));
    EXPECT_FALSE(parser.objectWithString("{\"a\":{}}"));
    EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{{7, "Nested too deep"}, valueForA}));

    parser.setMaxDepth(0);
    EXPECT_TRUE(parser.objectWithString(nested(KzJsonBase::hardDepthLimit)));
    EXPECT_FALSE(parser.objectWithString(std::string(1000000, '[')));
    EXPECT_EQ(recordsOf(parser.errorTrace()), tooDeepInArrays(KzJsonBase::hardDepthLimit));
}

} // namespace
