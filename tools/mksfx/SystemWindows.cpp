// The wide API throughout: names in any script, and paths of any length through the engine's
// own conversion (the long form behind \\?\ past the plain limit).
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <io.h>

#include "System.h"
#include "files/FileSystem.h"
#include "text/Text.h"

#include <shellapi.h>

// Only the codes a packer meets; the rest read as an input or output error.
static int ErrnoOf(DWORD code)
{
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        default:
            return EIO;
    }
}

static void FailWith(DWORD code)
{
    errno = ErrnoOf(code);
}

static const WCHAR* WidePath(const std::string& path)
{
    const WCHAR* wide = FsSystemPath(path.c_str());
    if (wide == nullptr)
        errno = ENAMETOOLONG;
    return wide;
}

static std::string Utf8Of(const WCHAR* wide)
{
    std::string text(3 * std::wcslen(wide) + 1, '\0');
    i32 bytes = TextFromWide(text.data(), wide, static_cast<u32>(text.size()));
    text.resize(bytes < 0 ? 0 : static_cast<std::size_t>(bytes));
    return text;
}

static HANDLE HandleOf(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file);
}

static UINT ConsoleCodePage = 0;

static void RestoreConsole()
{
    if (ConsoleCodePage != 0)
        SetConsoleOutputCP(ConsoleCodePage);
}

std::vector<std::string> StartProgram(int, char**)
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A console shows the UTF-8, and the progress line's control sequences.
    DWORD mode = 0;
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (GetConsoleMode(error, &mode) != 0) {
        SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        ConsoleCodePage = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
        std::atexit(RestoreConsole);
    }
    int count = 0;
    WCHAR** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i)
        arguments.push_back(Utf8Of(wide[i]));
    LocalFree(wide);
    return arguments;
}

static i64 UnixTimeOf(const FILETIME& time)
{
    constexpr i64 TicksPerSecond = 10000000;
    constexpr i64 UnixEpochTicks = 116444736000000000;  // 1601 to 1970
    i64 ticks = static_cast<i64>(static_cast<u64>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    ticks -= UnixEpochTicks;
    // Down to the whole second, before 1970 too.
    return ticks >= 0 ? ticks / TicksPerSecond : -((-ticks + TicksPerSecond - 1) / TicksPerSecond);
}

bool StatusOfFile(FileHandle file, PathStatus& status)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(HandleOf(file), &info) == 0) {
        FailWith(GetLastError());
        return false;
    }
    status.Folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.Regular = !status.Folder && GetFileType(HandleOf(file)) == FILE_TYPE_DISK;
    status.ReadOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    status.Size = static_cast<u64>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    status.ModifiedTime = UnixTimeOf(info.ftLastWriteTime);
    status.Volume = info.dwVolumeSerialNumber;
    status.Index = static_cast<u64>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return true;
}

static FileHandle Open(const std::string& path, DWORD access, DWORD flags)
{
    const WCHAR* wide = WidePath(path);
    if (wide == nullptr)
        return NoFile;
    HANDLE file = CreateFileW(wide, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailWith(GetLastError());
        return NoFile;
    }
    return reinterpret_cast<FileHandle>(file);
}

bool StatusOfPath(const std::string& path, PathStatus& status)
{
    // Attributes only, of a folder too; a link leads to its target.
    FileHandle file = Open(path, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
    if (file == NoFile)
        return false;
    bool known = StatusOfFile(file, status);
    CloseFile(file);
    return known;
}

FileHandle OpenForReading(const std::string& path)
{
    return Open(path, GENERIC_READ, FILE_FLAG_SEQUENTIAL_SCAN);
}

long long ReadSome(FileHandle file, void* buffer, std::size_t length)
{
    DWORD done = 0;
    DWORD asked = length < (1u << 30) ? static_cast<DWORD>(length) : 1u << 30;
    if (ReadFile(HandleOf(file), buffer, asked, &done, nullptr) != 0)
        return done;
    DWORD code = GetLastError();
    if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE)
        return 0;
    FailWith(code);
    return -1;
}

bool ReadAt(FileHandle file, u64 offset, void* buffer, std::size_t length)
{
    auto* p = static_cast<char*>(buffer);
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD done = 0;
        DWORD asked = length < (1u << 30) ? static_cast<DWORD>(length) : 1u << 30;
        if (ReadFile(HandleOf(file), p, asked, &done, &at) == 0) {
            DWORD code = GetLastError();
            errno = code == ERROR_HANDLE_EOF ? 0 : ErrnoOf(code);
            return false;
        }
        if (done == 0) {
            errno = 0;
            return false;
        }
        p += done;
        offset += done;
        length -= done;
    }
    return true;
}

