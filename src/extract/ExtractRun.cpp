// The run over all entries, its questions and its final message. Texts come from the string
// table through the one shared buffer, so each is used before the next is loaded.
#include "extract/ExtractRun.h"

#include "Resource.h"
#include "archive/ZipDirectory.h"
#include "context/SfxContext.h"
#include "extract/ExtractEntry.h"
#include "files/FileInfo.h"
#include "files/FileSystem.h"
#include "progress/ProgressDialog.h"
#include "settings/Settings.h"
#include "text/Text.h"

constinit char FailedTarget[PathBufferSize] = {};

constexpr UINT StyleOverwriteQuestion = 0x23;     // MB_YESNOCANCEL | MB_ICONQUESTION
constexpr UINT StyleWriteProtectQuestion = 0x13;  // MB_YESNOCANCEL | MB_ICONHAND
constexpr u16 AttributesAfterUnprotect = FILE_ATTRIBUTE_ARCHIVE;

double SumEntrySizes(const char* archivePath, u32 base, u32 archiveLength)
{
    ArchiveReader reader;
    i32 result = ArchiveOpen(archivePath, reader, base, archiveLength);
    double sum = 0;
    while (result == ArchiveEntryReady) {
        sum += static_cast<double>(reader.Entry.UncompressedSize);
        result = ArchiveNextEntry(reader);
    }
    ArchiveClose(reader);
    return sum;
}

constexpr i32 TargetMissing = 0;
constexpr i32 TargetFound = 1;
constexpr i32 TargetElsewhere = 2;  // the system takes the name for a file of another name

// Whether two names are one to the system, which ignores case in every script.
static bool IsSameName(const char* a, const char* b)
{
    WCHAR wideA[MAX_PATH];
    WCHAR wideB[MAX_PATH];
    return WideFromText(wideA, a, MAX_PATH) >= 0 && WideFromText(wideB, b, MAX_PATH) >= 0 &&
           lstrcmpiW(wideA, wideB) == 0;
}

// Whether the target exists, and under its own name: a short alias such as LONGFI~1.TXT, or a
// pattern, finds a file whose name differs otherwise than by case.
static i32 FindTarget(const char* path)
{
    SearchRecord record{};
    FsFindFirst(path, FsAttributeMaskAll, record);
    i32 found = FsLastError == 0 ? TargetFound : TargetMissing;
    const char* slash = TextFindLastChar(path, '\\');
    const char* own = slash != nullptr ? slash + 1 : path;
    if (found == TargetFound && *own != 0 && !IsSameName(record.Name, own))
        found = TargetElsewhere;
    FsFindClose(record);
    return found;
}

bool TargetExists(const char* path)
{
    return FindTarget(path) != TargetMissing;
}

void DropDotComponents(char* from)
{
    char* scan = from;
    for (;;) {
        char* q = scan;
        while (*q != 0 && !(q[0] == '\\' && q[1] == '.' && q[2] == '.'))
            ++q;
        if (*q == 0)
            return;
        char* after = q + 1;
        while (*after == '.')
            ++after;
        if (*after == '\\') {
            // Moves the rest left over itself, terminator included.
            for (char* to = q; (*to++ = *after++) != 0;) {
            }
            scan = q;
        } else {
            scan = q + 1;
        }
    }
}

// The digit of COM1 to COM9 and LPT1 to LPT9, or the superscript one, two or three (U+00B9,
// U+00B2, U+00B3) that the system also takes there; its length in bytes, or 0.
static u32 DeviceDigitLength(const char* c)
{
    if (*c >= '1' && *c <= '9')
        return 1;
    auto second = static_cast<u8>(c[1]);
    return static_cast<u8>(c[0]) == 0xC2 && (second == 0xB9 || second == 0xB2 || second == 0xB3)
               ? 2
               : 0;
}

// A device name, with or without an extension, any case, with blanks before the extension.
static bool IsDeviceName(const char* start, const char* end)
{
    const char* base = start;
    while (base != end && *base != '.')
        ++base;
    while (base != start && base[-1] == ' ')
        --base;
    auto length = static_cast<u32>(base - start);
    auto named = [start](const char* device) {
        return TextCompareMaxNoCase(start, device, 3) == 0;
    };
    if (length == 3)
        return named("CON") || named("PRN") || named("AUX") || named("NUL");
    return length >= 4 && (named("COM") || named("LPT")) &&
           DeviceDigitLength(start + 3) == length - 3;
}

