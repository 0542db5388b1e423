// SPDX-License-Identifier: MIT

// Runs a fuzz target over its seed corpus with the ordinary compiler, so
// every seed (and every input that once broke the target) is checked by the
// normal test run. Arguments: corpus folders or files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {
std::vector<std::filesystem::path> inputsIn(const std::filesystem::path &place)
{
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(place)) {
        for (const auto &entry : std::filesystem::directory_iterator(place))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
    } else {
        inputs.push_back(place);
    }
    return inputs;
}

void replay(const std::filesystem::path &input)
{
    std::ifstream file(input, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
}
}

int main(int argc, char *argv[])
{
    std::size_t replayed = 0;
    for (int argument = 1; argument < argc; ++argument) {
        for (const std::filesystem::path &input : inputsIn(argv[argument])) {
            replay(input);
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
