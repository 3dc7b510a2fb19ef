// Compresses the entries in parallel and writes them in their fixed order. Workers take
// entries in that order and may run ahead of the writer only while the file data in flight
// (each file's bytes and its compressed copy, which is kept only while smaller) stays within
// a budget; one entry larger than the budget goes alone. So memory stays below
// max(budget, the largest file and its compressed copy), plus each worker's compressor.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Limits.h"
#include "Output.h"
#include "Scan.h"
#include "ZipWrite.h"

constexpr u64 PackMemoryBudget = u64{512} << 20;

struct PackOptions
{
    int Level = 9;  // 0 stores; 1 to 12 are libdeflate's levels
    bool Zopfli = false;
    unsigned Jobs = 1;
    u64 MemoryBudget = PackMemoryBudget;
};

// Called on the writing thread after each entry: its record and its input bytes.
using PackObserver = std::function<void(const ZipRecord&)>;

// The record of a file or folder before its data is known: name, flags, time, attributes.
ZipRecord RecordOf(const InputEntry& entry);

// What went wrong, for the exit code.
enum class PackFault
{
    Input,
    Output,
    Limit
};

// Writes each entry's local header and data at the output's current end and appends its
// record; false with a message naming the file. The entries are in archive order.
bool PackEntries(const std::vector<InputEntry>& entries, const PackOptions& options,
                 OutputFile& out, std::vector<ZipRecord>& records, const PackObserver& observer,
                 std::string& error, PackFault& fault);

// Deflates data with the options' compressor into out, which must hold less than data;
// false when the result would not be smaller.
bool DeflateSmaller(const PackOptions& options, const u8* data, std::size_t length,
                    ByteBuffer& out);
