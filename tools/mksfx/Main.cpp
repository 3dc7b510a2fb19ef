// mksfx: packs folders and files, or an existing ZIP archive, behind the stub into one
// self-extractor, and tests self-extractors with the stub's own reader and decoder. Acts on
// what the options say; every error goes to standard error with its exit code.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ArchiveCheck.h"
#include "Branding.h"
#include "Console.h"
#include "Limits.h"
#include "Names.h"
#include "Options.h"
#include "Pack.h"
#include "Plan.h"
#include "System.h"
#include "inflate/Crc32.h"

static void Report(const Failure& failure)
{
    std::fprintf(stderr, "mksfx: %s\n", failure.Message.c_str());
}

// Walks the archive with the stub's reader and decodes every entry with its engine. The first
// problem: input when no archive can be read at all, a failed check after that; or none.
static Failure CheckProblem(const std::string& path, const EntryCheckVisitor& visit, u64& entries)
{
    ArchiveCheckSummary summary = CheckArchive(path.c_str(), visit);
    entries = summary.Entries;
    if (summary.Open != ArchiveEntryReady)
        return {ExitInput, ArchiveOpenProblem(summary.Open)};
    if (summary.Failed != 0)
        return {ExitCheckFailed, "entry '" + ShownName(summary.FirstFailedName) +
                                     "' fails the stub's decoder (result " +
                                     std::to_string(summary.FirstFailure.Result) +
                                     summary.FirstFailure.Problem + ")"};
    if (summary.WalkEnd != ArchiveDirectoryEnd)
        return {ExitCheckFailed, "after entry " + std::to_string(summary.Entries) + ": " +
                                     ArchiveOpenProblem(summary.WalkEnd)};
    return {};
}

// The icon's images and the version texts the program carries, where it carries them.
static void PrintBrand(const std::string& path)
{
    // The headers say where the image ends; a damaged file may say anything.
    constexpr u32 ImageReadLimit = 16u << 20;
    u32 end = ImageFileEnd(path.c_str());
    if (end == 0 || end > ImageReadLimit)
        return;
    FileHandle file = OpenForReading(path);
    ByteBuffer image(end);
    bool read = file != NoFile && ReadAt(file, 0, image.data(), end);
    CloseFile(file);
    BrandInfo info;
    if (!read || !ReadBrand(image, info))
        return;
    std::string line;
    for (const std::string& size : info.IconSizes)
        line += (line.empty() ? "" : ", ") + size;
    if (!line.empty())
        std::printf("icon: %zu image%s, %s\n", info.IconSizes.size(),
                    info.IconSizes.size() == 1 ? "" : "s", line.c_str());
    line.clear();
    for (const auto& [key, value] : info.VersionTexts)
        line += (line.empty() ? "" : "; ") + key + ": " + ShownName(value);
    if (!line.empty())
        std::printf("version: %s\n", line.c_str());
}

static int RunTest(const Options& options)
{
    if (!Readable(options.Test)) {
        Report(
            {ExitInput, "cannot read '" + ShownPath(options.Test) + "': " + std::strerror(errno)});
        return ExitInput;
    }
    u64 entries = 0;
    Failure problem =
        CheckProblem(options.Test, options.Verbose ? PrintCheckedEntry : nullptr, entries);
    if (problem.Exit != ExitOk) {
        Report({problem.Exit, ShownPath(options.Test) + ": " + problem.Message});
        return problem.Exit;
    }
    static SfxSettings settings;
    if (ReadSettings(options.Test.c_str(), settings) == SettingsDamaged) {
        Report({ExitCheckFailed, ShownPath(options.Test) +
                                     ": the settings are damaged; the stub would extract nothing"});
        return ExitCheckFailed;
    }
    if (!options.Quiet) {
        std::printf("%s: %llu entries OK\n", ShownPath(options.Test).c_str(),
                    static_cast<unsigned long long>(entries));
        PrintSettings(settings);
        PrintBrand(options.Test);
    }
    return ExitOk;
}

