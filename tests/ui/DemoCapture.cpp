// demo_capture STUB.exe DESTINATION WATCHED-FILE BYTES PICTURE.png
// Runs a self-extractor into DESTINATION and takes a picture of its progress window while it
// works: once WATCHED-FILE has BYTES, the program is held still for the picture, then let go.
// Prints the picture's path and the program's exit code; exits 0 when both went well.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/Screen.h"
#include "ui/StubDriver.h"

int main()
{
    // The arguments wide, in UTF-8, so a path in any script arrives whole.
    int argc = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(Utf8Of(wide[i], lstrlenW(wide[i])));
    std::vector<const char*> pointers;
    for (const std::string& a : arguments)
        pointers.push_back(a.c_str());
    const char* const* argv = pointers.data();
    if (argc != 6) {
        std::fprintf(stderr, "usage: demo_capture STUB DESTINATION WATCHED-FILE BYTES PICTURE\n");
        return 2;
    }
    const std::string stub = argv[1];
    const std::string watched = argv[3];
    const DWORD bytes = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10));
    std::string folder = stub.substr(0, stub.find_last_of('\\') + 1);
    StubProcess run(stub, "\"" + std::string(argv[2]) + "\"", folder);
    if (!run.Started()) {
        std::fprintf(stderr, "demo_capture: cannot start %s (%lu)\n", stub.c_str(), GetLastError());
        return 1;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    DWORD start = GetTickCount();
    while (run.Running() && GetTickCount() - start < UiTimeoutMs &&
           !(GetFileAttributesExW(WideOf(watched).c_str(), GetFileExInfoStandard, &data) &&
             data.nFileSizeLow >= bytes))
        Sleep(1);
    bool pictured = false;
    if (SuspendThread(run.MainThread()) != static_cast<DWORD>(-1)) {
        HWND progress = run.WaitDialog("Unpacking files...", 0);
        if (progress != nullptr) {
            Sleep(300);  // what the server still has to draw
            RECT around{};
            GetWindowRect(progress, &around);
            InflateRect(&around, 12, 12);
            pictured = SavePng(Crop(CaptureScreen(), around), argv[5]);
        }
        ResumeThread(run.MainThread());
    }
    MessageBoxView unexpected;
    bool ended = run.WaitExit(&unexpected);
    if (unexpected.Window != nullptr)
        std::fprintf(stderr, "demo_capture: message \"%s\" (%s)\n", unexpected.Text.c_str(),
                     unexpected.Caption.c_str());
    std::printf("picture: %s\n", pictured ? argv[5] : "none (the window went too fast)");
    std::printf("exit code: %lu\n", ended ? run.ExitCode() : 259);
    return pictured && ended && run.ExitCode() == 0 ? 0 : 1;
}
