// Scripted message functions for the host port: a queue PeekMessageA drains, a callback that
// receives every SendMessageA to a window that is not a scripted dialog, a scripted key state,
// and call counters.
#pragma once

#include <functional>

#include "platform/win32.h"

// Empties the queue, drops the callbacks and zeroes every counter.
void HostMessagesReset();
// Points the port's message seams here; HostReset does it too.
void HostInstallMessageSeams();

// Queues a message for PeekMessageA to return.
void HostPostMessage(const MSG& message);
// Receives each SendMessageA; its result is what SendMessageA returns.
void HostOnSendMessage(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> callback);
// Answers GetAsyncKeyState; without one, every key reads as up.
void HostOnKeyState(std::function<SHORT(int)> callback);
// Runs at every PeekMessageA, before the queue is looked at, with the count of calls so far;
// a test can queue input for a chosen moment of a transfer.
void HostOnPeek(std::function<void(unsigned)> callback);
// Answers IsDialogMessageA; without one, no message is a dialog message.
void HostOnDialogMessage(std::function<BOOL(HWND, const MSG&)> callback);

// GetTickCount moves by this step at every call: by default a second, so that whatever waits
// for time to pass is always due and the counts stay those of the work itself.
void HostSetClockStep(DWORD milliseconds);
DWORD HostClockNow();

unsigned HostPeekCalls();
unsigned HostDispatchCalls();
unsigned HostBeeps();
