// The stub's entry point: no C runtime runs before it. The library search is restricted first,
// the process's handle and command line are recorded, the modules' start-up steps run, then
// the program, whose result is the exit code.
#include "app/ProgramMain.h"
#include "app/SystemLibrary.h"
#include "context/SfxContext.h"
#include "inflate/Crc32.h"
#include "inflate/InflateState.h"
#include "platform/win32.h"
#include "text/Text.h"

extern "C" [[noreturn, gnu::externally_visible]] void __stdcall EntryPoint()
{
    RestrictLibrarySearch();
    SfxContext.Instance = GetModuleHandleA(nullptr);
    // In UTF-8, as every text of the program: a path in any script arrives whole.
    static char commandLine[PathBufferSize];
    TextFromWide(commandLine, GetCommandLineW(), PathBufferSize);
    InitCrcTable();
    ExitProcess(static_cast<UINT>(ProgramMain(commandLine)));
}
