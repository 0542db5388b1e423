#include "KzJsonDictionary.h"
#include "KzJsonParser.h"
#include "KzJsonValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace {

constexpr const char16_t *longText = u"a string longer than a few units";

TEST(KzJsonValue, ChangingACopyLeavesTheOriginalAlone)
{
    const KzJsonValue original = KzJsonValue::array({KzJsonValue::number(1)});
    KzJsonValue copy = original;
    copy.mutableArray()->push_back(KzJsonValue::number(2));
    EXPECT_EQ(original.JSONRepresentation(), u"[1]");
    EXPECT_EQ(copy.JSONRepresentation(), u"[1,2]");

    KzJsonDictionary members;
    members.insertOrAssign(u"a", KzJsonValue::null());
    const KzJsonValue dictionary = KzJsonValue::dictionary(members);
    KzJsonValue other = dictionary;
    other.mutableDictionary()->insertOrAssign(u"a", KzJsonValue::boolean(true));
    EXPECT_TRUE(dictionary.member(u"a")->isNull());
    EXPECT_TRUE(other.member(u"a")->boolValue());

    // Taking over a value from inside itself.
    KzJsonValue value = KzJsonValue::array({KzJsonValue::array({KzJsonValue::string(longText)})});
    value = std::move((*value.mutableArray())[0]);
    ASSERT_TRUE(value.isArray());
    value = (*value.asArray())[0];
    EXPECT_EQ(*value.asString(), longText);
}

// A parsed tree shares one block of memory; any part taken from it must
// outlive the tree, and changing a copy must never reach the tree.
TEST(KzJsonValue, PartsOfAParsedTreeOutliveItAndChangeOnlyTheirCopies)
{
    std::optional<KzJsonValue> root = KzJsonParser().objectWithString(
        R"({"list":[1,"a string longer than a few units",{"inner":"another long string"}],)"
        R"("n":123456789012345678901234.5})");
    ASSERT_TRUE(root);
    const KzJsonValue list = *root->member(u"list");
    const KzJsonValue inner = (*list.asArray())[2];
    const KzJsonValue number = *root->member(u"n");
    const KzJsonValue one = (*list.asArray())[0];
    root.reset();

    KzJsonValue changed = list;
    changed.mutableArray()->push_back(KzJsonValue::null());
    (*changed.mutableArray())[2].mutableDictionary()->insertOrAssign(u"inner", KzJsonValue::boolean(true));
    changed.mutableArray()->erase(changed.mutableArray()->begin());

    EXPECT_EQ(list.JSONRepresentation(), uR"([1,"a string longer than a few units",{"inner":"another long string"}])");
    EXPECT_EQ(inner.JSONRepresentation(), uR"({"inner":"another long string"})");
    EXPECT_EQ(number.numberText(), "123456789012345678901234.5");
    EXPECT_EQ(one.numberText(), "1");
    EXPECT_EQ(changed.JSONRepresentation(), uR"(["a string longer than a few units",{"inner":true},null])");
}

TEST(KzJsonValue, DecimalsComeFromNumberTextAndCompareAndConvertByValue)
{
    EXPECT_EQ(KzJsonValue::decimal("-12.5e+3")->numberText(), "-12500");
    EXPECT_FALSE(KzJsonValue::decimal("true"));
    EXPECT_FALSE(KzJsonValue::decimal("\"1\""));
    EXPECT_FALSE(KzJsonValue::decimal("1e999999999999"));
    EXPECT_EQ(KzJsonValue::decimal(true, "000123", -1)->numberText(), "-12.3");
    EXPECT_FALSE(KzJsonValue::decimal(false, "1", KzJsonValue::maxExponent + 1));

    EXPECT_EQ(KzJsonValue::number(100), *KzJsonValue::decimal("1e2"));
    EXPECT_EQ(KzJsonValue::number(0), *KzJsonValue::decimal("-0.000"));
    EXPECT_FALSE(KzJsonValue::number(1) == KzJsonValue::number(-1));
    EXPECT_FALSE(KzJsonValue::number(1) == KzJsonValue::boolean(true));
    EXPECT_EQ(KzJsonValue::boolean(true), KzJsonValue::number(static_cast<signed char>(2)));
    EXPECT_EQ(*KzJsonValue::decimal("1234567890123456789012345"), *KzJsonValue::decimal("1.234567890123456789012345e24"));

    EXPECT_EQ(KzJsonValue::decimal("1e400")->doubleValue(), HUGE_VAL);
    EXPECT_EQ(KzJsonValue::decimal("-1e-400")->doubleValue(), -0.0);
    EXPECT_EQ(KzJsonValue::decimal("2.5")->doubleValue(), 2.5);
    EXPECT_EQ(KzJsonValue::decimal("1e3")->int64Value(), 1000);
    EXPECT_EQ(KzJsonValue::decimal("1e19")->int64Value(), std::nullopt);
}

// Values live in blocks recycled per thread; a tree made on one thread may
// be shared with and end on others, also after its own thread has ended.
TEST(KzJsonValue, TreesMayBeMadeOnOneThreadAndEndOnAnother)
{
    const std::string text = R"([{"key":[1,2,"a string longer than a few units"]},[],{"k":{}}])";
    std::optional<KzJsonValue> made;
    std::thread([&] { made = KzJsonParser().objectWithString(text); }).join();
    ASSERT_TRUE(made);
    const KzJsonValue kept = *made;
    std::thread([ended = std::move(*made)]() mutable { ended = KzJsonValue(); }).join();
    for (int round = 0; round < 3; ++round) {
        std::thread([&] {
            for (int parse = 0; parse < 50; ++parse)
                EXPECT_TRUE(*KzJsonParser().objectWithString(text) == kept);
        }).join();
    }
    EXPECT_TRUE(*KzJsonParser().objectWithString(text) == kept);
    EXPECT_EQ(*(*kept.asArray())[0].member(u"key")->asArray()->back().asString(), longText);
}

} // namespace
