// Global state and string loading.
#include "context/SfxContext.h"

#include "text/Text.h"

constinit SfxContextRecord SfxContext = {};

void SfxContextReset()
{
    SfxContext = SfxContextRecord{};
}

// Large enough for any UTF-8 text the program holds, which has no more units than bytes.
static WCHAR WideText[PathBufferSize];
static WCHAR WideCaption[PathBufferSize];

char* LoadText(u32 id)
{
    WideText[0] = 0;
    LoadStringW(SfxContext.Instance, id, WideText, MAX_PATH);
    TextFromWide(SfxContext.TextBuffer, WideText, sizeof SfxContext.TextBuffer);
    return SfxContext.TextBuffer;
}

// Invalid UTF-8 would not convert at all; a cut text may end in part of a character, so the
// conversion replaces what is invalid rather than refuse.
static const WCHAR* Widen(WCHAR* wide, const char* text)
{
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, PathBufferSize);
    return wide;
}

int ShowMessage(HWND owner, const char* text, const char* caption, UINT style)
{
    if (SfxContext.Quiet)
        return IDYES;
    return MessageBoxW(owner, Widen(WideText, text), Widen(WideCaption, caption), style);
}

const char* RunCaption()
{
    return SfxContext.Title[0] != 0 ? SfxContext.Title : SfxContext.ProgramPath;
}

void ApplyTitle(HWND window)
{
    if (SfxContext.Title[0] != 0)
        SetWindowTextW(window, Widen(WideText, SfxContext.Title));
}

void SetItemText(HWND window, int id, const char* text)
{
    SetDlgItemTextW(window, id, Widen(WideText, text));
}
