// The host port of the Win32 calls the window-less modules make, over POSIX: what the tools
// run on. Its own settings say where drive letters and shares lead and which code page the
// text functions follow; its seams let a test library bend answers (short reads, a full disk,
// failing heap requests, scripted messages). Unset, a seam changes nothing, and the tools set
// none.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32.h"

// Closes every file and search, forgets attributes, maps drive C: to "/" and no share, selects
// code page 1252 with OEM 437, and clears every seam.
void HostPortReset();

// Selects the ANSI and OEM code pages the text functions follow: 1252 (OEM 437), 1251
// (OEM 866) or 932.
void HostSetCodePage(unsigned ansiCodePage);

// Maps a drive letter or a \\server\share root to a host directory.
void HostMapDrive(char letter, const std::string& directory);
void HostMapShare(const std::string& server, const std::string& share,
                  const std::string& directory);
// The host path a Win32 path stands for.
std::string HostPath(const char* win32Path);

// Heap blocks currently allocated through HeapAlloc, and files open through CreateFileA.
std::size_t HostHeapBlocks();
std::size_t HostOpenFiles();

// The calls a test may count.
enum class HostCall
{
    CreateFile,
    CreateDirectory,
    FindFirstFile,
    SetCurrentDirectory,
};

struct HostSeams
{
    bool (*FailAllocation)();         // true: this heap request fails
    DWORD (*ReadLimit)(DWORD count);  // the bytes this read may return, at most count
    DWORD (*WriteRoom)(DWORD count);  // the bytes that fit; fewer: the disk is full after them
    void (*Called)(HostCall call, const char* name);
    unsigned long long DirectorySize;          // what a search reports as a directory's size
    BOOL (*Peek)(LPMSG message, UINT remove);  // PeekMessageA; unset, the queue is empty
    BOOL (*DialogMessage)(HWND dialog, LPMSG message);
    LRESULT (*Dispatch)(const MSG* message);
    LRESULT (*Send)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    SHORT (*KeyState)(int key);
    void (*Beep)();
    DWORD (*Ticks)();  // GetTickCount; unset, the system's monotonic clock
};

extern constinit HostSeams HostSeam;

// Between the port's own files: the descriptor and access of an open file handle.
bool HostFileOf(HANDLE file, int& descriptor, DWORD& access);
void HostFileInfoReset();
