#include "ZipImport.h"

#include <cerrno>
#include <cstring>

#include "Limits.h"
#include "Names.h"

namespace {

struct Directory
{
    u64 Start = 0;  // where it is in the file
    u64 Size = 0;
    u64 Entries = 0;
    u64 Shift = 0;  // bytes in front of the archive that its offsets do not count
};

}  // namespace

static u64 Read64(const u8* p)
{
    return ZipRead32(p) | static_cast<u64>(ZipRead32(p + 4)) << 32;
}

// The last end record whose comment fits in the file.
static bool FindEnd(FileHandle fd, u64 fileSize, u64& endAt, ByteBuffer& tail)
{
    u64 span = fileSize < 0xFFFF + EndRecordSize ? fileSize : 0xFFFF + EndRecordSize;
    tail.resize(span);
    if (span < EndRecordSize || !ReadAt(fd, fileSize - span, tail.data(), span))
        return false;
    for (u64 at = span - EndRecordSize + 1; at-- > 0;) {
        const u8* p = tail.data() + at;
        if (ZipHasSignature(p, ZipEndSignature) &&
            at + EndRecordSize + ZipRead16(p + EndCommentLength) <= span) {
            endAt = fileSize - span + at;
            tail.erase(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(at));
            return true;
        }
    }
    return false;
}

// The ZIP64 end record that the locator in front of the end record points to: right in front
// of the locator (which also finds it in an archive with bytes in front of it), or where the
// locator says. False without a locator; false with a reason where it points nowhere.
static bool FindZip64End(FileHandle fd, u64 endAt, u8* locator, u8* record, u64& recordAt,
                         std::string& reason)
{
    if (endAt < Zip64LocatorSize + Zip64EndSize ||
        !ReadAt(fd, endAt - Zip64LocatorSize, locator, Zip64LocatorSize) ||
        !ZipHasSignature(locator, Zip64LocatorSignature))
        return false;
    recordAt = endAt - Zip64LocatorSize - Zip64EndSize;
    if (ReadAt(fd, recordAt, record, Zip64EndSize) && ZipHasSignature(record, Zip64EndSignature))
        return true;
    recordAt = Read64(locator + Zip64LocatorEndOffset);
    if (recordAt < endAt && ReadAt(fd, recordAt, record, Zip64EndSize) &&
        ZipHasSignature(record, Zip64EndSignature))
        return true;
    reason = "its ZIP64 end record cannot be found";
    return false;
}

// The directory's place from the end record, and from the ZIP64 end record for each value the
// end record holds only the marker of. A ZIP64 value where the end record holds another is a
// contradiction, refused.
static bool ReadDirectory(FileHandle fd, u64 endAt, const u8* end, Directory& dir,
                          std::string& reason)
{
    u64 entries = ZipRead16(end + EndTotalEntries);
    u64 size = ZipRead32(end + EndDirectorySize);
    u64 offset = ZipRead32(end + EndDirectoryOffset);
    bool multiDisk = ZipRead16(end + EndDiskNumber) != 0 ||
                     ZipRead16(end + EndDirectoryDisk) != 0 ||
                     ZipRead16(end + EndDiskEntries) != entries;
    u64 directoryEnd = endAt;
    u8 locator[Zip64LocatorSize];
    u8 record[Zip64EndSize];
    u64 recordAt = 0;
    bool zip64 = FindZip64End(fd, endAt, locator, record, recordAt, reason);
    if (!reason.empty())
        return false;
    if (zip64) {
        u64 entries64 = Read64(record + Zip64EndTotalEntries);
        u64 size64 = Read64(record + Zip64EndDirectorySize);
        u64 offset64 = Read64(record + Zip64EndDirectoryOffset);
        if ((entries != ZipAllOnes16 && entries64 != entries) ||
            (size != ZipAllOnes32 && size64 != size) ||
            (offset != ZipAllOnes32 && offset64 != offset)) {
            reason = "its ZIP64 end record contradicts its end record";
            return false;
        }
        multiDisk = multiDisk || ZipRead32(locator + Zip64LocatorDisk) != 0 ||
                    ZipRead32(locator + Zip64LocatorDiskCount) > 1 ||
                    ZipRead32(record + Zip64EndDiskNumber) != 0 ||
                    ZipRead32(record + Zip64EndDirectoryDisk) != 0 ||
                    Read64(record + Zip64EndDiskEntries) != entries64;
        entries = entries64;
        size = size64;
        offset = offset64;
        directoryEnd = recordAt;
    }
    if (multiDisk) {
        reason = "it is part of a multi-disk archive";
        return false;
    }
    if (size > directoryEnd || directoryEnd - size < offset) {
        reason = "its end record points outside the file";
        return false;
    }
    // Each entry takes a central header at least.
    if (entries > size / CentralHeaderSize) {
        reason = "its end record counts " + std::to_string(entries) +
                 " entries, more than its directory of " + std::to_string(size) + " bytes can hold";
        return false;
    }
    dir.Start = directoryEnd - size;
    dir.Size = size;
    dir.Entries = entries;
    dir.Shift = dir.Start - offset;
    return true;
}

