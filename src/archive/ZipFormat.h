// The ZIP records that the stub reads and the tools write: signatures, fixed sizes and field
// offsets, named once. Every multi-byte field is little-endian; offsets count from the start
// of the record.
#pragma once

#include "Types.h"

constexpr u32 ZipLocalSignature = 0x04034B50;       // "PK" 3 4
constexpr u32 ZipCentralSignature = 0x02014B50;     // "PK" 1 2
constexpr u32 ZipEndSignature = 0x06054B50;         // "PK" 5 6
constexpr u32 ZipDescriptorSignature = 0x08074B50;  // "PK" 7 8, optional in front of a descriptor

// Local file header, followed by the name and the extra field.
constexpr u16 LocalHeaderSize = 30;
constexpr u16 LocalHeaderVersionNeeded = 4;
constexpr u16 LocalHeaderFlags = 6;
constexpr u16 LocalHeaderMethod = 8;
constexpr u16 LocalHeaderDateTime = 10;  // time, then date: one DosDateTime
constexpr u16 LocalHeaderCrc = 14;
constexpr u16 LocalHeaderCompressedSize = 18;
constexpr u16 LocalHeaderUncompressedSize = 22;
constexpr u16 LocalHeaderNameLength = 26;
constexpr u16 LocalHeaderExtraLength = 28;

// Central directory file header, followed by the name, the extra field and the comment.
constexpr u16 CentralHeaderSize = 46;
constexpr u16 CentralVersionMadeBy = 4;
constexpr u16 CentralHostSystem = 5;  // 0: MS-DOS, whose attributes the stub restores
constexpr u16 CentralVersionNeeded = 6;
constexpr u16 CentralFlags = 8;
constexpr u16 CentralMethod = 10;
constexpr u16 CentralDateTime = 12;
constexpr u16 CentralCrc = 16;
constexpr u16 CentralCompressedSize = 20;
constexpr u16 CentralUncompressedSize = 24;
constexpr u16 CentralNameLength = 28;
constexpr u16 CentralExtraLength = 30;
constexpr u16 CentralCommentLength = 32;
constexpr u16 CentralDiskStart = 34;
constexpr u16 CentralInternalAttributes = 36;
constexpr u16 CentralExternalAttributes = 38;
constexpr u16 CentralLocalHeaderOffset = 42;

// End of central directory record, followed by the archive comment.
constexpr u16 EndRecordSize = 22;
constexpr u16 EndDiskNumber = 4;
constexpr u16 EndDirectoryDisk = 6;
constexpr u16 EndDiskEntries = 8;
constexpr u16 EndTotalEntries = 10;
constexpr u16 EndDirectorySize = 12;
constexpr u16 EndDirectoryOffset = 16;
constexpr u16 EndCommentLength = 20;

// Data descriptor after an entry's data, with its optional signature in front.
constexpr u16 DescriptorSize = 16;
constexpr u16 DescriptorCrc = 4;
constexpr u16 DescriptorCompressedSize = 8;
constexpr u16 DescriptorUncompressedSize = 12;

constexpr u16 ZipFlagEncrypted = 0x0001;
constexpr u16 ZipFlagDescriptor = 0x0008;  // CRC and sizes follow the data
constexpr u16 ZipFlagUtf8 = 0x0800;        // name and comment are UTF-8

constexpr u16 ZipMethodStored = 0;
constexpr u16 ZipMethodDeflated = 8;

constexpr u16 ZipRead16(const u8* p)
{
    return static_cast<u16>(p[0] | p[1] << 8);
}

constexpr u32 ZipRead32(const u8* p)
{
    return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
           static_cast<u32>(p[3]) << 24;
}

// Whether the four bytes at p are the given signature.
constexpr bool ZipHasSignature(const u8* p, u32 signature)
{
    return ZipRead32(p) == signature;
}
