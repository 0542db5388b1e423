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

std::string load(const std::filesystem::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Runs the built tool through the shell. `input` is stored in a file; an
// argument "FILE" names that file, otherwise the file is piped into the tool.
ToolRun runTool(std::string arguments, const std::string &input = "")
{
    const std::filesystem::path folder =
        std::filesystem::path(testing::TempDir()) / ("pellix-json-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string in = (folder / "in.json").string();
    std::ofstream(in, std::ios::binary) << input;
    std::string feed = "cat '" + in + "' | ";
    if (const std::size_t at = arguments.find("FILE"); at != std::string::npos) {
        arguments.replace(at, 4, "'" + in + "'");
        feed = "</dev/null ";
    }
    const std::string command = feed + "'" PELLIX_JSON_TOOL "' " + arguments + " >'" + (folder / "out").string() +
                                "' 2>'" + (folder / "err").string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, load(folder / "out"), load(folder / "err")};
}

struct RunCase
{
    std::string arguments;
    std::string input;
    int status;
    std::string out;
    std::string err;
};

std::ostream &operator<<(std::ostream &out, const RunCase &row)
{
    return out << "'" << row.arguments << "' < \"" << row.input << '"';
}

class ToolRunCase : public testing::TestWithParam<RunCase>
{
};

TEST_P(ToolRunCase, ExitsWithItsStatusAndExactOutput)
{
    const ToolRun run = runTool(GetParam().arguments, GetParam().input);
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_EQ(run.out, GetParam().out);
    EXPECT_EQ(run.err, GetParam().err);
}

const std::string usage = "usage: pellix-json [--fragment] [--pretty] [--sort-keys] [--max-depth N] [FILE]\n";

// A failure prints the trace innermost first; bad arguments the usage line.
INSTANTIATE_TEST_SUITE_P(Runs, ToolRunCase, testing::Values(
    RunCase{"", R"( {"b":[1,2.50,"\u00e9\ud834\udd1e"],"a":null} )", 0,
            "{\"b\":[1,2.50,\"\xc3\xa9\xf0\x9d\x84\x9e\"],\"a\":null}\n", ""},
    RunCase{"--pretty --sort-keys FILE", R"({"list":[1,false,null],"Name":"a\"b","empty":{}})", 0,
            "{\n  \"Name\" : \"a\\\"b\",\n  \"empty\" : {},\n  \"list\" : [\n    1,\n    false,\n    null\n  ]\n}\n",
            ""},
    RunCase{"-", "[true]", 0, "[true]\n", ""},
    RunCase{"--fragment", " 12 ", 0, "12\n", ""},
    RunCase{"", " 12 ", 1, "", "4\tValid fragment, but not JSON\n"},
    RunCase{"--max-depth 1", "[[1]]", 1, "", "7\tNested too deep\n3\tExpected value while parsing array\n"},
    RunCase{"", "", 1, "", "11\tUnexpected end of string\n"},
    RunCase{"--fragment", "\"\xff\"", 1, "", "6\tInvalid UTF-8 sequence in string\n"},
    // A message is written whole, escaped as the writer escapes a string, one record a line.
    RunCase{"", R"({"a\u0000b": x})", 1, "",
            "3\tUnrecognised leading character\n3\tObject value expected for key: a\\u0000b\n"},
    RunCase{"", R"({"\n\t\"\\\u001f\u00e9\b\f\r": x})", 1, "",
            "3\tUnrecognised leading character\n3\tObject value expected for key: "
            R"(\n\t\"\\\u001f)" "\xc3\xa9" R"(\b\f\r)" "\n"},
    RunCase{"--bogus", "[]", 2, "", usage}, RunCase{"--max-depth", "[]", 2, "", usage},
    RunCase{"--max-depth x", "[]", 2, "", usage}, RunCase{"--max-depth -1", "[]", 2, "", usage},
    RunCase{"a b", "[]", 2, "", usage}));

TEST(PellixJsonTool, ExplainsItselfWithHelpAndReportsAnUnreadableFile)
{
    const ToolRun help = runTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with(usage)) << help.out;
    const std::string missing = testing::TempDir() + "pellix-json-" + std::to_string(::getpid()) + "/no.json";
    const ToolRun unreadable = runTool("'" + missing + "'");
    EXPECT_EQ(unreadable.status, 2);
    EXPECT_TRUE(unreadable.err.starts_with("pellix-json: cannot read " + missing + ": ")) << unreadable.err;
}

} // namespace
