#include "Plan.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Limits.h"
#include "Names.h"
#include "System.h"

extern "C" const unsigned char SfxStubStart[];
extern "C" const unsigned char SfxStubEnd[];
extern "C" const unsigned char SfxAdminStubStart[];
extern "C" const unsigned char SfxAdminStubEnd[];

static bool LoadStub(const Options& options, ByteBuffer& stub, Failure& failure)
{
    if (options.Stub.empty()) {
        if (options.Sfx.Admin)
            stub.assign(SfxAdminStubStart, SfxAdminStubEnd);
        else
            stub.assign(SfxStubStart, SfxStubEnd);
        return true;
    }
    FileHandle file = OpenForReading(options.Stub);
    PathStatus st;
    if (file == NoFile || !StatusOfFile(file, st)) {
        failure = {ExitInput,
                   "cannot read '" + ShownPath(options.Stub) + "': " + std::strerror(errno)};
        CloseFile(file);
        return false;
    }
    stub.resize(static_cast<std::size_t>(st.Size));
    bool read = ReadAt(file, 0, stub.data(), stub.size());
    CloseFile(file);
    if (!read || stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z') {
        failure = {ExitInput, "cannot use '" + ShownPath(options.Stub) +
                                  "' as the stub: not a Windows program"};
        return false;
    }
    // The stub looks for its settings where its image ends.
    if (options.Sfx.Given && ImageFileEnd(options.Stub.c_str()) != stub.size()) {
        failure = {ExitInput, "cannot use '" + ShownPath(options.Stub) +
                                  "' as the stub with settings: its file does not end where "
                                  "its image does"};
        return false;
    }
    return true;
}

// The icon file whole, within its limit, and its images checked before any output.
static bool LoadIcon(const std::string& path, std::vector<IconImage>& images, Failure& failure)
{
    FileHandle handle = OpenForReading(path);
    PathStatus st;
    bool opened = handle != NoFile && StatusOfFile(handle, st);
    if (!opened || !st.Regular) {
        failure = {ExitInput, "cannot read '" + ShownPath(path) +
                                  "': " + (opened ? "not a file" : std::strerror(errno))};
        CloseFile(handle);
        return false;
    }
    // One byte past the limit is enough to tell that it is over.
    ByteBuffer file(static_cast<std::size_t>(std::min<u64>(st.Size, IconFileLimit + 1)));
    bool read = ReadAt(handle, 0, file.data(), file.size());
    CloseFile(handle);
    std::string problem;
    if (!read)
        problem = "cannot be read whole";
    else
        ParseIcon(file, images, problem);
    if (!problem.empty())
        failure = {ExitInput, "cannot use '" + ShownPath(path) + "' as the icon: it " + problem};
    return problem.empty();
}

// Brands the stub before anything is written behind it.
static bool PlanBrand(const Options& options, ByteBuffer& stub, Failure& failure)
{
    std::vector<IconImage> icon;
    if (!BrandGiven(options.Brand))
        return true;
    if (!options.Brand.IconPath.empty() && !LoadIcon(options.Brand.IconPath, icon, failure))
        return false;
    std::string problem;
    if (BrandStub(stub, options.Brand, icon, problem))
        return true;
    failure = {ExitInput, "cannot brand the stub" +
                              (options.Stub.empty() ? "" : " '" + ShownPath(options.Stub) + "'") +
                              ": " + problem};
    return false;
}

// The program to run must be a file of the archive, found as Windows finds names.
static bool PlanRun(const SfxOptions& sfx, const std::vector<std::string>& names, Failure& failure)
{
    auto folded = [](std::string name) {
        for (char& c : name)
            c = c == '\\' ? '/' : c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        return name;
    };
    if (sfx.RunProgram.empty())
        return true;
    std::string program = folded(sfx.RunProgram);
    for (const std::string& name : names)
        if (folded(name) == program)
            return true;
    failure = {ExitInput, "cannot run '" + ShownName(sfx.RunProgram) +
                              "' after extracting: the archive holds no file of that name"};
    return false;
}

