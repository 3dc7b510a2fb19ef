// Progress window, its bar arithmetic and drawing. The bars are drawn at once on every
// update, since the thread is busy decompressing and seldom returns to a message loop.
#include "progress/ProgressDialog.h"

#include "Resource.h"
#include "context/SfxContext.h"
#include "inflate/InflateState.h"

constinit ProgressStateRecord ProgressState = {};

constexpr UINT DrawFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
static_assert(DrawFormat == 0x25);

void ProgressReset()
{
    ProgressState = ProgressStateRecord{};
}

HWND ProgressCreate()
{
    ProgressState.LastEntryPercent = 0;
    ProgressState.LastOverallPercent = 0;
    // A wide dialog, whose controls show a name in any script.
    HWND window = CreateDialogParamW(SfxContext.Instance, WIDE("DLG2FILEACTIONMIN"), nullptr,
                                     ProgressDialogProc, 0);
    ProgressState.EntryBar = GetDlgItem(window, ID_ENTRY_BAR);
    ProgressState.OverallBar = GetDlgItem(window, ID_OVERALL_BAR);
    ApplyTitle(window);
    ShowWindow(window, SW_SHOW);
    ProgressState.TotalSize = 0;
    ProgressState.BasePercent = 0;
    ProgressState.EntrySize = 0;
    // The first entry's status shows at once.
    ProgressState.PendingStatus = nullptr;
    ProgressState.StatusShownAt = GetTickCount() - ProgressStatusIntervalMs;
    return window;
}

void ProgressSetTotal(double total)
{
    ProgressState.TotalSize = total;
}

// Shares of sizes whose sum is the total are at most 100, so a plain truncation holds them.
// Sums are exact below 2^53, and below 2^46 a share truncates to what integers would give.
void ProgressBeginEntry(double doneBefore, double size)
{
    double total = ProgressState.TotalSize;
    if (total <= 0) {
        ProgressState.BasePercent = 0;
        ProgressState.EntrySize = 0;
        return;
    }
    ProgressState.BasePercent = static_cast<i32>(doneBefore * 100 / total);
    ProgressState.EntrySize = size;
    // The last entry starts one above the truncated share of the others, so that the bar
    // moves on from where the entries before it left it.
    if (doneBefore + size == total && ProgressState.BasePercent != 0 &&
        ProgressState.BasePercent < 100)
        ++ProgressState.BasePercent;
}

i32 ProgressOverallPercent(i32 entryPercent)
{
    return ProgressState.BasePercent +
           static_cast<i32>(entryPercent * ProgressState.EntrySize / ProgressState.TotalSize);
}

static void ShowStatus(bool now)
{
    if (ProgressState.PendingStatus == nullptr)
        return;
    u32 tick = GetTickCount();
    if (!now && tick - ProgressState.StatusShownAt < ProgressStatusIntervalMs)
        return;
    ProgressState.StatusShownAt = tick;
    SetItemText(SfxContext.ProgressWindow, ID_STATUS_TEXT, ProgressState.PendingStatus);
    ProgressState.PendingStatus = nullptr;
}

void ProgressSetStatus(const char* text)
{
    ProgressState.PendingStatus = text;
    ShowStatus(false);
}

void ProgressShowStatus()
{
    ShowStatus(true);
}

void ProgressSetEntryPercent(i32 percent)
{
    ShowStatus(false);
    if (percent != ProgressState.LastEntryPercent || percent == 0 || percent == 100)
        ProgressDrawBar(percent, ProgressState.EntryBar);
    ProgressState.LastEntryPercent = percent;
    if (ProgressState.OverallBar != nullptr && ProgressState.EntrySize != 0 &&
        ProgressState.TotalSize != 0)
        ProgressSetOverall(ProgressOverallPercent(percent));
}

void ProgressSetOverall(i32 percent)
{
    if (percent != ProgressState.LastOverallPercent || percent == 0 || percent == 100)
        ProgressDrawBar(percent, ProgressState.OverallBar);
    ProgressState.LastOverallPercent = percent;
}

