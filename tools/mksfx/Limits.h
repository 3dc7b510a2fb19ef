// What the stub can address: sizes and offsets are signed 32-bit there, and the entry count is
// the end record's 16 bits.
#pragma once

#include <string>

#include "ZipWrite.h"

constexpr u64 SizeLimit = u64{1} << 31;  // 2 GiB: every size, sum and offset stays below
constexpr u64 EntryLimit = 65535;

struct PackTotals
{
    u64 Entries = 0;
    u64 LargestSize = 0;
    std::string LargestName;
    u64 TotalSize = 0;    // uncompressed, over all entries
    u64 OutputBound = 0;  // the largest the output can become
    bool AllEmpty = true;
};

// Counts one entry in: size is its data uncompressed, stored the most that data can take in
// the output, shown how a message names the entry.
void CountEntry(PackTotals& totals, const ZipRecord& record, u64 size, u64 stored,
                const std::string& shown);

// The message for the first limit the archive passes, or empty when it fits.
std::string LimitProblem(const PackTotals& totals);
