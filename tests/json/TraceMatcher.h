// SPDX-License-Identifier: MIT

#pragma once

#include "KzJsonBase.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// A trace as the codes and messages of its records, innermost failure first.
using Trace = std::vector<std::pair<unsigned, std::string>>;
using Record = Trace::value_type;

// The trace's records, after checking what every record must hold: the
// codec's domain, and a link to the record before it (the first to none).
inline Trace recordsOf(const KzJsonErrorTrace &trace)
{
    Trace records;
    for (std::size_t at = 0; trace && at < trace->size(); ++at) {
        const KzJsonErrorRecord &record = (*trace)[at];
        EXPECT_EQ(record->domain(), "org.quorvik.JSON.ErrorDomain");
        EXPECT_EQ(record->underlying(), at == 0 ? nullptr : (*trace)[at - 1]) << "record " << at;
        records.emplace_back(record->code(), record->description());
    }
    return records;
}
