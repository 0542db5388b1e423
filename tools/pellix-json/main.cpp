// SPDX-License-Identifier: MIT

// pellix-json: reads JSON text from a file or standard input, parses it with
// the codec's facade and writes it back as UTF-8, or prints the error trace.

#include "KzJSON.h"
#include "internal/KzJsonUtf8.h"
#include "KzJsonWriter.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr int exitSuccess = 0;
constexpr int exitInvalid = 1;
constexpr int exitUsage = 2;

constexpr std::string_view usageLine =
    "usage: pellix-json [--fragment] [--pretty] [--sort-keys] [--max-depth N] [FILE]\n";

constexpr std::string_view helpText =
    "Reads JSON text from FILE (or standard input when FILE is absent or \"-\"),\n"
    "parses it with the Pellix JSON codec and writes it back as UTF-8, followed\n"
    "by one line feed. On a parse failure it prints the codec's error trace to\n"
    "standard error, one record per line as <code><TAB><message>, innermost\n"
    "failure first; control characters, '\"' and '\\' in a message are escaped\n"
    "as in a JSON string.\n"
    "\n"
    "  --fragment      accept any JSON value, not only an object or an array\n"
    "  --pretty        write one element or member per line, indented\n"
    "  --sort-keys     write the members of every object in key order\n"
    "  --max-depth N   nesting limit (default 512; 0 means no limit)\n"
    "  --help          show this text\n"
    "\n"
    "Exit status: 0 valid, 1 invalid JSON, 2 bad usage or unreadable input.\n";

struct Options
{
    bool fragment = false;
    bool pretty = false;
    bool sortKeys = false;
    bool help = false;
    std::optional<std::size_t> maxDepth;
    std::optional<std::string> file;
};

std::optional<std::size_t> parseCount(std::string_view text)
{
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return count;
}

std::optional<Options> parseArguments(int argc, char **argv)
{
    Options options;
    bool optionsEnded = false;
    for (int at = 1; at < argc; ++at) {
        const std::string_view argument = argv[at];
        if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
            if (options.file)
                return std::nullopt;
            options.file = std::string(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--fragment") {
            options.fragment = true;
        } else if (argument == "--pretty") {
            options.pretty = true;
        } else if (argument == "--sort-keys") {
            options.sortKeys = true;
        } else if (argument == "--help") {
            options.help = true;
        } else if (argument == "--max-depth" && at + 1 < argc) {
            options.maxDepth = parseCount(argv[++at]);
            if (!options.maxDepth)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

std::optional<std::string> readAll(std::FILE *stream)
{
    std::string contents;
    char buffer[65536];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        contents.append(buffer, count);
    if (std::ferror(stream))
        return std::nullopt;
    return contents;
}

std::optional<std::string> readInput(const std::optional<std::string> &file)
{
    if (!file || *file == "-")
        return readAll(stdin);
    std::FILE *stream = std::fopen(file->c_str(), "rb");
    if (!stream)
        return std::nullopt;
    std::optional<std::string> contents = readAll(stream);
    std::fclose(stream);
    return contents;
}

void write(std::FILE *stream, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

// A message as the codec's writer writes the content of a string: control
// characters (NUL among them), '"' and '\' escaped, so that a record stays
// on one line and nothing in it is cut off or mistaken for an escape.
// Escaping byte by byte is sound for UTF-8: no byte of a multi-byte
// character is below 0x80.
std::string escapedMessage(std::string_view message)
{
    KzJsonWriter writer;
    std::string escaped;
    for (const char byte : message) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(byte));
        if (unit >= 0x20 && unit != u'"' && unit != u'\\') {
            escaped.push_back(byte);
            continue;
        }
        // Any string of one code unit has a JSON form.
        const std::u16string quoted = writer.stringWithFragment(KzJsonValue::string({&unit, 1})).value();
        escaped += KzJsonUtf8::fromUtf16Lossy(std::u16string_view(quoted).substr(1, quoted.size() - 2));
    }
    return escaped;
}

int printTrace(const KzJsonErrorTrace &trace)
{
    if (trace) {
        for (const KzJsonErrorRecord &record : *trace) {
            const std::string line = std::to_string(static_cast<unsigned>(record->code())) + '\t'
                                     + escapedMessage(record->description()) + '\n';
            write(stderr, line);
        }
    }
    return exitInvalid;
}

int run(const Options &options, const std::string &input)
{
    KzJSON json;
    if (options.maxDepth)
        json.setMaxDepth(*options.maxDepth);
    json.setHumanReadable(options.pretty);
    json.setSortKeys(options.sortKeys);
    const std::optional<KzJsonValue> value = json.objectWithString(input, options.fragment, nullptr);
    if (!value)
        return printTrace(json.errorTrace());
    const std::optional<std::u16string> text = json.stringWithObject(*value, options.fragment, nullptr);
    if (!text)
        return printTrace(json.errorTrace());
    // Parsed strings never hold a lone surrogate, so the text always has a UTF-8 form.
    write(stdout, KzJsonUtf8::fromUtf16Lossy(*text));
    write(stdout, "\n");
    return exitSuccess;
}

} // namespace

int main(int argc, char **argv)
{
    const std::optional<Options> options = parseArguments(argc, argv);
    if (!options) {
        write(stderr, usageLine);
        return exitUsage;
    }
    if (options->help) {
        write(stdout, usageLine);
        write(stdout, helpText);
        return exitSuccess;
    }
    const std::optional<std::string> input = readInput(options->file);
    if (!input) {
        std::fprintf(stderr, "pellix-json: cannot read %s: %s\n", options->file.value_or("standard input").c_str(),
                     std::strerror(errno));
        return exitUsage;
    }
    return run(*options, *input);
}
