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

static void Put64(ByteBuffer& out, u64 value)
{
    Put32(out, static_cast<u32>(value));
    Put32(out, static_cast<u32>(value >> 32));
}

static void PutText(ByteBuffer& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

static u16 Length16(const std::string& text)
{
    return static_cast<u16>(text.size());
}

bool NeedsZip64(const ZipRecord& record)
{
    return record.UncompressedSize >= ZipAllOnes32 || record.CompressedSize >= ZipAllOnes32;
}

// Both sizes, as both headers need them: the local header must hold both, and saturating both
// in the central one too keeps the two alike, as other writers do.
static std::string Zip64Field(const ZipRecord& record)
{
    ByteBuffer field;
    if (NeedsZip64(record)) {
        Put16(field, ExtraZip64);
        Put16(field, 16);
        Put64(field, record.UncompressedSize);
        Put64(field, record.CompressedSize);
    }
    return std::string(field.begin(), field.end());
}

// The 32-bit field of a value, the marker where the value is in a ZIP64 record.
static u32 Size32(u64 value, bool zip64)
{
    return zip64 ? ZipAllOnes32 : static_cast<u32>(value);
}

// The fields both headers hold in the same order, from the version needed to the sizes.
static void PutSharedFields(ByteBuffer& out, const ZipRecord& record)
{
    bool zip64 = NeedsZip64(record);
    Put16(out,
          zip64 && record.VersionNeeded < ZipVersionZip64 ? ZipVersionZip64 : record.VersionNeeded);
    Put16(out, record.Flags);
    Put16(out, record.Method);
    Put32(out, record.DosDateTime);
    Put32(out, record.Crc);
    Put32(out, Size32(record.CompressedSize, zip64));
    Put32(out, Size32(record.UncompressedSize, zip64));
}

void AppendLocalHeader(ByteBuffer& out, const ZipRecord& record)
{
    std::size_t start = out.size();
    Put32(out, ZipLocalSignature);
    PutSharedFields(out, record);
    std::string extra = Zip64Field(record) + record.LocalExtra;
    Put16(out, Length16(record.Name));
    Put16(out, Length16(extra));
    SFX_ASSERT(out.size() - start == LocalHeaderSize);
    PutText(out, record.Name);
    PutText(out, extra);
}

void AppendCentralHeader(ByteBuffer& out, const ZipRecord& record)
{
    std::size_t start = out.size();
    Put32(out, ZipCentralSignature);
    u16 madeBy = record.VersionMadeBy;
    if (NeedsZip64(record) && (madeBy & 0xFF) < ZipVersionZip64)
        madeBy = static_cast<u16>((madeBy & 0xFF00) | ZipVersionZip64);
    Put16(out, madeBy);
    PutSharedFields(out, record);
    std::string extra = Zip64Field(record) + record.CentralExtra;
    Put16(out, Length16(record.Name));
    Put16(out, Length16(extra));
    Put16(out, Length16(record.Comment));
    Put16(out, 0);  // disk
    Put16(out, record.InternalAttributes);
    Put32(out, record.ExternalAttributes);
    Put32(out, record.LocalHeaderOffset);
    SFX_ASSERT(out.size() - start == CentralHeaderSize);
    PutText(out, record.Name);
    PutText(out, extra);
    PutText(out, record.Comment);
}

void AppendDirectoryEnd(ByteBuffer& out, u64 entries, u64 directorySize, u64 directoryOffset,
                        const std::string& comment)
{
    bool zip64 =
        entries > ZipAllOnes16 || directorySize >= ZipAllOnes32 || directoryOffset >= ZipAllOnes32;
    if (zip64) {
        std::size_t start = out.size();
        Put32(out, Zip64EndSignature);
        Put64(out, Zip64EndSize - 12);  // the record's size counts neither it nor the signature
        Put16(out, ZipHostDos << 8 | ZipVersionZip64);
        Put16(out, ZipVersionZip64);
        Put32(out, 0);  // this disk
        Put32(out, 0);  // the directory's disk
        Put64(out, entries);
        Put64(out, entries);
        Put64(out, directorySize);
        Put64(out, directoryOffset);
        SFX_ASSERT(out.size() - start == Zip64EndSize);
        Put32(out, Zip64LocatorSignature);
        Put32(out, 0);  // the ZIP64 end record's disk
        Put64(out, directoryOffset + directorySize);
        Put32(out, 1);  // disks in all
        SFX_ASSERT(out.size() - start == Zip64EndSize + Zip64LocatorSize);
    }
    u16 count = entries > ZipAllOnes16 ? ZipAllOnes16 : static_cast<u16>(entries);
    Put32(out, ZipEndSignature);
    Put16(out, 0);  // this disk
    Put16(out, 0);  // the directory's disk
    Put16(out, count);
    Put16(out, count);
    Put32(out, Size32(directorySize, directorySize >= ZipAllOnes32));
    Put32(out, Size32(directoryOffset, directoryOffset >= ZipAllOnes32));
    Put16(out, Length16(comment));
    PutText(out, comment);
}

u64 DirectoryEndLength(u64 entries, const std::string& comment)
{
    return EndRecordSize + comment.size() +
           (entries > ZipAllOnes16 ? Zip64EndSize + Zip64LocatorSize : 0);
}

u64 LocalHeaderLength(const ZipRecord& record)
{
    return LocalHeaderSize + record.Name.size() + Zip64Field(record).size() +
           record.LocalExtra.size();
}

u64 CentralHeaderLength(const ZipRecord& record)
{
    return CentralHeaderSize + record.Name.size() + Zip64Field(record).size() +
           record.CentralExtra.size() + record.Comment.size();
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
