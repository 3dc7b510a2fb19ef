// What the self-extractor is told for its runs, and the settings block that carries it
// between the stub and the archive. Checked and normalised by the option parser.
#pragma once

#include <string>

#include "ZipWrite.h"
#include "settings/Settings.h"

struct SfxOptions
{
    bool Given = false;  // any of them: a block is written, else the bytes stay as without
    std::string Title;
    std::string Destination;  // '\' between parts
    u8 Overwrite = OverwriteAsk;
    bool Quiet = false;
    std::string RunProgram;  // '\' between parts; empty: nothing runs
    std::string RunArguments;
    bool Temp = false;
    bool Admin = false;
};

// The block, or nothing when no option was given.
ByteBuffer SettingsBlock(const SfxOptions& sfx);
