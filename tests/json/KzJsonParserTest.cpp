// SPDX-License-Identifier: MIT

#include "KzJsonParser.h"
#include "KzJsonWriter.h"
#include "TraceMatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::string_view_literals;

const Record leading{3, "Unrecognised leading character"}, inArray{3, "Expected value while parsing array"};
const Record valueForA{3, "Object value expected for key: a"}, leadingPlus{2, "Leading + disallowed in number"};
const Record brokenUnicode{6, "Broken unicode character"}, tooDeep{7, "Nested too deep"};
const Record missingLow{6, "Missing low character in surrogate pair"};

std::u16string widened(std::string_view ascii)
{
    return {ascii.begin(), ascii.end()};
}

// Malformed text fails with the whole trace, as an object and as a fragment
// alike, on a parser reused for every input: each call's trace replaces the last.
TEST(KzJsonParser, MalformedTextLeavesTheWholeTrace)
{
    const struct
    {
        Trace trace;
        std::vector<KzJsonInput> inputs;
    } groups[] = {
        {{{12, "Input was 'nil'"}}, {std::nullopt, static_cast<const char *>(nullptr)}},
        {{{6, "Input text has no UTF-8 form"}}, {u"[\"\xD800\"]"}}, {{{11, "Unexpected end of string"}}, {" \t\r\n\v\f"}},
        {{leading}, {".5"}}, {{{3, "Expected 'true'"}}, {"tru"}}, {{{3, "Expected 'false'"}}, {"fals"}},
        {{{3, "Expected 'null'"}}, {"nul"}}, {{{10, "Garbage after JSON"}}, {"{} {}", "nullx", "truex", "12abc"}},
        {{{9, "Trailing comma disallowed in array"}}, {"[1,]"}}, {{leading, inArray}, {"[,1]"}},
        {{{9, "Trailing comma disallowed in object"}}, {R"({"a":1,})"}}, {{leading, valueForA}, {R"({"a":})"}},
        {{{11, "End of input while parsing array"}}, {"[1,"}}, {{{11, "Unexpected end of string"}, inArray}, {"[ "}},
        {{{11, "End of input while parsing object"}}, {R"({"a":1,)"}}, {{{3, "Object key string expected"}}, {"{a:1}"}},
        {{{3, "Expected ':' separating key and value"}}, {R"({"a" 1})"}},
        {{{8, "Illegal escape sequence '0x71'"}, {3, "Object key string expected"}}, {R"({"a\q":1})"}},
        {{leadingPlus, {3, "Object value expected for key: \xc3\xa9"}}, {"{\"\xc3\xa9\":+1}"}},
        {{{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, brokenUnicode, {3, "Object value expected for key: k"},
          inArray},
         {R"([1, {"k": "\u12"}])"}},
        {{{2, "Leading 0 disallowed in number"}}, {"-01"}}, {{{2, "No digits after initial minus"}}, {"-"}},
        {{{2, "No digits after decimal point"}}, {"1."}}, {{{2, "No digits after exponent"}}, {"1e+"}},
        {{{2, "Failed creating decimal instance"}}, {"1e999999999999", "1e1000000000", "0.5e-999999999"}},
        {{{6, "Invalid high character in surrogate pair"}, brokenUnicode}, {R"("\udc00")"}},
        {{missingLow, brokenUnicode}, {R"("\ud834")", R"("\ud834)", R"("\ud834\n")"}},
        {{{6, "Missing hex digit in quad"}, missingLow, brokenUnicode}, {R"("\ud834\u00g1")"}},
        {{{6, "Invalid low surrogate char"}, brokenUnicode}, {R"("\ud834\u0041")"}},
        {{{8, "Illegal escape sequence '0x0'"}}, {R"("\)"}}, {{{5, "Unescaped control character '0x0'"}}, {"\"abc"}},
        {{{8, "Illegal escape sequence '0xffc3'"}}, {"\"\\\xc3\xa9\""}},
        {{{5, "Unescaped control character '0x1f'"}}, {"\"a\x1f\""}},
        {{{11, "Unexpected EOF while parsing string"}}, {R"("abc\n)"}},
        // Malformed UTF-8 is refused inside a string, never read past the end.
        {{{6, "Invalid UTF-8 sequence in string"}},
         {"\"\x80\"", "\"\xc3", "\"\xe2\x82", "\"\xc0\xaf\"", "\"\xe0\x80\xaf\"", "\"\xed\xa0\x80\"", "\"\xf4\x90\x80\x80\"",
          "\"\xf5\x80\x80\x80\"", "\"\xff\""}},
    };
    KzJsonParser parser;
    for (const auto &[trace, inputs] : groups) {
        for (const KzJsonInput &input : inputs) {
            SCOPED_TRACE(input.utf8);
            EXPECT_FALSE(parser.objectWithString(input));
            EXPECT_EQ(recordsOf(parser.errorTrace()), trace) << "as object";
            EXPECT_FALSE(parser.fragmentWithString(input));
            EXPECT_EQ(recordsOf(parser.errorTrace()), trace) << "as fragment";
        }
    }
}

enum Layout { Compact, Sorted, Readable, ReadableSorted };

// Valid text parsed as a fragment and written back: compact unless the row
// says otherwise, a parsed object in its keys' order. Containers parse as
// objects too; any other value fails as an object with code 4 alone.
TEST(KzJsonParser, ValidTextIsReadExactly)
{
    // Numbers keep their exact decimal value. Digits are read in runs of up
    // to sixteen, valued eight at a time: runs that end inside, at and beyond
    // a group of eight or of sixteen, zeros inside a group, a fraction that
    // reaches the 19-digit significand exactly or passes it, the long form.
    const std::string_view unchanged[] = {
        "\"a bc\"", "12", "true", "false", "null", "0", "0.5", "0.1", "1.50", "0.000001", "-0.00000123",
        "18446744073709551615", "1234567890123456789012345678901234567890", "-12345678901234567890123", "12345678",
        "0.1234567890123456789012345678901234567890", "[12345678]", "123456789", "-65.613616999999977",
        "123456789.12345678", "100000000.000000001", "0.12345678901234567", "9999999999999999999", "123456789012345",
        "12345678901234567890", "1.00000000000000000001", "1234567890123456", "1000000000000001", "12345678901234567",
        "1234567890123456.789", "1234567890123456.7890", "0.1234567890123456", "-5e-999999999",
        // The writer escapes only controls, the quotation mark and the backslash.
        R"("\u0000")", R"("\u001f\u0001\b\f\n\r\"\\")", R"("plain text without escapes")",
        R"({"list":[1,false,null],"Name":"a\"b","empty":{}})", R"([[1,[2]],{"a":{"b":[3]}},4])",
    };
    const struct
    {
        KzJsonInput input;
        std::u16string text;
        Layout layout = Compact;
    } rows[] = {
        {"-0", u"0"}, {"-12.5e+3", u"-12500"}, {"1E5", u"100000"}, {"1e-007", u"1e-7"}, {"1e22", u"1e+22"},
        {"1e21", u"1000000000000000000000"}, {"123.456e-2", u"1.23456"}, {"1e999999999", u"1e+999999999"},
        {"12345678e3", u"12345678000"}, {"0.0000000012345678", u"1.2345678e-9"}, {"-0.0000000000000000001", u"-1e-19"},
        {"[1] \t\r\v\f\n", u"[1]"}, {"[1]\0 anything at all"sv, u"[1]"}, {"\"ab\"\0\""sv, u"\"ab\""},
        {"[1 true false 2]", u"[1,true,false,2]"}, {R"({"a":1,"a":2})", uR"({"a":2})"},
        {R"({"a":1 "b":null})", uR"({"a":1,"b":null})"}, {u"{\"\u00e9\":\"\U0001D11E\"}", u"{\"\u00e9\":\"\U0001D11E\"}"},
        // The first and last point of each UTF-8 sequence length.
        {u"\"\u0080\u07ff\u0800\uffff\U00010000\U0010FFFF\"", u"\"\u0080\u07ff\u0800\uffff\U00010000\U0010FFFF\""},
        // Escapes give their characters.
        {R"("\"\\\/\b\f\n\r\t")", uR"("\"\\/\b\f\n\r\t")"}, {R"("\u00e9\ue000")", u"\"\u00e9\ue000\""},
        {R"("\uD834\uDD1E")", u"\"\U0001D11E\""}, {R"("\uDBFF\uDFFF")", u"\"\U0010FFFF\""},
        {"\"a\x7f\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z\"", u"\"a\u007f\u00e9\u20ac\U0001F600z\""},
        {R"("\u007f\/é\ud834\udd1e")", u"\"\u007f/\u00e9\U0001D11E\""},
        // Sorted by UTF-16 code units; human-readable layout.
        {R"({"list":[1,false,null],"Name":"a\"b","empty":{}})",
         u"{\n  \"Name\" : \"a\\\"b\",\n  \"empty\" : {},\n  \"list\" : [\n    1,\n    false,\n    null\n  ]\n}",
         ReadableSorted},
        {R"({"b":1,"ab":2,"é":3,"a":4,"B":5})", uR"({"B":5,"a":4,"ab":2,"b":1,"é":3})", Sorted},
        {R"({"b":1,"a":2})", u"{\n  \"b\" : 1,\n  \"a\" : 2\n}", Readable}, {"[]", u"[]", Readable},
        {"{}", u"{}", Readable}, {"[[]]", u"[\n  []\n]", Readable},
        {R"({"a":[{}]})", u"{\n  \"a\" : [\n    {}\n  ]\n}", Readable},
    };
    KzJsonParser parser;
    KzJsonWriter writer;
    const auto readsBack = [&](const KzJsonInput &input, const std::u16string &text, Layout layout) {
        SCOPED_TRACE(input.utf8);
        const std::optional<KzJsonValue> value = parser.fragmentWithString(input);
        EXPECT_EQ(parser.errorTrace(), nullptr);
        writer.setSortKeys(layout == Sorted || layout == ReadableSorted);
        writer.setHumanReadable(layout == Readable || layout == ReadableSorted);
        EXPECT_EQ(writer.stringWithFragment(value), text);
        const bool container = value && (value->isArray() || value->isDictionary());
        EXPECT_EQ(parser.objectWithString(input).has_value(), container);
        EXPECT_EQ(recordsOf(parser.errorTrace()), (container ? Trace() : Trace{{4, "Valid fragment, but not JSON"}}));
    };
    for (const std::string_view input : unchanged)
        readsBack(input, widened(input), Compact);
    for (const auto &[input, text, layout] : rows)
        readsBack(input, text, layout);
}

