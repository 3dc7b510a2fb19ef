// mksfx: packs folders and files, or an existing ZIP archive, behind the stub into one
// self-extractor, and tests self-extractors with the stub's own reader and decoder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "ArchiveCheck.h"
#include "Limits.h"
#include "Names.h"
#include "Options.h"
#include "Pack.h"
#include "ZipImport.h"

extern "C" const unsigned char SfxStubStart[];
extern "C" const unsigned char SfxStubEnd[];

namespace {

struct Failure
{
    int Exit = ExitOk;
    std::string Message;
};

using Clock = std::chrono::steady_clock;

// A status line on standard error while it is a terminal, redrawn at most ten times a second.
struct Progress
{
    bool Shown = false;
    u64 TotalEntries = 0;
    u64 TotalBytes = 0;
    u64 Entries = 0;
    u64 Bytes = 0;
    Clock::time_point Start = Clock::now();
    Clock::time_point LastDraw{};

    void Add(u64 bytes)
    {
        ++Entries;
        Bytes += bytes;
        if (!Shown)
            return;
        Clock::time_point now = Clock::now();
        if (now - LastDraw < std::chrono::milliseconds(100) && Entries != TotalEntries)
            return;
        LastDraw = now;
        double seconds = std::chrono::duration<double>(now - Start).count();
        double rate = seconds > 0 ? static_cast<double>(Bytes) / seconds / 1e6 : 0;
        std::fprintf(stderr, "\r%llu/%llu files  %.1f/%.1f MB  %.1f MB/s\033[K",
                     static_cast<unsigned long long>(Entries),
                     static_cast<unsigned long long>(TotalEntries),
                     static_cast<double>(Bytes) / 1e6, static_cast<double>(TotalBytes) / 1e6, rate);
    }

    void Clear() const
    {
        if (Shown)
            std::fprintf(stderr, "\r\033[K");
    }
};

}  // namespace

static void Report(const Failure& failure)
{
    std::fprintf(stderr, "mksfx: %s\n", failure.Message.c_str());
}

static bool LoadStub(const Options& options, ByteBuffer& stub, Failure& failure)
{
    if (options.Stub.empty()) {
        stub.assign(SfxStubStart, SfxStubEnd);
        return true;
    }
    int fd = open(options.Stub.c_str(), O_RDONLY | O_CLOEXEC);

    struct stat st
    {
    };

    if (fd < 0 || fstat(fd, &st) != 0) {
        failure = {ExitInput, "cannot read '" + options.Stub + "': " + std::strerror(errno)};
        if (fd >= 0)
            close(fd);
        return false;
    }
    stub.resize(static_cast<std::size_t>(st.st_size));
    ssize_t got = read(fd, stub.data(), stub.size());
    close(fd);
    if (got != st.st_size || stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z') {
        failure = {ExitInput,
                   "cannot use '" + options.Stub + "' as the stub: not a Windows program"};
        return false;
    }
    return true;
}

// Walks the archive with the stub's reader and decodes every entry with its engine; the
// first problem, or empty.
static std::string CheckProblem(const std::string& path, const EntryCheckVisitor& visit,
                                u64& entries)
{
    ArchiveCheckSummary summary = CheckArchive(path.c_str(), visit);
    entries = summary.Entries;
    if (summary.Open != 0)
        return "the stub finds no archive it can read (" + std::to_string(summary.Open) + ")";
    if (summary.Failed != 0)
        return "entry '" + summary.FirstFailedName + "' fails the stub's decoder (result " +
               std::to_string(summary.FirstFailure.Result) + summary.FirstFailure.Problem + ")";
    if (summary.RecordTooLarge)
        return "a directory record after entry " + std::to_string(summary.Entries) +
               " is too large for the stub to read";
    return "";
}

static int RunTest(const Options& options)
{
    if (access(options.Test.c_str(), R_OK) != 0) {
        Report({ExitInput, "cannot read '" + options.Test + "': " + std::strerror(errno)});
        return ExitInput;
    }
    EntryCheckVisitor visit;
    if (options.Verbose)
        visit = [](const ZipEntry& entry, const EntryCheck& check) {
            std::printf("%-8s %10u  %s\n", check.Result == ResultOk ? "ok" : "FAILED",
                        entry.UncompressedSize, entry.Name);
        };
    u64 entries = 0;
    std::string problem = CheckProblem(options.Test, visit, entries);
    if (!problem.empty()) {
        Report({ExitCheckFailed, options.Test + ": " + problem});
        return ExitCheckFailed;
    }
    if (!options.Quiet)
        std::printf("%s: %llu entries OK\n", options.Test.c_str(),
                    static_cast<unsigned long long>(entries));
    return ExitOk;
}

