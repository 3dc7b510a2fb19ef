// The command line: how its text splits into arguments, and which of the program's forms
// the arguments take. Pure functions of the text.
#pragma once

#include "Types.h"
#include "text/Text.h"

struct CommandArguments
{
    i32 Count;        // arguments after the program's own item
    bool Quiet;       // one of them is the quiet switch "/Q"; First is then the other
    u32 FirstLength;  // the first argument's full length, which may exceed what First holds
    String First;     // as much of it as a path may hold; empty when there is none
};

// Blanks and control characters separate arguments outside double quotes; the quotes are not
// part of an argument and a backslash is an ordinary character.
CommandArguments SplitCommandLine(const char* text);

constexpr i32 FormDialog = 0;
constexpr i32 FormSwitchConfirm = 1;    // "/S": the program's folder, asking before overwrites
constexpr i32 FormSwitchOverwrite = 2;  // "/O": the program's folder, overwriting silently
constexpr i32 FormPath = 3;             // a destination such as C:\dir
constexpr i32 FormQuiet = 4;            // "/Q": the default destination, no window at all
constexpr i32 FormQuietPath = 5;        // "/Q" and a destination, in either order

// An argument longer than a path may be is no destination: it leads to the dialog rather than
// to a folder the user did not name.
constexpr u32 CommandPathLimit = PathLimit;

i32 CommandForm(const CommandArguments& arguments);
