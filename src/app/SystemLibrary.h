// Libraries the program loads itself come from the system folder only, never from the
// program's own folder (often a Downloads folder, where anyone may have put a DLL).
#pragma once

#include "platform/win32.h"

// Restricts the process's library search to the system folder where the system can; called
// first thing at start.
void RestrictLibrarySearch();
// The named system library: found in the system folder by the restricted search, or loaded by
// its full path in the system folder where the search could not be restricted.
HMODULE LoadSystemLibrary(const char* name);
