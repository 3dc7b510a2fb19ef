// Drives a running stub from outside, as a person would: finds its windows by process id,
// reads their texts, sets fields, presses buttons and answers message boxes. Every wait ends
// at a timeout, generous enough for machines that run Wine's loader under an emulator.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A wait for something that should happen within a moment here.
constexpr DWORD UiTimeoutMs = 60000;

// Polls until done() holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = UiTimeoutMs);

std::string ClassOf(HWND window);
// A window's text through WM_GETTEXT, which the system carries across processes.
std::string TextOf(HWND window);
std::wstring WideOf(const std::string& text);
std::string Utf8Of(const wchar_t* wide, int length);
std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string& text);
// Posts a click, so that a button that opens a modal loop does not hold the driver.
void Click(HWND dialog, int id);
// The rectangle of a control's client area in screen coordinates.
RECT ClientRectOnScreen(HWND control);

// A message box as the user sees it.
struct MessageBoxView
{
    HWND Window = nullptr;
    std::string Caption;
    std::string Text;  // the message: static control 0xFFFF
    HWND Owner = nullptr;
};

// One run of a self-extractor, in a working folder of its own.
class StubProcess {
  public:
    // Starts path with the command line "path" arguments; Started() tells whether it did.
    StubProcess(const std::string& path, const std::string& arguments,
                const std::string& workFolder);
    ~StubProcess();  // ends the process if a test left it running
    StubProcess(const StubProcess&) = delete;
    StubProcess& operator=(const StubProcess&) = delete;

    bool Started() const
    {
        return Info.hProcess != nullptr;
    }

    bool Running() const;

    HANDLE MainThread() const
    {
        return Info.hThread;
    }

    // The process's top-level dialog windows (class #32770), visible ones only unless asked.
    std::vector<HWND> Dialogs(bool visibleOnly = true) const;
    // The first visible dialog with this caption; null when the process ended or time ran out.
    HWND WaitDialog(const std::string& caption, DWORD timeoutMs = UiTimeoutMs) const;
    // The next message box; an empty view when none came.
    MessageBoxView WaitMessageBox(DWORD timeoutMs = UiTimeoutMs) const;
    // Presses a message box's button (IDYES, IDNO, IDCANCEL, IDOK) and waits for it to go.
    bool Answer(const MessageBoxView& box, int button) const;
    // Waits for the end; false on timeout. A message box that comes up meanwhile ends the wait
    // too, with its view in unexpected, so a test fails at once instead of at the timeout.
    bool WaitExit(MessageBoxView* unexpected = nullptr, DWORD timeoutMs = UiTimeoutMs) const;
    DWORD ExitCode() const;

  private:
    PROCESS_INFORMATION Info{};
};

// The progress window's system menu, read inside the stub by a hook in the probe library:
// which of the commands Maximize, Size, Move and Close it holds.
struct SystemMenuView
{
    bool Read = false;
    bool Maximize = false;
    bool Size = false;
    bool Move = false;
    bool Close = false;
};

SystemMenuView ReadSystemMenu(HWND window, const std::string& probePath);
