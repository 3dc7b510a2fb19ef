// The output goes to a temporary file beside its final name and is renamed over it only at
// the end, so an error or an interrupt leaves no partial file and an existing one unchanged.
#pragma once

#include <string>

#include "System.h"

struct OutputFile
{
    FileHandle File = NoFile;
    std::string Path;
    std::string TempPath;
    u64 Written = 0;
};

bool OutputOpen(OutputFile& out, const std::string& path, std::string& error);
bool OutputWrite(OutputFile& out, const void* data, std::size_t length, std::string& error);
// Closes the temporary file, for a check that reads it back before the rename.
bool OutputClose(OutputFile& out, std::string& error);
bool OutputCommit(OutputFile& out, std::string& error);
// Removes the temporary file; safe to call at any point, and again.
void OutputDiscard(OutputFile& out);
