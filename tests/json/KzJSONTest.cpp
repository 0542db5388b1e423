#include "KzJSON.h"
#include "KzJsonConveniences.h"
#include "KzJsonDictionary.h"
#include "TraceMatcher.h"

#include <gtest/gtest.h>

namespace {

const ExpectedRecord tooDeep{7, "Nested too deep"};
const ExpectedRecord inArray{3, "Expected value while parsing array"};

KzJsonValue arrayInArray()
{
    return KzJsonValue::array({KzJsonValue::array({})});
}

KzJsonValue unsupportedUnderA()
{
    KzJsonDictionary members;
    members.insertOrAssign(u"a", KzJsonValue::unsupported("NSDate"));
    return KzJsonValue::dictionary(std::move(members));
}

TEST(KzJSON, StartsWithTheComponentsDefaults)
{
    KzJSON json;
    EXPECT_EQ(json.maxDepth(), 512u);
    EXPECT_FALSE(json.humanReadable());
    EXPECT_FALSE(json.sortKeys());
    EXPECT_EQ(json.errorTrace(), nullptr);
}

TEST(KzJSON, DepthLimitOneReachesBothDirections)
{
    KzJSON json;
    json.setMaxDepth(1);
    EXPECT_EQ(json.maxDepth(), 1u);
    KzJsonErrorRecord error;
    EXPECT_FALSE(json.objectWithString("[[]]", &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (ExpectedTrace{tooDeep, inArray}));
    EXPECT_EQ(error, json.errorTrace()->back());
    EXPECT_EQ(error->underlying(), json.errorTrace()->front());

    EXPECT_FALSE(json.stringWithObject(arrayInArray(), &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (ExpectedTrace{tooDeep}));
    EXPECT_EQ(error, json.errorTrace()->back());

    json.setMaxDepth(0);
    EXPECT_TRUE(json.objectWithString(std::string(600, '[') + std::string(600, ']')));
    EXPECT_TRUE(json.stringWithObject(*json.objectWithString(std::string(600, '[') + std::string(600, ']'))));
}

TEST(KzJSON, ScalarsNeedAllowScalar)
{
    KzJSON json;
    KzJsonErrorRecord error;
    EXPECT_FALSE(json.objectWithString("123", &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), KzJSONErrorFragment);
    EXPECT_EQ(error->description(), "Valid fragment, but not JSON");
    const std::optional<KzJsonValue> number = json.fragmentWithString("123", &error);
    ASSERT_TRUE(number);
    EXPECT_EQ(number->numberText(), "123");
    EXPECT_TRUE(json.objectWithString("123", true, nullptr));

    EXPECT_FALSE(json.stringWithObject(KzJsonValue::string(u"a\tb"), &error));
    EXPECT_EQ(error->code(), KzJSONErrorFragment);
    EXPECT_EQ(error->description(), "Not valid type for JSON");
    EXPECT_EQ(json.stringWithFragment(KzJsonValue::string(u"a\tb"), &error), u"\"a\\tb\"");
    EXPECT_EQ(json.stringWithObject(KzJsonValue::string(u"x"), true, nullptr), u"\"x\"");
}

TEST(KzJSON, SlotReceivesTheOutermostRecordLinkedToTheInnermost)
{
    KzJSON json;
    KzJsonErrorRecord error;
    EXPECT_FALSE(json.stringWithObject(unsupportedUnderA(), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), KzJSONErrorUnsupported);
    EXPECT_EQ(error->description(), "Unsupported value for key a in object");
    ASSERT_TRUE(error->underlying());
    EXPECT_EQ(error->underlying()->description(), "JSON serialisation not supported for NSDate");
    EXPECT_EQ(error->underlying()->underlying(), nullptr);
}

TEST(KzJSON, FailureWithoutSlotStillReplacesTheTrace)
{
    KzJSON json;
    EXPECT_FALSE(json.objectWithString("[1,]", false, nullptr));
    EXPECT_EQ(recordsOf(json.errorTrace()), (ExpectedTrace{{9, "Trailing comma disallowed in array"}}));
    EXPECT_FALSE(json.stringWithObject(KzJsonValue::null()));
    EXPECT_EQ(recordsOf(json.errorTrace()), (ExpectedTrace{{4, "Not valid type for JSON"}}));
    EXPECT_FALSE(json.objectWithString(std::nullopt));
    EXPECT_EQ(recordsOf(json.errorTrace()), (ExpectedTrace{{12, "Input was 'nil'"}}));
}

TEST(KzJSON, SuccessLeavesTheLastFailureAndTheSlotAlone)
{
    KzJSON json;
    KzJsonErrorRecord error;
    EXPECT_FALSE(json.objectWithString("{", &error));
    const KzJsonErrorTrace failed = json.errorTrace();
    const KzJsonErrorRecord kept = error;
    EXPECT_TRUE(json.objectWithString("{}", &error));
    EXPECT_TRUE(json.stringWithObject(KzJsonValue::array({}), &error));
    EXPECT_EQ(error, kept);
    EXPECT_EQ(recordsOf(json.errorTrace()), (ExpectedTrace{{11, "End of input while parsing object"}}));
    EXPECT_EQ(recordsOf(failed), recordsOf(json.errorTrace()));
}

TEST(KzJSON, TraceIsACopyOfTheComponentsList)
{
    KzJSON json;
    EXPECT_FALSE(json.objectWithString("[x]"));
    const KzJsonErrorTrace first = json.errorTrace();
    EXPECT_FALSE(json.objectWithString("[1 x]"));
    EXPECT_EQ(recordsOf(first), (ExpectedTrace{{3, "Unrecognised leading character"}, inArray}));
    EXPECT_NE(first, json.errorTrace());
}

TEST(KzJSON, OptionsReachTheWriterButNotTheConveniences)
{
    KzJSON json;
    json.setHumanReadable(true);
    json.setSortKeys(true);
    EXPECT_TRUE(json.humanReadable());
    EXPECT_TRUE(json.sortKeys());
    const std::optional<KzJsonValue> value = json.objectWithString(R"({"b":[1],"a":2})");
    ASSERT_TRUE(value);
    EXPECT_EQ(json.stringWithObject(*value), u"{\n  \"a\" : 2,\n  \"b\" : [\n    1\n  ]\n}");
    EXPECT_EQ(value->JSONRepresentation(), u"{\"b\":[1],\"a\":2}");
}

TEST(KzJsonConveniences, ReportNothingAndOutliveTheirComponent)
{
    EXPECT_FALSE(JSONValue("[1,"));
    EXPECT_FALSE(JSONValue("12"));
    EXPECT_EQ(JSONFragmentValue("12")->numberText(), "12");
    EXPECT_EQ(JSONFragmentValue(u"\"\u00e9\"")->asString()->front(), u'\u00e9');
    EXPECT_FALSE(JSONFragmentValue("12,"));
    const std::optional<KzJsonValue> parsed = JSONValue(R"({"list":[true,null]})");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->JSONRepresentation(), u"{\"list\":[true,null]}");
    EXPECT_EQ(KzJsonValue::number(5).JSONRepresentation(), std::nullopt);
    EXPECT_EQ(KzJsonValue::number(5).JSONFragment(), u"5");
}

} // namespace
