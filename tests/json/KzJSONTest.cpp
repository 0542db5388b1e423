// SPDX-License-Identifier: MIT

#include "KzJSON.h"
#include "TraceMatcher.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const Record tooDeep{7, "Nested too deep"}, inArray{3, "Expected value while parsing array"};
const Record notValid{4, "Not valid type for JSON"}, objectEnd{11, "End of input while parsing object"};

// A trace obtained once is a copy: later records do not reach it.
TEST(KzJsonBase, RecordsLinkInCallOrderAndObtainedTracesStay)
{
    KzJsonBase base;
    base.addErrorWithCode(KzJSONErrorSyntax, "first");
    const KzJsonErrorTrace obtained = base.errorTrace();
    base.addErrorWithCode(KzJSONErrorDepth, "second");
    EXPECT_EQ(recordsOf(base.errorTrace()), (Trace{{3, "first"}, {7, "second"}}));
    EXPECT_EQ(recordsOf(obtained), (Trace{{3, "first"}}));
}

// A failed call leaves a copy of the failing component's trace, and the error
// slot its last record, the outermost one; successes leave both alone. The
// depth limit reaches both components, and scalars need allowScalar.
TEST(KzJSON, FailuresLeaveTheirTraceAndOutermostRecordUntilTheNextFailure)
{
    KzJSON json;
    KzJsonErrorRecord error;
    EXPECT_FALSE(json.objectWithString("123", &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{{4, "Valid fragment, but not JSON"}}));
    EXPECT_EQ(error, json.errorTrace()->back());
    EXPECT_EQ(json.fragmentWithString("123", &error), KzJsonValue::number(123));
    EXPECT_FALSE(json.stringWithObject(KzJsonValue::string(u"a\tb"), &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{notValid}));
    EXPECT_EQ(error, json.errorTrace()->back());
    EXPECT_EQ(json.stringWithFragment(KzJsonValue::string(u"a\tb"), &error), u"\"a\\tb\"");

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

    EXPECT_EQ(json.maxDepth(), 512u);
    const std::optional<KzJsonValue> nested = json.objectWithString(R"({"a":{}})");
    json.setMaxDepth(1);
    EXPECT_FALSE(json.objectWithString("[[]]", &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{tooDeep, inArray}));
    EXPECT_EQ(error, json.errorTrace()->back());
    EXPECT_FALSE(json.stringWithObject(nested, &error));
    EXPECT_EQ(recordsOf(json.errorTrace()), (Trace{tooDeep, {1, "Unsupported value for key a in object"}}));
    EXPECT_EQ(error, json.errorTrace()->back());
    json.setMaxDepth(0);
    EXPECT_TRUE(json.stringWithObject(json.objectWithString(std::string(600, '[') + std::string(600, ']'))));

    // The options reach the writer.
    json.setHumanReadable(true);
    json.setSortKeys(true);
    EXPECT_EQ(json.stringWithObject(json.objectWithString(R"({"b":[1],"a":2})")), u"{\n  \"a\" : 2,\n  \"b\" : [\n    1\n  ]\n}");
}

} // namespace