// Packs the file system's entries: lists, names, checks limits, all before any output.
static bool PlanInputs(const Options& options, u64 stubSize, std::vector<InputEntry>& entries,
                       Failure& failure)
{
    ScanSkip skip;

    struct stat st
    {
    };

    if (stat(options.Output.c_str(), &st) == 0) {
        skip = {true, st.st_dev, st.st_ino};
    }
    std::string error;
    if (!ScanInputs(options.Inputs, skip, entries, error)) {
        failure = {ExitInput, error};
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const InputEntry& a, const InputEntry& b) { return a.Name < b.Name; });
    std::vector<std::string> names;
    for (const InputEntry& entry : entries) {
        std::string problem = NameProblem(entry.Name);
        if (!problem.empty()) {
            failure = {ExitInput, "cannot pack '" + entry.Path + "': " + problem};
            return false;
        }
        names.push_back(entry.Name);
    }
    std::size_t first = 0;
    std::size_t second = 0;
    if (FindCaseClash(names, first, second)) {
        failure = {ExitInput, "cannot pack both '" + entries[first].Path + "' and '" +
                                  entries[second].Path + "': their names '" + names[first] +
                                  "' and '" + names[second] +
                                  "' are one name on Windows, which ignores case"};
        return false;
    }
    i64 epoch = 0;
    const char* epochText = std::getenv("SOURCE_DATE_EPOCH");
    if (epochText != nullptr && !ParseEpoch(epochText, epoch)) {
        failure = {ExitUsage,
                   "SOURCE_DATE_EPOCH='" + std::string(epochText) + "' is not a number of seconds"};
        return false;
    }
    PackTotals totals;
    totals.OutputBound = stubSize + EndRecordSize;
    for (InputEntry& entry : entries) {
        if (epochText != nullptr && entry.ModifiedTime > epoch)
            entry.ModifiedTime = epoch;
        // Stored at worst: an entry is never larger than its file.
        CountEntry(totals, RecordOf(entry), entry.Size, entry.Size, entry.Path);
    }
    std::string limit = LimitProblem(totals);
    if (!limit.empty()) {
        failure = {ExitLimit, "cannot pack: " + limit};
        return false;
    }
    return true;
}

static bool PlanZip(const Options& options, u64 stubSize, ImportedArchive& archive,
                    Failure& failure)
{
    std::string error;
    if (!ImportOpen(options.Zip, archive, error)) {
        failure = {ExitInput, error};
        return false;
    }
    std::vector<std::string> names;
    PackTotals totals;
    totals.OutputBound = stubSize + EndRecordSize + archive.Comment.size();
    for (const ImportEntry& entry : archive.Entries) {
        const ZipRecord& record = entry.Record;
        names.push_back(record.Name);
        CountEntry(totals, record, record.UncompressedSize, record.CompressedSize, record.Name);
    }
    std::size_t first = 0;
    std::size_t second = 0;
    if (FindCaseClash(names, first, second)) {
        failure = {ExitInput, "cannot wrap '" + options.Zip + "': entries '" + names[first] +
                                  "' and '" + names[second] +
                                  "' are one name on Windows, which ignores case"};
        return false;
    }
    std::string limit = LimitProblem(totals);
    if (!limit.empty()) {
        failure = {ExitLimit, "cannot wrap '" + options.Zip + "': " + limit};
        return false;
    }
    return true;
}

static void PrintEntry(const ZipRecord& record)
{
    double ratio = record.UncompressedSize == 0
                       ? 100.0
                       : 100.0 * record.CompressedSize / record.UncompressedSize;
    const char* how = record.Name.back() == '/'            ? "folder"
                      : record.Method == ZipMethodDeflated ? "deflated"
                                                           : "stored";
    std::printf("%10u  %-8s %6.1f%%  %s\n", record.UncompressedSize, how, ratio,
                record.Name.c_str());
}

static bool WriteDirectory(OutputFile& out, const std::vector<ZipRecord>& records,
                           const std::string& comment, Failure& failure)
{
    ByteBuffer directory;
    u64 start = out.Written;
    for (const ZipRecord& record : records)
        AppendCentralHeader(directory, record);
    u64 size = directory.size();
    AppendEndRecord(directory, static_cast<u16>(records.size()), static_cast<u32>(size),
                    static_cast<u32>(start), comment);
    std::string error;
    if (start + directory.size() >= SizeLimit) {
        failure = {ExitLimit, "cannot pack: the self-extractor would reach 2 GiB"};
        return false;
    }
    if (!OutputWrite(out, directory.data(), directory.size(), error)) {
        failure = {ExitOutput, error};
        return false;
    }
    return true;
}

static int Fail(OutputFile& out, const Failure& failure)
{
    OutputDiscard(out);
    Report(failure);
    return failure.Exit;
}

static int ExitFor(PackFault fault)
{
    return fault == PackFault::Input    ? ExitInput
           : fault == PackFault::Output ? ExitOutput
                                        : ExitLimit;
}

// What goes in: the file system's entries, or the entries of the archive to wrap.
struct Plan
{
    std::vector<InputEntry> Entries;
    ImportedArchive Archive;
    bool Wrap = false;
};

