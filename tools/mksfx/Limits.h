// What the packer refuses for its size: a self-extractor that Windows would not start, which
// is a program file of 4 GiB or more. Entries of any size and count fit, through ZIP64.
#pragma once

#include <string>

#include "ZipWrite.h"

constexpr u64 OutputLimit = u64{1} << 32;  // 4 GiB: the self-extractor stays below
constexpr const char* OutputLimitProblem =
    "the self-extractor would reach 4 GiB; Windows does not start a program of that size";

struct PackTotals
{
    u64 Entries = 0;
    u64 OutputBound = 0;  // the least the output can become: refused when even that is too large
    bool AllEmpty = true;
};

// Counts one entry in: its record with the sizes it will have, the compressed one the least it
// can be.
void CountEntry(PackTotals& totals, const ZipRecord& record);

// The least that deflate can make of size bytes.
u64 DeflatedFloor(u64 size);

// The message for the first limit the archive passes, or empty when it fits.
std::string LimitProblem(const PackTotals& totals);
