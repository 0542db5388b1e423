// SPDX-License-Identifier: MIT

#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant ends the run loudly, so that the fuzzer keeps the input
// and the corpus replay fails.
inline void fuzzCheck(bool holds, const char *what)
{
    if (holds)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}
