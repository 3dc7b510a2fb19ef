// The modeless progress window: the current file, and two bars drawn straight into frame
// controls, one for the entry and one for the whole archive. Its procedure runs inside the
// SendMessageA of every percentage update and inside the transfer's message pump, where it
// may ask the transfer to stop.
#pragma once

#include <type_traits>

#include "Types.h"
#include "platform/win32.h"

struct ProgressStateRecord
{
    HWND EntryBar;
    HWND OverallBar;
    i32 LastEntryPercent;
    i32 LastOverallPercent;
    // Sizes in floating point, which holds 64-bit sizes and their sums without wrapping.
    double TotalSize;
    double EntrySize;  // 0 while the overall bar is not to follow the entry
    i32 BasePercent;
    bool CancelRequested;
    const char* PendingStatus;  // not yet shown; the caller keeps it until the next one
    u32 StatusShownAt;          // tick count
};

static_assert(std::is_trivially_copyable_v<ProgressStateRecord>);

extern constinit ProgressStateRecord ProgressState;

// Back to the all-zero start state; for tests.
void ProgressReset();

// The window, shown, with both bars at 0 %; null when it cannot be created.
HWND ProgressCreate();
void ProgressSetTotal(double total);
void ProgressBeginEntry(double doneBefore, double size);
void ProgressSetEntryPercent(i32 percent);
// The overall bar's percentage for a percentage of the current entry; needs a non-zero
// EntrySize and TotalSize.
i32 ProgressOverallPercent(i32 entryPercent);
void ProgressSetOverall(i32 percent);
void ProgressDrawBar(i32 percent, HWND bar);
// The status line follows the entries at a pace a person can read: the text is shown now if
// the last one has been up for ProgressStatusIntervalMs, else at a later percentage of the
// entry or at ProgressShowStatus. The caller keeps the text until its next call.
void ProgressSetStatus(const char* text);
// Brings the status line up to date: before a question or a message, and when the run ends.
void ProgressShowStatus();
constexpr u32 ProgressStatusIntervalMs = 50;
void ProgressDestroy();
INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
