// Runs the decompressor on one entry's data as the extraction prepares it: the data sits in
// an archive file (followed by whatever bytes a test puts behind it), the output goes to a
// target file that is read back afterwards.
#pragma once

#include <vector>

#include "Types.h"
#include "support/TestFiles.h"

struct EntryInput
{
    Bytes Data;    // the entry's compressed (or stored) bytes
    Bytes Behind;  // archive bytes after the entry's data
    bool SizeGiven = false;
    u32 CompressedSize = 0;  // used when SizeGiven, else Data's size
    HWND ProgressWindow = nullptr;
    i16 ProgressCommandId = 0;
    long long FailWritesAfter = -1;  // host only: target writes fail after this many bytes
};

struct EntryOutput
{
    i32 Result = -1;
    Bytes Written;                    // the target file's contents
    u32 Crc = 0;                      // the complemented accumulator
    bool ArchiveClosedEarly = false;  // the engine closed the archive itself
};

enum class EntryMethod
{
    Stored,
    Deflated,
};

// Sets up the state, runs CopyStoredEntry or InflateEntry, and tears down again; onDone runs
// right after the call, before the teardown.
EntryOutput RunEntry(EntryMethod method, const EntryInput& input,
                     void (*onDone)(void* context) = nullptr, void* context = nullptr);

// Archive bytes that follow an entry's data, as in a real archive.
extern const Bytes ArchiveTail;

// A deflated entry of these bytes with these archive bytes behind it.
EntryOutput RunDeflated(const Bytes& stream, const Bytes& behind = ArchiveTail);

#if !defined(_WIN32)
// The results of the stream with the decoder's n-th heap request failing, for n = 1, 2, ...
// until a run succeeds or `most` runs are done; no run may leave a heap block behind.
std::vector<i32> ResultsWhenAllocationsFail(const Bytes& stream, unsigned most);
#endif
