// What goes into the self-extractor, settled before any output: the stub, and either the file
// system's entries (listed, named, sorted, times capped) or the archive to wrap, all checked
// against the names Windows takes and the limits of Limits.h. A plan, or the one failure found.
#pragma once

#include <string>
#include <vector>

#include "Options.h"
#include "Scan.h"
#include "ZipImport.h"

// An error for the user: its exit code and its message.
struct Failure
{
    int Exit = ExitOk;
    std::string Message;
};

struct Plan
{
    ByteBuffer Stub;
    ByteBuffer Settings;              // behind the stub; empty without self-extractor options
    std::vector<InputEntry> Entries;  // in archive order
    ImportedArchive Archive;          // for Wrap; open until ImportClose
    bool Wrap = false;
};

// False with the failure, the archive to wrap closed.
bool PlanPack(const Options& options, Plan& plan, Failure& failure);
