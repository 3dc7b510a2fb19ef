// The engine run of one entry, set up as the extraction sets it up.
#include "ArchiveCheck.h"

#include <cstdlib>
#include <unistd.h>

#include "archive/FileSystem.h"
#include "archive/ZipFormat.h"
#include "inflate/Inflate.h"
#include "inflate/InflateState.h"
#include "platform/Memory.h"

namespace {

constexpr i32 UnknownCompressedSize = 2147483547;

}  // namespace

EntryCheck CheckEntry(const char* archive, const ZipEntry& entry, const char* scratch)
{
    EntryCheck out;
    InflateState.AbortFlag = false;
    InflateState.ArchiveFile = FsOpenRead(archive, FsModeRead);
    if (FsLastError != 0) {
        out.Result = ResultReadFailed;
        return out;
    }
    u16 got = 0;
    FsSeek(InflateState.ArchiveFile, static_cast<i32>(entry.LocalHeaderOffset), FILE_BEGIN);
    if (FsLastError == 0)
        FsRead(InflateState.ArchiveFile, InflateState.InputBuffer, LocalHeaderSize, got);
    const u8* h = InflateState.InputBuffer;
    if (FsLastError != 0 || got != LocalHeaderSize || !ZipHasSignature(h, ZipLocalSignature)) {
        FsClose(InflateState.ArchiveFile);
        out.Result = FsLastError != 0 ? ResultReadFailed : ResultBadData;
        out.Problem = " local header";
        return out;
    }
    u16 flags = ZipRead16(h + LocalHeaderFlags);
    u16 method = ZipRead16(h + LocalHeaderMethod);
    auto compressed = static_cast<i32>(ZipRead32(h + LocalHeaderCompressedSize));
    // Sizes in a data descriptor: a deflated entry is decoded to its last block, a stored
    // one keeps the header's size as the extraction does.
    if ((flags & ZipFlagDescriptor) != 0 && method != ZipMethodStored &&
        (ZipRead32(h + LocalHeaderCrc) == 0 || compressed == 0))
        compressed = UnknownCompressedSize;
    auto dataStart = static_cast<i32>(entry.LocalHeaderOffset + LocalHeaderSize +
                                      ZipRead16(h + LocalHeaderNameLength) +
                                      ZipRead16(h + LocalHeaderExtraLength));
    if ((flags & ZipFlagEncrypted) != 0 ||
        (method != ZipMethodStored && method != ZipMethodDeflated)) {
        FsClose(InflateState.ArchiveFile);
        out.Result = (flags & ZipFlagEncrypted) != 0 ? ResultEncrypted : ResultUnsupported;
        return out;
    }
    InflateState.Window = static_cast<u8*>(MemAlloc(WindowSize));
    for (u32 i = 0; i < WindowSize; ++i)
        InflateState.Window[i] = 0;
    InflateState.CompressedSize = compressed;
    InflateState.BytesRead = 0;
    FsSeek(InflateState.ArchiveFile, dataStart, FILE_BEGIN);
    InflateState.TargetFile = FsCreate(scratch, 0);
    InflateState.InputExhausted = false;
    InflateState.ProgressWindow = nullptr;
    InflateState.ProgressCommandId = 0;
    ServiceMessages();
    InflateState.LastPercentage = 0;
    InflateState.CrcAccumulator = 0xFFFFFFFF;

    out.Result = method == ZipMethodStored ? CopyStoredEntry() : InflateEntry();
    out.Crc = ~InflateState.CrcAccumulator;
    out.Written = static_cast<u32>(FsSize(InflateState.TargetFile));
    if (InflateState.ArchiveFile != INVALID_HANDLE_VALUE)
        FsClose(InflateState.ArchiveFile);
    InflateState.ArchiveFile = INVALID_HANDLE_VALUE;
    FsClose(InflateState.TargetFile);
    MemFree(InflateState.Window);
    InflateState.Window = nullptr;
    if (out.Result == ResultOk && out.Crc != entry.Crc32) {
        out.Result = ResultBadLengths;
        out.Problem = " crc differs from the directory";
    } else if (out.Result == ResultOk && out.Written != entry.UncompressedSize) {
        out.Result = ResultBadLengths;
        out.Problem = " size differs from the directory";
    }
    return out;
}

std::string CheckScratchPath()
{
    const char* base = std::getenv("TMPDIR");
    return std::string(base != nullptr ? base : "/tmp") + "/sfxcheck-" + std::to_string(getpid()) +
           ".out";
}
