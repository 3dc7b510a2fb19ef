// Tests an archive the way the stub extracts it: the stub's directory reader walks it, and
// each entry is decoded by the stub's engine into a scratch file, then held against the
// central directory. Shared by ziptest and mksfx (--test and the check after packing).
#pragma once

#include <functional>
#include <string>

#include "Types.h"
#include "archive/ZipDirectory.h"

struct EntryCheck
{
    i32 Result = ResultOk;  // an entry result code
    u64 Written = 0;        // bytes the engine produced
    u32 Crc = 0;            // CRC-32 of those bytes
    const char* Problem = "";
};

// Decodes one directory entry of archive into scratch (a file path) and checks CRC-32 and
// size against the directory.
EntryCheck CheckEntry(const char* archive, const ZipEntry& entry, const char* scratch);

struct ArchiveCheckSummary
{
    i32 Open = 0;     // ArchiveOpen's result: nothing was walked unless 0
    u32 Entries = 0;  // entries decoded
    u32 Failed = 0;   // of those, the ones that failed
    std::string FirstFailedName;
    EntryCheck FirstFailure;
    // How the walk ended after the entries: ArchiveDirectoryEnd for a complete directory, or
    // why the stub cannot reach the rest (a record too large for its window, damage).
    i32 WalkEnd = ArchiveDirectoryEnd;
};

// Called after each entry is decoded, in directory order.
using EntryCheckVisitor = std::function<void(const ZipEntry&, const EntryCheck&)>;

// Walks the whole directory and decodes every entry; visit may be empty.
ArchiveCheckSummary CheckArchive(const char* path, const EntryCheckVisitor& visit);

// What a non-zero ArchiveOpen result, or a walk's end other than the directory's, means, in
// words for a message.
std::string ArchiveOpenProblem(i32 open);
