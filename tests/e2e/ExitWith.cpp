// The program a self-extractor runs after extraction, in the proofs: exits with the code of
// its first argument, and, given a second, writes there its working folder and its command line.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc > 2) {
        wchar_t folder[MAX_PATH];
        DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
        HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, folder, length * sizeof(wchar_t), &written, nullptr);
        WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
        const wchar_t* line = GetCommandLineW();
        WriteFile(file, line, static_cast<DWORD>(lstrlenW(line)) * 2, &written, nullptr);
        CloseHandle(file);
    }
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
