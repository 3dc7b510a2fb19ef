// The one place that decides where the Win32 API comes from: the real headers on Windows, our
// own declarations of the used subset on the host (implemented over POSIX in host/).
#pragma once

#if defined(_WIN32)

#include <windows.h>
#define WIDE(text) L##text

#else

#define WIDE(text) u##text

// The system's own names, spelled as its headers spell them.
// NOLINTBEGIN(readability-identifier-naming, bugprone-reserved-identifier)

#include <cstdint>

using BYTE = unsigned char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using HANDLE = void*;
using SIZE_T = std::size_t;
using LPDWORD = DWORD*;
using PLONG = LONG*;

#define WINAPI
#define TRUE     1
#define FALSE    0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE     (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define INVALID_FILE_ATTRIBUTES  (static_cast<DWORD>(-1))
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(-1))
#define INVALID_FILE_SIZE        (static_cast<DWORD>(-1))

#define GENERIC_READ      0x80000000u
#define GENERIC_WRITE     0x40000000u
#define FILE_SHARE_READ   0x00000001u
#define FILE_SHARE_WRITE  0x00000002u
#define CREATE_NEW        1
#define CREATE_ALWAYS     2
#define OPEN_EXISTING     3
#define OPEN_ALWAYS       4
#define TRUNCATE_EXISTING 5
#define FILE_BEGIN        0
#define FILE_CURRENT      1
#define FILE_END          2

#define FILE_ATTRIBUTE_READONLY  0x01u
#define FILE_ATTRIBUTE_HIDDEN    0x02u
#define FILE_ATTRIBUTE_SYSTEM    0x04u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_ARCHIVE   0x20u
#define FILE_ATTRIBUTE_NORMAL    0x80u

#define ERROR_SUCCESS              0
#define ERROR_FILE_NOT_FOUND       2
#define ERROR_PATH_NOT_FOUND       3
#define ERROR_TOO_MANY_OPEN_FILES  4
#define ERROR_ACCESS_DENIED        5
#define ERROR_INVALID_HANDLE       6
#define ERROR_NOT_ENOUGH_MEMORY    8
#define ERROR_NEGATIVE_SEEK        131
#define ERROR_SHARING_VIOLATION    32
#define ERROR_HANDLE_EOF           38
#define ERROR_FILE_EXISTS          80
#define ERROR_INVALID_PARAMETER    87
#define ERROR_FILE_TOO_LARGE       223
#define ERROR_DISK_FULL            112
#define ERROR_DIR_NOT_EMPTY        145
#define ERROR_DIRECTORY_INVALID    267
#define ERROR_ALREADY_EXISTS       183
#define ERROR_FILENAME_EXCED_RANGE 206

#define HEAP_ZERO_MEMORY 0x00000008u
#define SM_DBCSENABLED   42

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD countRead,
                     LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD countWritten,
                      LPOVERLAPPED overlapped);
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL WINAPI CloseHandle(HANDLE object);
BOOL WINAPI DeleteFileA(LPCSTR name);
BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security);
BOOL WINAPI RemoveDirectoryA(LPCSTR name);
DWORD WINAPI GetFileAttributesA(LPCSTR name);
BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes);
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);
DWORD WINAPI GetModuleFileNameA(void* module, LPSTR buffer, DWORD size);
DWORD WINAPI GetCurrentProcessId();
DWORD WINAPI GetTickCount();

HANDLE WINAPI GetProcessHeap();
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
[[noreturn]] void WINAPI FatalAppExitA(UINT action, LPCSTR message);
[[noreturn]] void WINAPI ExitProcess(UINT code);

using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPBOOL = BOOL*;

#define CP_ACP                       0
#define CP_OEMCP                     1
#define CP_UTF8                      65001
#define MB_ERR_INVALID_CHARS         0x00000008
#define WC_NO_BEST_FIT_CHARS         0x00000400
#define ERROR_INSUFFICIENT_BUFFER    122
#define ERROR_NO_UNICODE_TRANSLATION 1113

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                               int wideLength);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text,
                               int length, LPCSTR defaultChar, LPBOOL usedDefault);
int WINAPI GetSystemMetrics(int index);
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b);
int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b);
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);

// The wide file calls, which take paths in any script and, behind \\?\, of any length.
HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI DeleteFileW(LPCWSTR name);
BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security);
DWORD WINAPI GetFileAttributesW(LPCWSTR name);
BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attributes);
DWORD WINAPI GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* filePart);

