// The message functions of the host port. No window exists on the host, so without a seam
// the queue is always empty, no key is down and a sent message reaches nobody.
#include "platform/host/HostPort.h"

#include <ctime>

DWORD WINAPI GetTickCount()
{
    if (HostSeam.Ticks != nullptr)
        return HostSeam.Ticks();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

BOOL WINAPI PeekMessageA(LPMSG message, HWND, UINT, UINT, UINT remove)
{
    return HostSeam.Peek != nullptr ? HostSeam.Peek(message, remove) : FALSE;
}

BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG message)
{
    return HostSeam.DialogMessage != nullptr ? HostSeam.DialogMessage(dialog, message) : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*)
{
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message)
{
    return HostSeam.Dispatch != nullptr ? HostSeam.Dispatch(message) : 0;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return HostSeam.Send != nullptr ? HostSeam.Send(window, message, wParam, lParam) : 0;
}

SHORT WINAPI GetAsyncKeyState(int key)
{
    return HostSeam.KeyState != nullptr ? HostSeam.KeyState(key) : SHORT{0};
}

BOOL WINAPI MessageBeep(UINT)
{
    if (HostSeam.Beep != nullptr)
        HostSeam.Beep();
    return TRUE;
}
