// The stub's entry point: no C runtime runs before it. Module start-up steps come first,
// then the program, then the process ends with exit code 0.
#include "app/ProgramMain.h"
#include "inflate/InflateState.h"
#include "platform/win32.h"
#include "text/Text.h"

extern "C" [[noreturn]] void __stdcall EntryPoint()
{
    TextInit();
    InitCrcTable();
    ProgramMain();
    ExitProcess(0);
}
