// Destination dialog and folder browser. shell32.dll is loaded for each browse and released
// before it returns.
#include "app/DestinationDialog.h"

#include <shlobj.h>

#include "Resource.h"
#include "app/SystemLibrary.h"
#include "context/SfxContext.h"
#include "text/Text.h"

using GetSpecialFolderFunction = HRESULT(WINAPI*)(HWND, int, LPITEMIDLIST*);
using BrowseFunction = LPITEMIDLIST(WINAPI*)(LPBROWSEINFOA);
using PathFromListFunction = BOOL(WINAPI*)(LPCITEMIDLIST, LPSTR);
using FreeListFunction = void(WINAPI*)(LPITEMIDLIST);

constexpr int FolderDrives = 0x11;  // CSIDL_DRIVES: the computer's drives

template <typename Function> static Function Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Shows the browser rooted at the drives; the chosen folder's path into result.
static bool ChooseFolder(HMODULE shell, HWND owner, const char* title, char* result)
{
    auto getSpecialFolder = Lookup<GetSpecialFolderFunction>(shell, "SHGetSpecialFolderLocation");
    auto browse = Lookup<BrowseFunction>(shell, "SHBrowseForFolder");
    auto pathFromList = Lookup<PathFromListFunction>(shell, "SHGetPathFromIDList");
    auto freeList = Lookup<FreeListFunction>(shell, "ILFree");
    if (getSpecialFolder == nullptr || browse == nullptr || pathFromList == nullptr)
        return false;
    LPITEMIDLIST root = nullptr;
    if (getSpecialFolder(owner, FolderDrives, &root) < 0)
        return false;
    BROWSEINFOA info;
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
    char previous[PathBufferSize];
    TextCopy(previous, path);
    const char* lastName = BrowseLastName(previous);
    char title[PathBufferSize];
    // The title's format may name the last name once.
    const char* arguments[1] = {lastName};
    wvsprintfA(title, LoadText(IDS_BROWSE_TITLE),
               reinterpret_cast<va_list>(const_cast<char**>(arguments)));
    char result[PathBufferSize];
    result[0] = 0;
    bool chosen = ChooseFolder(shell, owner, title, result);
    if (chosen) {
        BrowseCarryLastName(result, lastName);
        TextCopyMax(path, result, PathLimit);
    }
    FreeLibrary(shell);
    return chosen;
}

static INT_PTR OnInitDialog(HWND window)
{
    SetDlgItemTextA(window, ID_DESTINATION_EDIT, SfxContext.Destination);
    SendDlgItemMessageA(window, ID_CONFIRM_CHECK, BM_SETCHECK, BST_CHECKED, 0);
    return TRUE;
}

static INT_PTR OnCommand(HWND window, WPARAM wParam)
{
    switch (wParam) {
        case IDOK:
            GetDlgItemTextA(window, ID_DESTINATION_EDIT, SfxContext.Destination, PathLimit);
            SfxContext.ConfirmOverwrites =
                SendDlgItemMessageA(window, ID_CONFIRM_CHECK, BM_GETCHECK, 0, 0) != 0;
            EndDialog(window, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return TRUE;
        case ID_BROWSE_BUTTON: {
            char path[PathBufferSize];
            GetDlgItemTextA(window, ID_DESTINATION_EDIT, path, PathLimit);
            if (BrowseForDestination(window, path))
                SetDlgItemTextA(window, ID_DESTINATION_EDIT, path);
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
            return OnInitDialog(window);
        case WM_COMMAND:
            return OnCommand(window, wParam);
        default:
            return FALSE;
    }
}
