// End-record search and central-directory walk. The window is the only heap block; in the
// sliding mode the archive's handle lives in the bytes behind it.
#include "archive/ZipDirectory.h"

#include "archive/ZipFormat.h"
#include "files/FileSystem.h"
#include "inflate/Crc32.h"
#include "platform/Memory.h"
#include "text/Text.h"

constexpr u16 SearchWindow = 4096;

static bool IsSliding(const ArchiveReader& reader)
{
    return reader.WindowLength == ArchiveSlidingWindow;
}

// The handle sits unaligned behind the window.
static u8* HandleSlot(const ArchiveReader& reader)
{
    return reader.Window + reader.WindowLength;
}

static void StoreHandle(const ArchiveReader& reader, HANDLE file)
{
    __builtin_memcpy(HandleSlot(reader), &file, sizeof file);
}

static HANDLE LoadHandle(const ArchiveReader& reader)
{
    HANDLE file = nullptr;
    __builtin_memcpy(&file, HandleSlot(reader), sizeof file);
    return file;
}

// Bytes read at position, 0 where it cannot be reached; FsLastError says whether it failed.
static u16 ReadAt(HANDLE file, i32 position, u8* buffer, u16 length)
{
    u16 got = 0;
    FsSeek(file, position, 0);
    if (FsLastError == 0)
        FsRead(file, buffer, length, got);
    return got;
}

// Whether the directory's first record starts at start and its local header lies where the
// record says, moved by shift.
static bool ShiftFits(HANDLE file, i32 base, u32 start, u32 shift)
{
    u8 first[CentralHeaderSize];
    u8 local[4];
    if (ReadAt(file, base + static_cast<i32>(start), first, CentralHeaderSize) !=
            CentralHeaderSize ||
        !ZipHasSignature(first, ZipCentralSignature))
        return false;
    u32 at = static_cast<u32>(base) + ZipRead32(first + CentralLocalHeaderOffset) + shift;
    return ReadAt(file, static_cast<i32>(at), local, 4) == 4 &&
           ZipHasSignature(local, ZipLocalSignature);
}

// Archive position of the last end-record signature that has room for a whole record, or -1.
static i32 FindEndRecord(HANDLE file, i32 base, i32 length, u32& directoryOffset,
                         u32& directorySize, u16& totalEntries)
{
    u16 windowLength = length > SearchWindow ? SearchWindow : static_cast<u16>(length);
    i32 start = length - windowLength;
    auto* window = static_cast<u8*>(MemAlloc(windowLength));
    for (;;) {
        if (ReadAt(file, base + start, window, windowLength) != windowLength)
            break;
        for (i32 at = windowLength - EndRecordSize; at >= 0; --at) {
            const u8* p = window + at;
            if (ZipHasSignature(p, ZipEndSignature)) {
                directoryOffset = ZipRead32(p + EndDirectoryOffset);
                directorySize = ZipRead32(p + EndDirectorySize);
                totalEntries = ZipRead16(p + EndTotalEntries);
                MemFree(window);
                return start + at;
            }
        }
        if (start == 0)
            break;
        // Overlap by one record's length so no complete record is missed.
        start -= windowLength - EndRecordSize;
        if (start < 0)
            start = 0;
    }
    MemFree(window);
    return -1;
}

i32 ArchiveOpen(const char* path, ArchiveReader& reader, i32 base, i32 archiveLength)
{
    reader = ArchiveReader{};
    HANDLE file = FsOpenRead(path, FsModeRead);
    if (FsLastError != 0)
        return ArchiveNotFound;
    i32 length = archiveLength > 0 ? archiveLength : FsSize(file);
    u32 directoryOffset = 0;
    u32 directorySize = 0;
    i32 endRecord = length > 0 ? FindEndRecord(file, base, length, directoryOffset, directorySize,
                                               reader.EntriesCounted)
                               : -1;
    if (endRecord < 0) {
        FsClose(file);
        return ArchiveNotFound;
    }
    if (endRecord < CentralHeaderSize) {
        FsClose(file);
        return ArchiveEndTooClose;
    }
    // An offset past the end record leaves no directory to read.
    if (directoryOffset > static_cast<u32>(endRecord)) {
        FsClose(file);
        return ArchiveDirectoryEnd;
    }
    u32 directoryLength = static_cast<u32>(endRecord) - directoryOffset + 4;
    bool sliding = directoryLength >= ArchiveSlidingWindow;
    u16 windowLength = sliding ? ArchiveSlidingWindow : static_cast<u16>(directoryLength);
    u32 allocation = windowLength + (sliding ? u32{sizeof(HANDLE)} : 0u);
    reader.Window = static_cast<u8*>(MemAlloc(allocation));
    reader.WindowLength = windowLength;
    // An archive put behind the program as it is (cat, copy /b) counts its offsets from its own
    // first byte. Where the stated offset holds no directory but the place right before the
    // end record does, and the first entry's local header lies where that shift puts it, every
    // offset is read shifted; otherwise the archive is read as stated, as before.
    u16 got = ReadAt(file, base + static_cast<i32>(directoryOffset), reader.Window, windowLength);
    u32 directoryStart = static_cast<u32>(endRecord) - directorySize;
    if (FsLastError == 0 && got >= 4 && !ZipHasSignature(reader.Window, ZipCentralSignature) &&
        directorySize <= static_cast<u32>(endRecord) && directoryStart > directoryOffset) {
        u32 shift = directoryStart - directoryOffset;
        bool shifted = ShiftFits(file, base, directoryStart, shift);
        reader.Shift = shifted ? shift : 0;
        // Read again, so that a sliding window goes on from the file's position.
        got = ReadAt(file, base + static_cast<i32>(shifted ? directoryStart : directoryOffset),
                     reader.Window, windowLength);
    }
    if (FsLastError != 0) {
        MemFree(reader.Window);
        reader.Window = nullptr;
        FsClose(file);
        return ArchiveNotFound;
    }
    // A short read leaves the rest of the window unread; the parser never looks past it.
    reader.DataEnd = got;
    if (sliding)
        StoreHandle(reader, file);
    else
        FsClose(file);
    i32 result = ArchiveParseEntry(reader);
    if (result != ArchiveEntryReady)
        ArchiveClose(reader);
    // Without a first entry there is nothing to tell a damaged directory from an empty one.
    return result == ArchiveDirectoryDamaged ? ArchiveDirectoryEnd : result;
}