// Times, directory search and the current directory.
struct FILETIME
{
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

using LPFILETIME = FILETIME*;

struct SYSTEMTIME
{
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

using LPSYSTEMTIME = SYSTEMTIME*;

struct WIN32_FIND_DATAA
{
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};

using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

struct WIN32_FIND_DATAW
{
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};

using LPWIN32_FIND_DATAW = WIN32_FIND_DATAW*;

#define ERROR_NO_MORE_FILES 18
#define ERROR_INVALID_NAME  123

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data);
BOOL WINAPI FindClose(HANDLE find);
BOOL WINAPI GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess,
                        LPFILETIME lastWrite);
BOOL WINAPI SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                        const FILETIME* lastWrite);
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* utc, LPFILETIME local);
BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc);
BOOL WINAPI FileTimeToSystemTime(const FILETIME* time, LPSYSTEMTIME parts);
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* parts, LPFILETIME time);
HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
BOOL WINAPI SetCurrentDirectoryA(LPCSTR path);
BOOL WINAPI SetCurrentDirectoryW(LPCWSTR name);
DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer);

// Message pump, progress notification, key poll and beep; test hooks in host/HostMessages.h.
struct HWND__;
using HWND = HWND__*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using SHORT = std::int16_t;

struct POINT
{
    LONG x;
    LONG y;
};

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

using LPMSG = MSG*;

#define WM_COMMAND 0x0111
#define PM_REMOVE  0x0001

BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT remove);
BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG message);
BOOL WINAPI TranslateMessage(const MSG* message);
LRESULT WINAPI DispatchMessageA(const MSG* message);
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
SHORT WINAPI GetAsyncKeyState(int key);
BOOL WINAPI MessageBeep(UINT type);

// Windows, dialogs, message boxes, drawing and the string table; host/HostWindows.h scripts
// them for tests.
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HDC__;
using HDC = HDC__*;
struct HMENU__;
using HMENU = HMENU__*;
using HGDIOBJ = void*;
using COLORREF = DWORD;
using INT_PTR = std::intptr_t;

struct RECT
{
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

using LPRECT = RECT*;

#define CALLBACK
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

#define LOWORD(l) (static_cast<WORD>(static_cast<std::uintptr_t>(l) & 0xFFFF))
#define HIWORD(l) (static_cast<WORD>((static_cast<std::uintptr_t>(l) >> 16) & 0xFFFF))

#define WM_PAINT      0x000F
#define WM_KEYDOWN    0x0100
#define WM_INITDIALOG 0x0110
#define IDOK          1
#define IDCANCEL      2
#define IDYES         6
#define IDNO          7
#define SW_SHOW       5
#define SC_SIZE       0xF000
#define SC_MAXIMIZE   0xF030
#define MF_BYCOMMAND  0x0000
#define VK_RETURN     0x0D
#define VK_ESCAPE     0x1B
#define TRANSPARENT   1
#define DT_CENTER     0x0001
#define DT_VCENTER    0x0004
#define DT_SINGLELINE 0x0020

#define COLOR_WINDOW        5
#define COLOR_WINDOWTEXT    8
#define COLOR_HIGHLIGHT     13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE       15

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent,
                               DLGPROC procedure, LPARAM parameter);
HWND WINAPI CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent,
                               DLGPROC procedure, LPARAM parameter);
BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI ShowWindow(HWND window, int command);
HWND WINAPI GetDlgItem(HWND dialog, int id);
BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text);
HMENU WINAPI GetSystemMenu(HWND window, BOOL revert);
BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags);
HWND WINAPI GetActiveWindow();
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size);

HDC WINAPI GetDC(HWND window);
int WINAPI ReleaseDC(HWND window, HDC dc);
BOOL WINAPI GetClientRect(HWND window, LPRECT rect);
int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush);
HBRUSH WINAPI CreateSolidBrush(COLORREF color);
BOOL WINAPI DeleteObject(HGDIOBJ object);
DWORD WINAPI GetSysColor(int index);
int WINAPI SetBkMode(HDC dc, int mode);
COLORREF WINAPI SetTextColor(HDC dc, COLORREF color);
int WINAPI DrawTextA(HDC dc, LPCSTR text, int length, LPRECT rect, UINT format);
int WINAPI IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
BOOL WINAPI GdiFlush();

// NOLINTEND(readability-identifier-naming, bugprone-reserved-identifier)

#endif
