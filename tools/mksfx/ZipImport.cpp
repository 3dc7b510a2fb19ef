#include "ZipImport.h"

#include <cerrno>
#include <cstring>

#include "Limits.h"
#include "Names.h"

namespace {

constexpr u64 Zip64Marker = 0xFFFFFFFF;

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

// The directory's place from the end record, or from the ZIP64 end record where the plain one
// holds markers; a value that does not fit 32 bits is refused.
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
    if (endAt >= Zip64LocatorSize + Zip64EndSize &&
        ReadAt(fd, endAt - Zip64LocatorSize, locator, sizeof locator) &&
        ZipHasSignature(locator, Zip64LocatorSignature)) {
        u64 recordAt = endAt - Zip64LocatorSize - Zip64EndSize;
        u8 record[Zip64EndSize];
        if (!ReadAt(fd, recordAt, record, sizeof record) ||
            !ZipHasSignature(record, Zip64EndSignature)) {
            u64 recorded = Read64(locator + Zip64LocatorEndOffset);
            recordAt = recorded;
            if (!ReadAt(fd, recorded, record, sizeof record) ||
                !ZipHasSignature(record, Zip64EndSignature)) {
                reason = "its ZIP64 end record cannot be found";
                return false;
            }
        }
        multiDisk = multiDisk || ZipRead32(locator + Zip64LocatorDiskCount) > 1 ||
                    ZipRead32(record + Zip64EndDiskNumber) != 0 ||
                    ZipRead32(record + Zip64EndDirectoryDisk) != 0;
        entries = Read64(record + Zip64EndTotalEntries);
        size = Read64(record + Zip64EndDirectorySize);
        offset = Read64(record + Zip64EndDirectoryOffset);
        multiDisk = multiDisk || Read64(record + Zip64EndDiskEntries) != entries;
        directoryEnd = recordAt;
    }
    if (multiDisk) {
        reason = "it is part of a multi-disk archive";
        return false;
    }
    if (entries > 0xFFFF || size >= Zip64Marker || offset >= Zip64Marker) {
        reason = "its directory needs ZIP64 (" + std::to_string(entries) + " entries, " +
                 std::to_string(size) + " bytes at offset " + std::to_string(offset) + ")";
        return false;
    }
    if (size > directoryEnd || directoryEnd - size < offset) {
        reason = "its end record points outside the file";
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

// What in one central header the stub cannot extract; fills the record from it.
// How many bytes of "./" lead the name.
static std::size_t LeadingDots(const std::string& name)
{
    std::size_t at = 0;
    while (name.compare(at, 2, "./") == 0)
        at += 2;
    return at;
}

static std::string EntryProblem(const u8* h, ZipRecord& record, std::size_t leadingDots)
{
    u16 flags = ZipRead16(h + CentralFlags);
    u16 method = ZipRead16(h + CentralMethod);
    if ((flags & (ZipFlagEncrypted | ZipFlagStrongEncryption | ZipFlagMaskedHeader)) != 0)
        return "is encrypted";
    if (method != ZipMethodStored && method != ZipMethodDeflated)
        return "uses compression method " + std::to_string(method) + MethodName(method) +
               "; the stub extracts stored and deflated entries only";
    record.CompressedSize = ZipRead32(h + CentralCompressedSize);
    record.UncompressedSize = ZipRead32(h + CentralUncompressedSize);
    record.LocalHeaderOffset = ZipRead32(h + CentralLocalHeaderOffset);
    if (record.CompressedSize == Zip64Marker || record.UncompressedSize == Zip64Marker ||
        record.LocalHeaderOffset == Zip64Marker)
        return "needs ZIP64 (a size or offset past 4 GiB)";
    if (ZipRead16(h + CentralDiskStart) != 0)
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
    u64 at = entry.Record.LocalHeaderOffset + dir.Shift;
    u8 h[LocalHeaderSize];
    if (at + LocalHeaderSize > dir.Start || !ReadAt(fd, at, h, sizeof h) ||
        !ZipHasSignature(h, ZipLocalSignature)) {
        reason = "has no local header where the directory says";
        return false;
    }
    u16 nameLength = ZipRead16(h + LocalHeaderNameLength);
    u16 extraLength = ZipRead16(h + LocalHeaderExtraLength);
    entry.DataOffset = at + LocalHeaderSize + nameLength + extraLength;
    if (entry.DataOffset + entry.Record.CompressedSize > dir.Start) {
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
        entry.Record.CentralExtra =
            ExtraWithout(std::string(text + nameLength, extraLength), ExtraZip64);
        entry.Record.Comment.assign(text + nameLength + extraLength, commentLength);
        std::string reason = EntryProblem(h, entry.Record, LeadingDots(entry.Record.Name));
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
    buffer.resize(1 << 20);
    u64 left = entry.Record.CompressedSize;
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
