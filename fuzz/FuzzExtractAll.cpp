// The whole run over arbitrary program bytes, as the stub does it, into a scratch destination:
// the first bytes choose the questions' answers, ConfirmOverwrites, targets that exist
// beforehand (some read-only), the code page, faults and a Cancel during a transfer; the rest
// is the program file. After every input nothing outside the destination was made or changed,
// nothing is held, the result is one the run can return and agrees with the answers given,
// and a failed entry left no file of its own.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Resource.h"
#include "archive/ZipDirectory.h"
#include "context/SfxContext.h"
#include "extract/ExtractRun.h"
#include "inflate/InflateState.h"
#include "progress/ProgressDialog.h"
#include "support/HostControl.h"
#include "support/HostMessages.h"
#include "support/HostWindows.h"

namespace fs = std::filesystem;

namespace {

// Larger inputs only repeat what smaller ones reach, at a fraction of the speed.
constexpr std::size_t MaxProgramSize = std::size_t{64} * 1024;
// Entries may inflate a thousandfold and share their data; a full disk keeps each input fast.
constexpr long long DiskSize = 4LL * 1024 * 1024;

struct Controls
{
    // 1 ConfirmOverwrites, 2 code page 932, 4 short reads, 8 small disk, 16 the user cancels
    // during a transfer, 32 no progress window (the abort key then stands in for Cancel)
    std::uint8_t Flags;
    std::uint8_t Existing;    // bit i: the i-th entry's target exists beforehand
    std::uint8_t ReadOnly;    // bit i: and is read-only
    std::uint8_t Fault;       // the size or moment of the faults chosen
    std::uint8_t Answers[2];  // seed of the answers
};

constexpr std::size_t ControlSize = sizeof(Controls);
static_assert(ControlSize == 6);

std::string ScratchRoot;  // removed on a failure too, since abort runs no destructor

// The scratch tree: root holds the program, a marker and the nest a/b/c whose last folder
// holds only the destination, so an escape of up to four levels lands somewhere we look.
struct Scratch
{
    Scratch();

    ~Scratch()
    {
        std::error_code error;
        fs::remove_all(Root, error);
    }

    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string Root;  // host path, ends in '/'
    std::string Program;
    std::string Marker;
    std::string Destination;  // host path of the destination folder

