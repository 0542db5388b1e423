// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

namespace {

using ToolRun = std::tuple<int, std::string, std::string>; // status, standard output, standard error

// Runs the built tool in a folder of its own that holds `input` as in.json,
// the file piped into it as well.
ToolRun runTool(const std::string &arguments, const std::string &input)
{
    const std::string folder = testing::TempDir() + "pellix-json-" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "in.json", std::ios::binary) << input;
    const int status = std::system(
        ("cd '" + folder + "' && '" PELLIX_JSON_TOOL "' " + arguments + " <in.json >out 2>err").c_str());
    const auto load = [&](const char *name) {
        std::ifstream file(folder + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, load("out"), load("err")};
}

const std::string usage = "usage: pellix-json [--fragment] [--pretty] [--sort-keys] [--max-depth N] [FILE]\n";
const std::string leading = "3\tUnrecognised leading character\n3\t";

// A failure prints the trace innermost first, each message whole and escaped
// as the writer escapes a string, one record a line; bad arguments the usage.
TEST(PellixJsonTool, ExitsWithItsStatusAndExactOutput)
{
    const struct
    {
        std::string arguments, input;
        int status;
        std::string out, err;
    } rows[] = {
        {"", R"( {"b":[1,2.50,"\u00e9\ud834\udd1e"],"a":null} )", 0,
         "{\"b\":[1,2.50,\"\xc3\xa9\xf0\x9d\x84\x9e\"],\"a\":null}\n", ""},
        {"--fragment in.json", " 12 ", 0, "12\n", ""}, {"", " 12 ", 1, "", "4\tValid fragment, but not JSON\n"},
        {"--max-depth 1", "[[1]]", 1, "", "7\tNested too deep\n3\tExpected value while parsing array\n"},
        {"", R"({"a\u0000b": x})", 1, "", leading + "Object value expected for key: a\\u0000b\n"},
        {"", R"({"\n\t\"\\\u001f\u00e9\b\f\r": x})", 1, "",
         leading + "Object value expected for key: " R"(\n\t\"\\\u001f)" "\xc3\xa9" R"(\b\f\r)" "\n"},
        {"no.json", "", 2, "", "pellix-json: cannot read no.json: No such file or directory\n"},
        {"--bogus", "[]", 2, "", usage}, {"--max-depth x", "[]", 2, "", usage},
    };
    for (const auto &row : rows)
        EXPECT_EQ(runTool(row.arguments, row.input), ToolRun(row.status, row.out, row.err)) << row.arguments;
}

} // namespace
