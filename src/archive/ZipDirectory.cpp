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
static u16 ReadAt(HANDLE file, u32 position, u8* buffer, u16 length)
{
    u16 got = 0;
    FsSeek(file, position);
    if (FsLastError == 0)
        FsRead(file, buffer, length, got);
    return got;
}

// Whether the directory's first record starts at start and its local header lies where the
// record says, moved by shift.
static bool ShiftFits(HANDLE file, u32 base, u32 start, u32 shift)
{
    u8 first[CentralHeaderSize];
    u8 local[4];
    if (ReadAt(file, base + start, first, CentralHeaderSize) != CentralHeaderSize ||
        !ZipHasSignature(first, ZipCentralSignature))
        return false;
    u32 at = base + ZipRead32(first + CentralLocalHeaderOffset) + shift;
    return ReadAt(file, at, local, 4) == 4 && ZipHasSignature(local, ZipLocalSignature);
}

// What the end records say of the directory.
struct DirectoryPlace
{
    u32 Offset;
    u32 Size;
    u32 End;          // archive position of the record behind the directory
    u32 Zip64Stated;  // the locator's offset of the ZIP64 record, where there is one
};

// Whether there is an end record: the last signature that has room for a whole record, whose
// archive position goes to place.End.
static bool FindEndRecord(HANDLE file, u32 base, u32 length, DirectoryPlace& place,
                          ArchiveReader& reader)
{
    u16 windowLength = length > SearchWindow ? SearchWindow : static_cast<u16>(length);
    u32 start = length - windowLength;
    auto* window = static_cast<u8*>(MemAlloc(windowLength));
    for (;;) {
        if (ReadAt(file, base + start, window, windowLength) != windowLength)
            break;
        for (i32 at = windowLength - EndRecordSize; at >= 0; --at) {
            const u8* p = window + at;
            if (ZipHasSignature(p, ZipEndSignature)) {
                place.Offset = ZipRead32(p + EndDirectoryOffset);
                place.Size = ZipRead32(p + EndDirectorySize);
                u16 entries = ZipRead16(p + EndTotalEntries);
                reader.CountMask = entries == ZipAllOnes16 ? 0 : ZipAllOnes16;
                reader.EntriesCounted = entries & reader.CountMask;
                place.End = start + static_cast<u32>(at);
                MemFree(window);
                return true;
            }
        }
        if (start == 0)
            break;
        // Overlap by one record's length so no complete record is missed.
        u32 step = windowLength - EndRecordSize;
        start = start > step ? start - step : 0;
    }
    MemFree(window);
    return false;
}

// Where a field of the end record is all ones and the ZIP64 locator lies right in front of
// it, the ZIP64 record in front of the locator holds the directory's place and count. False
// where that record is missing, says otherwise than a field of the end record that is not all
// ones, holds a value past 32 bits, or counts more entries than its directory has room for.
static bool ReadZip64End(HANDLE file, u32 base, DirectoryPlace& place, ArchiveReader& reader)
{
    u32 endRecord = place.End;
    constexpr u32 Zip64Records = Zip64EndSize + Zip64LocatorSize;
    if (reader.CountMask != 0 && place.Size != ZipAllOnes32 && place.Offset != ZipAllOnes32)
        return true;
    u8 records[Zip64Records];
    const u8* locator = records + Zip64EndSize;
    if (endRecord < Zip64Records ||
        ReadAt(file, base + endRecord - Zip64Records, records, Zip64Records) != Zip64Records ||
        !ZipHasSignature(locator, Zip64LocatorSignature))
        return true;
    u32 entries = ZipRead32(records + Zip64EndTotalEntries);
    u32 size = ZipRead32(records + Zip64EndDirectorySize);
    u32 offset = ZipRead32(records + Zip64EndDirectoryOffset);
    u32 highParts = ZipRead32(records + Zip64EndRecordLength + 4) |
                    ZipRead32(records + Zip64EndTotalEntries + 4) |
                    ZipRead32(records + Zip64EndDirectorySize + 4) |
                    ZipRead32(records + Zip64EndDirectoryOffset + 4) |
                    ZipRead32(locator + Zip64LocatorEndOffset + 4);
    bool agrees = (reader.CountMask == 0 || reader.EntriesCounted == entries) &&
                  (place.Size == ZipAllOnes32 || place.Size == size) &&
                  (place.Offset == ZipAllOnes32 || place.Offset == offset);
    place.Offset = offset;
    place.Size = size;
    place.End = endRecord - Zip64Records;
    place.Zip64Stated = ZipRead32(locator + Zip64LocatorEndOffset);
    reader.EntriesCounted = entries;
    reader.CountMask = ZipAllOnes32;
    return ZipHasSignature(records, Zip64EndSignature) && highParts == 0 &&
           ZipRead32(records + Zip64EndRecordLength) == Zip64EndSize - 12 && agrees &&
           entries <= size / CentralHeaderSize;
}

