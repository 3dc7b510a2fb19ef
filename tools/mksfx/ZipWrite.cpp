#include "ZipWrite.h"

#include "archive/ZipFormat.h"

static void Put16(ByteBuffer& out, u32 value)
{
    out.push_back(static_cast<u8>(value));
    out.push_back(static_cast<u8>(value >> 8));
}

static void Put32(ByteBuffer& out, u32 value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

static void PutText(ByteBuffer& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

static u16 Length16(const std::string& text)
{
    return static_cast<u16>(text.size());
}

// The fields both headers hold in the same order, from the version needed to the sizes.
static void PutSharedFields(ByteBuffer& out, const ZipRecord& record)
{
    Put16(out, record.VersionNeeded);
    Put16(out, record.Flags);
    Put16(out, record.Method);
    Put32(out, record.DosDateTime);
    Put32(out, record.Crc);
    Put32(out, record.CompressedSize);
    Put32(out, record.UncompressedSize);
}

void AppendLocalHeader(ByteBuffer& out, const ZipRecord& record)
{
    std::size_t start = out.size();
    Put32(out, ZipLocalSignature);
    PutSharedFields(out, record);
    Put16(out, Length16(record.Name));
    Put16(out, Length16(record.LocalExtra));
    SFX_ASSERT(out.size() - start == LocalHeaderSize);
    PutText(out, record.Name);
    PutText(out, record.LocalExtra);
}

void AppendCentralHeader(ByteBuffer& out, const ZipRecord& record)
{
    std::size_t start = out.size();
    Put32(out, ZipCentralSignature);
    Put16(out, record.VersionMadeBy);
    PutSharedFields(out, record);
    Put16(out, Length16(record.Name));
    Put16(out, Length16(record.CentralExtra));
    Put16(out, Length16(record.Comment));
    Put16(out, 0);  // disk
    Put16(out, record.InternalAttributes);
    Put32(out, record.ExternalAttributes);
    Put32(out, record.LocalHeaderOffset);
    SFX_ASSERT(out.size() - start == CentralHeaderSize);
    PutText(out, record.Name);
    PutText(out, record.CentralExtra);
    PutText(out, record.Comment);
}

void AppendEndRecord(ByteBuffer& out, u16 entries, u32 directorySize, u32 directoryOffset,
                     const std::string& comment)
{
    Put32(out, ZipEndSignature);
    Put16(out, 0);  // this disk
    Put16(out, 0);  // the directory's disk
    Put16(out, entries);
    Put16(out, entries);
    Put32(out, directorySize);
    Put32(out, directoryOffset);
    Put16(out, Length16(comment));
    PutText(out, comment);
}

u64 LocalHeaderLength(const ZipRecord& record)
{
    return LocalHeaderSize + record.Name.size() + record.LocalExtra.size();
}

u64 CentralHeaderLength(const ZipRecord& record)
{
    return CentralHeaderSize + record.Name.size() + record.CentralExtra.size() +
           record.Comment.size();
}

std::string ExtendedTimeField(u32 utcSeconds)
{
    ByteBuffer field;
    Put16(field, ExtraExtendedTime);
    Put16(field, 5);
    field.push_back(ExtendedTimeModified);
    Put32(field, utcSeconds);
    return std::string(field.begin(), field.end());
}

std::string ExtraWithout(const std::string& extra, u16 id)
{
    std::string kept;
    const auto* p = reinterpret_cast<const u8*>(extra.data());
    std::size_t at = 0;
    while (at + ExtraHeaderSize <= extra.size()) {
        u16 blockId = ZipRead16(p + at);
        std::size_t length = ExtraHeaderSize + ZipRead16(p + at + 2);
        if (at + length > extra.size())
            return "";
        if (blockId != id)
            kept.append(extra, at, length);
        at += length;
    }
    // Bytes left over that cannot be a block: the field is damaged, so none of it is kept.
    return at == extra.size() ? kept : "";
}
