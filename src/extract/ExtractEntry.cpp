// Single-entry extraction. The window is this call's own; the archive handle may be closed by
// the engine after a failed read, and is then marked closed so no close happens twice.
#include "extract/ExtractEntry.h"

#include "archive/ZipFormat.h"
#include "files/FileSystem.h"
#include "inflate/Inflate.h"
#include "inflate/InflateState.h"
#include "platform/Memory.h"
#include "text/Text.h"

constexpr u32 CrcNotChecked = 0xFFFFFFFF;

void EntryBegin(const char* archivePath)
{
    InflateState.AbortFlag = false;
    InflateState.Window = static_cast<u8*>(MemAlloc(WindowSize));
    for (u32 i = 0; i < WindowSize; ++i)
        InflateState.Window[i] = 0;
    TextCopyMax(InflateState.ArchivePath, archivePath, PathLimit);
    InflateState.ArchiveFile = INVALID_HANDLE_VALUE;
}

void EntryEnd()
{
    CloseArchiveFile();
    MemFree(InflateState.Window);
    InflateState.Window = nullptr;
}

i32 EntryOpenArchive()
{
    InflateState.ArchiveFile = FsOpenRead(InflateState.ArchivePath, FsModeRead);
    return FsLastError != 0 ? ResultReadFailed : ResultOk;
}

// Where the local header leaves out what the directory holds: sizes in its ZIP64 field, which
// the directory's own ZIP64 field or 32-bit field repeats, or a stored entry written to a
// stream with its size in a descriptor.
static void ResolveSizes(EntryHeader& header, const ZipEntry& directoryEntry)
{
    if (header.CompressedSize == ZipAllOnes32)
        header.CompressedSize = directoryEntry.CompressedSize;
    if ((header.Flags & ZipFlagDescriptor) == 0)
        return;
    if (header.Method != ZipMethodStored &&
        (header.ExpectedCrc == 0 || header.CompressedSize == 0)) {
        header.CompressedSize = UnknownCompressedSize;
        header.ExpectedCrc = 0;
    } else if (header.Method == ZipMethodStored && header.CompressedSize == 0) {
        header.CompressedSize = directoryEntry.CompressedSize;
        header.ExpectedCrc = directoryEntry.Crc32;
    }
}

i32 EntryReadHeader(u32 localHeaderPosition, const ZipEntry& directoryEntry, EntryHeader& header)
{
    HANDLE archive = InflateState.ArchiveFile;
    u16 got = 0;
    FsSeek(archive, localHeaderPosition);
    if (FsLastError == 0)
        FsRead(archive, InflateState.InputBuffer, LocalHeaderSize, got);
    const u8* h = InflateState.InputBuffer;
    if (FsLastError != 0 || got != LocalHeaderSize || !ZipHasSignature(h, ZipLocalSignature)) {
        CloseArchiveFile();
        return ResultBadData;
    }
    header.DataPosition = localHeaderPosition + LocalHeaderSize +
                          ZipRead16(h + LocalHeaderNameLength) +
                          ZipRead16(h + LocalHeaderExtraLength);
    header.Stamp = ZipRead32(h + LocalHeaderDateTime);
    header.Flags = ZipRead16(h + LocalHeaderFlags);
    header.CompressedSize = ZipRead32(h + LocalHeaderCompressedSize);
    header.ExpectedCrc = ZipRead32(h + LocalHeaderCrc);
    header.Method = ZipRead16(h + LocalHeaderMethod);
    InflateState.LocalHeaderFlags = header.Flags;
    ResolveSizes(header, directoryEntry);
    i32 refusal = ResultOk;
    if (header.Method != ZipMethodStored && header.Method != ZipMethodDeflated)
        refusal = ResultUnsupported;
    else if ((header.Flags & ZipFlagEncrypted) != 0)
        refusal = ResultEncrypted;
    if (refusal == ResultOk) {
        FsSeek(archive, header.DataPosition);
        if (FsLastError != 0)
            refusal = ResultBadData;
    }
    if (refusal != ResultOk)
        CloseArchiveFile();
    return refusal;
}

void EntryPrepareTransfer(u32 compressedSize, HANDLE target, HWND progressWindow,
                          i16 progressCommandId)
{
    InflateState.CompressedSize = compressedSize;
    InflateState.BytesRead = 0;
    InflateState.TargetFile = target;
    InflateState.InputExhausted = false;
    InflateState.ProgressWindow = progressWindow;
    InflateState.ProgressCommandId = progressCommandId;
    // A click queued before this entry is handled now; a cancel request made earlier comes
    // back as an abort at the 0 % below.
    ServiceMessages();
    InflateState.LastPercentage = 0;
    if (progressWindow != nullptr)
        SendMessageA(progressWindow, WM_COMMAND,
                     static_cast<WPARAM>(static_cast<LPARAM>(progressCommandId)), 0);
    InflateState.CrcAccumulator = 0xFFFFFFFF;
}

i32 EntryTransfer(u16 method)
{
    return method == ZipMethodStored ? CopyStoredEntry() : InflateEntry();
}

