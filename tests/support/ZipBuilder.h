// Byte-level ZIP writer for malformed and boundary archives: every field can be set by hand.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/TestFiles.h"

struct ZipBuilderEntry
{
    std::string Name;
    Bytes Data;  // stored as is, whatever Method says
    uint16_t Method = 0;
    uint16_t Flags = 0;
    uint32_t DosDateTime = 0x00210000;
    uint32_t Crc = 0;
    uint8_t HostSystem = 0;
    uint32_t ExternalAttributes = 0;
    Bytes Extra;
    std::string Comment;
    // The uncompressed size both headers give; Data's size unless set.
    std::optional<uint32_t> UncompressedSize;
    // Local header values that differ from the directory's, as streaming writers leave them.
    std::optional<uint32_t> LocalCrc;
    std::optional<uint32_t> LocalCompressedSize;
    std::optional<uint32_t> LocalUncompressedSize;
    Bytes LocalExtra;
    Bytes Trailer;  // after the data, such as a data descriptor
};

struct ZipBuilder
{
    Bytes Prefix;  // the stub's bytes in front; offsets count from the file's start
    bool OffsetsFromArchive = false;  // or from the archive's first byte, as after cat
    std::vector<ZipBuilderEntry> Entries;
    std::string ArchiveComment;

    // A stored entry of these bytes, with their CRC-32.
    ZipBuilderEntry& Add(const std::string& name, const std::string& data = "");
    ZipBuilderEntry& AddBytes(const std::string& name, const Bytes& data);
    Bytes Build() const;
    // Where the central directory starts in the last Build().
    mutable uint32_t DirectoryOffset = 0;
};

void Put16(Bytes& out, uint32_t value);
void Put32(Bytes& out, uint32_t value);
