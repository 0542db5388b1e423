#pragma once

#include "KzJsonBase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// One expected record of a trace: its code and its message.
struct ExpectedRecord
{
    unsigned code;
    std::string description;

    friend bool operator==(const ExpectedRecord &, const ExpectedRecord &) = default;
    friend std::ostream &operator<<(std::ostream &out, const ExpectedRecord &record)
    {
        return out << record.code << " \"" << record.description << '"';
    }
};

using ExpectedTrace = std::vector<ExpectedRecord>;

// The trace's records in order, after checking what every trace must hold:
// the codec's domain, and record k linked to record k - 1 (the first to none).
inline ExpectedTrace recordsOf(const KzJsonErrorTrace &trace)
{
    ExpectedTrace records;
    for (std::size_t at = 0; trace && at < trace->size(); ++at) {
        const KzJsonErrorRecord &record = (*trace)[at];
        EXPECT_EQ(record->domain(), "org.quorvik.JSON.ErrorDomain");
        EXPECT_EQ(record->underlying(), at == 0 ? nullptr : (*trace)[at - 1]) << "record " << at;
        records.push_back({record->code(), record->description()});
    }
    return records;
}
