#include "KzJSON.h"
#include "KzJsonConveniences.h"
#include "TraceMatcher.h"

#include <gtest/gtest.h>

namespace {

const Record tooDeep{7, "Nested too deep"};
const Record inArray{3, "Expected value while parsing array"};
const Record objectEnd{11, "End of input while parsing object"};

// A trace obtained once is a copy: it neither grows nor empties afterwards.
TEST(KzJsonBase, RecordsLinkInCallOrderAndObtainedTracesStay)
{
    KzJsonBase base;
    EXPECT_EQ(base.errorTrace(), nullptr);
    base.addErrorWithCode(KzJSONErrorSyntax, "first");
    const KzJsonErrorTrace obtained = base.errorTrace();
    base.addErrorWithCode(KzJSONErrorDepth, "second");
    EXPECT_EQ(recordsOf(base.errorTrace()), (Trace{{3, "first"}, {7, "second"}}));
    base.clearErrorTrace();
    EXPECT_EQ(base.errorTrace(), nullptr);
    base.addErrorWithCode(KzJSONErrorNumber, "after");
    EXPECT_EQ(recordsOf(base.errorTrace()), (Trace{{2, "after"}}));
    EXPECT_EQ(recordsOf(obtained), (Trace{{3, "first"}}));
}

// The slot receives the outermost record, which links to the inner ones.
TEST(KzJSON, DepthLimitReachesBothComponentsAndTheSlotGetsTheOutermostRecord)
{
    KzJSON json;
    EXPECT_EQ(json.maxDepth(), 512u);
    const std::optional<KzJsonValue> nested = json.objectWithString(R"({"a":{}})");
    json.setMaxDepth(1);
    EXPECT_EQ(json.maxDepth(), 1u);
    KzJsonErrorRecord error;
    EXPECT_FALSE(json.objectWithString("[[]]", &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{tooDeep, inArray}));
    EXPECT_EQ(error, json.errorTrace()->back());
    EXPECT_FALSE(json.stringWithObject(nested, &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{tooDeep, {1, "Unsupported value for key a in object"}}));
    EXPECT_EQ(error, json.errorTrace()->back());
    json.setMaxDepth(0);
    EXPECT_TRUE(json.stringWithObject(json.objectWithString(std::string(600, '[') + std::string(600, ']'))));
}

TEST(KzJSON, ScalarsNeedAllowScalar)
{
    KzJSON json;
    KzJsonErrorRecord error;
    EXPECT_FALSE(json.objectWithString("123", &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{{4, "Valid fragment, but not JSON"}}));
    EXPECT_EQ(error, json.errorTrace()->back());
    EXPECT_EQ(json.fragmentWithString("123", &error)->numberText(), "123");
    EXPECT_TRUE(json.objectWithString("123", true, nullptr));

    EXPECT_FALSE(json.stringWithObject(KzJsonValue::string(u"a\tb"), &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{{4, "Not valid type for JSON"}}));
    EXPECT_EQ(error, json.errorTrace()->back());
    EXPECT_EQ(json.stringWithFragment(KzJsonValue::string(u"a\tb"), &error), u"\"a\\tb\"");
    EXPECT_EQ(json.stringWithObject(KzJsonValue::string(u"x"), true, nullptr), u"\"x\"");
}

// Unlike its components, KzJSON keeps the last failure's trace and slot
// through later successes; a trace obtained earlier is a copy.
TEST(KzJSON, FailuresReplaceTheTraceAndSuccessesLeaveItAlone)
{
    KzJSON json;
    EXPECT_FALSE(json.objectWithString("[1,]", false, nullptr));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{{9, "Trailing comma disallowed in array"}}));
    EXPECT_FALSE(json.stringWithObject(KzJsonValue::null()));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{{4, "Not valid type for JSON"}}));
    EXPECT_FALSE(json.objectWithString(std::nullopt));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{{12, "Input was 'nil'"}}));

    KzJsonErrorRecord error;
    EXPECT_FALSE(json.objectWithString("{", &error));
    const KzJsonErrorTrace failed = json.errorTrace();
    const KzJsonErrorRecord kept = error;
    EXPECT_TRUE(json.objectWithString("{}", &error));
    EXPECT_TRUE(json.stringWithObject(KzJsonValue::array({}), &error));
    EXPECT_EQ(error, kept);
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{objectEnd}));
    EXPECT_FALSE(json.objectWithString("[x]"));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{{3, "Unrecognised leading character"}, inArray}));
    EXPECT_EQ(recordsOf(failed), (Trace{objectEnd}));
}

TEST(KzJSON, OptionsReachTheWriterButNotTheConveniences)
{
    KzJSON json;
    EXPECT_FALSE(json.humanReadable() || json.sortKeys());
    json.setHumanReadable(true);
    json.setSortKeys(true);
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