// White space after its first byte is read sixteen bytes a step; a byte
// just outside its set ends it.
TEST(KzJsonParser, WhiteSpaceEndsAtTheFirstOtherByte)
{
    KzJsonParser parser;
    for (const char outside : {'\x08', '\x0e', '\x1f', '!', '\x80', '\xff'}) {
        EXPECT_FALSE(parser.fragmentWithString("[" + std::string(20, ' ') + outside + "]")) << int(outside);
        EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{leading, inArray}));
    }
}

// Small and large objects look for repeated keys in different ways; each
// size keeps every distinct key, finds it again, and lets a repeated one
// replace its value. Keys that repeat are shared between objects; sharing
// must never hand one object another's key.
TEST(KzJsonParser, ObjectsKeepEachKeyAndReplaceRepeatedOnes)
{
    const auto key = [](int member) { return "k" + std::to_string(member); };
    for (const int size : {2, 15, 16, 17, 64, 100}) {
        std::string text = "{";
        for (int member = 0; member < size; ++member)
            text += "\"" + key(member) + "\":" + std::to_string(member) + ",";
        text += "\"k0\":\"again\",\"" + key(size - 1) + "\":\"last\"}";
        const std::optional<KzJsonValue> value = KzJsonParser().fragmentWithString(text);
        ASSERT_TRUE(value) << size;
        EXPECT_EQ(value->asDictionary()->size(), std::size_t(size)) << size;
        for (int member = 1; member < size - 1; ++member)
            EXPECT_EQ(value->member(widened(key(member)))->numberText(), std::to_string(member)) << size;
        EXPECT_EQ(*value->member(u"k0")->asString(), u"again") << size;
        EXPECT_EQ(*value->member(widened(key(size - 1)))->asString(), u"last") << size;
        EXPECT_EQ(value->member(widened(key(size))), nullptr) << size;
    }

    const std::u16string longKey(40, u'k');
    const std::u16string written = uR"([{"id":1,"id_str":"1",")" + longKey + uR"(":true},{"id":2,"id_str":"2",")" +
                                   longKey + uR"(":false},{"di":3,"id_stR":"3","id":4,"abcdefghijklmnopqrstuvwxyz":5,)"
                                             uR"("abcdefghijklmnopQRSTUVWXYZ":6,"café":7},{"café":8,"cafè":9}])";
    std::u16string input = written;
    input.replace(input.find(u"\"id\":4"), 4, uR"("\u0069d")");
    EXPECT_EQ(KzJsonParser().fragmentWithString(input).value_or(KzJsonValue::null()).JSONRepresentation(), written);
}

