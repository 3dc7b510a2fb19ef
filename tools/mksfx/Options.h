// mksfx's command line: takes the arguments after the program name and says what to do, with
// every value parsed. Never prints and never exits; a usage error comes back as a message
// and an exit code for main to act on.
#pragma once

#include <string>
#include <vector>

#include "Branding.h"
#include "Pack.h"
#include "SettingsBlock.h"

// Exit codes, as --help lists them.
constexpr int ExitOk = 0;
constexpr int ExitCheckFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitInput = 3;
constexpr int ExitLimit = 4;
constexpr int ExitOutput = 5;

enum class Action
{
    Pack,  // folders and files
    Wrap,  // --zip
    Test,
    Help,
    Version,
    Usage  // a usage error
};

struct Options
{
    Action Do = Action::Pack;
    // For Help and Version, the text for standard output; for Usage, the text for standard
    // error and the exit code. Each line ends in a newline.
    std::string Message;
    int Exit = ExitOk;
    std::string Output;
    std::string Zip;
    std::string Test;
    std::string Stub;
    std::vector<std::string> Inputs;
    PackOptions Pack;  // jobs default to the number of cores
    SfxOptions Sfx;
    Branding Brand;
    bool SelfTest = true;
    bool Quiet = false;  // the packer's own output; Sfx.Quiet is the self-extractor's
    bool Verbose = false;
};

Options ParseOptions(const std::vector<std::string>& args);
