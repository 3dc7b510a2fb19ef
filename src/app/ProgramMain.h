// The program's own steps, after the modules' start-up.
#pragma once

#include "Types.h"

// commandLine: the process's whole command line, the program's own item first. Returns the
// process's exit code.
i32 ProgramMain(const char* commandLine);
