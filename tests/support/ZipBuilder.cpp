#include "support/ZipBuilder.h"

#include "archive/ZipFormat.h"
#include "support/ZlibOracle.h"

void Put16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(Bytes& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

static uint32_t UncompressedOf(const ZipBuilderEntry& e)
{
    return e.UncompressedSize.value_or(static_cast<uint32_t>(e.Data.size()));
}

ZipBuilderEntry& ZipBuilder::Add(const std::string& name, const std::string& data)
{
    return AddBytes(name, Bytes(data.begin(), data.end()));
}

ZipBuilderEntry& ZipBuilder::AddBytes(const std::string& name, const Bytes& data)
{
    ZipBuilderEntry entry;
    entry.Name = name;
    entry.Data = data;
    entry.Crc = ZlibCrc(data);
    Entries.push_back(entry);
    return Entries.back();
}

Bytes ZipBuilder::Build() const
{
    Bytes out = Prefix;
    uint32_t origin = OffsetsFromArchive ? static_cast<uint32_t>(Prefix.size()) : 0;
    std::vector<uint32_t> offsets;
    for (const ZipBuilderEntry& e : Entries) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        Put32(out, ZipLocalSignature);
        Put16(out, 20);
        Put16(out, e.Flags);
        Put16(out, e.Method);
        Put32(out, e.DosDateTime);
        Put32(out, e.LocalCrc.value_or(e.Crc));
        Put32(out, e.LocalCompressedSize.value_or(static_cast<uint32_t>(e.Data.size())));
        Put32(out, e.LocalUncompressedSize.value_or(UncompressedOf(e)));
        Put16(out, static_cast<uint32_t>(e.Name.size()));
        Put16(out, static_cast<uint32_t>(e.LocalExtra.size()));
        out.insert(out.end(), e.Name.begin(), e.Name.end());
        out.insert(out.end(), e.LocalExtra.begin(), e.LocalExtra.end());
        out.insert(out.end(), e.Data.begin(), e.Data.end());
        out.insert(out.end(), e.Trailer.begin(), e.Trailer.end());
    }
    DirectoryOffset = static_cast<uint32_t>(out.size());
    for (std::size_t i = 0; i < Entries.size(); ++i) {
        const ZipBuilderEntry& e = Entries[i];
        Put32(out, ZipCentralSignature);
        out.push_back(20);
        out.push_back(e.HostSystem);
        Put16(out, 20);
        Put16(out, e.Flags);
        Put16(out, e.Method);
        Put32(out, e.DosDateTime);
        Put32(out, e.Crc);
        Put32(out, static_cast<uint32_t>(e.Data.size()));
        Put32(out, UncompressedOf(e));
        Put16(out, static_cast<uint32_t>(e.Name.size()));
        Put16(out, static_cast<uint32_t>(e.Extra.size()));
        Put16(out, static_cast<uint32_t>(e.Comment.size()));
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, e.ExternalAttributes);
        Put32(out, offsets[i] - origin);
        out.insert(out.end(), e.Name.begin(), e.Name.end());
        out.insert(out.end(), e.Extra.begin(), e.Extra.end());
        out.insert(out.end(), e.Comment.begin(), e.Comment.end());
    }
    uint32_t directorySize = static_cast<uint32_t>(out.size()) - DirectoryOffset;
    Put32(out, ZipEndSignature);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(Entries.size()));
    Put16(out, static_cast<uint32_t>(Entries.size()));
    Put32(out, directorySize);
    Put32(out, DirectoryOffset - origin);
    Put16(out, static_cast<uint32_t>(ArchiveComment.size()));
    out.insert(out.end(), ArchiveComment.begin(), ArchiveComment.end());
    return out;
}
