#include "KzJsonParser.h"
#include "KzJsonWriter.h"
#include "KzJsonUtf8.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string contentsOf(const std::filesystem::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class SampleDocument : public testing::TestWithParam<std::string>
{
};

TEST_P(SampleDocument, SurvivesParseWriteParseAndWritesStably)
{
    const std::filesystem::path path = std::filesystem::path(PELLIX_BENCH_DATA_DIR) / GetParam();
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "sample document not found: " << path << " (set PELLIX_BENCH_DATA_DIR)";
    KzJsonParser parser;
    const std::optional<KzJsonValue> parsed = parser.objectWithString(contentsOf(path));
    ASSERT_TRUE(parsed) << parser.errorTrace()->back()->description();
    for (const bool readable : {false, true}) {
        KzJsonWriter writer;
        writer.setHumanReadable(readable);
        writer.setSortKeys(readable);
        const std::optional<std::u16string> text = writer.stringWithObject(*parsed);
        ASSERT_TRUE(text);
        const std::optional<KzJsonValue> again = parser.objectWithString(*text);
        ASSERT_TRUE(again);
        EXPECT_TRUE(*again == *parsed);
        EXPECT_EQ(writer.stringWithObject(*again), text);
        const std::optional<std::string> utf8 = KzJsonUtf8::fromUtf16(*text);
        ASSERT_TRUE(utf8);
        EXPECT_TRUE(*parser.objectWithString(*utf8) == *parsed);
    }
}

INSTANTIATE_TEST_SUITE_P(BenchData, SampleDocument,
                         testing::Values("twitter.json", "citm_catalog.json", "canada.json"),
                         [](const testing::TestParamInfo<std::string> &document) {
                             return document.param.substr(0, document.param.find('.'));
                         });

} // namespace