// The nearest integer to width × percent × 0.01 in extended precision. The product is never
// exactly halfway between two integers (0.01 has no exact binary form, and its error is
// always many units of the last place), so no rule for ties is needed.
static i32 FilledWidth(i32 width, i32 percent)
{
    if (width <= 0)
        return 0;
    return static_cast<i32>(static_cast<long double>(width) * percent * 0.01 + 0.5L);
}

// "42 %" into text, which holds at least 8 bytes.
static void FormatPercent(i32 percent, char* text)
{
    char digits[4];
    u32 count = 0;
    auto value = static_cast<u32>(percent);
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count != 0)
        *text++ = digits[--count];
    *text++ = ' ';
    *text++ = '%';
    *text = 0;
}

static void FillWith(HDC dc, const RECT& rect, int colorIndex)
{
    HBRUSH brush = CreateSolidBrush(GetSysColor(colorIndex));
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void ProgressDrawBar(i32 percent, HWND bar)
{
    if (bar == nullptr)
        return;
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    HDC dc = GetDC(bar);
    RECT inner{};
    GetClientRect(bar, &inner);
    // Inside the black frame that the control draws itself.
    inner.left += 1;
    inner.top += 1;
    inner.right -= 1;
    inner.bottom -= 1;
    i32 filled = FilledWidth(inner.right - inner.left, percent);
    FillWith(dc, RECT{inner.left + filled, inner.top, inner.right, inner.bottom}, COLOR_WINDOW);
    FillWith(dc, RECT{inner.left, inner.top, inner.left + filled, inner.bottom}, COLOR_HIGHLIGHT);
    char text[8];
    FormatPercent(percent, text);
    SetBkMode(dc, TRANSPARENT);
    RECT textRect = inner;
    textRect.bottom -= 1;
    // The text twice: whole in the window-text colour, then clipped to the filled part in the
    // highlight-text colour.
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextA(dc, text, -1, &textRect, DrawFormat);
    IntersectClipRect(dc, inner.left, inner.top, inner.left + filled, textRect.bottom);
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    DrawTextA(dc, text, -1, &textRect, DrawFormat);
    ReleaseDC(bar, dc);
    GdiFlush();
}

void ProgressDestroy()
{
    ProgressState.PendingStatus = nullptr;
    DestroyWindow(SfxContext.ProgressWindow);
}

static INT_PTR OnProgressInit(HWND window)
{
    ProgressState.CancelRequested = false;
    HMENU menu = GetSystemMenu(window, FALSE);
    if (menu != nullptr) {
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    }
    return TRUE;
}

// True only for the request that sets the flag; a repeated request is not handled again.
static INT_PTR RequestCancel()
{
    if (ProgressState.CancelRequested)
        return FALSE;
    ProgressState.CancelRequested = true;
    return TRUE;
}

static INT_PTR OnProgressCommand(WPARAM wParam, LPARAM lParam)
{
    if (wParam == ID_PROGRESS_LABEL) {
        if (lParam >= 0 && lParam <= 100)
            ProgressSetEntryPercent(static_cast<i32>(lParam));
        if (ProgressState.CancelRequested)
            RequestAbort();
        return FALSE;
    }
    if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == 0)
        return RequestCancel();
    return FALSE;
}

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_INITDIALOG:
            return OnProgressInit(window);
        case WM_COMMAND:
            return OnProgressCommand(wParam, lParam);
        case WM_KEYDOWN:
            return wParam == VK_ESCAPE || wParam == VK_RETURN ? RequestCancel() : FALSE;
        case WM_PAINT:
            ProgressDrawBar(ProgressState.LastEntryPercent, ProgressState.EntryBar);
            ProgressDrawBar(ProgressState.LastOverallPercent, ProgressState.OverallBar);
            return FALSE;
        default:
            return FALSE;
    }
}