bool IsSafeEntryName(const char* name)
{
    if (TextFindChar(name, ':') != nullptr)
        return false;
    const char* start = name;
    for (;;) {
        const char* end = TextFindChar(start, '\\');
        if (end == nullptr)
            end = TextEnd(start);
        // The system drops trailing dots and blanks, so "t.txt." would land on "t.txt" and
        // ". ." on "."; no part may end in either.
        if ((end != start && (end[-1] == '.' || end[-1] == ' ')) || IsDeviceName(start, end))
            return false;
        if (*end == 0)
            return true;
        start = end + 1;
    }
}

bool ComposeTargetPath(char* target, const char* destination, const char* name, char*& entryPart)
{
    // Room for a whole destination and a whole name, so nothing is cut before the dots go.
    char whole[2 * PathBufferSize];
    TextCopy(whole, destination);
    u32 length = TextLength(whole);
    char* last = whole + (length != 0 ? length - 1 : 0);
    TextAppend(whole, name);
    DropDotComponents(last);
    TextCopyMax(target, whole, PathLimit);
    entryPart = target + (last - whole);
    return TextLength(whole) <= PathLimit;
}

void ComposeStatusText(char* status, const char* archivePath, const char* targetPath)
{
    const char* slash = TextFindLastChar(archivePath, '\\');
    const char* archiveName = slash != nullptr ? slash + 1 : archivePath;
    TextCopyMax(status, LoadText(IDS_FROM), StatusTextLimit);
    TextAppendMax(status, archiveName, StatusTextLimit);
    TextAppendMax(status, "\r", StatusTextLimit);
    TextAppendMax(status, LoadText(IDS_TO), StatusTextLimit);
    TextAppendMax(status, targetPath, StatusTextLimit);
}

constexpr i32 DecisionExtract = 0;
constexpr i32 DecisionSkip = 1;
constexpr i32 DecisionCancel = 2;
constexpr i32 DecisionRefuse = 3;