static const char* MethodName(u16 method)
{
    switch (method) {
        case 12:
            return " (bzip2)";
        case 14:
            return " (LZMA)";
        case 9:
            return " (Deflate64)";
        case 93:
            return " (Zstandard)";
        case 95:
            return " (xz)";
        case 98:
            return " (PPMd)";
        default:
            return "";
    }
}

// How many bytes of "./" lead the name.
static std::size_t LeadingDots(const std::string& name)
{
    std::size_t at = 0;
    while (name.compare(at, 2, "./") == 0)
        at += 2;
    return at;
}

// The data of the first block with this id in an extra field; false where there is none.
static bool ExtraBlock(const std::string& extra, u16 id, std::string& data)
{
    const auto* p = reinterpret_cast<const u8*>(extra.data());
    for (std::size_t at = 0; at + ExtraHeaderSize <= extra.size();) {
        std::size_t length = ZipRead16(p + at + 2);
        if (at + ExtraHeaderSize + length > extra.size())
            return false;
        if (ZipRead16(p + at) == id) {
            data = extra.substr(at + ExtraHeaderSize, length);
            return true;
        }
        at += ExtraHeaderSize + length;
    }
    return false;
}

// The sizes and the offset whose fields hold the marker, from the ZIP64 field, which holds just
// those, in this order, and the disk where it is 0xFFFF. Values for fields that hold no marker
// contradict the header. Empty, or what is wrong.
static std::string ReadZip64Field(const std::string& extra, u64* values, u32& disk)
{
    std::string field;
    bool found = ExtraBlock(extra, ExtraZip64, field);
    const auto* p = reinterpret_cast<const u8*>(field.data());
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        if (values[i] != ZipAllOnes32)
            continue;
        if (at + 8 > field.size())
            return found ? "has a ZIP64 field too short for its header's 0xFFFFFFFF values"
                         : "has a size or offset of 0xFFFFFFFF without a ZIP64 field";
        values[i] = Read64(p + at);
        at += 8;
    }
    if (disk == 0xFFFF && at + 4 <= field.size()) {
        disk = ZipRead32(p + at);
        at += 4;
    }
    if (at != field.size())
        return "has ZIP64 values for sizes or offsets that its header holds itself";
    return "";
}

