// The control of the library decoys. With --window it shows a field with the focus for a
// moment and loads nothing itself: its markers are what Wine loads for any program with a
// window. Every other argument is a library it loads by bare name, with the default search, as a
// careless program would: its markers prove the decoys and the overrides work.
#include <windows.h>

int main(int argc, char** argv)
{
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        if (lstrcmpA(argv[i], "--window") == 0) {
            // A field with the focus, as a dialog has: the input method comes in with it.
            HWND window = CreateWindowA("EDIT", "control", WS_POPUP | WS_VISIBLE, 0, 0, 100, 20,
                                        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
            if (window == nullptr) {
                ++failed;
                continue;
            }
            SetFocus(window);
            MSG message;
            for (DWORD start = GetTickCount(); GetTickCount() - start < 300;)
                if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageA(&message);
                else
                    Sleep(10);
            DestroyWindow(window);
        } else if (LoadLibraryA(argv[i]) == nullptr) {
            ++failed;
        }
    }
    return failed;
}
