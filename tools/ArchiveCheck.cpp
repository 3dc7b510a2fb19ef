// The engine run of one entry, through the extraction's own steps, and the walk over all of
// them. Leaves no scratch file behind.
#include "ArchiveCheck.h"

#include <cstdio>
#include <cstdlib>
#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include "extract/ExtractEntry.h"
#include "files/FileSystem.h"
#include "inflate/Crc32.h"
#include "inflate/InflateState.h"
#include "text/Text.h"

EntryCheck CheckEntry(const char* archive, const ZipEntry& entry, const char* scratch)
{
    EntryCheck out;
    EntryBegin(archive);
    EntryHeader header{};
    out.Result = EntryOpenArchive();
    if (out.Result == ResultOk) {
        out.Result = EntryReadHeader(entry.LocalHeaderOffset, entry, header);
        if (out.Result == ResultBadData)
            out.Problem = " local header";
    }
    if (out.Result != ResultOk) {
        EntryEnd();
        return out;
    }
    HANDLE target = FsCreate(scratch, 0);
    EntryPrepareTransfer(header.CompressedSize, target, nullptr, 0);
    out.Result = EntryTransfer(header.Method);
    u32 expected = EntryExpectedCrc(out.Result, header);
    out.Crc = ~InflateState.CrcAccumulator;
    DWORD high = 0;
    out.Written = GetFileSize(target, &high) | u64{high} << 32;
    FsClose(target);
    EntryEnd();
    if (out.Result != ResultOk)
        return out;
    // The stub's own check first, then what only a tester compares: the directory's values.
    if (expected != 0xFFFFFFFF && out.Crc != expected) {
        out.Result = ResultCheckFailed;
        out.Problem = " crc differs from the local header or descriptor";
    } else if (out.Crc != entry.Crc32) {
        out.Result = ResultCheckFailed;
        out.Problem = " crc differs from the directory";
    } else if (out.Written != entry.UncompressedSize) {
        out.Result = ResultCheckFailed;
        out.Problem = " size differs from the directory";
    }
    return out;
}

// A scratch file name of this process in the system's folder for them: $TMPDIR (or /tmp), or
// on Windows the one GetTempPath names.
static std::string CheckScratchPath()
{
#if defined(_WIN32)
    WCHAR wide[MAX_PATH + 1];
    char base[3 * MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, wide);
    if (length == 0 || length > MAX_PATH || TextFromWide(base, wide, sizeof base) < 0)
        base[0] = '.', base[1] = '\\', base[2] = '\0';
    return std::string(base) + "sfxcheck-" + std::to_string(_getpid()) + ".out";
#else
    const char* base = std::getenv("TMPDIR");
    return std::string(base != nullptr ? base : "/tmp") + "/sfxcheck-" + std::to_string(getpid()) +
           ".out";
#endif
}

ArchiveCheckSummary CheckArchive(const char* path, const EntryCheckVisitor& visit)
{
    InitCrcTable();
    ArchiveCheckSummary summary;
    ArchiveReader reader;
    summary.Open = ArchiveOpen(path, reader, 0, ArchiveLengthBeforeSignature(path));
    if (summary.Open != ArchiveEntryReady)
        return summary;
    std::string scratch = CheckScratchPath();
    i32 next = ArchiveEntryReady;
    do {
        const ZipEntry& entry = reader.Entry;
        // A new file each time: rewriting a truncated one makes some file systems flush it.
        FsDelete(scratch.c_str());
        EntryCheck check = CheckEntry(path, entry, scratch.c_str());
        ++summary.Entries;
        if (check.Result != ResultOk && summary.Failed++ == 0) {
            summary.FirstFailedName = entry.Name;
            summary.FirstFailure = check;
        }
        if (visit)
            visit(entry, check);
    } while ((next = ArchiveNextEntry(reader)) == ArchiveEntryReady);
    ArchiveClose(reader);
    FsDelete(scratch.c_str());
    summary.WalkEnd = next;
    return summary;
}

std::string ArchiveOpenProblem(i32 open)
{
    switch (open) {
        case ArchiveNotFound:
            return "no ZIP archive found behind the stub";
        case ArchiveEndTooClose:
            return "the archive's end record lies too close to the start";
        case ArchiveDirectoryEnd:
            return "the directory's first record is damaged";
        case ArchiveRecordTooLarge:
            return "a directory record too large for the stub's reader";
        case ArchiveDirectoryDamaged:
            return "the directory is damaged, or its entries differ from the end record's count";
        default:
            return "the stub's reader refuses the archive (" + std::to_string(open) + ")";
    }
}
