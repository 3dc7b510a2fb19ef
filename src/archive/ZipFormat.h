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

// ZIP64 end record and its locator, which sits right in front of the end record. A field of
// the end record or a header that holds all ones (0xFFFF, 0xFFFFFFFF) has its value there.
constexpr u32 Zip64EndSignature = 0x06064B50;      // "PK" 6 6
constexpr u32 Zip64LocatorSignature = 0x07064B50;  // "PK" 6 7
constexpr u16 Zip64LocatorSize = 20;
constexpr u16 Zip64LocatorDisk = 4;
constexpr u16 Zip64LocatorEndOffset = 8;  // 8 bytes
constexpr u16 Zip64LocatorDiskCount = 16;
constexpr u16 Zip64EndSize = 56;         // without the extensible data that no writer but one adds
constexpr u16 Zip64EndRecordLength = 4;  // 8 bytes: the size of the rest, 44
constexpr u16 Zip64EndDiskNumber = 16;
constexpr u16 Zip64EndDirectoryDisk = 20;
constexpr u16 Zip64EndDiskEntries = 24;  // this and the rest: 8 bytes
constexpr u16 Zip64EndTotalEntries = 32;
constexpr u16 Zip64EndDirectorySize = 40;
constexpr u16 Zip64EndDirectoryOffset = 48;

// Extra fields: a 2-byte id and a 2-byte length in front of each one's data.
constexpr u16 ExtraHeaderSize = 4;
constexpr u16 ExtraZip64 = 0x0001;
constexpr u16 ExtraExtendedTime = 0x5455;  // "UT": flags byte, then UTC seconds
constexpr u8 ExtendedTimeModified = 0x01;
// Info-ZIP's Unicode path: version 1, the CRC-32 of the name field, the name in UTF-8.
constexpr u16 ExtraUnicodePath = 0x7075;

constexpr u8 ZipHostDos = 0;
constexpr u16 ZipVersionStored = 10;  // 1.0: stored entries and folders
constexpr u16 ZipVersionDeflated = 20;
constexpr u16 ZipVersionZip64 = 45;

constexpr u16 ZipAllOnes16 = 0xFFFF;
constexpr u32 ZipAllOnes32 = 0xFFFFFFFF;

constexpr u16 ZipFlagEncrypted = 0x0001;
constexpr u16 ZipFlagDescriptor = 0x0008;  // CRC and sizes follow the data
constexpr u16 ZipFlagStrongEncryption = 0x0040;
constexpr u16 ZipFlagUtf8 = 0x0800;          // name and comment are UTF-8
constexpr u16 ZipFlagMaskedHeader = 0x2000;  // local values hidden: an encrypted directory

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