// Packs the file system's entries: lists, names, checks limits, all before any output.
static bool PlanInputs(const Options& options, u64 frontSize, std::vector<InputEntry>& entries,
                       Failure& failure)
{
    ScanSkip skip;
    PathStatus st;
    if (StatusOfPath(options.Output, st))
        skip = {true, st.Volume, st.Index};
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
            failure = {ExitInput, "cannot pack '" + ShownPath(entry.Path) + "': " + problem};
            return false;
        }
        names.push_back(entry.Name);
    }
    std::size_t first = 0;
    std::size_t second = 0;
    if (FindCaseClash(names, first, second)) {
        failure = {ExitInput, "cannot pack both '" + ShownPath(entries[first].Path) + "' and '" +
                                  ShownPath(entries[second].Path) + "': their names '" +
                                  ShownName(names[first]) + "' and '" + ShownName(names[second]) +
                                  "' are one name on Windows, which ignores case"};
        return false;
    }
    if (!PlanRun(options.Sfx, names, failure))
        return false;
    i64 epoch = 0;
    const char* epochText = std::getenv("SOURCE_DATE_EPOCH");
    if (epochText != nullptr && !ParseEpoch(epochText, epoch)) {
        failure = {ExitUsage,
                   "SOURCE_DATE_EPOCH='" + ShownName(epochText) + "' is not a number of seconds"};
        return false;
    }
    PackTotals totals;
    totals.OutputBound = frontSize;
    for (InputEntry& entry : entries) {
        if (epochText != nullptr && entry.ModifiedTime > epoch)
            entry.ModifiedTime = epoch;
        // Stored, the size is known now; deflated, only once compressed, so a file of zeros far
        // past 4 GiB may still go in.
        ZipRecord record = RecordOf(entry);
        record.UncompressedSize = entry.Size;
        record.CompressedSize = options.Pack.Level == 0 ? entry.Size : DeflatedFloor(entry.Size);
        CountEntry(totals, record);
    }
    totals.OutputBound += DirectoryEndLength(totals.Entries, "");
    std::string limit = LimitProblem(totals);
    if (!limit.empty()) {
        failure = {ExitLimit, "cannot pack: " + limit};
        return false;
    }
    return true;
}

static bool PlanZip(const Options& options, u64 frontSize, ImportedArchive& archive,
                    Failure& failure)
{
    std::string error;
    if (!ImportOpen(options.Zip, archive, error)) {
        failure = {ExitInput, error};
        return false;
    }
    std::vector<std::string> names;
    // Every size is known: the bound is the output's size.
    PackTotals totals;
    totals.OutputBound = frontSize + DirectoryEndLength(archive.Entries.size(), archive.Comment);
    for (const ImportEntry& entry : archive.Entries) {
        names.push_back(entry.Record.Name);
        CountEntry(totals, entry.Record);
    }
    std::size_t first = 0;
    std::size_t second = 0;
    if (FindCaseClash(names, first, second)) {
        failure = {ExitInput, "cannot wrap '" + ShownPath(options.Zip) + "': entries '" +
                                  ShownName(names[first]) + "' and '" + ShownName(names[second]) +
                                  "' are one name on Windows, which ignores case"};
        return false;
    }
    if (!PlanRun(options.Sfx, names, failure))
        return false;
    std::string limit = LimitProblem(totals);
    if (!limit.empty()) {
        failure = {ExitLimit, "cannot wrap '" + ShownPath(options.Zip) + "': " + limit};
        return false;
    }
    return true;
}

bool PlanPack(const Options& options, Plan& plan, Failure& failure)
{
    plan.Wrap = options.Do == Action::Wrap;
    plan.Settings = SettingsBlock(options.Sfx);
    bool planned = LoadStub(options, plan.Stub, failure) && PlanBrand(options, plan.Stub, failure);
    // The entries start behind the stub and the block.
    u64 front = plan.Stub.size() + plan.Settings.size();
    planned = planned && (plan.Wrap ? PlanZip(options, front, plan.Archive, failure)
                                    : PlanInputs(options, front, plan.Entries, failure));
    if (!planned)
        ImportClose(plan.Archive);
    return planned;
}