// What in one central header the stub cannot extract; fills the entry from it.
static std::string EntryProblem(const u8* h, const std::string& extra, ImportEntry& entry,
                                std::size_t leadingDots)
{
    ZipRecord& record = entry.Record;
    u16 flags = ZipRead16(h + CentralFlags);
    u16 method = ZipRead16(h + CentralMethod);
    if ((flags & (ZipFlagEncrypted | ZipFlagStrongEncryption | ZipFlagMaskedHeader)) != 0)
        return "is encrypted";
    if (method != ZipMethodStored && method != ZipMethodDeflated)
        return "uses compression method " + std::to_string(method) + MethodName(method) +
               "; the stub extracts stored and deflated entries only";
    u64 values[3] = {ZipRead32(h + CentralUncompressedSize), ZipRead32(h + CentralCompressedSize),
                     ZipRead32(h + CentralLocalHeaderOffset)};
    u32 disk = ZipRead16(h + CentralDiskStart);
    std::string zip64Problem = ReadZip64Field(extra, values, disk);
    if (!zip64Problem.empty())
        return zip64Problem;
    record.UncompressedSize = values[0];
    record.CompressedSize = values[1];
    entry.HeaderOffset = values[2];
    if (disk != 0)
        return "lies on another disk of a multi-disk archive";
    std::string nameProblem =
        leadingDots == record.Name.size() ? "" : NameProblem(record.Name.substr(leadingDots));
    if (!nameProblem.empty())
        return "cannot be written on Windows: " + nameProblem;
    // A UTF-8 name without the flag is marked; any other encoding the stub cannot know.
    if (!NameIsAscii(record.Name))
        flags |= ZipFlagUtf8;
    record.Flags = static_cast<u16>(flags & ~ZipFlagDescriptor);
    record.Method = method;
    record.VersionMadeBy = ZipRead16(h + CentralVersionMadeBy);
    u16 needed = ZipRead16(h + CentralVersionNeeded);
    record.VersionNeeded = method == ZipMethodDeflated   ? ZipVersionDeflated
                           : needed < ZipVersionStored   ? ZipVersionStored
                           : needed > ZipVersionDeflated ? ZipVersionDeflated
                                                         : needed;
    record.DosDateTime = ZipRead32(h + CentralDateTime);
    record.Crc = ZipRead32(h + CentralCrc);
    record.InternalAttributes = ZipRead16(h + CentralInternalAttributes);
    record.ExternalAttributes = ZipRead32(h + CentralExternalAttributes);
    return "";
}

static bool ReadLocal(FileHandle fd, const Directory& dir, ImportEntry& entry, std::string& reason)
{
    // Offsets and sizes may be anything up to 2^64: compared, never added up unchecked.
    u64 room = dir.Start - dir.Shift;
    u64 at = entry.HeaderOffset + dir.Shift;
    u8 h[LocalHeaderSize];
    if (entry.HeaderOffset > room || room - entry.HeaderOffset < LocalHeaderSize ||
        !ReadAt(fd, at, h, sizeof h) || !ZipHasSignature(h, ZipLocalSignature)) {
        reason = "has no local header where the directory says";
        return false;
    }
    u16 nameLength = ZipRead16(h + LocalHeaderNameLength);
    u16 extraLength = ZipRead16(h + LocalHeaderExtraLength);
    entry.DataOffset = at + LocalHeaderSize + nameLength + extraLength;
    if (entry.DataOffset > dir.Start ||
        entry.Record.CompressedSize > dir.Start - entry.DataOffset) {
        reason = "has data that runs into the directory";
        return false;
    }
    std::string extra(extraLength, '\0');
    if (!ReadAt(fd, at + LocalHeaderSize + nameLength, extra.data(), extraLength)) {
        reason = "has an unreadable local header";
        return false;
    }
    entry.Record.LocalExtra = ExtraWithout(extra, ExtraZip64);
    return true;
}

static bool Refuse(const std::string& path, const std::string& reason, std::string& error)
{
    error = "cannot wrap '" + ShownPath(path) + "': " + reason;
    return false;
}

