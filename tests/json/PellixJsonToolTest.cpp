#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct ToolRun
{
    int status = -1;
    std::string out;
    std::string err;
};

std::filesystem::path scratchFolder()
{
    const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) /
                                         ("pellix-json-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

void store(const std::filesystem::path &path, const std::string &contents)
{
    std::ofstream(path, std::ios::binary) << contents;
}

std::string load(const std::filesystem::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Runs the built tool through the shell, `input` piped into it.
ToolRun runTool(const std::string &arguments, const std::string &input = "")
{
    const std::filesystem::path folder = scratchFolder();
    store(folder / "in", input);
    const std::string command = "cat '" + (folder / "in").string() + "' | '" PELLIX_JSON_TOOL "' " + arguments +
                                " >'" + (folder / "out").string() + "' 2>'" + (folder / "err").string() + "'";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = load(folder / "out");
    run.err = load(folder / "err");
    return run;
}

TEST(PellixJsonTool, WritesCompactUtf8FromAPipe)
{
    const ToolRun run = runTool("", R"( {"b":[1,2.50,"\u00e9\ud834\udd1e"],"a":null} )");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"b\":[1,2.50,\"\xc3\xa9\xf0\x9d\x84\x9e\"],\"a\":null}\n");
    EXPECT_EQ(run.err, "");
}

TEST(PellixJsonTool, WritesAFilePrettyWithSortedKeys)
{
    const std::filesystem::path file = scratchFolder() / "example.json";
    store(file, R"({"list":[1,false,null],"Name":"a\"b","empty":{}})");
    const ToolRun run = runTool("--pretty --sort-keys '" + file.string() + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\n  \"Name\" : \"a\\\"b\",\n  \"empty\" : {},\n  \"list\" : [\n    1,\n    false,\n"
                       "    null\n  ]\n}\n");
}

TEST(PellixJsonTool, ReadsStandardInputForADash)
{
    EXPECT_EQ(runTool("-", "[true]").out, "[true]\n");
}

TEST(PellixJsonTool, AcceptsScalarsOnlyAsFragments)
{
    const ToolRun fragment = runTool("--fragment", " 12 ");
    EXPECT_EQ(fragment.status, 0);
    EXPECT_EQ(fragment.out, "12\n");
    const ToolRun object = runTool("", " 12 ");
    EXPECT_EQ(object.status, 1);
    EXPECT_EQ(object.out, "");
    EXPECT_EQ(object.err, "4\tValid fragment, but not JSON\n");
}

struct FailureRow
{
    std::string arguments;
    std::string input;
    std::string err;
};

class ToolFailure : public testing::TestWithParam<FailureRow>
{
};

TEST_P(ToolFailure, PrintsTheTraceInnermostFirst)
{
    const ToolRun run = runTool(GetParam().arguments, GetParam().input);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(Traces, ToolFailure, testing::Values(
    FailureRow{"", R"([1, {"k": "\u12"}])",
               "6\tMissing hex digit in quad\n6\tMissing hex quad\n6\tBroken unicode character\n"
               "3\tObject value expected for key: k\n3\tExpected value while parsing array\n"},
    FailureRow{"--max-depth 1", "[[1]]", "7\tNested too deep\n3\tExpected value while parsing array\n"},
    FailureRow{"", "", "11\tUnexpected end of string\n"},
    FailureRow{"--fragment", "\"\xff\"", "6\tInvalid UTF-8 sequence in string\n"}));

class ToolUsage : public testing::TestWithParam<std::string>
{
};

TEST_P(ToolUsage, IsRefusedWithTheUsageLine)
{
    const ToolRun run = runTool(GetParam(), "[]");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "usage: pellix-json [--fragment] [--pretty] [--sort-keys] [--max-depth N] [FILE]\n");
}

INSTANTIATE_TEST_SUITE_P(BadArguments, ToolUsage,
                         testing::Values("--bogus", "--max-depth", "--max-depth x", "--max-depth -1", "a b"));

TEST(PellixJsonTool, ExplainsItselfWithHelp)
{
    const ToolRun run = runTool("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("usage: pellix-json")) << run.out;
    EXPECT_NE(run.out.find("--max-depth N"), std::string::npos);
}

TEST(PellixJsonTool, UnreadableFileIsReported)
{
    const ToolRun run = runTool("'" + (scratchFolder() / "missing.json").string() + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot read"), std::string::npos) << run.err;
}

} // namespace
