// The records the packer writes: plain local headers with the real CRC-32 and sizes, central
// headers, and a 32-bit end record. Offsets count from the start of the output file.
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
    u32 CompressedSize = 0;
    u32 UncompressedSize = 0;
    u16 InternalAttributes = 0;
    u32 ExternalAttributes = 0;
    std::string LocalExtra;
    std::string CentralExtra;
    std::string Comment;
    u32 LocalHeaderOffset = 0;
};

void AppendLocalHeader(ByteBuffer& out, const ZipRecord& record);
void AppendCentralHeader(ByteBuffer& out, const ZipRecord& record);
void AppendEndRecord(ByteBuffer& out, u16 entries, u32 directorySize, u32 directoryOffset,
                     const std::string& comment);
u64 LocalHeaderLength(const ZipRecord& record);
u64 CentralHeaderLength(const ZipRecord& record);

// An extended-timestamp field with the modification time only (the same in both headers).
std::string ExtendedTimeField(u32 utcSeconds);
// The extra field without blocks of the given id; a field that does not parse is dropped whole.
std::string ExtraWithout(const std::string& extra, u16 id);
