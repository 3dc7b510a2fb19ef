// Fault switches and call counts for host tests, set through the host port's seams, with the
// port's own settings (code page, drive and share roots, counts of heap blocks and files).
// Only tests and fuzz targets link these.
#pragma once

#include <string>
#include <vector>

#include "platform/host/HostPort.h"

// Restores every default: the port's (HostPortReset), no fault, no counted call, no windows,
// strings or scripted answers. Messages keep their script (HostMessagesReset clears it).
void HostReset();

// Makes the n-th heap request from now fail (1 = the next one); 0 never.
void HostFailAllocation(unsigned n);

// Limits every ReadFile to at most this many bytes (0: no limit), so tests can cross every
// refill boundary; and fails writes with ERROR_DISK_FULL once this many bytes were written
// in total (-1: never).
void HostLimitReads(unsigned maxBytes);
void HostFailWritesAfter(long long bytes);

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
