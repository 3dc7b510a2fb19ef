// Reads an existing ZIP archive for --zip: its directory, checked entry by entry for what the
// stub can extract, and each entry's compressed bytes, copied unchanged behind a fresh local
// header. The central directory, with its ZIP64 values, holds the truth; local headers are only
// looked at for where the data starts. The writer puts ZIP64 back only where it needs it.
#pragma once

#include <string>
#include <vector>

#include "Output.h"
#include "Pack.h"
#include "ZipWrite.h"

struct ImportEntry
{
    ZipRecord Record;
    u64 HeaderOffset = 0;  // of its local header, as the input's directory says
    u64 DataOffset = 0;    // in the input archive
};

struct ImportedArchive
{
    FileHandle File = NoFile;
    std::string Path;
    std::vector<ImportEntry> Entries;
    std::string Comment;
};

// Opens and checks the archive; false with a message naming the archive and the entry.
bool ImportOpen(const std::string& path, ImportedArchive& archive, std::string& error);
// Writes entry's local header and data at the output's end, recording its new offset.
bool ImportCopy(ImportedArchive& archive, ImportEntry& entry, OutputFile& out, std::string& error,
                PackFault& fault);
void ImportClose(ImportedArchive& archive);
