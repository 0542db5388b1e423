// SPDX-License-Identifier: MIT

#include "KzJsonDictionary.h"
#include "KzJsonProxy.h"
#include "KzJsonWriter.h"
#include "TraceMatcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using Json = KzJsonValue;

const Record tooDeep{7, "Nested too deep"}, unsupportedNull{1, "JSON serialisation not supported for (null)"};

Json dictionary(std::initializer_list<std::pair<Json, Json>> members)
{
    KzJsonDictionary built;
    for (const auto &[key, value] : members)
        built.insertOrAssign(key, value);
    return Json::dictionary(std::move(built));
}

Json nestedArrays(std::size_t levels)
{
    return Json::array(levels == 1 ? KzJsonArray() : KzJsonArray{nestedArrays(levels - 1)});
}

struct FixedProxy : KzJsonProxy
{
    explicit FixedProxy(std::optional<Json> value) : replacement(std::move(value)) {}
    std::optional<Json> proxyForJson() const override { return replacement; }
    std::optional<Json> replacement;
};

Json proxyOf(std::optional<Json> value)
{
    return Json::proxy(std::make_shared<FixedProxy>(std::move(value)));
}

struct SelfProxy : KzJsonProxy, std::enable_shared_from_this<SelfProxy>
{
    std::optional<Json> proxyForJson() const override { return Json::proxy(shared_from_this()); }
};

// Escape-free runs are found eight code units a step; units from U+8000 up
// are never escaped.
TEST(KzJsonWriter, WritesNumbersByTheirTypeStringsAndWhatProxiesStandFor)
{
    const std::pair<Json, std::u16string> rows[] = {
        {Json::string(u"\u8000\uffff\ue000\U0001F600\u00e9/ plain\\\x1f text"),
         u"\"\u8000\uffff\ue000\U0001F600\u00e9/ plain\\\\\\u001f text\""},
        {Json::boolean(true), u"true"}, {Json::number(static_cast<signed char>(2)), u"true"},
        {Json::number(static_cast<signed char>(0)), u"false"}, {Json::number(static_cast<unsigned char>(200)), u"200"},
        {Json::number(-42), u"-42"}, {Json::number(UINT64_MAX), u"18446744073709551615"}, {Json::null(), u"null"},
        {Json::number(INT64_MIN), u"-9223372036854775808"},
        {Json::array({proxyOf(proxyOf(Json::string(u"inner")))}), u"[\"inner\"]"},
    };
    for (const auto &[value, text] : rows)
        EXPECT_EQ(value.JSONFragment(), text);
}

// Every refusal, sorted or not, leaves the whole trace; sorting must
// tolerate keys that are not strings until they are refused.
TEST(KzJsonWriter, RefusalLeavesTheWholeTrace)
{
    const Record notValid{4, "Not valid type for JSON"}, keyMustBeString{1, "JSON object key must be string"};
    const struct
    {
        std::optional<Json> value;
        Trace trace;
        bool asObject = false;
    } rows[] = {
        {Json::string(u"s"), {notValid}, true}, {std::nullopt, {notValid}, true}, {std::nullopt, {unsupportedNull}},
        {Json::proxy(std::make_shared<SelfProxy>()), {tooDeep}}, {proxyOf(std::nullopt), {unsupportedNull}},
        {Json::unsupported("NSDate"), {{1, "JSON serialisation not supported for NSDate"}}},
        {Json::array({Json::number(1), dictionary({{Json::string(u"k"), Json::unsupported("QWidget")}})}),
         {{1, "JSON serialisation not supported for QWidget"}, {1, "Unsupported value for key k in object"}}},
        {dictionary({{Json::string(u"a"), Json::number(1)}, {Json::number(2), Json::null()}}), {keyMustBeString}},
        {dictionary({{Json::string(u"outer"), dictionary({{Json::null(), Json::number(1)}})}}),
         {keyMustBeString, {1, "Unsupported value for key outer in object"}}},
        {dictionary({{Json::string(u"p"), proxyOf(Json::unsupported("X"))}}),
         {{1, "JSON serialisation not supported for X"}, {1, "Unsupported value for key p in object"}}},
    };
    KzJsonWriter writer;
    for (std::size_t row = 0; row < std::size(rows) * 2; ++row) {
        SCOPED_TRACE(row);
        const auto &[value, trace, asObject] = rows[row / 2];
        writer.setSortKeys(row % 2 == 1);
        EXPECT_FALSE(asObject ? writer.stringWithObject(value) : writer.stringWithFragment(value));
        EXPECT_EQ(recordsOf(writer.errorTrace()), trace);
    }
}

// Arrays add no record of their own to a depth failure; dictionaries do.
// A call starts from depth 0 whatever the last one left.
TEST(KzJsonWriter, DepthLimitIsStrictlyGreaterThan)
{
    KzJsonWriter writer;
    EXPECT_TRUE(writer.stringWithObject(nestedArrays(512)));
    EXPECT_FALSE(writer.stringWithObject(nestedArrays(513)));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (Trace{tooDeep}));
    EXPECT_TRUE(writer.stringWithObject(nestedArrays(512)));
    EXPECT_EQ(writer.errorTrace(), nullptr);

    writer.setMaxDepth(1);
    EXPECT_FALSE(writer.stringWithObject(dictionary({{Json::string(u"a"), Json::dictionary({})}})));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (Trace{tooDeep, {1, "Unsupported value for key a in object"}}));

    // Without a limit, the hard limit holds.
    writer.setMaxDepth(0);
    EXPECT_TRUE(writer.stringWithObject(nestedArrays(KzJsonBase::hardDepthLimit)));
    EXPECT_FALSE(writer.stringWithObject(nestedArrays(KzJsonBase::hardDepthLimit + 1)));
    EXPECT_EQ(recordsOf(writer.errorTrace()), (Trace{tooDeep}));
}

} // namespace