// Moves the unread rest to the window's start and reads behind it; a failed read adds nothing.
static void Refill(ArchiveReader& reader)
{
    u16 keep = static_cast<u16>(reader.DataEnd - reader.Cursor);
    u8* window = reader.Window;
    for (u16 i = 0; i < keep; ++i)
        window[i] = window[reader.Cursor + i];
    u16 got = 0;
    FsRead(LoadHandle(reader), window + keep, static_cast<u16>(reader.WindowLength - keep), got);
    reader.Cursor = 0;
    reader.DataEnd = static_cast<u16>(keep + got);
}

static u32 RecordLength(const u8* record)
{
    return CentralHeaderSize + static_cast<u32>(ZipRead16(record + CentralNameLength)) +
           ZipRead16(record + CentralExtraLength) + ZipRead16(record + CentralCommentLength);
}

static bool HoldsRecord(const ArchiveReader& reader)
{
    u32 p = reader.Cursor;
    return p + CentralHeaderSize <= reader.DataEnd &&
           p + RecordLength(reader.Window + p) <= reader.DataEnd;
}

// A record that a full sliding window cannot hold: not the directory's end, but entries the
// walk cannot reach, which must not pass for a complete directory.
static bool IsTooLargeForWindow(const ArchiveReader& reader)
{
    u32 p = reader.Cursor;
    const u8* record = reader.Window + p;
    return IsSliding(reader) && p + CentralHeaderSize <= reader.DataEnd &&
           ZipHasSignature(record, ZipCentralSignature) &&
           RecordLength(record) > reader.WindowLength;
}

// The Unicode path field (0x7075) of Info-ZIP: version 1, the CRC-32 of the name it stands
// for, then that name in UTF-8. Null unless it is there and belongs to this name.
static const u8* UnicodePathOf(const u8* record, u32& length)
{
    u16 nameLength = ZipRead16(record + CentralNameLength);
    const u8* name = record + CentralHeaderSize;
    const u8* extra = name + nameLength;
    u32 remaining = ZipRead16(record + CentralExtraLength);
    while (remaining >= ExtraHeaderSize) {
        u16 id = ZipRead16(extra);
        u16 size = ZipRead16(extra + 2);
        if (size > remaining - ExtraHeaderSize)
            return nullptr;
        if (id == ExtraUnicodePath && size > 5 && extra[4] == 1) {
            u32 crc = 0xFFFFFFFF;
            AddToCrc(name, nameLength, crc);
            if (~crc != ZipRead32(extra + 5))
                return nullptr;
            length = size - 5u;
            return extra + 9;
        }
        extra += ExtraHeaderSize + size;
        remaining -= ExtraHeaderSize + size;
    }
    return nullptr;
}

static SFX_PER_THREAD WCHAR WideName[WidePathLimit + 1];

// A name in the given code page to UTF-8 through UTF-16: a byte sequence the code page does
// not define, a null, or a name longer than a path may be makes the name unusable rather than
// another name.
static bool NameFrom(UINT codePage, char* name, const u8* text, u32 length)
{
    int wideLength = length == 0
                         ? 0
                         : MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS,
                                               reinterpret_cast<const char*>(text),
                                               static_cast<int>(length), WideName, WidePathLimit);
    int nameLength = wideLength <= 0 ? 0
                                     : WideCharToMultiByte(CP_UTF8, 0, WideName, wideLength, name,
                                                           PathLimit, nullptr, nullptr);
    name[nameLength > 0 ? nameLength : 0] = 0;
    // A null inside would cut the name to another one.
    return length == 0 || (nameLength > 0 && TextLength(name) == static_cast<u32>(nameLength));
}

