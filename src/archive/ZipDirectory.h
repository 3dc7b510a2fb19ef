// Finds the ZIP end record at the end of a file and walks the central directory one entry at
// a time, through a window that holds the whole directory or slides over a large one.
#pragma once

#include "Types.h"

// One central-directory entry as the run uses it.
struct ZipEntry
{
    u32 DosDateTime;  // DOS time in the low half, date in the high half, local time
    u64 UncompressedSize;
    // Both lie within a program file, which is under 4 GiB.
    u32 CompressedSize;
    u32 LocalHeaderOffset;
    u32 Crc32;
    char Name[PathBufferSize];  // UTF-8, '\' separators
    u16 Method;
    u16 Attributes;  // DOS attribute bits, 0 unless made on a DOS host
    u16 Flags;
    // The name could not be had whole (invalid UTF-8 or OEM bytes, a null, or longer than a
    // path may be); Name holds what could be made of it.
    bool NameUnusable;
};

// The open walk; Window is null exactly while it is closed.
struct ArchiveReader
{
    u8* Window;
    u16 WindowLength;  // 64000 marks the sliding (windowed) mode
    u16 Cursor;
    ZipEntry Entry;
    u16 DataEnd;  // bytes of the window that hold data actually read
    // The entries the end records count, which the delivered ones must match under the mask:
    // all of them after a ZIP64 record, modulo 65536 after the 16-bit field, and none where
    // that field holds 0xFFFF with no ZIP64 record to tell more.
    u32 EntriesCounted;
    u32 CountMask;
    u32 EntriesDelivered;
    u32 Shift;  // added to every offset the archive states (see ArchiveOpen)
};

constexpr u16 ArchiveSlidingWindow = 64000;

// Results of opening and walking; a non-zero one leaves the file closed and nothing held.
//   ArchiveEntryReady        an entry is in the reader (the first one after the open)
//   ArchiveNotFound          unreadable, or no end record; or ZIP64 records that contradict
//                            each other, the end record or the file
//   ArchiveEndTooClose       end record too close to base for a directory before it
//   ArchiveDirectoryEnd      the directory's end after as many entries as it counts; from
//                            the open also a first record that is damaged or missing
//   ArchiveRecordTooLarge    a record larger than the sliding window: the walk cannot go on,
//                            though the directory is not complete
//   ArchiveDirectoryDamaged  a damaged or incomplete record before the end, the end after
//                            a number of entries other than the end record counts, or ZIP64
//                            values that the record's own fields do not call for
constexpr i32 ArchiveEntryReady = 0;
constexpr i32 ArchiveNotFound = -1;
constexpr i32 ArchiveEndTooClose = -2;
constexpr i32 ArchiveDirectoryEnd = 1;
constexpr i32 ArchiveRecordTooLarge = 2;
constexpr i32 ArchiveDirectoryDamaged = 3;

// Offsets in the archive count from base, or from the archive's own first byte where only
// that reading finds the directory; archiveLength 0 means up to the end of the file.
i32 ArchiveOpen(const char* path, ArchiveReader& reader, u32 base, u32 archiveLength);
// ArchiveEntryReady, ArchiveDirectoryEnd (also on a closed reader), ArchiveRecordTooLarge or
// ArchiveDirectoryDamaged.
i32 ArchiveNextEntry(ArchiveReader& reader);
void ArchiveClose(ArchiveReader& reader);
i32 ArchiveParseEntry(ArchiveReader& reader);

// The length of a signed program file up to its certificate table, where an archive of its
// own must end; 0 (the whole file) when it is no signed PE file. Archive bytes placed in or
// behind the signature are thus never found.
u32 ArchiveLengthBeforeSignature(const char* path);