// The questions for an existing target; what the user decided.
static i32 AskAboutTarget(const char* targetPath)
{
    i32 found = FindTarget(targetPath);
    if (found == TargetElsewhere)
        return DecisionRefuse;
    bool exists = found == TargetFound;
    if (exists && SfxContext.Overwrite == OverwriteNever)
        return DecisionSkip;
    i32 decision = DecisionExtract;
    if (exists && SfxContext.ConfirmOverwrites) {
        ProgressShowStatus();
        int answer = ShowMessage(SfxContext.ProgressWindow, targetPath, LoadText(IDS_FILE_EXISTS),
                                 StyleOverwriteQuestion);
        if (answer == IDCANCEL)
            return DecisionCancel;
        decision = answer == IDYES ? DecisionExtract : DecisionSkip;
    }
    u32 attributes = exists ? FsGetAttributes(targetPath) : 0;
    if (exists && decision == DecisionExtract && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        ProgressShowStatus();
        int answer = ShowMessage(SfxContext.ProgressWindow, targetPath,
                                 LoadText(IDS_WRITE_PROTECTED), StyleWriteProtectQuestion);
        if (answer == IDCANCEL)
            return DecisionCancel;
        if (answer == IDYES)
            FsSetAttributes(targetPath, AttributesAfterUnprotect);
        else if (answer == IDNO)
            decision = DecisionSkip;
    }
    // The system replaces a hidden or system file only for a caller that keeps those bits, so
    // a file that is to be replaced loses them first, as a write-protected one does on Yes.
    constexpr u32 HiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (exists && decision == DecisionExtract && (attributes & HiddenOrSystem) != 0 &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        FsSetAttributes(targetPath, AttributesAfterUnprotect);
    return decision;
}

// The status text of the current entry, whose first half, the archive's, is the same for
// every entry.
static char StatusText[StatusTextLimit + 1];
static u32 StatusPrefixLength;

// One entry: its target, the status text, the questions and the extraction. 0 to go on.
static i32 HandleEntry(const char* archivePath, const char* destination, const ZipEntry& entry,
                       u32 base)
{
    char targetPath[PathBufferSize];
    char* last = nullptr;
    bool whole = ComposeTargetPath(targetPath, destination, entry.Name, last);
    if (SfxContext.ProgressWindow != nullptr) {
        StatusText[StatusPrefixLength] = 0;
        TextAppendMax(StatusText, targetPath, StatusTextLimit);
        ProgressSetStatus(StatusText);
    }
    // A name that would land elsewhere, or not at all, fails before anything is made.
    if (entry.NameUnusable || !IsSafeEntryName(last))
        return RunOtherFailure;
    // A path that does not fit would be another, shorter name.
    if (!whole) {
        TextCopy(FailedTarget, targetPath);
        return ResultWriteFailed;
    }
    i32 decision = AskAboutTarget(targetPath);
    if (decision == DecisionCancel)
        return ResultAborted;
    if (decision == DecisionRefuse)
        return RunOtherFailure;
    if (decision == DecisionSkip)
        return ResultOk;
    auto attributes = static_cast<u16>(entry.Attributes & ~FILE_ATTRIBUTE_READONLY);
    i32 result = ExtractEntry(archivePath, targetPath, attributes, entry.LocalHeaderOffset + base,
                              SfxContext.ProgressWindow, ID_PROGRESS_LABEL, entry);
    if (result == ResultWriteFailed)
        TextCopy(FailedTarget, targetPath);
    if (result == ResultOk || result == ResultWriteFailed || result == ResultAborted)
        return result;
    return RunOtherFailure;
}

i32 ExtractAll(const char* archivePath, const char* destination, u32 base, u32 archiveLength)
{
    ArchiveReader reader;
    i32 result = ArchiveOpen(archivePath, reader, base, archiveLength);
    double done = 0;
    if (SfxContext.ProgressWindow != nullptr) {
        ComposeStatusText(StatusText, archivePath, "");
        StatusPrefixLength = TextLength(StatusText);
    }
    while (result == ArchiveEntryReady) {
        const ZipEntry& entry = reader.Entry;
        auto size = static_cast<double>(entry.UncompressedSize);
        ProgressBeginEntry(done, size);
        done += size;
        i32 outcome = HandleEntry(archivePath, destination, entry, base);
        if (outcome != ResultOk) {
            ArchiveClose(reader);
            return outcome;
        }
        result = ArchiveNextEntry(reader);
    }
    ArchiveClose(reader);
    return result == ArchiveDirectoryEnd ? ResultOk : RunDirectoryUnreadable;
}

static i32 ExitCodeOf(i32 result)
{
    switch (result) {
        case ResultOk:
            return ExitExtracted;
        case ResultWriteFailed:
            return ExitWriteFailed;
        case ResultAborted:
            return ExitCancelled;
        case RunDirectoryUnreadable:
            return ExitNothingToExtract;
        default:
            return ExitEntryFailed;
    }
}

i32 RunExtraction()
{
    // Only the signed bytes of a signed program: the archive ends where its signature starts.
    u32 length = ArchiveLengthBeforeSignature(SfxContext.ProgramPath);
    double total = SumEntrySizes(SfxContext.ProgramPath, 0, length);
    if (total == 0) {
        ShowMessage(nullptr, LoadText(IDS_NOTHING_TO_EXTRACT), RunCaption(), StyleFinalMessage);
        return ExitNothingToExtract;
    }
    if (!SfxContext.Quiet)
        SfxContext.ProgressWindow = ProgressCreate();
    ProgressSetTotal(total);
    i32 result = ExtractAll(SfxContext.ProgramPath, SfxContext.Destination, 0, length);
    ProgressShowStatus();
    if (result == ResultOk)
        ProgressSetOverall(100);
    if (!SfxContext.Quiet && GetActiveWindow() != SfxContext.ProgressWindow)
        MessageBeep(0);
    if (result == ResultAborted)
        ShowMessage(SfxContext.ProgressWindow, LoadText(IDS_ABORTED), RunCaption(),
                    StyleFinalMessage);
    else if (result == ResultWriteFailed)
        ShowMessage(SfxContext.ProgressWindow, LoadText(IDS_WRITE_ERROR), FailedTarget,
                    StyleFinalMessage);
    else if (result != ResultOk)
        ShowMessage(SfxContext.ProgressWindow, LoadText(IDS_NOT_SUCCESSFUL), RunCaption(),
                    StyleFinalMessage);
    if (SfxContext.ProgressWindow != nullptr)
        ProgressDestroy();
    SfxContext.ProgressWindow = nullptr;
    return ExitCodeOf(result);
}
