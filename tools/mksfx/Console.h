// What the packer prints besides its errors: a progress line on standard error while that is
// a terminal, a line for each entry with --verbose, and the summary. Standard output and
// standard error only; no state beyond the progress line's.
#pragma once

#include <chrono>
#include <string>

#include "ArchiveCheck.h"
#include "ZipWrite.h"
#include "settings/Settings.h"

using Clock = std::chrono::steady_clock;

// The status line, redrawn at most ten times a second.
struct Progress
{
    bool Shown = false;
    u64 TotalEntries = 0;
    u64 TotalBytes = 0;
    u64 Entries = 0;
    u64 Bytes = 0;
    Clock::time_point Start = Clock::now();
    Clock::time_point LastDraw{};

    void Add(u64 bytes);
    void Clear() const;
};

// An entry as packed: size, how it went in, ratio, name.
void PrintPackedEntry(const ZipRecord& record);
// An entry as --test decoded it.
void PrintCheckedEntry(const ZipEntry& entry, const EntryCheck& check);
// What a self-extractor's settings block holds, a line each, as --test shows it.
void PrintSettings(const SfxSettings& settings);
void PrintSummary(const std::string& output, std::size_t entries, u64 inputBytes, u64 archiveBytes,
                  std::size_t stubBytes, Clock::time_point start);
