// The program's own steps after the modules' start-up: the process set-up, the packer's
// settings, the destination from them, the command line or the dialog, at most one run, and
// the program to run after it.
#include "app/ProgramMain.h"

#include "Resource.h"
#include "app/CommandLine.h"
#include "app/DestinationDialog.h"
#include "app/Launch.h"
#include "app/SystemLibrary.h"
#include "context/SfxContext.h"
#include "extract/ExtractRun.h"
#include "files/LongPath.h"
#include "settings/Settings.h"
#include "text/Text.h"

using InitCommonControlsFunction = void(WINAPI*)();

constexpr UINT QuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
static_assert(QuietErrorMode == 0x8001);
constexpr i32 GoOn = -1;

static void InitCommonControlsIfPresent()
{
    HMODULE controls = LoadSystemLibrary("comctl32.dll");
    if (controls == nullptr)
        return;
    auto init = reinterpret_cast<InitCommonControlsFunction>(
        reinterpret_cast<void*>(GetProcAddress(controls, "InitCommonControls")));
    if (init != nullptr)
        init();
}

// The packer's settings into the run's state; an exit code when they forbid the run.
static i32 Configure(const SfxSettings& settings, i32 read)
{
    // Half a configuration could extract somewhere the packer never meant.
    if (read == SettingsDamaged) {
        ShowMessage(nullptr, LoadText(IDS_NOTHING_TO_EXTRACT), SfxContext.ProgramPath,
                    StyleFinalMessage);
        return ExitNothingToExtract;
    }
    TextCopy(SfxContext.Title, settings.Title);
    SfxContext.Overwrite = settings.Overwrite;
    if (settings.Destination[0] != 0) {
        if (!ExpandDestination(settings.Destination, SfxContext.DefaultDestination,
                               SfxContext.Destination)) {
            ShowMessage(nullptr, LoadText(IDS_NOTHING_TO_EXTRACT), RunCaption(), StyleFinalMessage);
            return ExitNothingToExtract;
        }
        AddTrailingBackslash(SfxContext.Destination);
        TextCopy(SfxContext.DefaultDestination, SfxContext.Destination);
    }
    return GoOn;
}

// The destination from the argument or the dialog, and whether to confirm overwrites;
// ExitCancelled when the dialog was cancelled.
static i32 ChooseDestination(const CommandArguments& arguments, i32 form)
{
    SfxContext.ConfirmOverwrites = form != FormSwitchOverwrite;
    if (form == FormPath || form == FormQuietPath)
        TextFromString(SfxContext.Destination, arguments.First);
    else if (form == FormDialog && !SfxContext.Quiet) {
        INT_PTR answer = DialogBoxParamW(SfxContext.Instance, WIDE("InputDialog"), nullptr,
                                         DestinationDialogProc, 0);
        if (answer != IDOK)
            return ExitCancelled;
        if (SfxContext.Destination[0] == 0 || TextCompare(SfxContext.Destination, ".") == 0)
            TextCopy(SfxContext.Destination, SfxContext.DefaultDestination);
    }
    AddTrailingBackslash(SfxContext.Destination);
    // Nobody is there to ask; the packer may have decided for everyone.
    if (SfxContext.Quiet || SfxContext.Overwrite != OverwriteAsk)
        SfxContext.ConfirmOverwrites = false;
    return GoOn;
}

// The extraction, then the packer's program from the destination after a whole success.
static i32 ExtractAndRun(const SfxSettings& settings)
{
    i32 code = RunExtraction();
    if (code != ExitExtracted || settings.RunProgram[0] == 0)
        return code;
    code = RunInstalledProgram(SfxContext.Destination, settings.RunProgram, settings.RunArguments);
    if (code == ExitCannotStart)
        ShowMessage(nullptr, LoadText(IDS_CANNOT_START), settings.RunProgram, StyleFinalMessage);
    return code;
}

static i32 Run(const SfxSettings& settings, const CommandArguments& arguments, i32 form)
{
    if (!settings.Temp) {
        i32 code = ChooseDestination(arguments, form);
        return code != GoOn ? code : ExtractAndRun(settings);
    }
    // An installer's files: a folder of their own, asked nothing, gone afterwards.
    if (!MakeTempFolder(SfxContext.Destination)) {
        ShowMessage(nullptr, LoadText(IDS_WRITE_ERROR), SfxContext.Destination, StyleFinalMessage);
        return ExitWriteFailed;
    }
    SfxContext.ConfirmOverwrites = false;
    i32 code = ExtractAndRun(settings);
    RemoveFolderTree(SfxContext.Destination);
    return code;
}

i32 ProgramMain(const char* commandLine)
{
    SetErrorMode(QuietErrorMode);
    InitCommonControlsIfPresent();
    static WCHAR programPath[WidePathLimit + 1];
    GetModuleFileNameW(SfxContext.Instance, programPath, WidePathLimit + 1);
    TextFromWide(SfxContext.ProgramPath, programPath, PathBufferSize);
    TextCopy(SfxContext.Destination, SfxContext.ProgramPath);
    ExpandLongPath(SfxContext.Destination);
    char* slash = TextFindLastChar(SfxContext.Destination, '\\');
    if (slash != nullptr)
        slash[1] = 0;
    TextCopy(SfxContext.DefaultDestination, SfxContext.Destination);
    SfxContext.FaceBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    CommandArguments arguments = SplitCommandLine(commandLine);
    SfxContext.FirstArgument = arguments.First;
    i32 form = CommandForm(arguments);
    static SfxSettings settings;
    i32 read = ReadSettings(SfxContext.ProgramPath, settings);
    SfxContext.Quiet = form == FormQuiet || form == FormQuietPath || settings.Quiet;
    i32 code = Configure(settings, read);
    if (code == GoOn)
        code = Run(settings, arguments, form);
    DeleteObject(SfxContext.FaceBrush);
    // A plain self-extractor run with a window reports nothing, as it always has.
    return settings.Present || SfxContext.Quiet ? code : ExitExtracted;
}
