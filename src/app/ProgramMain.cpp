// The program's own steps after the modules' start-up: the process set-up, the destination
// from the command line or the dialog, at most one run.
#include "app/ProgramMain.h"

#include "app/CommandLine.h"
#include "app/DestinationDialog.h"
#include "app/SystemLibrary.h"
#include "context/SfxContext.h"
#include "extract/ExtractRun.h"
#include "files/LongPath.h"
#include "text/Text.h"

using InitCommonControlsFunction = void(WINAPI*)();

constexpr UINT QuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
static_assert(QuietErrorMode == 0x8001);

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

// The destination from the argument or the dialog; false when nothing is to run.
static bool ChooseDestination(const CommandArguments& arguments)
{
    switch (CommandForm(arguments)) {
        case FormSwitchConfirm:
        case FormSwitchOverwrite:
            AddTrailingBackslash(SfxContext.Destination);
            SfxContext.ConfirmOverwrites = CommandForm(arguments) == FormSwitchConfirm;
            return true;
        case FormPath:
            TextFromString(SfxContext.Destination, arguments.First);
            AddTrailingBackslash(SfxContext.Destination);
            SfxContext.ConfirmOverwrites = true;
            return true;
        default:
            break;
    }
    INT_PTR answer = DialogBoxParamW(SfxContext.Instance, WIDE("InputDialog"), nullptr,
                                     DestinationDialogProc, 0);
    if (answer != IDOK)
        return false;
    if (SfxContext.Destination[0] == 0 || TextCompare(SfxContext.Destination, ".") == 0)
        TextCopy(SfxContext.Destination, SfxContext.DefaultDestination);
    AddTrailingBackslash(SfxContext.Destination);
    return true;
}

void ProgramMain(const char* commandLine)
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
    if (ChooseDestination(arguments))
        RunExtraction();
    DeleteObject(SfxContext.FaceBrush);
}
