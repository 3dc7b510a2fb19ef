// Turns the command line's folders and files into archive entries. A folder goes in under its
// own last name ("some/dir" gives "dir/..."); "dir/." puts its contents at the archive's
// root. A file goes in under its last name. Symbolic links are followed; a link back into a
// folder being packed is refused as a loop.
#pragma once

#include <string>
#include <vector>

#include "DosTime.h"

struct InputEntry
{
    std::string Name;  // '/' separators; a folder's ends in '/'
    std::string Path;  // where the file is read
    u64 Size = 0;
    i64 ModifiedTime = 0;
    bool Folder = false;
    bool ReadOnly = false;  // no write permission for the owner
};

// A file that is never packed, though it may lie inside an input folder: the output.
struct ScanSkip
{
    bool Active = false;
    u64 Volume = 0;
    u64 Index = 0;
};

// Appends the entries of every input, unsorted; false with a message naming the path.
bool ScanInputs(const std::vector<std::string>& inputs, const ScanSkip& skip,
                std::vector<InputEntry>& entries, std::string& error);

// The name an input argument takes in the archive: its last component, or empty for the
// contents of a folder at the root ("dir/.", ".", "/").
std::string InputArchiveName(const std::string& argument);
