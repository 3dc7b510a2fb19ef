// Tests an archive the way the stub extracts it: the stub's directory reader walks it, and
// each entry is decoded by the stub's engine into a scratch file, then held against the
// central directory. Shared by ziptest and mksfx --test.
#pragma once

#include <string>

#include "Types.h"
#include "archive/ZipDirectory.h"

struct EntryCheck
{
    i32 Result = ResultOk;  // an entry result code
    u32 Written = 0;        // bytes the engine produced
    u32 Crc = 0;            // CRC-32 of those bytes
    const char* Problem = "";
};

// Decodes one directory entry of archive into scratch (a file path) and checks CRC-32 and
// size against the directory.
EntryCheck CheckEntry(const char* archive, const ZipEntry& entry, const char* scratch);

// A scratch file name of this process under $TMPDIR (or /tmp).
std::string CheckScratchPath();
