// A stand-in for a system library, planted where a program must not load it from: when a
// process loads it, it leaves a file named after itself in the folder SFX_DECOY_MARKERS names.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char folder[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("SFX_DECOY_MARKERS", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || GetModuleFileNameA(self, path, MAX_PATH) == 0)
        return TRUE;
    const char* name = path;
    for (const char* c = path; *c != 0; ++c)
        if (*c == '\\' || *c == '/')
            name = c + 1;
    lstrcatA(folder, "\\");
    lstrcatA(folder, name);
    HANDLE marker = CreateFileA(folder, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(marker, path, lstrlenA(path), &written, nullptr);
        CloseHandle(marker);
    }
    // Loaded for a system library it cannot serve, it still lets the loader go on: the marker
    // is the finding, not a failed start.
    return TRUE;
}