i32 ArchiveOpen(const char* path, ArchiveReader& reader, u32 base, u32 archiveLength)
{
    reader = ArchiveReader{};
    HANDLE file = FsOpenRead(path, FsModeRead);
    if (FsLastError != 0)
        return ArchiveNotFound;
    u32 length = archiveLength > 0 ? archiveLength : FsSize(file);
    DirectoryPlace place{};
    if (length == 0 || !FindEndRecord(file, base, length, place, reader) ||
        !ReadZip64End(file, base, place, reader)) {
        FsClose(file);
        return ArchiveNotFound;
    }
    if (place.End < CentralHeaderSize) {
        FsClose(file);
        return ArchiveEndTooClose;
    }
    // An offset past the end record leaves no directory to read.
    u32 directoryOffset = place.Offset;
    if (directoryOffset > place.End) {
        FsClose(file);
        return ArchiveDirectoryEnd;
    }
    u32 directoryLength = place.End - directoryOffset + 4;
    bool sliding = directoryLength >= ArchiveSlidingWindow;
    u16 windowLength = sliding ? ArchiveSlidingWindow : static_cast<u16>(directoryLength);
    u32 allocation = windowLength + (sliding ? u32{sizeof(HANDLE)} : 0u);
    reader.Window = static_cast<u8*>(MemAlloc(allocation));
    reader.WindowLength = windowLength;
    // An archive put behind the program as it is (cat, copy /b) counts its offsets from its own
    // first byte. Where the stated offset holds no directory but the place right before the
    // end record does, and the first entry's local header lies where that shift puts it, every
    // offset is read shifted; otherwise the archive is read as stated, as before.
    u16 got = ReadAt(file, base + directoryOffset, reader.Window, windowLength);
    u32 directoryStart = place.End - place.Size;
    if (FsLastError == 0 && got >= 4 && !ZipHasSignature(reader.Window, ZipCentralSignature) &&
        place.Size <= place.End && directoryStart > directoryOffset) {
        u32 shift = directoryStart - directoryOffset;
        bool shifted = ShiftFits(file, base, directoryStart, shift);
        reader.Shift = shifted ? shift : 0;
        // Read again, so that a sliding window goes on from the file's position.
        got = ReadAt(file, base + (shifted ? directoryStart : directoryOffset), reader.Window,
                     windowLength);
    }
    // The locator must point at the ZIP64 record it stands behind, shifted as the rest.
    bool misplaced =
        reader.CountMask == ZipAllOnes32 && place.Zip64Stated + reader.Shift != place.End;
    if (FsLastError != 0 || misplaced) {
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

// The data of the record's extra block of the given id and its length; null where there is
// none, or where the blocks before it do not parse.
static const u8* ExtraBlock(const u8* record, u16 wanted, u32& length)
{
    const u8* extra = record + CentralHeaderSize + ZipRead16(record + CentralNameLength);
    u32 remaining = ZipRead16(record + CentralExtraLength);
    while (remaining >= ExtraHeaderSize) {
        u16 size = ZipRead16(extra + 2);
        if (size > remaining - ExtraHeaderSize)
            return nullptr;
        if (ZipRead16(extra) == wanted) {
            length = size;
            return extra + ExtraHeaderSize;
        }
        extra += ExtraHeaderSize + size;
        remaining -= ExtraHeaderSize + size;
    }
    return nullptr;
}

// The Unicode path block (0x7075) of Info-ZIP: version 1, the CRC-32 of the name it stands
// for, then that name in UTF-8. Null unless it is there and belongs to this name.
static const u8* UnicodePathOf(const u8* record, u32& length)
{
    u32 size = 0;
    const u8* block = ExtraBlock(record, ExtraUnicodePath, size);
    if (block == nullptr || size <= 5 || block[0] != 1)
        return nullptr;
    u32 crc = 0xFFFFFFFF;
    AddToCrc(record + CentralHeaderSize, length, crc);
    if (~crc != ZipRead32(block + 1))
        return nullptr;
    length = size - 5;
    return block + 5;
}

// Where the record has a ZIP64 block, each size or offset field of all ones takes its value
// from it, in the block's order, and the block holds those values and no more; without one,
// every field is what it says, as in any archive before ZIP64. False for values that
// contradict the record: one missing, one too many, a compressed size or an offset past 32
// bits.
static bool ReadZip64Values(const u8* record, ZipEntry& entry)
{
    constexpr u8 Fields[3] = {CentralUncompressedSize, CentralCompressedSize,
                              CentralLocalHeaderOffset};
    u32 length = 0;
    const u8* block = ExtraBlock(record, ExtraZip64, length);
    u32 used = 0;
    u32 values[3][2];
    for (u32 i = 0; i < 3; ++i) {
        values[i][0] = ZipRead32(record + Fields[i]);
        values[i][1] = 0;
        if (values[i][0] == ZipAllOnes32 && block != nullptr) {
            if (used + 8 > length)
                return false;
            values[i][0] = ZipRead32(block + used);
            values[i][1] = ZipRead32(block + used + 4);
            used += 8;
        }
    }
    entry.UncompressedSize = values[0][0] | u64{values[0][1]} << 32;
    entry.CompressedSize = values[1][0];
    entry.LocalHeaderOffset = values[2][0];
    return used == length && (values[1][1] | values[2][1]) == 0;
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
    // after as many entries as the end records count.
    if (p + 4 <= reader.DataEnd &&
        (ZipHasSignature(record, ZipEndSignature) || ZipHasSignature(record, Zip64EndSignature)))
        return (reader.EntriesDelivered & reader.CountMask) == reader.EntriesCounted
                   ? ArchiveDirectoryEnd
                   : ArchiveDirectoryDamaged;
    if (IsTooLargeForWindow(reader))
        return ArchiveRecordTooLarge;
    if (!HoldsRecord(reader) || !ZipHasSignature(record, ZipCentralSignature))
        return ArchiveDirectoryDamaged;

    ZipEntry& entry = reader.Entry;
    if (!ReadZip64Values(record, entry))
        return ArchiveDirectoryDamaged;
    entry.LocalHeaderOffset += reader.Shift;
    entry.DosDateTime = ZipRead32(record + CentralDateTime);
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

u32 ArchiveLengthBeforeSignature(const char* path)
{
    HANDLE file = FsOpenRead(path, FsModeRead);
    if (FsLastError != 0)
        return 0;
    u8 header[PeSecurityDirectory + 8];
    u16 got = 0;
    FsRead(file, header, 64, got);
    u32 length = 0;
    if (FsLastError == 0 && got == 64 && header[0] == 'M' && header[1] == 'Z') {
        FsSeek(file, ZipRead32(header + PeOffsetField));
        if (FsLastError == 0)
            FsRead(file, header, sizeof header, got);
        u32 table = ZipRead32(header + PeSecurityDirectory);
        u32 tableSize = ZipRead32(header + PeSecurityDirectory + 4);
        u32 fileSize = FsSize(file);
        if (FsLastError == 0 && got == sizeof header && ZipRead32(header) == PeSignature &&
            ZipRead16(header + 24) == Pe32Magic && table != 0 && tableSize != 0 &&
            table <= fileSize)
            length = table;
    }
    FsClose(file);
    return length;
}