static bool WriteDirectory(OutputFile& out, const std::vector<ZipRecord>& records,
                           const std::string& comment, Failure& failure)
{
    ByteBuffer directory;
    u64 start = out.Written;
    for (const ZipRecord& record : records)
        AppendCentralHeader(directory, record);
    AppendDirectoryEnd(directory, records.size(), directory.size(), start, comment);
    std::string error;
    if (start + directory.size() >= OutputLimit) {
        failure = {ExitLimit, std::string("cannot pack: ") + OutputLimitProblem};
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

// Writes every entry behind the stub, with the progress line and the verbose lines.
static bool WriteEntries(const Options& options, Plan& plan, OutputFile& out,
                         std::vector<ZipRecord>& records, u64& inputBytes, Failure& failure)
{
    Progress progress;
    progress.Shown = !options.Quiet && !options.Verbose && ErrorIsTerminal();
    progress.TotalEntries = plan.Wrap ? plan.Archive.Entries.size() : plan.Entries.size();
    for (const InputEntry& entry : plan.Entries)
        progress.TotalBytes += entry.Size;
    for (const ImportEntry& entry : plan.Archive.Entries)
        progress.TotalBytes += entry.Record.CompressedSize;
    auto observe = [&](const ZipRecord& record) {
        inputBytes += record.UncompressedSize;
        progress.Add(plan.Wrap ? record.CompressedSize : record.UncompressedSize);
        if (options.Verbose)
            PrintPackedEntry(record);
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
                        bool settings, Failure& failure)
{
    u64 checked = 0;
    std::string problem = CheckProblem(out.TempPath, nullptr, checked).Message;
    static SfxSettings read;
    bool settingsRead =
        ReadSettings(out.TempPath.c_str(), read) == (settings ? SettingsRead : SettingsNone);
    if (problem.empty() && checked == expected && settingsRead)
        return true;
    if (problem.empty() && checked != expected)
        problem = "the stub's reader finds " + std::to_string(checked) + " entries, not " +
                  std::to_string(expected);
    else if (problem.empty())
        problem = settings ? "the stub cannot read its settings"
                           : "the stub finds settings that were not written";
    // Our own output failed, however little of it the stub's reader could read.
    failure = {ExitCheckFailed, "self-check of '" + ShownPath(options.Output) +
                                    "' failed: " + problem + "; nothing written"};
    return false;
}

static int RunPack(const Options& options)
{
    Clock::time_point start = Clock::now();

    PathStatus st;
    if (StatusOfPath(options.Output, st) && st.Folder) {
        Report({ExitOutput, "cannot write '" + ShownPath(options.Output) + "': Is a directory"});
        return ExitOutput;
    }
    Plan plan;
    Failure failure;
    if (!PlanPack(options, plan, failure)) {
        Report(failure);
        return failure.Exit;
    }
    OutputFile out;
    std::string error;
    if (!OutputOpen(out, options.Output, error) ||
        !OutputWrite(out, plan.Stub.data(), plan.Stub.size(), error) ||
        !OutputWrite(out, plan.Settings.data(), plan.Settings.size(), error)) {
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
    if (options.SelfTest &&
        !CheckOutput(options, out, records.size(), !plan.Settings.empty(), failure))
        return Fail(out, failure);
    // The block counts with the stub: both come before the archive.
    std::size_t front = plan.Stub.size() + plan.Settings.size();
    u64 archiveBytes = out.Written - front;
    if (!OutputCommit(out, error))
        return Fail(out, {ExitOutput, error});
    if (!options.Quiet)
        PrintSummary(options.Output, records.size(), inputBytes, archiveBytes, front, start);
    return ExitOk;
}

int main(int argc, char** argv)
{
    Options options = ParseOptions(StartProgram(argc, argv));
    InitCrcTable();  // the settings reader's, whether or not an archive was checked before
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
