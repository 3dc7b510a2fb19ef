// Extraction of one entry to one target path: the local header, the target file or directory,
// the transfer through the engine, the CRC-32, the time and the attributes. A target whose
// extraction failed is deleted. Shows nothing: the run turns the result into a message.
#pragma once

#include "Types.h"
#include "archive/ZipDirectory.h"
#include "files/FileInfo.h"
#include "platform/win32.h"

// The compressed size taken when a deflated entry's header defers to a data descriptor: the
// decoder's last block, not the size, then ends the entry. No entry in a program file, which
// is under 4 GiB, is as large.
constexpr u32 UnknownCompressedSize = 0xFFFFFFFF - 100;

// What the local header says, with the directory's values where the header defers to them.
struct EntryHeader
{
    DosDateTime Stamp;
    u16 Flags;
    u16 Method;
    u32 ExpectedCrc;
    u32 CompressedSize;
    u32 DataPosition;
};

// The directory entry supplies the sizes and CRC-32 that some local headers leave out.
i32 ExtractEntry(const char* archivePath, const char* targetPath, u16 attributes,
                 u32 localHeaderPosition, HWND progressWindow, i16 progressCommandId,
                 const ZipEntry& directoryEntry);

// The steps of ExtractEntry on their own, so that the tools and tests drive the engine exactly
// as the stub does. EntryBegin clears the abort flag, takes the zero-filled window and notes
// the archive's path; EntryEnd closes the archive if it is still open and frees the window.
void EntryBegin(const char* archivePath);
void EntryEnd();
// Opens the noted archive: 0, or 3 when it cannot be opened.
i32 EntryOpenArchive();
// Reads and checks the local header and positions the archive at the entry's data: 0, or 4
// (header unreachable or bad), 6 (method) or 7 (encrypted) with the archive closed.
i32 EntryReadHeader(u32 localHeaderPosition, const ZipEntry& directoryEntry, EntryHeader& header);
// Readies the engine's state for a transfer into target, and sends the entry's 0 %.
void EntryPrepareTransfer(u32 compressedSize, HANDLE target, HWND progressWindow,
                          i16 progressCommandId);
// The stored copy or the decoder: an entry result code.
i32 EntryTransfer(u16 method);
// The CRC-32 the written data must have: the header's, or after a successful transfer the data
// descriptor's where the header defers to it or disagrees.
u32 EntryExpectedCrc(i32 transferResult, const EntryHeader& header);
