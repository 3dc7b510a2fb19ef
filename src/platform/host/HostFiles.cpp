// Files, directories, attributes, heap and errors of the host port, over POSIX. Drive
// letters and \\server\share roots map to directories its settings choose.
#include "platform/host/HostPort.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct OpenFile
{
    int Fd = -1;
    std::string Path;
    DWORD Access = 0;
    DWORD Share = 0;
};

struct HostState
{
    std::map<char, std::string> Drives{{'C', "/"}};
    std::map<std::string, std::string> Shares;  // "server\share" in upper case
    std::map<std::string, DWORD> Attributes;    // what POSIX cannot keep, by host path
    std::vector<OpenFile> Files;
    std::size_t HeapBlocks = 0;
};

HostState& State()
{
    static HostState state;
    return state;
}

thread_local DWORD LastError = 0;

DWORD ErrorFromErrno(int error, const std::string& path)
{
    switch (error) {
        case ENOENT: {
            // Windows tells a missing file from a missing directory on the way.
            std::string parent = path.substr(0, path.find_last_of('/') + 1);

            struct stat st
            {
            };

            if (parent.empty() || (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
                return ERROR_FILE_NOT_FOUND;
            return ERROR_PATH_NOT_FOUND;
        }
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EMFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

BOOL Fail(DWORD code)
{
    LastError = code;
    return FALSE;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

OpenFile* FileOf(HANDLE handle)
{
    auto index = reinterpret_cast<std::uintptr_t>(handle) / 4;
    auto& files = State().Files;
    if (index == 0 || index > files.size() || files[index - 1].Fd < 0)
        return nullptr;
    return &files[index - 1];
}

DWORD StoredAttributes(const std::string& path)
{
    auto it = State().Attributes.find(path);
    return it == State().Attributes.end() ? 0 : it->second;
}

bool IsReadOnly(const std::string& path)
{
    return (StoredAttributes(path) & FILE_ATTRIBUTE_READONLY) != 0;
}

// Another open handle's sharing denies what this open asks for, or this open's sharing
// denies what another handle already has.
bool SharingConflict(const std::string& path, DWORD access, DWORD share)
{
    for (const OpenFile& f : State().Files) {
        if (f.Fd < 0 || f.Path != path)
            continue;
        if (((access & GENERIC_READ) != 0 && (f.Share & FILE_SHARE_READ) == 0) ||
            ((access & GENERIC_WRITE) != 0 && (f.Share & FILE_SHARE_WRITE) == 0) ||
            ((f.Access & GENERIC_READ) != 0 && (share & FILE_SHARE_READ) == 0) ||
            ((f.Access & GENERIC_WRITE) != 0 && (share & FILE_SHARE_WRITE) == 0))
            return true;
    }
    return false;
}

}  // namespace

std::string HostPath(const char* win32Path)
{
    std::string path(win32Path);
    std::string root;
    std::string rest;
    if (path.size() >= 2 && path[1] == ':') {
        auto it = State().Drives.find(Upper(path.substr(0, 1))[0]);
        root = it == State().Drives.end() ? "/nonexistent-root/drive" : it->second;
        rest = path.substr(2);
    } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        std::size_t server = path.find('\\', 2);
        std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        std::string key = Upper(path.substr(2, share == std::string::npos ? share : share - 2));
        auto it = State().Shares.find(key);
        root = it == State().Shares.end() ? "/nonexistent-root/share" : it->second;
        rest = share == std::string::npos ? "" : path.substr(share);
    } else {
        rest = path;
    }
    // Names are UTF-8, in which no other character has a byte 0x5C.
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    if (!root.empty() && root.back() == '/' && !rest.empty() && rest[0] == '/')
        root.pop_back();
    std::string result = root + rest;
    // Win32 ignores one trailing separator on a directory name.
    if (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

constinit HostSeams HostSeam = {};

void HostPortReset()
{
    for (OpenFile& f : State().Files)
        if (f.Fd >= 0)
            close(f.Fd);
    State() = HostState{};
    HostSeam = HostSeams{};
    HostSetCodePage(1252);
    HostFileInfoReset();
}

bool HostFileOf(HANDLE file, int& descriptor, DWORD& access)
{
    OpenFile* f = FileOf(file);
    if (f == nullptr)
        return false;
    descriptor = f->Fd;
    access = f->Access;
    return true;
}

void HostMapDrive(char letter, const std::string& directory)
{
    State().Drives[Upper(std::string(1, letter))[0]] = directory;
}

void HostMapShare(const std::string& server, const std::string& share, const std::string& directory)
{
    State().Shares[Upper(server + "\\" + share)] = directory;
}

std::size_t HostHeapBlocks()
{
    return State().HeapBlocks;
}

std::size_t HostOpenFiles()
{
    std::size_t open = 0;
    for (const OpenFile& f : State().Files)
        open += f.Fd >= 0 ? 1 : 0;
    return open;
}

DWORD WINAPI GetLastError()
{
    return LastError;
}

void WINAPI SetLastError(DWORD code)
{
    LastError = code;
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD flagsAndAttributes, HANDLE)
{
    if (HostSeam.Called != nullptr)
        HostSeam.Called(HostCall::CreateFile, name);
    std::string path = HostPath(name);

    struct stat st
    {
    };

    bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int flags = (access & GENERIC_WRITE) != 0 ? ((access & GENERIC_READ) != 0 ? O_RDWR : O_WRONLY)
                                              : O_RDONLY;
    switch (disposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            flags |= O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        default:
            Fail(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    if (exists && disposition == CREATE_NEW) {
        Fail(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    // Root ignores permission bits, so the read-only attribute is enforced here.
    if (exists && IsReadOnly(path) &&
        ((access & GENERIC_WRITE) != 0 || disposition == CREATE_ALWAYS ||
         disposition == TRUNCATE_EXISTING)) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Windows refuses to replace a hidden or system file unless the new one keeps those bits.
    DWORD kept = StoredAttributes(path) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (exists && disposition == CREATE_ALWAYS && (flagsAndAttributes & kept) != kept) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (exists && SharingConflict(path, access, share)) {
        Fail(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail(ErrorFromErrno(errno, path));
        return INVALID_HANDLE_VALUE;
    }
    if (!exists || disposition == CREATE_ALWAYS) {
        DWORD attributes = flagsAndAttributes & 0x27;  // read-only, hidden, system, archive
        State().Attributes[path] = attributes | FILE_ATTRIBUTE_ARCHIVE;
    }
    auto& files = State().Files;
    files.push_back(OpenFile{fd, path, access, share});
    LastError = 0;
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(files.size() * 4));
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD countRead, LPOVERLAPPED)
{
    *countRead = 0;
    OpenFile* f = FileOf(file);
    if (f == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if ((f->Access & GENERIC_READ) == 0)
        return Fail(ERROR_ACCESS_DENIED);
    if (HostSeam.ReadLimit != nullptr)
        count = HostSeam.ReadLimit(count);
    ssize_t got = read(f->Fd, buffer, count);
    if (got < 0)
        return Fail(ErrorFromErrno(errno, f->Path));
    *countRead = static_cast<DWORD>(got);
    LastError = 0;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD countWritten, LPOVERLAPPED)
{
    *countWritten = 0;
    OpenFile* f = FileOf(file);
    if (f == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if ((f->Access & GENERIC_WRITE) == 0)
        return Fail(ERROR_ACCESS_DENIED);
    DWORD room = HostSeam.WriteRoom != nullptr ? HostSeam.WriteRoom(count) : count;
    if (room < count) {
        // A full disk takes what fits, then fails.
        ssize_t part = write(f->Fd, buffer, room);
        *countWritten = part > 0 ? static_cast<DWORD>(part) : 0;
        return Fail(ERROR_DISK_FULL);
    }
    ssize_t put = write(f->Fd, buffer, count);
    if (put < 0)
        return Fail(ErrorFromErrno(errno, f->Path));
    *countWritten = static_cast<DWORD>(put);
    LastError = 0;
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method)
{
    OpenFile* f = FileOf(file);
    if (f == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    long long offset = distanceHigh != nullptr ? (static_cast<long long>(*distanceHigh) << 32) |
                                                     static_cast<DWORD>(distance)
                                               : static_cast<long long>(distance);
    long long base = 0;
    if (method == FILE_CURRENT)
        base = lseek(f->Fd, 0, SEEK_CUR);
    else if (method == FILE_END)
        base = lseek(f->Fd, 0, SEEK_END);
    else if (method != FILE_BEGIN) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (base + offset < 0) {
        Fail(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    long long position = lseek(f->Fd, base + offset, SEEK_SET);
    if (distanceHigh != nullptr)
        *distanceHigh = static_cast<LONG>(position >> 32);
    LastError = 0;
    return static_cast<DWORD>(position);
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    OpenFile* f = FileOf(file);

    struct stat st
    {
    };

    if (f == nullptr || fstat(f->Fd, &st) != 0) {
        Fail(f == nullptr ? ERROR_INVALID_HANDLE : ErrorFromErrno(errno, f->Path));
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<unsigned long long>(st.st_size);
    *sizeHigh = static_cast<DWORD>(size >> 32);
    LastError = 0;
    return static_cast<DWORD>(size);
}

BOOL WINAPI CloseHandle(HANDLE object)
{
    OpenFile* f = FileOf(object);
    if (f == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    close(f->Fd);
    f->Fd = -1;
    LastError = 0;
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name)
{
    std::string path = HostPath(name);

    struct stat st
    {
    };

    if (stat(path.c_str(), &st) != 0)
        return Fail(ErrorFromErrno(errno, path));
    if (S_ISDIR(st.st_mode) || IsReadOnly(path))
        return Fail(ERROR_ACCESS_DENIED);
    for (const OpenFile& f : State().Files)
        if (f.Fd >= 0 && f.Path == path)
            return Fail(ERROR_SHARING_VIOLATION);
    if (unlink(path.c_str()) != 0)
        return Fail(ErrorFromErrno(errno, path));
    State().Attributes.erase(path);
    LastError = 0;
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES)
{
    if (HostSeam.Called != nullptr)
        HostSeam.Called(HostCall::CreateDirectory, name);
    std::string path = HostPath(name);
    if (mkdir(path.c_str(), 0755) != 0)
        return Fail(ErrorFromErrno(errno, path));
    State().Attributes[path] = FILE_ATTRIBUTE_DIRECTORY;
    LastError = 0;
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR name)
{
    std::string path = HostPath(name);
    if (rmdir(path.c_str()) != 0)
        return Fail(errno == ENOTDIR ? ERROR_DIRECTORY_INVALID : ErrorFromErrno(errno, path));
    State().Attributes.erase(path);
    LastError = 0;
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR name)
{
    std::string path = HostPath(name);

    struct stat st
    {
    };

    if (stat(path.c_str(), &st) != 0) {
        Fail(ErrorFromErrno(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    LastError = 0;
    auto it = State().Attributes.find(path);
    DWORD kept = it != State().Attributes.end()
                     ? it->second
                     : (S_ISDIR(st.st_mode) ? 0 : FILE_ATTRIBUTE_ARCHIVE);
    DWORD attributes = (kept & 0x27) | (S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes)
{
    std::string path = HostPath(name);

    struct stat st
    {
    };

    if (stat(path.c_str(), &st) != 0)
        return Fail(ErrorFromErrno(errno, path));
    State().Attributes[path] = attributes & 0x27;
    LastError = 0;
    return TRUE;
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = tmp != nullptr && *tmp != 0 ? tmp : "/tmp";
    std::string path = "C:" + dir;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    if (path.back() != '\\')
        path += '\\';
    if (path.size() + 1 > size)
        return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetModuleFileNameA(void*, LPSTR buffer, DWORD size)
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n < 0 || size == 0)
        return 0;
    self[n] = 0;
    std::string path = std::string("C:") + self;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    std::size_t copied = path.size() < size ? path.size() : size - 1;
    std::memcpy(buffer, path.c_str(), copied);
    buffer[copied] = 0;
    return static_cast<DWORD>(copied);
}

DWORD WINAPI GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}

HANDLE WINAPI GetProcessHeap()
{
    static int heap;
    return &heap;
}

LPVOID WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes)
{
    if (HostSeam.FailAllocation != nullptr && HostSeam.FailAllocation())
        return nullptr;
    void* block = (flags & HEAP_ZERO_MEMORY) != 0 ? std::calloc(1, bytes ? bytes : 1)
                                                  : std::malloc(bytes ? bytes : 1);
    if (block != nullptr)
        ++State().HeapBlocks;
    return block;
}

BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID block)
{
    if (block == nullptr)
        return TRUE;
    --State().HeapBlocks;
    std::free(block);
    return TRUE;
}

void WINAPI FatalAppExitA(UINT, LPCSTR message)
{
    std::fprintf(stderr, "fatal: %s\n", message);
    std::fflush(stderr);
    std::_Exit(3);
}

void WINAPI ExitProcess(UINT code)
{
    std::exit(static_cast<int>(code));
}
