#include "support/EntryRunner.h"

#include <gtest/gtest.h>

#include "archive/ZipFormat.h"
#include "extract/ExtractEntry.h"
#include "files/FileSystem.h"
#include "inflate/Inflate.h"
#include "inflate/InflateState.h"
#include "platform/Memory.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#endif

EntryOutput RunEntry(EntryMethod method, const EntryInput& input, void (*onDone)(void*),
                     void* context)
{
    TempDir dir;
    std::string archive = dir / "archive.bin";
    std::string target = dir / "target.bin";
    Bytes file = input.Data;
    file.insert(file.end(), input.Behind.begin(), input.Behind.end());
    WriteBytes(archive, file);

    EntryOutput out;
    EntryBegin(archive.c_str());
    EXPECT_EQ(EntryOpenArchive(), ResultOk);
    HANDLE targetFile = FsCreate(target.c_str(), 0);
    EXPECT_EQ(FsLastError, 0);
    u32 size = input.SizeGiven ? input.CompressedSize : static_cast<u32>(input.Data.size());
    EntryPrepareTransfer(size, targetFile, input.ProgressWindow, input.ProgressCommandId);

#if !defined(_WIN32)
    HostFailWritesAfter(input.FailWritesAfter);
#endif
    out.Result = EntryTransfer(method == EntryMethod::Stored ? ZipMethodStored : ZipMethodDeflated);
    if (onDone != nullptr)
        onDone(context);

#if !defined(_WIN32)
    HostFailWritesAfter(-1);
#endif
    out.Crc = ~InflateState.CrcAccumulator;
    out.ArchiveClosedEarly = InflateState.ArchiveFile == INVALID_HANDLE_VALUE;
    FsClose(targetFile);
    InflateState.TargetFile = INVALID_HANDLE_VALUE;
    EntryEnd();
    out.Written = ReadBytes(target);
    return out;
}

const Bytes ArchiveTail = {'P', 'K', 1, 2, 0x14, 0, 0x14, 0, 0, 0, 8, 0, 0x5A, 0xA5};

EntryOutput RunDeflated(const Bytes& stream, const Bytes& behind)
{
    EntryInput input;
    input.Data = stream;
    input.Behind = behind;
    return RunEntry(EntryMethod::Deflated, input);
}

#if !defined(_WIN32)
std::vector<i32> ResultsWhenAllocationsFail(const Bytes& stream, unsigned most)
{
    std::vector<i32> results;
    for (unsigned n = 1; n <= most && (results.empty() || results.back() != ResultOk); ++n) {
        InflateStateReset();
        std::size_t blocks = HostHeapBlocks();
        // The runner takes the window first, so request n + 1 is the decoder's n-th.
        HostFailAllocation(n + 1);
        EntryOutput out = RunDeflated(stream);
        HostFailAllocation(0);
        EXPECT_EQ(HostHeapBlocks(), blocks) << n;
        results.push_back(out.Result);
    }
    return results;
}
#endif