static u32 ReadBits32()
{
    EnsureBits(16);
    u32 low = InflateState.BitBuffer & 0xFFFF;
    SkipBits(16);
    EnsureBits(16);
    u32 high = InflateState.BitBuffer & 0xFFFF;
    SkipBits(16);
    return low | high << 16;
}

// The descriptor's signature is optional: without it the first four bytes are the CRC-32.
static u32 DeflatedDescriptorCrc()
{
    SkipBits(static_cast<u8>(InflateState.BitCount & 7));
    u32 first = ReadBits32();
    return first == ZipDescriptorSignature ? ReadBits32() : first;
}

// A stored copy leaves the archive right behind the data, where the descriptor starts.
static u32 StoredDescriptorCrc(u32 fallback)
{
    if (InflateState.ArchiveFile == INVALID_HANDLE_VALUE)
        return fallback;
    u8 bytes[8];
    u16 got = 0;
    FsRead(InflateState.ArchiveFile, bytes, sizeof bytes, got);
    if (FsLastError != 0 || got < 4)
        return fallback;
    if (!ZipHasSignature(bytes, ZipDescriptorSignature))
        return ZipRead32(bytes);
    return got == sizeof bytes ? ZipRead32(bytes + 4) : fallback;
}

u32 EntryExpectedCrc(i32 transferResult, const EntryHeader& header)
{
    if (transferResult != ResultOk || (header.Flags & ZipFlagDescriptor) == 0)
        return header.ExpectedCrc;
    bool deferred = header.ExpectedCrc == 0 && header.Method != ZipMethodStored;
    if (!deferred && ~InflateState.CrcAccumulator == header.ExpectedCrc)
        return header.ExpectedCrc;
    return header.Method == ZipMethodStored ? StoredDescriptorCrc(header.ExpectedCrc)
                                            : DeflatedDescriptorCrc();
}

static bool EndsInBackslash(const char* path)
{
    const char* end = TextEnd(path);
    return end != path && end[-1] == '\\';
}

// Sets the stamp once more through a handle that may set it, if closing changed it.
static void RepairStamp(const char* path, DosDateTime stamp)
{
    HANDLE file = FsOpenHandle(path, 0, OPEN_EXISTING, FsModeReadWrite);
    if (FsLastError != 0)
        return;
    if (FsGetTime(file) != stamp)
        FsSetTime(file, stamp);
    FsClose(file);
}

// The target as a directory or a file. A directory path with no room left for its '\' is
// refused rather than taken for a file of that name.
static bool MakeTargetPath(char* path, const char* targetPath, u16 attributes)
{
    TextCopyMax(path, targetPath, PathLimit);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || path[0] == 0 || EndsInBackslash(path))
        return true;
    if (TextLength(path) >= PathLimit)
        return false;
    TextAppend(path, "\\");
    return true;
}

i32 ExtractEntry(const char* archivePath, const char* targetPath, u16 attributes,
                 u32 localHeaderPosition, HWND progressWindow, i16 progressCommandId,
                 const ZipEntry& directoryEntry)
{
    EntryBegin(archivePath);
    EntryHeader header{};
    i32 result = EntryOpenArchive();
    if (result == ResultOk)
        result = EntryReadHeader(localHeaderPosition, directoryEntry, header);
    char path[PathBufferSize];
    if (result == ResultOk && !MakeTargetPath(path, targetPath, attributes))
        result = ResultWriteFailed;
    if (result != ResultOk) {
        EntryEnd();
        return result;
    }
    bool isDirectory = EndsInBackslash(path);
    // A folder's entry has no room for data: data there would vanish without a word.
    if (isDirectory && directoryEntry.UncompressedSize != 0) {
        EntryEnd();
        return ResultWriteFailed;
    }
    HANDLE target = FsCreatePath(path, isDirectory);
    if (isDirectory || FsLastError != 0 || target == INVALID_HANDLE_VALUE) {
        EntryEnd();
        // A folder that is not there afterwards (a file of its name is in the way) could not
        // be written, however its creation ended.
        if (!isDirectory || !FsDirExists(path))
            return ResultWriteFailed;
        FsSetAttributes(path, attributes);
        return ResultOk;
    }

    EntryPrepareTransfer(header.CompressedSize, target, progressWindow, progressCommandId);
    result = EntryTransfer(header.Method);
    u32 expected = EntryExpectedCrc(result, header);
    u32 crc = ~InflateState.CrcAccumulator;
    CloseArchiveFile();
    FsSetTime(target, header.Stamp);
    FsClose(target);
    InflateState.TargetFile = INVALID_HANDLE_VALUE;
    if (result == ResultOk && expected != crc && expected != CrcNotChecked)
        result = ResultCheckFailed;
    if (result != ResultOk) {
        FsDelete(path);
        EntryEnd();
        return result;
    }
    InflateState.LastPercentage = 100;
    if (progressWindow != nullptr)
        SendMessageA(progressWindow, WM_COMMAND,
                     static_cast<WPARAM>(static_cast<LPARAM>(progressCommandId)), 100);
    RepairStamp(path, header.Stamp);
    FsSetAttributes(path, attributes);
    EntryEnd();
    return ResultOk;
}
