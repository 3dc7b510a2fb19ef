// The program's global state, which the run, the progress window and the program's top all
// read, and the string-table loader. One instance for the process; every field is zero or
// empty before start-up.
#pragma once

#include <type_traits>

#include "Types.h"
#include "platform/win32.h"
#include "text/Text.h"

struct SfxContextRecord
{
    char ProgramPath[PathBufferSize];  // the archive, and the caption of the run's messages
    char Destination[PathBufferSize];  // ends in '\' when the run starts
    HWND ProgressWindow;               // null while none is open
    bool ConfirmOverwrites;
    char TextBuffer[NameBufferSize];  // what LoadText loaded last
    HBRUSH FaceBrush;
    char DefaultDestination[PathBufferSize];
    String FirstArgument;
    HINSTANCE Instance;
    bool Quiet;                  // no window, no message; every question answered yes
    u8 Overwrite;                // what to do with existing targets: OverwriteAsk and on
    char Title[NameBufferSize];  // the packer's caption; empty for the program's own
};

static_assert(std::is_trivially_copyable_v<SfxContextRecord>);

extern constinit SfxContextRecord SfxContext;

// Back to the all-zero start state; for tests.
void SfxContextReset();

// The string-table text of id, in UTF-8, in the one shared TextBuffer; an id without text
// gives an empty text. Each call overwrites the previous text.
char* LoadText(u32 id);

// The program's texts are UTF-8; windows and message boxes take them in UTF-16, so that a
// name shows whole whatever the system's code page. A quiet run shows nothing and takes yes.
int ShowMessage(HWND owner, const char* text, const char* caption, UINT style);
// The caption of the run's own messages: the packer's title, or the program's path.
const char* RunCaption();
// Gives a window the packer's title, where there is one.
void ApplyTitle(HWND window);
void SetItemText(HWND window, int id, const char* text);
