// The scripted window, dialog, message-box, drawing and string-table calls. Windows
// are records kept until the next reset, so a test can still look at a destroyed one.
#include "support/HostWindows.h"

#include <deque>
#include <map>
#include <memory>

namespace {

struct HostWindow
{
    HostWindow* Parent = nullptr;
    int Id = 0;
    DLGPROC Procedure = nullptr;
    std::string Template;
    bool Visible = false;
    bool Destroyed = false;
    std::map<int, HostWindow*> Items;
    std::vector<UINT> DeletedMenuCommands;
    std::vector<HostDrawing> Drawings;
};

struct HostDeviceContext
{
    HostWindow* Window = nullptr;
    HostDrawing Drawing;
    COLORREF TextColor = 0;
    bool Clipped = false;
    RECT Clip{};
};

struct HostBrush
{
    COLORREF Color;
};

struct WindowState
{
    std::vector<std::unique_ptr<HostWindow>> Windows;
    std::vector<std::unique_ptr<HostDeviceContext>> DeviceContexts;  // open ones
    std::vector<std::unique_ptr<HostBrush>> Brushes;                 // live ones
    std::map<unsigned, std::string> Strings;
    std::deque<int> Answers;
    std::vector<HostMessageBox> Boxes;
    std::vector<HostItemText> ItemTexts;
    bool FailDialogs = false;
    HostWindow* LastDialog = nullptr;
    HostWindow* LastShown = nullptr;
    bool ActiveSet = false;
    HWND Active = nullptr;
    RECT ControlClient{0, 0, 324, 21};
    std::vector<HostDrawing> NoDrawings;
    std::vector<UINT> NoCommands;
};

WindowState& State()
{
    static WindowState state;
    return state;
}

HostWindow* WindowOf(HWND window)
{
    for (auto& w : State().Windows)
        if (reinterpret_cast<HWND>(w.get()) == window)
            return w.get();
    return nullptr;
}

HWND HandleOf(HostWindow* window)
{
    return reinterpret_cast<HWND>(window);
}

HostDeviceContext* DeviceContextOf(HDC dc)
{
    for (auto& d : State().DeviceContexts)
        if (reinterpret_cast<HDC>(d.get()) == dc)
            return d.get();
    return nullptr;
}

COLORREF BrushColor(HBRUSH brush)
{
    for (auto& b : State().Brushes)
        if (reinterpret_cast<HBRUSH>(b.get()) == brush)
            return b->Color;
    return 0xFFFFFFFF;
}

}  // namespace

void HostWindowsReset()
{
    State() = WindowState{};
}

void HostSetString(unsigned id, const std::string& text)
{
    State().Strings[id] = text;
}

void HostAnswerMessageBoxes(const std::vector<int>& answers)
{
    State().Answers.assign(answers.begin(), answers.end());
}

const std::vector<HostMessageBox>& HostMessageBoxes()
{
    return State().Boxes;
}

const std::vector<HostItemText>& HostItemTexts()
{
    return State().ItemTexts;
}

void HostFailDialogs(bool fail)
{
    State().FailDialogs = fail;
}

HWND HostLastDialog()
{
    return HandleOf(State().LastDialog);
}

std::string HostDialogTemplate(HWND dialog)
{
    HostWindow* w = WindowOf(dialog);
    return w != nullptr ? w->Template : std::string();
}

bool HostIsVisible(HWND window)
{
    HostWindow* w = WindowOf(window);
    return w != nullptr && w->Visible && !w->Destroyed;
}

bool HostIsDestroyed(HWND window)
{
    HostWindow* w = WindowOf(window);
    return w != nullptr && w->Destroyed;
}

std::vector<UINT> HostDeletedMenuCommands(HWND dialog)
{
    HostWindow* w = WindowOf(dialog);
    return w != nullptr ? w->DeletedMenuCommands : State().NoCommands;
}

void HostSetActiveWindow(HWND window)
{
    State().ActiveSet = true;
    State().Active = window;
}

void HostSetControlSize(int width, int height)
{
    State().ControlClient = RECT{0, 0, width, height};
}

const std::vector<HostDrawing>& HostDrawings(HWND control)
{
    HostWindow* w = WindowOf(control);
    return w != nullptr ? w->Drawings : State().NoDrawings;
}

unsigned HostOpenDeviceContexts()
{
    return static_cast<unsigned>(State().DeviceContexts.size());
}