    struct stat MarkerStat
    {
    };
};

const char MarkerText[] = "beside the destination; must stay as it is\n";

Scratch::Scratch()
{
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/sfx-fuzz-run-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    Root = pattern + "/";
    ScratchRoot = Root;
    Program = Root + "setup.exe";
    Marker = Root + "marker.txt";
    Destination = Root + "a/b/c/out";
    fs::create_directories(Destination);
    std::ofstream(Marker, std::ios::binary) << MarkerText;
    stat(Marker.c_str(), &MarkerStat);
}

[[noreturn]] void Fail(const char* what, const std::string& detail = "")
{
    std::fprintf(stderr, "FuzzExtractAll: %s %s\n", what, detail.c_str());
    std::error_code error;
    fs::remove_all(ScratchRoot, error);
    std::abort();
}

// Win32 form of a host path under C:, which the host layer maps to "/".
std::string Win32Path(const std::string& hostPath)
{
    std::string path = "C:" + hostPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every folder on the way to the destination holds exactly what was put there.
void CheckOutside(const Scratch& s, const std::uint8_t* program, std::size_t size)
{
    struct Level
    {
        std::string Folder;
        std::vector<std::string> Names;
    } const levels[] = {
        {s.Root, {"a", "marker.txt", "setup.exe"}},
        {s.Root + "a", {"b"}},
        {s.Root + "a/b", {"c"}},
        {s.Root + "a/b/c", {"out"}},
    };

    for (const Level& level : levels) {
        std::vector<std::string> names;
        for (const fs::directory_entry& e : fs::directory_iterator(level.Folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        if (names != level.Names)
            Fail("something was made beside the destination in", level.Folder);
    }

    struct stat now
    {
    };

    if (stat(s.Marker.c_str(), &now) != 0 || now.st_size != s.MarkerStat.st_size ||
        now.st_mtim.tv_sec != s.MarkerStat.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != s.MarkerStat.st_mtim.tv_nsec || ReadAll(s.Marker) != MarkerText)
        Fail("the marker beside the destination changed");
    std::string after = ReadAll(s.Program);
    if (after.size() != size || std::memcmp(after.data(), program, size) != 0)
        Fail("the program file changed");
}

// The answers the message boxes get, in order: Yes, No or Cancel; more than the at most two
// questions of every entry a program of the largest size can hold.
std::vector<int> MakeAnswers(const Controls& c)
{
    std::uint32_t state = (static_cast<std::uint32_t>(c.Answers[0]) << 8 | c.Answers[1]) + 1;
    std::vector<int> answers;
    for (int i = 0; i < 4096; ++i) {
        state = state * 1103515245u + 12345u;
        static const int choices[] = {IDYES, IDYES, IDNO, IDCANCEL};
        answers.push_back(choices[(state >> 16) & 3]);
    }
    return answers;
}

// Everything under a folder, sorted.
std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder))
        names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One spelling of a host path, so two names of the same file compare equal.
std::string Normal(const std::string& hostPath)
{
    std::string path = fs::path(hostPath).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Targets of the first eight entries made beforehand, so the questions come up: files, some
// read-only; a folder entry's folder, or a read-only file standing in its way.
std::set<std::string> MakeExistingTargets(const Controls& c, const std::string& destination)
{
    std::set<std::string> made;
    if (c.Existing == 0)
        return made;
    ArchiveReader reader;
    int index = 0;
    for (i32 result = ArchiveOpen(SfxContext.ProgramPath, reader, 0,
                                  ArchiveLengthBeforeSignature(SfxContext.ProgramPath));
         result == ArchiveEntryReady && index < 8; result = ArchiveNextEntry(reader), ++index) {
        if ((c.Existing & (1u << index)) == 0)
            continue;
        char target[PathBufferSize];
        char* last = nullptr;
        if (!ComposeTargetPath(target, destination.c_str(), reader.Entry.Name, last) ||
            reader.Entry.NameUnusable || !IsSafeEntryName(last))
            continue;
        std::string host = HostPath(target);
        bool folder = !host.empty() && host.back() == '/';
        while (!host.empty() && host.back() == '/')
            host.pop_back();
        bool readOnly = (c.ReadOnly & (1u << index)) != 0;
        std::error_code error;
        if (folder && !readOnly) {
            fs::create_directories(host, error);
            continue;
        }
        fs::create_directories(fs::path(host).parent_path(), error);
        std::ofstream(host, std::ios::binary) << "old";
        made.insert(Normal(host));
        if (readOnly)
            SetFileAttributesA(target, FILE_ATTRIBUTE_READONLY);
    }
    ArchiveClose(reader);
    return made;
}

// An entry that failed leaves no file of its own: the target named by the last status text,
// unless it was there before the run or an earlier entry of the same target made it.
void CheckNoPartialFile(const std::set<std::string>& existing)
{
    std::vector<std::string> targets;
    bool whole = false;
    for (const HostItemText& item : HostItemTexts()) {
        std::size_t to = item.Text.find("\rTo:   ");
        if (item.Id == ID_STATUS_TEXT && to != std::string::npos) {
            targets.push_back(item.Text.substr(to + 7));
            whole = item.Text.size() < StatusTextLimit;
        }
    }
    if (targets.empty() || !whole)
        return;
    std::string last = Normal(HostPath(targets.back().c_str()));
    for (std::size_t i = 0; i + 1 < targets.size(); ++i)
        if (Normal(HostPath(targets[i].c_str())) == last)
            return;

    struct stat st
    {
    };

    if (existing.count(last) == 0 && stat(last.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        Fail("a failed entry left its file behind:", last);
}

void ResetAll()
{
    HostReset();
    HostMessagesReset();
    InflateStateReset();
    SfxContextReset();
    ProgressReset();
    static const char* const texts[] = {
        "",
        "Please select the destination dir:",
        "From: ",
        "To:   ",
        "File exists, overwrite?",
        "Nothing to extract!",
        "Unzip aborted!",
        "Unzip NOT successful!",
        "Error writing target file!",
        "Target write protected, overwrite anyway?",
    };
    for (unsigned id = IDS_BROWSE_TITLE; id <= IDS_WRITE_PROTECTED; ++id)
        HostSetString(id, texts[id]);
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// What the input chose to go wrong: the answers, a disk that fills up, reads cut short, and
// a Cancel during a transfer.
struct
{
    bool ShortReads;
    bool ClickCancel;
    bool CancelPressed;
    unsigned KeyQueries;
    std::uint8_t When;
} Faults;

void SetUpFaults(const Controls& c, const std::vector<int>& answers)
{
    HostAnswerMessageBoxes(answers);
    HostFailWritesAfter(DiskSize);
    // A small disk fills up mid-entry. A failed heap request ends the program by design, so it
    // is no fault to try here.
    if ((c.Flags & 8) != 0)
        HostFailWritesAfter(static_cast<long long>(c.Fault) * 97);
    Faults.ShortReads = (c.Flags & 4) != 0;
    Faults.ClickCancel = (c.Flags & 48) == 16;
    Faults.CancelPressed = false;
    Faults.KeyQueries = 0;
    Faults.When = c.Fault;
    HostOnPeek([](unsigned calls) {
        // Reads cut short from the first transfer on, so they cross every refill; before it
        // the directory is read whole, as it always is from a local file. Never below a local
        // header, which is read in one piece too.
        if (Faults.ShortReads)
            HostLimitReads(30u + Faults.When % 64u);
        if (!Faults.ClickCancel || calls != Faults.When + 1u ||
            SfxContext.ProgressWindow == nullptr)
            return;
        MSG click{};
        click.hwnd = SfxContext.ProgressWindow;
        click.message = WM_COMMAND;
        click.wParam = IDCANCEL;
        HostPostMessage(click);
        Faults.CancelPressed = true;
    });
    if ((c.Flags & 32) != 0)
        HostFailDialogs(true);
    if ((c.Flags & 48) == 48) {
        HostOnKeyState([](int key) -> SHORT {
            if (key != ID_PROGRESS_LABEL || ++Faults.KeyQueries <= Faults.When)
                return 0;
            Faults.CancelPressed = true;
            return static_cast<SHORT>(0x8000);
        });
    }
}

// The result, the questions asked and what the run holds afterwards agree with each other.
void CheckResult(i32 result, const std::vector<int>& answers, const std::string& destination)
{
    if (result != ResultOk && result != ResultWriteFailed && result != RunOtherFailure &&
        result != ResultAborted && result != RunDirectoryUnreadable)
        Fail("a result the run cannot return:", std::to_string(result));
    const std::vector<HostMessageBox>& boxes = HostMessageBoxes();
    bool cancelled = false;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i].Caption != "File exists, overwrite?" &&
            boxes[i].Caption != "Target write protected, overwrite anyway?")
            Fail("a box the run does not ask:", boxes[i].Caption);
        if (!StartsWith(boxes[i].Text, destination))
            Fail("a question about a target outside the destination:", boxes[i].Text);
        if (i >= answers.size())
            Fail("more questions than entries could raise");
        cancelled = answers[i] == IDCANCEL;
        if (cancelled && i + 1 != boxes.size())
            Fail("the run went on after Cancel");
    }
    // A Cancel during a transfer may come after the last one, and is then too late.
    if ((cancelled && result != ResultAborted) ||
        (result == ResultAborted && !cancelled && !Faults.CancelPressed))
        Fail("Cancel and the result disagree:", std::to_string(result));
    if (result == ResultWriteFailed && !StartsWith(FailedTarget, destination))
        Fail("a write error outside the destination:", FailedTarget);
    if (InflateState.Window != nullptr)
        Fail("the window is still held");
    if (HostOpenFiles() != 0 || HostHeapBlocks() != 0)
        Fail("a file or heap block is left:", std::to_string(HostOpenFiles()) + " files, " +
                                                  std::to_string(HostHeapBlocks()) + " blocks");
    if (HostOpenDeviceContexts() != 0 || HostLiveBrushes() != 0)
        Fail("a device context or brush is left");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < ControlSize || size - ControlSize > MaxProgramSize)
        return 0;
    Controls c{};
    std::memcpy(&c, data, ControlSize);
    const std::uint8_t* program = data + ControlSize;
    std::size_t programSize = size - ControlSize;

    static Scratch s;
    {
        std::ofstream out(s.Program, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(program),
                  static_cast<std::streamsize>(programSize));
    }
    ResetAll();
    if ((c.Flags & 2) != 0)
        HostSetCodePage(932);
    std::string destination = Win32Path(s.Destination) + "\\";
    TextCopy(SfxContext.ProgramPath, Win32Path(s.Program).c_str());
    TextCopy(SfxContext.Destination, destination.c_str());
    SfxContext.ConfirmOverwrites = (c.Flags & 1) != 0;
    std::set<std::string> existing = MakeExistingTargets(c, destination);

    std::vector<int> answers = MakeAnswers(c);
    SetUpFaults(c, answers);

    // What the run does between the destination and its final message.
    u32 length = ArchiveLengthBeforeSignature(SfxContext.ProgramPath);
    i32 result = ResultOk;
    double total = SumEntrySizes(SfxContext.ProgramPath, 0, length);
    std::vector<std::string> before = Listing(s.Destination);
    if (total != 0) {
        SfxContext.ProgressWindow = ProgressCreate();
        ProgressSetTotal(total);
        result = ExtractAll(SfxContext.ProgramPath, SfxContext.Destination, 0, length);
        ProgressDestroy();
        SfxContext.ProgressWindow = nullptr;
    }

    if (total == 0 && Listing(s.Destination) != before)
        Fail("something was made with nothing to extract");
    CheckResult(result, answers, destination);
    if (result == ResultWriteFailed || result == RunOtherFailure || result == ResultAborted)
        CheckNoPartialFile(existing);
    CheckOutside(s, program, programSize);

    fs::remove_all(s.Destination);
    fs::create_directory(s.Destination);
    return 0;
}