// Each container leaves its level on the way out, and a call starts from 0
// again whatever the last one left. A trace obtained once stays as it was.
TEST(KzJsonParser, DepthLimitIsStrictlyGreaterThanAndObtainedTracesStay)
{
    const auto nested = [](std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); };
    const auto tooDeepInArrays = [](std::size_t arrays) {
        Trace trace{tooDeep};
        trace.insert(trace.end(), arrays, inArray);
        return trace;
    };
    KzJsonParser parser;
    EXPECT_TRUE(parser.objectWithString(nested(512)));
    EXPECT_FALSE(parser.objectWithString(nested(513)));
    const KzJsonErrorTrace obtained = parser.errorTrace();
    EXPECT_EQ(recordsOf(obtained), tooDeepInArrays(512));
    EXPECT_TRUE(parser.objectWithString(nested(512)));
    EXPECT_EQ(parser.errorTrace(), nullptr);
    EXPECT_EQ(recordsOf(obtained), tooDeepInArrays(512));

    parser.setMaxDepth(2);
    EXPECT_TRUE(parser.objectWithString(R"([{},[],{"a":1},[]])"));
    parser.setMaxDepth(1);
    EXPECT_FALSE(parser.objectWithString("{\"a\":{}}"));
    EXPECT_EQ(recordsOf(parser.errorTrace()), (Trace{tooDeep, valueForA}));

    parser.setMaxDepth(0);
    EXPECT_TRUE(parser.objectWithString(nested(KzJsonBase::hardDepthLimit)));
    EXPECT_FALSE(parser.objectWithString(std::string(1000000, '[')));
    EXPECT_EQ(recordsOf(parser.errorTrace()), tooDeepInArrays(KzJsonBase::hardDepthLimit));
}

} // namespace
