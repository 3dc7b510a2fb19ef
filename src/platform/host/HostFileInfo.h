// Test hooks of the host stand-in for the search, time and directory calls, and the seam
// between its two source files. Only host builds have these.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

// Calls made since the last HostReset, so tests can tell how much work an operation did.
struct HostCallCounts
{
    unsigned CreateFile = 0;
    unsigned CreateDirectory = 0;
    unsigned FindFirstFile = 0;
    unsigned SetCurrentDirectory = 0;
    std::vector<std::string> DirectoryNames;  // as given to CreateDirectoryA, in call order
};

HostCallCounts& HostCalls();

// The size the search reports for a directory; some file systems report a non-zero one.
void HostSetDirectorySize(unsigned long long size);

// Used by HostFiles.cpp: HostReset clears this file's state, and times need an open file.
void HostFileInfoReset();
bool HostFileOf(HANDLE file, int& descriptor, DWORD& access);
