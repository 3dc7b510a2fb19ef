#include "ui/StubDriver.h"

#include "ui/ProbeMessage.h"

constexpr DWORD PollMs = 10;
constexpr int MessageTextId = 0xFFFF;
constexpr int DestinationEditId = 101;

// The driver's texts are UTF-8, as the program's; windows take and give them wide.
std::wstring WideOf(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(),
                                    static_cast<int>(wide.size()));
    wide.resize(units > 0 ? static_cast<std::size_t>(units - 1) : 0);
    return wide;
}

std::string Utf8Of(const wchar_t* wide, int length)
{
    std::string text(static_cast<std::size_t>(length) * 3 + 1, '\0');
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(),
                                    static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    return text;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(PollMs);
    }
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    // A window whose thread hangs must not hang the driver. Wine takes a thread for hung when
    // it has not looked at its queue for 5 s, as a slow (emulated) start may leave a window
    // that just came up: such a one is asked again until it answers.
    bool answered = WaitUntil(
        [&] {
            return SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                                       SMTO_ABORTIFHUNG, UiTimeoutMs, &length) != 0 ||
                   !IsWindow(window);
        },
        UiTimeoutMs);
    if (!answered || !IsWindow(window))
        return "<no answer to WM_GETTEXT>";
    return Utf8Of(text, static_cast<int>(length < 1024 ? length : 1023));
}

std::string ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? TextOf(control) : "<no control " + std::to_string(id) + ">";
}

void SetControlText(HWND dialog, int id, const std::string& text)
{
    DWORD_PTR ignored = 0;
    std::wstring wide = WideOf(text);
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG, UiTimeoutMs,
                        &ignored);
}

void Click(HWND dialog, int id)
{
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

RECT ClientRectOnScreen(HWND control)
{
    RECT rect{};
    GetClientRect(control, &rect);
    POINT corner{0, 0};
    ClientToScreen(control, &corner);
    OffsetRect(&rect, corner.x, corner.y);
    return rect;
}

StubProcess::StubProcess(const std::string& path, const std::string& arguments,
                         const std::string& workFolder)
{
    std::string commandLine = "\"" + path + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::wstring wideLine = WideOf(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(WideOf(path).c_str(), wideLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        WideOf(workFolder).c_str(), &startup, &Info))
        Info = PROCESS_INFORMATION{};
}

StubProcess::~StubProcess()
{
    if (!Started())
        return;
    if (Running()) {
        TerminateProcess(Info.hProcess, 99);
        WaitForSingleObject(Info.hProcess, UiTimeoutMs);
    }
    CloseHandle(Info.hThread);
    CloseHandle(Info.hProcess);
}

bool StubProcess::Running() const
{
    return Started() && WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT;
}

struct DialogSearch
{
    DWORD ProcessId;
    bool VisibleOnly;
    std::vector<HWND> Found;
};

static BOOL CALLBACK AddDialog(HWND window, LPARAM data)
{
    auto& search = *reinterpret_cast<DialogSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search.ProcessId && ClassOf(window) == "#32770" &&
        (!search.VisibleOnly || IsWindowVisible(window)))
        search.Found.push_back(window);
    return TRUE;
}

std::vector<HWND> StubProcess::Dialogs(bool visibleOnly) const
{
    DialogSearch search{Info.dwProcessId, visibleOnly, {}};
    EnumWindows(AddDialog, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

static std::string CaptionOf(HWND window)
{
    wchar_t text[512] = {};
    int length = GetWindowTextW(window, text, 512);
    return Utf8Of(text, length);
}

HWND StubProcess::WaitDialog(const std::string& caption, DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : Dialogs())
                if (CaptionOf(window) == caption)
                    found = window;
            return found != nullptr || !Running();
        },
        timeoutMs);
    return found;
}

// A message box has its text in control 0xFFFF; the destination dialog's label has that id
// too, so a dialog with the destination field is not one.
static bool IsMessageBox(HWND window)
{
    return GetDlgItem(window, MessageTextId) != nullptr &&
           GetDlgItem(window, DestinationEditId) == nullptr &&
           (GetDlgItem(window, IDOK) != nullptr || GetDlgItem(window, IDYES) != nullptr);
}

static MessageBoxView ViewOf(HWND window)
{
    MessageBoxView view;
    view.Window = window;
    view.Caption = CaptionOf(window);
    view.Text = ControlText(window, MessageTextId);
    view.Owner = GetWindow(window, GW_OWNER);
    return view;
}

static HWND FindMessageBox(const std::vector<HWND>& dialogs)
{
    for (HWND window : dialogs)
        if (IsMessageBox(window))
            return window;
    return nullptr;
}

MessageBoxView StubProcess::WaitMessageBox(DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindMessageBox(Dialogs());
            return found != nullptr || !Running();
        },
        timeoutMs);
    return found != nullptr ? ViewOf(found) : MessageBoxView{};
}

bool StubProcess::Answer(const MessageBoxView& box, int button) const
{
    if (box.Window == nullptr || GetDlgItem(box.Window, button) == nullptr)
        return false;
    Click(box.Window, button);
    return WaitUntil([&] { return !IsWindow(box.Window) || !IsWindowVisible(box.Window); });
}

bool StubProcess::WaitExit(MessageBoxView* unexpected, DWORD timeoutMs) const
{
    HWND box = nullptr;
    bool ended = WaitUntil(
        [&] {
            if (!Running())
                return true;
            box = FindMessageBox(Dialogs());
            return box != nullptr;
        },
        timeoutMs);
    if (box != nullptr && Running()) {
        if (unexpected != nullptr)
            *unexpected = ViewOf(box);
        return false;
    }
    return ended;
}

DWORD StubProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(Info.hProcess, &code);
    return code;
}

SystemMenuView ReadSystemMenu(HWND window, const std::string& probePath)
{
    SystemMenuView view;
    HMODULE probe = LoadLibraryA(probePath.c_str());
    if (probe == nullptr)
        return view;
    auto hook =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, ProbeHookName)));
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    HHOOK installed =
        hook != nullptr ? SetWindowsHookExA(WH_CALLWNDPROC, hook, probe, thread) : nullptr;
    if (installed != nullptr) {
        DWORD_PTR answer = 0;
        // The stub's thread loads the probe and answers from inside the hook.
        if (SendMessageTimeoutA(window, RegisterWindowMessageA(ProbeMessageName), 0, 0,
                                SMTO_ABORTIFHUNG, UiTimeoutMs, &answer) &&
            (answer & ProbeAnswered) != 0) {
            view.Read = true;
            view.Maximize = (answer & ProbeHasMaximize) != 0;
            view.Size = (answer & ProbeHasSize) != 0;
            view.Move = (answer & ProbeHasMove) != 0;
            view.Close = (answer & ProbeHasClose) != 0;
        }
        UnhookWindowsHookEx(installed);
    }
    FreeLibrary(probe);
    return view;
}
