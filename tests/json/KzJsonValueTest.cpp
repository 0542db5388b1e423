// SPDX-License-Identifier: MIT

#include "internal/KzJsonArena.h"
#include "KzJsonDictionary.h"
#include "KzJsonParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

using Json = KzJsonValue;

// Copies share their content until one is changed, also when the original
// lies in a parsed tree; parts taken from a tree outlive it.
TEST(KzJsonValue, ChangingACopyLeavesTheOriginalAndTheParsedTreeAlone)
{
    std::optional<Json> root = KzJsonParser().objectWithString(
        R"({"list":[1,"a string longer than a few units",{"inner":"another long string"}],)"
        R"("n":123456789012345678901234.5})");
    ASSERT_TRUE(root);
    const Json list = *root->member(u"list");
    const Json number = *root->member(u"n");
    const Json one = (*list.asArray())[0];
    root.reset();
    Json changed = list;
    changed.mutableArray()->push_back(Json::null());
    (*changed.mutableArray())[2].mutableDictionary()->insertOrAssign(u"inner", Json::boolean(true));
    changed.mutableArray()->erase(changed.mutableArray()->begin());
    EXPECT_EQ(list.JSONRepresentation(), uR"([1,"a string longer than a few units",{"inner":"another long string"}])");
    EXPECT_EQ(number.numberText(), "123456789012345678901234.5");
    EXPECT_EQ(one.numberText(), "1");
    EXPECT_EQ(changed.JSONRepresentation(), uR"(["a string longer than a few units",{"inner":true},null])");
}

TEST(KzJsonValue, DecimalsComeFromTextAndValuesCompareAndConvertByContent)
{
    EXPECT_FALSE(Json::decimal("true") || Json::decimal("\"1\"") || Json::decimal("1e999999999999"));
    EXPECT_EQ(Json::decimal(true, "000123", -1)->numberText(), "-12.3");
    EXPECT_EQ(Json::decimal("-0.0")->numberText(), "0");
    EXPECT_FALSE(Json::decimal(false, "1", Json::maxExponent + 1));

    EXPECT_EQ(Json::number(100), *Json::decimal("1e2"));
    EXPECT_EQ(Json::number(0), *Json::decimal("-0.000"));
    EXPECT_EQ(*Json::decimal("0.1"), *Json::decimal("100e-3"));
    EXPECT_EQ(*Json::decimal("1234567890123456789012345"), *Json::decimal("1.234567890123456789012345e24"));
    EXPECT_FALSE(*Json::decimal("0.1") == *Json::decimal("0.10000000000000001"));
    EXPECT_FALSE(Json::number(1) == Json::number(-1) || Json::number(1) == Json::number(10));
    EXPECT_FALSE(Json::number(1) == Json::boolean(true) || Json::string(u"a") == Json::string(u"b"));
    EXPECT_EQ(Json::boolean(true), Json::number(static_cast<signed char>(2)));

    EXPECT_EQ(Json::decimal("-12.5e+3")->int64Value(), -12500);
    EXPECT_EQ(Json::decimal("-9223372036854775808")->int64Value(), INT64_MIN);
    for (const char *outside : {"1.5", "9223372036854775808", "1e19", "99999999999999999999"})
        EXPECT_EQ(Json::decimal(outside)->int64Value(), std::nullopt) << outside;
}

// An arena's first chunk is sized from the text's length, so it can end on
// any address. A block whose alignment takes it past that end must come from
// a new chunk; running over the end corrupts the heap (the sanitizer build
// sees the write).
TEST(KzJsonArena, AlignedBlocksNeverRunPastTheirChunk)
{
    for (std::size_t textBytes = 1366; textBytes < 1374; ++textBytes) {
        KzJsonArena *const arena = KzJsonArena::create(textBytes);
        std::vector<std::pair<std::uintptr_t, std::size_t>> blocks;
        for (int index = 0; index < 6000; ++index) {
            const std::size_t bytes = std::size_t(1) << (index % 4);
            void *const block = arena->allocate(bytes, bytes);
            std::memset(block, index, bytes);
            blocks.emplace_back(reinterpret_cast<std::uintptr_t>(block), bytes);
            ASSERT_EQ(blocks.back().first % bytes, 0u) << textBytes;
        }
        std::sort(blocks.begin(), blocks.end());
        for (std::size_t index = 1; index < blocks.size(); ++index)
            ASSERT_LE(blocks[index - 1].first + blocks[index - 1].second, blocks[index].first) << textBytes;
        arena->release();
    }
}

} // namespace