// Writes every entry behind the stub, with the progress line and the verbose lines.
static bool WriteEntries(const Options& options, Plan& plan, OutputFile& out,
                         std::vector<ZipRecord>& records, u64& inputBytes, Failure& failure)
{
    Progress progress;
    progress.Shown = !options.Quiet && !options.Verbose && isatty(2) != 0;
    progress.TotalEntries = plan.Wrap ? plan.Archive.Entries.size() : plan.Entries.size();
    for (const InputEntry& entry : plan.Entries)
        progress.TotalBytes += entry.Size;
    for (const ImportEntry& entry : plan.Archive.Entries)
        progress.TotalBytes += entry.Record.CompressedSize;
    auto observe = [&](const ZipRecord& record) {
        inputBytes += record.UncompressedSize;
        progress.Add(plan.Wrap ? record.CompressedSize : record.UncompressedSize);
        if (options.Verbose)
            PrintEntry(record);
    };
    std::string error;
    PackFault fault{};
    bool ok = true;
    if (plan.Wrap) {
        for (ImportEntry& entry : plan.Archive.Entries) {
            ok = ImportCopy(plan.Archive, entry, out, error, fault);
            if (!ok)
                break;
            records.push_back(entry.Record);
            observe(entry.Record);
        }
    } else {
        ok = PackEntries(plan.Entries, options.Pack, out, records, observe, error, fault);
    }
    progress.Clear();
    if (!ok)
        failure = {ExitFor(fault), error};
    return ok;
}

static bool CheckOutput(const Options& options, const OutputFile& out, std::size_t expected,
                        Failure& failure)
{
    u64 checked = 0;
    std::string problem = CheckProblem(out.TempPath, nullptr, checked);
    if (problem.empty() && checked == expected)
        return true;
    if (problem.empty())
        problem = "the stub's reader finds " + std::to_string(checked) + " entries, not " +
                  std::to_string(expected);
    failure = {ExitCheckFailed,
               "self-check of '" + options.Output + "' failed: " + problem + "; nothing written"};
    return false;
}

static void PrintSummary(const Options& options, std::size_t entries, u64 inputBytes,
                         u64 archiveBytes, std::size_t stubBytes, Clock::time_point start)
{
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    double ratio = inputBytes == 0 ? 0
                                   : 100.0 * static_cast<double>(archiveBytes) /
                                         static_cast<double>(inputBytes);
    std::printf("%s: %zu entries, %llu bytes in, %llu bytes archive (%.1f%%), stub %zu bytes, "
                "%.2f s\n",
                options.Output.c_str(), entries, static_cast<unsigned long long>(inputBytes),
                static_cast<unsigned long long>(archiveBytes), ratio, stubBytes, seconds);
}

static int RunPack(const Options& options)
{
    Clock::time_point start = Clock::now();
    Failure failure;

    struct stat st
    {
    };

    if (stat(options.Output.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        Report({ExitOutput, "cannot write '" + options.Output + "': Is a directory"});
        return ExitOutput;
    }
    ByteBuffer stub;
    Plan plan;
    plan.Wrap = options.Do == Action::Wrap;
    if (!LoadStub(options, stub, failure) ||
        !(plan.Wrap ? PlanZip(options, stub.size(), plan.Archive, failure)
                    : PlanInputs(options, stub.size(), plan.Entries, failure))) {
        ImportClose(plan.Archive);
        Report(failure);
        return failure.Exit;
    }
    OutputFile out;
    std::string error;
    if (!OutputOpen(out, options.Output, error) ||
        !OutputWrite(out, stub.data(), stub.size(), error)) {
        ImportClose(plan.Archive);
        return Fail(out, {ExitOutput, error});
    }
    std::vector<ZipRecord> records;
    u64 inputBytes = 0;
    bool written = WriteEntries(options, plan, out, records, inputBytes, failure) &&
                   WriteDirectory(out, records, plan.Archive.Comment, failure);
    ImportClose(plan.Archive);
    if (!written)
        return Fail(out, failure);
    if (!OutputClose(out, error))
        return Fail(out, {ExitOutput, error});
    if (options.SelfTest && !CheckOutput(options, out, records.size(), failure))
        return Fail(out, failure);
    u64 archiveBytes = out.Written - stub.size();
    if (!OutputCommit(out, error))
        return Fail(out, {ExitOutput, error});
    if (!options.Quiet)
        PrintSummary(options, records.size(), inputBytes, archiveBytes, stub.size(), start);
    return ExitOk;
}

int main(int argc, char** argv)
{
    Options options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    switch (options.Do) {
        case Action::Help:
        case Action::Version:
            std::fputs(options.Message.c_str(), stdout);
            return options.Exit;
        case Action::Usage:
            std::fputs(options.Message.c_str(), stderr);
            return options.Exit;
        case Action::Test:
            return RunTest(options);
        case Action::Pack:
        case Action::Wrap:
            break;
    }
    InstallInterruptHandlers();
    return RunPack(options);
}