unsigned HostLiveBrushes()
{
    return static_cast<unsigned>(State().Brushes.size());
}

COLORREF HostSystemColor(int index)
{
    return 0x00102030u + static_cast<COLORREF>(index) * 0x010101u;
}

bool HostDeliverToDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    HostWindow* w = WindowOf(window);
    if (w == nullptr)
        return false;
    result = w->Procedure != nullptr && !w->Destroyed
                 ? w->Procedure(window, message, wParam, lParam)
                 : 0;
    return true;
}

HWND WINAPI CreateDialogParamA(HINSTANCE, LPCSTR templateName, HWND, DLGPROC procedure,
                               LPARAM parameter)
{
    WindowState& state = State();
    if (state.FailDialogs)
        return nullptr;
    state.Windows.push_back(std::make_unique<HostWindow>());
    HostWindow* w = state.Windows.back().get();
    w->Template = templateName;
    w->Procedure = procedure;
    state.LastDialog = w;
    procedure(HandleOf(w), WM_INITDIALOG, 0, parameter);
    return HandleOf(w);
}

BOOL WINAPI DestroyWindow(HWND window)
{
    HostWindow* w = WindowOf(window);
    if (w == nullptr || w->Destroyed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    w->Destroyed = true;
    for (auto& item : w->Items)
        item.second->Destroyed = true;
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND window, int command)
{
    HostWindow* w = WindowOf(window);
    if (w == nullptr)
        return FALSE;
    bool was = w->Visible;
    w->Visible = command != 0;
    if (w->Visible)
        State().LastShown = w;
    return was ? TRUE : FALSE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id)
{
    HostWindow* w = WindowOf(dialog);
    if (w == nullptr)
        return nullptr;
    HostWindow*& item = w->Items[id];
    if (item == nullptr) {
        State().Windows.push_back(std::make_unique<HostWindow>());
        item = State().Windows.back().get();
        item->Parent = w;
        item->Id = id;
    }
    return HandleOf(item);
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    State().ItemTexts.push_back(HostItemText{dialog, id, text});
    return WindowOf(dialog) != nullptr ? TRUE : FALSE;
}

HMENU WINAPI GetSystemMenu(HWND window, BOOL)
{
    // The menu stands for its window: DeleteMenu records on the window.
    return WindowOf(window) != nullptr ? reinterpret_cast<HMENU>(window) : nullptr;
}

BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags)
{
    HostWindow* w = WindowOf(reinterpret_cast<HWND>(menu));
    if (w == nullptr || flags != MF_BYCOMMAND)
        return FALSE;
    w->DeletedMenuCommands.push_back(position);
    return TRUE;
}

HWND WINAPI GetActiveWindow()
{
    WindowState& state = State();
    if (state.ActiveSet)
        return state.Active;
    HostWindow* w = state.LastShown;
    return w != nullptr && w->Visible && !w->Destroyed ? HandleOf(w) : nullptr;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    WindowState& state = State();
    std::string shown = state.ItemTexts.empty() ? "" : state.ItemTexts.back().Text;
    state.Boxes.push_back(HostMessageBox{owner, text, caption, type, shown});
    if (state.Answers.empty())
        return IDOK;
    int answer = state.Answers.front();
    state.Answers.pop_front();
    return answer;
}

