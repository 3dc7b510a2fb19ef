// Library loading from the system folder.
#include "app/SystemLibrary.h"

#include "text/Text.h"

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

constexpr DWORD SearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

static bool SearchRestricted = false;

void RestrictLibrarySearch()
{
    // Present from Windows 8, and on Windows 7 with its update; looked up, not imported.
    auto setDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    SearchRestricted = setDirectories != nullptr && setDirectories(SearchSystem32) != FALSE;
}

HMODULE LoadSystemLibrary(const char* name)
{
    // A bare name keeps the side-by-side redirection of the manifest's common controls.
    if (SearchRestricted)
        return LoadLibraryA(name);
    char path[PathBufferSize];
    UINT length = GetSystemDirectoryA(path, PathLimit);
    if (length == 0 || length + 1 + TextLength(name) > PathLimit)
        return nullptr;
    AddTrailingBackslash(path);
    TextAppend(path, name);
    return LoadLibraryA(path);
}
