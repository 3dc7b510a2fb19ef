// ziptest ARCHIVE: walks the directory with the stub's reader, decodes every entry with the
// stub's engine and holds the result against the central directory; one line per entry.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "archive/FileSystem.h"
#include "archive/ZipDirectory.h"
#include "inflate/Inflate.h"
#include "inflate/InflateState.h"
#include "platform/Memory.h"

namespace {

constexpr u32 LocalHeaderSize = 30;
constexpr i32 UnknownCompressedSize = 2147483547;

u32 Little(const u8* p, int bytes)
{
    u32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

struct Outcome
{
    i32 Result = ResultOk;
    u32 Written = 0;
    u32 Crc = 0;
    const char* Problem = "";
};

// Reads the local header through the input buffer and sets up the state as the extraction
// does, then runs the stored copy or the decoder into a scratch target.
Outcome TestEntry(const char* archive, const ZipEntry& entry, const char* scratch)
{
    Outcome out;
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
    if (FsLastError != 0 || got != LocalHeaderSize || Little(h, 4) != 0x04034B50) {
        FsClose(InflateState.ArchiveFile);
        out.Result = FsLastError != 0 ? ResultReadFailed : ResultBadData;
        out.Problem = " local header";
        return out;
    }
    u16 flags = static_cast<u16>(Little(h + 6, 2));
    u16 method = static_cast<u16>(Little(h + 8, 2));
    i32 compressed = static_cast<i32>(Little(h + 18, 4));
    // Sizes in a data descriptor: a deflated entry is decoded to its last block, a stored
    // one keeps the header's size as the extraction does.
    if ((flags & 8) != 0 && method != 0 && (Little(h + 14, 4) == 0 || compressed == 0))
        compressed = UnknownCompressedSize;
    i32 dataStart = static_cast<i32>(entry.LocalHeaderOffset + LocalHeaderSize + Little(h + 26, 2) +
                                     Little(h + 28, 2));
    if ((flags & 1) != 0 || (method != 0 && method != 8)) {
        FsClose(InflateState.ArchiveFile);
        out.Result = (flags & 1) != 0 ? ResultEncrypted : ResultUnsupported;
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

    out.Result = method == 0 ? CopyStoredEntry() : InflateEntry();
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ziptest ARCHIVE\n");
        return 2;
    }
    InitCrcTable();
    const char* base = std::getenv("TMPDIR");
    std::string scratch = std::string(base != nullptr ? base : "/tmp") + "/ziptest-" +
                          std::to_string(getpid()) + ".out";
    ArchiveReader reader;
    i32 open = ArchiveOpen(argv[1], reader, 0, 0);
    if (open != 0) {
        std::printf("%s: no readable archive (%d)\n", argv[1], open);
        return 1;
    }
    int entries = 0;
    int failures = 0;
    do {
        const ZipEntry& e = reader.Entry;
        Outcome o = TestEntry(argv[1], e, scratch.c_str());
        std::printf("%-40s method %u  %10u -> %10u  crc %08x  result %d%s\n", e.Name, e.Method,
                    e.CompressedSize, e.UncompressedSize, e.Crc32, o.Result, o.Problem);
        ++entries;
        failures += o.Result != ResultOk;
    } while (ArchiveNextEntry(reader) == 0);
    ArchiveClose(reader);
    std::remove(scratch.c_str());
    std::printf("%d entries, %d failed\n", entries, failures);
    return failures == 0 ? 0 : 1;
}
