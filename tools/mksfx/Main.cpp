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
#include "Pack.h"
#include "ZipImport.h"

extern "C" const unsigned char SfxStubStart[];
extern "C" const unsigned char SfxStubEnd[];

namespace {

constexpr const char* Version = "mksfx 1.0";
constexpr int DefaultLevel = 9;

// Exit codes, as --help lists them.
constexpr int ExitOk = 0;
constexpr int ExitCheckFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitInput = 3;
constexpr int ExitLimit = 4;
constexpr int ExitOutput = 5;

const char* const HelpText = R"(Usage:
  mksfx [options] -o OUT.exe INPUT...      pack folders and files into a self-extractor
  mksfx [options] -o OUT.exe --zip IN.zip  wrap an existing ZIP archive
  mksfx --test FILE.exe                    check an existing self-extractor

Where inputs land: a folder goes in under its own last name (mksfx -o x.exe some/dir packs
dir/...); end it in /. to put its contents at the archive's root (some/dir/.), which is
what a self-extractor usually wants. A file goes in under its last name. Folders are packed
with everything in them, empty folders included; the output file itself is never packed.
Symbolic links are followed; a link to a folder that contains it is refused.

Options:
  -o, --output OUT.exe  the self-extractor to write; written beside as a temporary file
                        and renamed at the end, so an error leaves an existing OUT.exe as
                        it was
  -0 ... -12            compression level: 0 stores, 12 is smallest (default -9); an entry
                        is stored when deflating would not make it smaller
      --zopfli          zopfli's deflate: smallest output, many times slower
  -j, --jobs N          files compressed at once (default: the number of cores); the
                        output does not depend on it
      --zip IN.zip      copy the entries of IN.zip unchanged, with fresh offsets
      --stub PATH       put this stub in front instead of the built-in one
      --test FILE.exe   decode every entry of FILE.exe with the stub's reader and
                        decoder and check CRC-32 and sizes
      --no-test         skip that check of the new self-extractor before it is renamed
  -q, --quiet           print errors only
  -v, --verbose         one line per entry: name, size, stored or deflated, ratio
  -h, --help            this text
  -V, --version         the version

Archive entries: names with '/' separators, UTF-8 (flagged) where not ASCII; refused are
names Windows cannot hold or would change (':', '\', < > " | ? *, control characters,
device names such as CON or LPT1, a part ending in a dot or a blank), names over 255
bytes, and two names that differ only in ASCII case. Times are the local time (as TZ
says) in 2-second steps, odd seconds rounded down, plus the exact UTC time for other
unzippers; SOURCE_DATE_EPOCH caps every time. Attributes: folder, archive, and read-only
for files without the owner's write permission. Identical input gives identical bytes.

Limits of the stub: entries under 2 GiB each and in total, a self-extractor under 2 GiB,
at most 65535 entries, and at least one entry that is not empty.

Exit codes:
  0  success
  1  the check of the self-extractor failed (--test, or the check after packing)
  2  usage: unknown option, missing argument
  3  input: a file that cannot be read, a name or entry that cannot be packed
  4  limit: past what the stub can extract
  5  output: the self-extractor cannot be written
)";

struct Options
{
    std::string Output;
    std::string Zip;
    std::string Test;
    std::string Stub;
    std::vector<std::string> Inputs;
    PackOptions Pack;
    bool SelfTest = true;
    bool Quiet = false;
    bool Verbose = false;
};

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

static bool Usage(Failure& failure, const std::string& message)
{
    failure = {ExitUsage, message + " (mksfx --help lists the options)"};
    return false;
}

static bool ParseLevel(const std::string& arg, int& level)
{
    if (arg.size() < 2 || arg.size() > 3 || arg[0] != '-' ||
        !std::all_of(arg.begin() + 1, arg.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    level = std::atoi(arg.c_str() + 1);
    return level <= 12;
}

// An option's value: the rest of this argument (-j4, --jobs=4) or the next one.
static bool TakeValue(int argc, char** argv, int& i, std::size_t inlineAt, std::string& value)
{
    std::string arg = argv[i];
    if (inlineAt < arg.size()) {
        value = arg.substr(inlineAt);
        return true;
    }
    if (i + 1 >= argc)
        return false;
    value = argv[++i];
    return true;
}

static bool ParseOptions(int argc, char** argv, Options& options, Failure& failure)
{
    options.Pack.Level = DefaultLevel;
    unsigned cores = std::thread::hardware_concurrency();
    options.Pack.Jobs = cores == 0 ? 1 : cores;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            options.Inputs.push_back(arg);
            continue;
        }
        std::string name = arg.substr(0, arg.find('='));
        std::size_t inlineAt = arg.compare(0, 2, "--") == 0
                                   ? (name.size() < arg.size() ? name.size() + 1 : arg.size())
                                   : 2;
        std::string* target = nullptr;
        if (arg == "--") {
            optionsDone = true;
        } else if (ParseLevel(arg, options.Pack.Level)) {
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(HelpText, stdout);
            std::exit(ExitOk);
        } else if (arg == "-V" || arg == "--version") {
            std::printf("%s\n", Version);
            std::exit(ExitOk);
        } else if (arg == "--zopfli") {
            options.Pack.Zopfli = true;
        } else if (arg == "--no-test") {
            options.SelfTest = false;
        } else if (arg == "-q" || arg == "--quiet") {
            options.Quiet = true;
        } else if (arg == "-v" || arg == "--verbose") {
            options.Verbose = true;
        } else if (arg.compare(0, 2, "-o") == 0 || name == "--output") {
            target = &options.Output;
        } else if (name == "--zip") {
            target = &options.Zip;
        } else if (name == "--test") {
            target = &options.Test;
        } else if (name == "--stub") {
            target = &options.Stub;
        } else if (arg.compare(0, 2, "-j") == 0 || name == "--jobs") {
            std::string value;
            if (!TakeValue(argc, argv, i, inlineAt, value))
                return Usage(failure, "'" + arg + "' needs a number");
            char* end = nullptr;
            long jobs = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || jobs < 1 || jobs > 256)
                return Usage(failure, "'" + value + "' is not a number of jobs from 1 to 256");
            options.Pack.Jobs = static_cast<unsigned>(jobs);
        } else {
            return Usage(failure, "unknown option '" + arg + "'");
        }
        if (target != nullptr && !TakeValue(argc, argv, i, inlineAt, *target))
            return Usage(failure, "'" + arg + "' needs a file name");
        if (target != nullptr && target->empty())
            return Usage(failure, "'" + arg + "' needs a file name");
    }
    if (!options.Test.empty()) {
        if (!options.Output.empty() || !options.Zip.empty() || !options.Inputs.empty())
            return Usage(failure, "--test takes one file and nothing to pack");
        return true;
    }
    if (options.Output.empty())
        return Usage(failure, "no output named (-o OUT.exe)");
    if (!options.Zip.empty() && !options.Inputs.empty())
        return Usage(failure, "--zip takes the archive alone, no other inputs");
    if (options.Zip.empty() && options.Inputs.empty())
        return Usage(failure, "nothing to pack: name folders or files, or --zip IN.zip");
    return true;
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
    plan.Wrap = !options.Zip.empty();
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
    Options options;
    Failure failure;
    if (!ParseOptions(argc, argv, options, failure)) {
        Report(failure);
        return failure.Exit;
    }
    if (!options.Test.empty())
        return RunTest(options);
    InstallInterruptHandlers();
    return RunPack(options);
}