static bool ReadEntries(ImportedArchive& archive, const Directory& dir, const ByteBuffer& bytes,
                        std::string& error)
{
    std::size_t at = 0;
    for (u64 i = 0; i < dir.Entries; ++i) {
        const u8* h = bytes.data() + at;
        if (at + CentralHeaderSize > bytes.size() || !ZipHasSignature(h, ZipCentralSignature))
            return Refuse(archive.Path, "its central directory is damaged", error);
        std::size_t nameLength = ZipRead16(h + CentralNameLength);
        std::size_t extraLength = ZipRead16(h + CentralExtraLength);
        std::size_t commentLength = ZipRead16(h + CentralCommentLength);
        std::size_t next = at + CentralHeaderSize + nameLength + extraLength + commentLength;
        if (next > bytes.size())
            return Refuse(archive.Path, "its central directory is damaged", error);
        ImportEntry entry;
        const char* text = reinterpret_cast<const char*>(h + CentralHeaderSize);
        entry.Record.Name.assign(text, nameLength);
        std::string extra(text + nameLength, extraLength);
        entry.Record.CentralExtra = ExtraWithout(extra, ExtraZip64);
        entry.Record.Comment.assign(text + nameLength + extraLength, commentLength);
        std::string reason = EntryProblem(h, extra, entry, LeadingDots(entry.Record.Name));
        if (reason.empty())
            ReadLocal(archive.File, dir, entry, reason);
        if (!reason.empty())
            return Refuse(archive.Path, "entry '" + ShownName(entry.Record.Name) + "' " + reason,
                          error);
        at = next;
        // Archivers that packed "." (bsdtar) write "./" and "./name": the same places as the
        // root and "name", which every unzipper makes of them.
        entry.Record.Name.erase(0, LeadingDots(entry.Record.Name));
        if (!entry.Record.Name.empty())
            archive.Entries.push_back(std::move(entry));
    }
    return true;
}

bool ImportOpen(const std::string& path, ImportedArchive& archive, std::string& error)
{
    archive.Path = path;
    archive.File = OpenForReading(path);
    PathStatus st;
    if (archive.File == NoFile || !StatusOfFile(archive.File, st)) {
        error = "cannot read '" + ShownPath(path) + "': " + std::strerror(errno);
        return false;
    }
    if (!st.Regular)
        return Refuse(path, "not a regular file", error);
    u64 endAt = 0;
    ByteBuffer tail;
    if (!FindEnd(archive.File, st.Size, endAt, tail))
        return Refuse(path, "no ZIP end record (not a ZIP archive?)", error);
    Directory dir;
    std::string reason;
    if (!ReadDirectory(archive.File, endAt, tail.data(), dir, reason))
        return Refuse(path, reason, error);
    archive.Comment.assign(reinterpret_cast<const char*>(tail.data()) + EndRecordSize,
                           ZipRead16(tail.data() + EndCommentLength));
    // The stub takes the last end signature in the file for its end record.
    if (archive.Comment.find("PK\x05\x06") != std::string::npos)
        return Refuse(path, "its comment holds an end-record signature", error);
    ByteBuffer bytes(dir.Size);
    if (!ReadAt(archive.File, dir.Start, bytes.data(), bytes.size()))
        return Refuse(path, "its central directory cannot be read", error);
    return ReadEntries(archive, dir, bytes, error);
}

bool ImportCopy(ImportedArchive& archive, ImportEntry& entry, OutputFile& out, std::string& error,
                PackFault& fault)
{
    entry.Record.LocalHeaderOffset = static_cast<u32>(out.Written);
    ByteBuffer buffer;
    AppendLocalHeader(buffer, entry.Record);
    fault = PackFault::Output;
    if (!OutputWrite(out, buffer.data(), buffer.size(), error))
        return false;
    // No larger than the entry: a megabyte filled for each of many small entries adds up.
    u64 left = entry.Record.CompressedSize;
    buffer.resize(static_cast<std::size_t>(left < (1 << 20) ? left : 1 << 20));
    u64 from = entry.DataOffset;
    while (left > 0) {
        std::size_t piece = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
        errno = 0;
        if (!ReadAt(archive.File, from, buffer.data(), piece)) {
            error = "cannot read '" + ShownPath(archive.Path) +
                    "': " + (errno != 0 ? std::strerror(errno) : "it ends early");
            fault = PackFault::Input;
            return false;
        }
        if (!OutputWrite(out, buffer.data(), piece, error))
            return false;
        from += piece;
        left -= piece;
    }
    return true;
}

void ImportClose(ImportedArchive& archive)
{
    CloseFile(archive.File);
    archive.File = NoFile;
}
