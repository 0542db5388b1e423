#include "KzJsonArena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// An arena's first chunk is sized from the text's length, so it can end on
// any address. A block whose alignment takes it past that end must come from
// a new chunk; running over the end corrupts the heap (the sanitizer build
// sees the write).
TEST(KzJsonArena, AlignedBlocksNeverRunPastTheirChunk)
{
    for (std::size_t textBytes = 1366; textBytes < 1374; ++textBytes) {
        SCOPED_TRACE(textBytes);
        KzJsonArena *const arena = KzJsonArena::create(textBytes);
        std::vector<std::pair<std::uintptr_t, std::size_t>> blocks;
        for (int index = 0; index < 6000; ++index) {
            const std::size_t bytes = index % 3 == 0 ? 8 : 2;
            void *const block = arena->allocate(bytes, bytes);
            std::memset(block, index, bytes);
            const auto address = reinterpret_cast<std::uintptr_t>(block);
            ASSERT_EQ(address % bytes, 0u);
            blocks.emplace_back(address, bytes);
        }
        std::sort(blocks.begin(), blocks.end());
        for (std::size_t index = 1; index < blocks.size(); ++index)
            ASSERT_LE(blocks[index - 1].first + blocks[index - 1].second, blocks[index].first);
        arena->release();
    }
}

} // namespace
