// Destination dialog and folder browser. shell32.dll is loaded for each browse and released
// before it returns.
#include "app/DestinationDialog.h"

#include <shlobj.h>

#include "Resource.h"
#include "app/SystemLibrary.h"
#include "context/SfxContext.h"
#include "settings/Settings.h"
#include "text/Text.h"

using GetSpecialFolderFunction = HRESULT(WINAPI*)(HWND, int, LPITEMIDLIST*);
using BrowseFunction = LPITEMIDLIST(WINAPI*)(LPBROWSEINFOW);
using PathFromListFunction = BOOL(WINAPI*)(LPCITEMIDLIST, LPWSTR);
using FreeListFunction = void(WINAPI*)(LPITEMIDLIST);

constexpr int FolderDrives = 0x11;  // CSIDL_DRIVES: the computer's drives

template <typename Function> static Function Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Shows the browser rooted at the drives; the chosen folder's path into result (MAX_PATH units).
static bool ChooseFolder(HMODULE shell, HWND owner, const WCHAR* title, WCHAR* result)
{
    auto getSpecialFolder = Lookup<GetSpecialFolderFunction>(shell, "SHGetSpecialFolderLocation");
    auto browse = Lookup<BrowseFunction>(shell, "SHBrowseForFolderW");
    auto pathFromList = Lookup<PathFromListFunction>(shell, "SHGetPathFromIDListW");
    auto freeList = Lookup<FreeListFunction>(shell, "ILFree");
    if (getSpecialFolder == nullptr || browse == nullptr || pathFromList == nullptr)
        return false;
    LPITEMIDLIST root = nullptr;
    if (getSpecialFolder(owner, FolderDrives, &root) < 0)
        return false;
    BROWSEINFOW info;
    __builtin_memset(&info, 0, sizeof info);
    info.hwndOwner = owner;
    info.pidlRoot = root;
    info.pszDisplayName = result;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST chosen = browse(&info);
    bool found = chosen != nullptr && pathFromList(chosen, result) != FALSE;
    if (freeList != nullptr) {
        if (chosen != nullptr)
            freeList(chosen);
        freeList(root);
    }
    return found;
}

bool BrowseForDestination(HWND owner, char* path)
{
    HMODULE shell = LoadSystemLibrary("shell32.dll");
    if (shell == nullptr)
        return false;
    static char previous[PathBufferSize];
    TextCopy(previous, path);
    const char* lastName = BrowseLastName(previous);
    // The title's format may name the last name once; wvsprintf writes at most 1024 units.
    static WCHAR format[MAX_PATH];
    static WCHAR name[MAX_PATH];
    static WCHAR title[1024];
    MultiByteToWideChar(CP_UTF8, 0, LoadText(IDS_BROWSE_TITLE), -1, format, MAX_PATH);
    MultiByteToWideChar(CP_UTF8, 0, lastName, -1, name, MAX_PATH);
    const WCHAR* arguments[1] = {name};
    wvsprintfW(title, format, reinterpret_cast<va_list>(const_cast<WCHAR**>(arguments)));
    WCHAR wideResult[MAX_PATH];
    wideResult[0] = 0;
    bool chosen = ChooseFolder(shell, owner, title, wideResult);
    static char result[PathBufferSize];
    if (chosen && TextFromWide(result, wideResult, PathBufferSize) >= 0) {
        BrowseCarryLastName(result, lastName);
        TextCopyMax(path, result, PathLimit);
    }
    FreeLibrary(shell);
    return chosen;
}

// The field's text in UTF-8, whole, whatever its script.
static void ReadField(HWND window, char* text)
{
    static WCHAR wide[WidePathLimit + 1];
    GetDlgItemTextW(window, ID_DESTINATION_EDIT, wide, WidePathLimit + 1);
    TextFromWide(text, wide, PathBufferSize);
}

static INT_PTR OnDestinationInit(HWND window)
{
    ApplyTitle(window);
    SetItemText(window, ID_DESTINATION_EDIT, SfxContext.Destination);
    // The packer's overwrite rule decides the box: cleared for always, and for never, where
    // there is nothing to confirm, unavailable too.
    bool ask = SfxContext.Overwrite == OverwriteAsk;
    SendDlgItemMessageA(window, ID_CONFIRM_CHECK, BM_SETCHECK, ask ? BST_CHECKED : BST_UNCHECKED,
                        0);
    EnableWindow(GetDlgItem(window, ID_CONFIRM_CHECK), SfxContext.Overwrite != OverwriteNever);
    return TRUE;
}

static INT_PTR OnDestinationCommand(HWND window, WPARAM wParam)
{
    switch (wParam) {
        case IDOK:
            ReadField(window, SfxContext.Destination);
            SfxContext.ConfirmOverwrites =
                SendDlgItemMessageA(window, ID_CONFIRM_CHECK, BM_GETCHECK, 0, 0) != 0;
            EndDialog(window, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return TRUE;
        case ID_BROWSE_BUTTON: {
            static char path[PathBufferSize];
            ReadField(window, path);
            if (BrowseForDestination(window, path))
                SetItemText(window, ID_DESTINATION_EDIT, path);
            return FALSE;
        }
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK DestinationDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
        case WM_INITDIALOG:
            return OnDestinationInit(window);
        case WM_COMMAND:
            return OnDestinationCommand(window, wParam);
        default:
            return FALSE;
    }
}
