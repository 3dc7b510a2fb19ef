// After the extraction: the packer's program, started from the destination and waited for,
// and the temporary folder that an installer's files are unpacked into and removed from.
#pragma once

#include "Types.h"

// Starts destination + program by its full path, with the arguments and the destination as
// its working folder, and waits for it: its exit code, or ExitCannotStart.
i32 RunInstalledProgram(const char* destination, const char* program, const char* arguments);

// A new folder of its own under the user's temporary folder, ending in '\'; false when none
// could be made.
bool MakeTempFolder(char* path);

// Removes the folder (ending in '\') and everything in it, as far as the system allows:
// read-only files too.
void RemoveFolderTree(char* path);