int WINAPI LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size)
{
    auto found = State().Strings.find(id);
    if (found == State().Strings.end() || size <= 0)
        return 0;
    std::size_t n = found->second.size() < static_cast<std::size_t>(size - 1)
                        ? found->second.size()
                        : static_cast<std::size_t>(size - 1);
    found->second.copy(buffer, n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

HDC WINAPI GetDC(HWND window)
{
    HostWindow* w = WindowOf(window);
    if (w == nullptr)
        return nullptr;
    State().DeviceContexts.push_back(std::make_unique<HostDeviceContext>());
    State().DeviceContexts.back()->Window = w;
    return reinterpret_cast<HDC>(State().DeviceContexts.back().get());
}

int WINAPI ReleaseDC(HWND, HDC dc)
{
    auto& open = State().DeviceContexts;
    for (auto it = open.begin(); it != open.end(); ++it) {
        if (reinterpret_cast<HDC>(it->get()) == dc) {
            (*it)->Window->Drawings.push_back((*it)->Drawing);
            open.erase(it);
            return 1;
        }
    }
    return 0;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect)
{
    if (WindowOf(window) == nullptr)
        return FALSE;
    *rect = State().ControlClient;
    return TRUE;
}

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush)
{
    HostDeviceContext* d = DeviceContextOf(dc);
    if (d == nullptr)
        return 0;
    d->Drawing.Fills.push_back(HostFill{*rect, BrushColor(brush)});
    return 1;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    State().Brushes.push_back(std::make_unique<HostBrush>(HostBrush{color}));
    return reinterpret_cast<HBRUSH>(State().Brushes.back().get());
}

BOOL WINAPI DeleteObject(HGDIOBJ object)
{
    auto& live = State().Brushes;
    for (auto it = live.begin(); it != live.end(); ++it) {
        if (it->get() == object) {
            live.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

DWORD WINAPI GetSysColor(int index)
{
    return HostSystemColor(index);
}

int WINAPI SetBkMode(HDC dc, int mode)
{
    HostDeviceContext* d = DeviceContextOf(dc);
    if (d == nullptr)
        return 0;
    int previous = d->Drawing.BackgroundMode;
    d->Drawing.BackgroundMode = mode;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color)
{
    HostDeviceContext* d = DeviceContextOf(dc);
    if (d == nullptr)
        return 0xFFFFFFFF;
    COLORREF previous = d->TextColor;
    d->TextColor = color;
    return previous;
}

int WINAPI DrawTextA(HDC dc, LPCSTR text, int length, LPRECT rect, UINT format)
{
    HostDeviceContext* d = DeviceContextOf(dc);
    if (d == nullptr)
        return 0;
    std::string drawn = length < 0 ? std::string(text) : std::string(text, length);
    d->Drawing.Texts.push_back(
        HostDrawnText{drawn, *rect, format, d->TextColor, d->Clipped, d->Clip});
    return 1;
}

int WINAPI IntersectClipRect(HDC dc, int left, int top, int right, int bottom)
{
    HostDeviceContext* d = DeviceContextOf(dc);
    if (d == nullptr)
        return 0;
    RECT r{left, top, right, bottom};
    if (d->Clipped) {
        r.left = r.left > d->Clip.left ? r.left : d->Clip.left;
        r.top = r.top > d->Clip.top ? r.top : d->Clip.top;
        r.right = r.right < d->Clip.right ? r.right : d->Clip.right;
        r.bottom = r.bottom < d->Clip.bottom ? r.bottom : d->Clip.bottom;
    }
    d->Clipped = true;
    d->Clip = r;
    return 2;
}

BOOL WINAPI GdiFlush()
{
    // Marks the drawings finished since the last flush.
    for (auto& w : State().Windows)
        if (!w->Drawings.empty())
            w->Drawings.back().Flushed = true;
    return TRUE;
}

// The wide calls as the narrow ones, their texts in UTF-8.
namespace {

std::string Utf8Of(LPCWSTR text)
{
    if (text == nullptr)
        return {};
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

}  // namespace

HWND WINAPI CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent,
                               DLGPROC procedure, LPARAM parameter)
{
    return CreateDialogParamA(instance, Utf8Of(templateName).c_str(), parent, procedure, parameter);
}

BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text)
{
    return SetDlgItemTextA(dialog, id, Utf8Of(text).c_str());
}

// A caption is recorded as the text of item 0.
BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text)
{
    return SetDlgItemTextA(window, 0, Utf8Of(text).c_str());
}

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    return MessageBoxA(owner, Utf8Of(text).c_str(), Utf8Of(caption).c_str(), type);
}

int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size)
{
    if (size <= 0)
        return 0;
    std::string text(static_cast<std::size_t>(size) * 3, '\0');
    LoadStringA(instance, id, text.data(), static_cast<int>(text.size()));
    std::u16string wide(text.size() + 1, u'\0');
    int units =
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, reinterpret_cast<LPWSTR>(wide.data()),
                            static_cast<int>(wide.size()));
    // Cut to the buffer, as the system does.
    std::size_t kept = units > 1 ? static_cast<std::size_t>(units - 1) : 0;
    if (kept > static_cast<std::size_t>(size - 1))
        kept = static_cast<std::size_t>(size - 1);
    wide.copy(reinterpret_cast<char16_t*>(buffer), kept);
    buffer[kept] = 0;
    return static_cast<int>(kept);
}
