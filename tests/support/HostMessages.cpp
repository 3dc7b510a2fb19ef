// Scripted messages for the host port's seams: a queue PeekMessageA drains, callbacks, a key
// state and counters; messages to a scripted dialog go to its procedure.
#include "support/HostMessages.h"

#include <deque>

#include "platform/host/HostPort.h"
#include "support/HostWindows.h"

namespace {

struct MessageState
{
    std::deque<MSG> Queue;
    std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> OnSend;
    std::function<SHORT(int)> OnKey;
    std::function<BOOL(HWND, const MSG&)> OnDialog;
    std::function<void(unsigned)> OnPeek;
    unsigned Peeks = 0;
    unsigned Dispatches = 0;
    unsigned Beeps = 0;
    DWORD Clock = 0;
    DWORD ClockStep = 1000;
};

MessageState& Messages()
{
    static MessageState state;
    return state;
}

BOOL Peek(LPMSG message, UINT remove)
{
    MessageState& state = Messages();
    ++state.Peeks;
    if (state.OnPeek)
        state.OnPeek(state.Peeks);
    if (state.Queue.empty())
        return FALSE;
    *message = state.Queue.front();
    if ((remove & PM_REMOVE) != 0)
        state.Queue.pop_front();
    return TRUE;
}

BOOL DialogMessage(HWND dialog, LPMSG message)
{
    return Messages().OnDialog ? Messages().OnDialog(dialog, *message) : FALSE;
}

LRESULT Dispatch(const MSG* message)
{
    ++Messages().Dispatches;
    LRESULT result = 0;
    HostDeliverToDialog(message->hwnd, message->message, message->wParam, message->lParam, result);
    return result;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (HostDeliverToDialog(window, message, wParam, lParam, result))
        return result;
    return Messages().OnSend ? Messages().OnSend(window, message, wParam, lParam) : 0;
}

SHORT KeyState(int key)
{
    return Messages().OnKey ? Messages().OnKey(key) : SHORT{0};
}

void Beep()
{
    ++Messages().Beeps;
}

}  // namespace

void HostInstallMessageSeams()
{
    HostSeam.Peek = Peek;
    HostSeam.DialogMessage = DialogMessage;
    HostSeam.Dispatch = Dispatch;
    HostSeam.Send = Send;
    HostSeam.KeyState = KeyState;
    HostSeam.Beep = Beep;
    HostSeam.Ticks = [] { return Messages().Clock += Messages().ClockStep; };
}

void HostMessagesReset()
{
    Messages() = MessageState{};
    HostInstallMessageSeams();
}

void HostPostMessage(const MSG& message)
{
    Messages().Queue.push_back(message);
}

void HostOnSendMessage(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> callback)
{
    Messages().OnSend = std::move(callback);
}

void HostOnKeyState(std::function<SHORT(int)> callback)
{
    Messages().OnKey = std::move(callback);
}

void HostOnPeek(std::function<void(unsigned)> callback)
{
    Messages().OnPeek = std::move(callback);
}

void HostOnDialogMessage(std::function<BOOL(HWND, const MSG&)> callback)
{
    Messages().OnDialog = std::move(callback);
}

void HostSetClockStep(DWORD milliseconds)
{
    Messages().ClockStep = milliseconds;
}

DWORD HostClockNow()
{
    return Messages().Clock;
}

unsigned HostPeekCalls()
{
    return Messages().Peeks;
}

unsigned HostDispatchCalls()
{
    return Messages().Dispatches;
}

unsigned HostBeeps()
{
    return Messages().Beeps;
}