i32 ArchiveParseEntry(ArchiveReader& reader)
{
    if (IsSliding(reader) && !HoldsRecord(reader))
        Refill(reader);
    u32 p = reader.Cursor;
    u8* record = reader.Window + p;
    // The end record, or the ZIP64 end record in front of it, closes the directory; whole only
    // after as many entries as the end record counts, which 0xFFFF leaves to the ZIP64 record.
    if (p + 4 <= reader.DataEnd &&
        (ZipHasSignature(record, ZipEndSignature) || ZipHasSignature(record, Zip64EndSignature)))
        return reader.EntriesCounted == 0xFFFF || reader.EntriesDelivered == reader.EntriesCounted
                   ? ArchiveDirectoryEnd
                   : ArchiveDirectoryDamaged;
    if (IsTooLargeForWindow(reader))
        return ArchiveRecordTooLarge;
    if (!HoldsRecord(reader) || !ZipHasSignature(record, ZipCentralSignature))
        return ArchiveDirectoryDamaged;

    ZipEntry& entry = reader.Entry;
    entry.DosDateTime = ZipRead32(record + CentralDateTime);
    entry.UncompressedSize = ZipRead32(record + CentralUncompressedSize);
    entry.CompressedSize = ZipRead32(record + CentralCompressedSize);
    entry.LocalHeaderOffset = ZipRead32(record + CentralLocalHeaderOffset) + reader.Shift;
    entry.Crc32 = ZipRead32(record + CentralCrc);
    entry.Method = ZipRead16(record + CentralMethod);
    entry.Flags = ZipRead16(record + CentralFlags);
    entry.Attributes = record[CentralHostSystem] == 0 ? record[CentralExternalAttributes] : 0;

    // A name flagged as UTF-8, or one with a Unicode path field that belongs to it, is
    // converted from UTF-8; every other name from the OEM code page.
    u32 nameLength = ZipRead16(record + CentralNameLength);
    const u8* name = record + CentralHeaderSize;
    UINT codePage = CP_UTF8;
    if ((entry.Flags & ZipFlagUtf8) == 0) {
        const u8* unicodePath = UnicodePathOf(record, nameLength);
        if (unicodePath != nullptr)
            name = unicodePath;
        else
            codePage = CP_OEMCP;
    }
    entry.NameUnusable = !NameFrom(codePage, entry.Name, name, nameLength);
    // No byte of a UTF-8 character but '/' has its value.
    for (char* slash = TextFindChar(entry.Name, '/'); slash != nullptr;
         slash = TextFindChar(slash, '/'))
        *slash = '\\';

    reader.Cursor = static_cast<u16>(p + RecordLength(record));
    ++reader.EntriesDelivered;
    return ArchiveEntryReady;
}

i32 ArchiveNextEntry(ArchiveReader& reader)
{
    if (reader.Window == nullptr)
        return ArchiveDirectoryEnd;
    i32 result = ArchiveParseEntry(reader);
    if (result != ArchiveEntryReady)
        ArchiveClose(reader);
    return result;
}

void ArchiveClose(ArchiveReader& reader)
{
    if (reader.Window == nullptr)
        return;
    if (IsSliding(reader)) {
        HANDLE file = LoadHandle(reader);
        if (file != INVALID_HANDLE_VALUE)
            FsClose(file);
    }
    MemFree(reader.Window);
    reader.Window = nullptr;
}

// PE32 layout: the offset of the PE signature at 0x3C of the DOS header; the optional header
// 24 bytes behind the signature, its data directories 96 bytes into it, and the security
// directory, whose address is a file offset, fifth among them.
constexpr u16 PeOffsetField = 0x3C;
constexpr u32 PeSignature = 0x00004550;  // "PE" 0 0
constexpr u16 Pe32Magic = 0x10B;
constexpr u16 PeSecurityDirectory = 24 + 96 + 4 * 8;

i32 ArchiveLengthBeforeSignature(const char* path)
{
    HANDLE file = FsOpenRead(path, FsModeRead);
    if (FsLastError != 0)
        return 0;
    u8 header[PeSecurityDirectory + 8];
    u16 got = 0;
    FsRead(file, header, 64, got);
    i32 length = 0;
    if (FsLastError == 0 && got == 64 && header[0] == 'M' && header[1] == 'Z') {
        FsSeek(file, static_cast<i32>(ZipRead32(header + PeOffsetField)), FILE_BEGIN);
        if (FsLastError == 0)
            FsRead(file, header, sizeof header, got);
        u32 table = ZipRead32(header + PeSecurityDirectory);
        u32 tableSize = ZipRead32(header + PeSecurityDirectory + 4);
        i32 fileSize = FsSize(file);
        if (FsLastError == 0 && got == sizeof header && ZipRead32(header) == PeSignature &&
            ZipRead16(header + 24) == Pe32Magic && table != 0 && tableSize != 0 &&
            table <= static_cast<u32>(fileSize))
            length = static_cast<i32>(table);
    }
    FsClose(file);
    return length;
}