bool CloseFile(FileHandle file)
{
    if (file == NoFile)
        return true;
    if (CloseHandle(HandleOf(file)) != 0)
        return true;
    FailWith(GetLastError());
    return false;
}

bool Readable(const std::string& path)
{
    FileHandle file = OpenForReading(path);
    CloseFile(file);
    return file != NoFile;
}

bool IsPathSeparator(char c)
{
    return c == '/' || c == '\\';
}

std::size_t LastComponentAt(const std::string& path)
{
    std::size_t at = path.find_last_of("/\\");
    // "C:name" is a name in the drive's current folder.
    if (at == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? 2 : 0;
    return at + 1;
}

bool ListFolder(const std::string& path, std::vector<std::string>& names)
{
    bool bare = path.empty() || IsPathSeparator(path.back()) || path.back() == ':';
    const WCHAR* pattern = WidePath(path + (bare ? "*" : "/*"));
    if (pattern == nullptr)
        return false;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern, FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        // A drive's empty root lists not even "." and "..".
        if (code == ERROR_FILE_NOT_FOUND)
            return true;
        FailWith(code);
        return false;
    }
    do {
        const WCHAR* name = found.cFileName;
        bool dots = name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
        if (!dots)
            names.push_back(Utf8Of(name));
    } while (FindNextFileW(search, &found) != 0);
    DWORD code = GetLastError();
    FindClose(search);
    if (code != ERROR_NO_MORE_FILES) {
        FailWith(code);
        return false;
    }
    return true;
}

// The pending file's wide path for the console's handler, which runs on a thread of its own:
// the lock keeps it from removing a file the main thread is renaming, or one it then creates.
static SRWLOCK PendingLock = SRWLOCK_INIT;
static WCHAR PendingPath[WidePathLimit + 16];
static bool PendingSet = false;

static BOOL WINAPI OnInterrupt(DWORD)
{
    AcquireSRWLockExclusive(&PendingLock);
    if (PendingSet)
        DeleteFileW(PendingPath);
    RestoreConsole();
    // With the lock held to the end; as the system's own handler would, but it is not the
    // same everywhere (Wine's exits with 0).
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

void InstallInterruptHandlers()
{
    SetConsoleCtrlHandler(OnInterrupt, TRUE);
}

FileHandle CreatePending(const std::string& prefix, std::string& path)
{
    constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    u32 seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 6; ++i) {
            seed = seed * 1103515245u + 12345u;
            name += Letters[(seed >> 16) % (sizeof Letters - 1)];
        }
        const WCHAR* wide = WidePath(name);
        if (wide == nullptr)
            return NoFile;
        AcquireSRWLockExclusive(&PendingLock);
        std::wcscpy(PendingPath, wide);
        // Others may read it, and the handler may remove it while it is open.
        HANDLE file = CreateFileW(PendingPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD code = GetLastError();
        PendingSet = file != INVALID_HANDLE_VALUE;
        ReleaseSRWLockExclusive(&PendingLock);
        if (file != INVALID_HANDLE_VALUE) {
            path = name;
            return reinterpret_cast<FileHandle>(file);
        }
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            FailWith(code);
            return NoFile;
        }
    }
    errno = EEXIST;
    return NoFile;
}

bool WriteAll(FileHandle file, const void* data, std::size_t length)
{
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
        DWORD done = 0;
        DWORD asked = length < (1u << 30) ? static_cast<DWORD>(length) : 1u << 30;
        if (WriteFile(HandleOf(file), p, asked, &done, nullptr) == 0 || done == 0) {
            FailWith(done == 0 && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError());
            return false;
        }
        p += done;
        length -= done;
    }
    return true;
}

bool CommitPending(const std::string& path, const std::string& target)
{
    const WCHAR* wide = WidePath(path);
    std::wstring from = wide != nullptr ? wide : L"";
    const WCHAR* to = WidePath(target);
    if (wide == nullptr || to == nullptr)
        return false;
    AcquireSRWLockExclusive(&PendingLock);
    bool renamed = MoveFileExW(from.c_str(), to, MOVEFILE_REPLACE_EXISTING) != 0;
    DWORD code = GetLastError();
    if (renamed)
        PendingSet = false;
    ReleaseSRWLockExclusive(&PendingLock);
    if (!renamed)
        FailWith(code);
    return renamed;
}

void RemovePending(const std::string& path)
{
    AcquireSRWLockExclusive(&PendingLock);
    PendingSet = false;
    if (const WCHAR* wide = WidePath(path))
        DeleteFileW(wide);
    ReleaseSRWLockExclusive(&PendingLock);
}

bool LocalTimeOf(std::time_t time, std::tm& local)
{
    return localtime_s(&local, &time) == 0;
}

bool ErrorIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
