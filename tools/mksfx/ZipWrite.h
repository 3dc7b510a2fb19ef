// The records the packer writes: local headers with the real CRC-32 and sizes, central
// headers, and the end record. ZIP64 goes only where a value does not fit its field: an entry
// of 4 GiB or more gets the ZIP64 extra field, more than 65535 entries the ZIP64 end record
// and its locator; everything else keeps the plain records' bytes. Offsets count from the
// start of the output file, which stays under 4 GiB, so no offset ever needs ZIP64.
#pragma once

#include <string>
#include <vector>

#include "DosTime.h"
#include "archive/ZipFormat.h"

using ByteBuffer = std::vector<u8>;

// The fields of one entry, shared by its local and central header.
struct ZipRecord
{
    std::string Name;  // bytes as written
    u16 VersionMadeBy = ZipHostDos << 8 | ZipVersionDeflated;
    u16 VersionNeeded = ZipVersionStored;
    u16 Flags = 0;
    u16 Method = 0;
    u32 DosDateTime = 0;
    u32 Crc = 0;
    u64 CompressedSize = 0;
    u64 UncompressedSize = 0;
    u16 InternalAttributes = 0;
    u32 ExternalAttributes = 0;
    std::string LocalExtra;  // without a ZIP64 field: the writer adds it where needed
    std::string CentralExtra;
    std::string Comment;
    u32 LocalHeaderOffset = 0;
};

void AppendLocalHeader(ByteBuffer& out, const ZipRecord& record);
void AppendCentralHeader(ByteBuffer& out, const ZipRecord& record);
// The end record, with the ZIP64 end record and its locator in front where a value does not
// fit it; they go right behind the directory.
void AppendDirectoryEnd(ByteBuffer& out, u64 entries, u64 directorySize, u64 directoryOffset,
                        const std::string& comment);
bool NeedsZip64(const ZipRecord& record);
// What the end records take: 22 bytes and the comment, plus 76 with ZIP64.
u64 DirectoryEndLength(u64 entries, const std::string& comment);
u64 LocalHeaderLength(const ZipRecord& record);
u64 CentralHeaderLength(const ZipRecord& record);

// An extended-timestamp field with the modification time only (the same in both headers).
std::string ExtendedTimeField(u32 utcSeconds);
// The extra field without blocks of the given id; a field that does not parse is dropped whole.
std::string ExtraWithout(const std::string& extra, u16 id);
