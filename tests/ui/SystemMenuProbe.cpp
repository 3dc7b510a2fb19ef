// A hook library that the driver has the stub load, to read what only the stub's own process
// can: the system menu of its progress window. Its one hook answers the probe message sent
// to a window with the menu's commands, and passes everything else on untouched.
#include <windows.h>

#include "ui/ProbeMessage.h"

static LRESULT MenuCommands(HWND window)
{
    HMENU menu = GetSystemMenu(window, FALSE);
    LRESULT answer = ProbeAnswered;

    const struct
    {
        UINT Command;
        unsigned Bit;
    } commands[] = {{SC_MAXIMIZE, ProbeHasMaximize},
                    {SC_SIZE, ProbeHasSize},
                    {SC_MOVE, ProbeHasMove},
                    {SC_CLOSE, ProbeHasClose}};

    for (const auto& c : commands)
        if (menu != nullptr && GetMenuState(menu, c.Command, MF_BYCOMMAND) != static_cast<UINT>(-1))
            answer |= static_cast<LRESULT>(c.Bit);
    return answer;
}

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (sent->message == RegisterWindowMessageA(ProbeMessageName))
            ReplyMessage(MenuCommands(sent->hwnd));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
