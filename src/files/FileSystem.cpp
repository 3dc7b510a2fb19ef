// File layer over the Win32 file API: one system call per operation, outcome in FsLastError.
#include "files/FileSystem.h"

#include "text/Text.h"

SFX_PER_THREAD i32 FsLastError = 0;

// The longest path every call takes in its plain form: a folder's, which leaves room for an
// 8.3 name below it.
constexpr u32 PlainPathLimit = MAX_PATH - 12 - 1;
constexpr u32 LongPrefixLength = 6;  // what the long form of a share adds to its two backslashes

static SFX_PER_THREAD WCHAR PlainPath[WidePathLimit + 1];
static SFX_PER_THREAD WCHAR LongPath[LongPrefixLength + WidePathLimit + 1];

const WCHAR* FsSystemPath(const char* path)
{
    i32 length = WideFromText(PlainPath, path, WidePathLimit + 1);
    if (length < 0) {
        FsLastError = ERROR_FILENAME_EXCED_RANGE;
        return nullptr;
    }
    if (static_cast<u32>(length) <= PlainPathLimit)
        return PlainPath;
    // The long form takes no relative part, '/' or dot component: the full path first, which
    // resolves them as the plain form would.
    WCHAR* full = LongPath + LongPrefixLength;
    DWORD fullLength = GetFullPathNameW(PlainPath, WidePathLimit + 1, full, nullptr);
    if (fullLength == 0 || fullLength > WidePathLimit) {
        FsLastError = ERROR_FILENAME_EXCED_RANGE;
        return nullptr;
    }
    bool unc = full[0] == '\\' && full[1] == '\\';
    if (unc && (full[2] == '?' || full[2] == '.'))
        return full;  // a long or device path already
    // \\?\UNC takes the place of a share's first '\', \\?\ stands before a drive.
    const char* prefix = unc ? "\\\\?\\UNC" : "\\\\?\\";
    WCHAR* result = full - (unc ? LongPrefixLength : 4);
    for (WCHAR* at = result; *prefix != 0;)
        *at++ = static_cast<WCHAR>(*prefix++);
    return result;
}

void FsSetOutcome(bool ok)
{
    FsLastError = ok ? 0 : static_cast<i32>(GetLastError());
}

static DWORD AccessOf(u16 mode)
{
    switch (mode & 0x0F) {
        case 0:
            return GENERIC_READ;
        case 1:
            return GENERIC_WRITE;
        case 2:
            return GENERIC_READ | GENERIC_WRITE;
        default:
            return 0;
    }
}

static DWORD ShareOf(u16 mode)
{
    switch ((mode >> 4) & 0x0F) {
        case 0:
        case 4:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
        case 2:
            return FILE_SHARE_READ;
        case 3:
            return FILE_SHARE_WRITE;
        default:
            return 0;
    }
}

HANDLE FsOpenHandle(const char* name, u32 flagsAndAttributes, u32 disposition, u16 mode)
{
    // Anything that may create or truncate needs write access, whatever the caller asked.
    if (disposition != OPEN_EXISTING)
        mode = static_cast<u16>((mode & ~0x0F) | 2);
    const WCHAR* path = FsSystemPath(name);
    if (path == nullptr)
        return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileW(path, AccessOf(mode), ShareOf(mode), nullptr, disposition,
                              flagsAndAttributes, nullptr);
    FsSetOutcome(file != INVALID_HANDLE_VALUE);
    return file;
}

HANDLE FsOpenRead(const char* name, u16 mode)
{
    return FsOpenHandle(name, 0, OPEN_EXISTING, mode);
}

HANDLE FsCreate(const char* name, u32 attributes)
{
    return FsOpenHandle(name, attributes, CREATE_ALWAYS, 0);
}

void FsSeek(HANDLE file, u32 position)
{
    // With a high part the offset is unsigned, and a position of all ones comes with error 0.
    LONG high = 0;
    DWORD low = SetFilePointer(file, static_cast<LONG>(position), &high, FILE_BEGIN);
    FsSetOutcome(low != INVALID_SET_FILE_POINTER);
}

u32 FsSize(HANDLE file)
{
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    FsSetOutcome(size != INVALID_FILE_SIZE);
    if (FsLastError == 0 && high != 0) {
        FsLastError = ERROR_FILE_TOO_LARGE;
        size = 0;
    }
    return size;
}

void FsClose(HANDLE file)
{
    FsSetOutcome(CloseHandle(file) != FALSE);
}

void FsRead(HANDLE file, void* buffer, u16 count, u16& countRead)
{
    DWORD moved = 0;
    bool ok = ReadFile(file, buffer, count, &moved, nullptr) != FALSE;
    FsSetOutcome(ok);
    countRead = ok ? static_cast<u16>(moved) : 0;
}

void FsWrite(HANDLE file, const void* buffer, u16 count, u16& countWritten)
{
    DWORD moved = 0;
    bool ok = WriteFile(file, buffer, count, &moved, nullptr) != FALSE;
    FsSetOutcome(ok);
    countWritten = ok ? static_cast<u16>(moved) : 0;
}

void FsDelete(const char* name)
{
    const WCHAR* path = FsSystemPath(name);
    if (path != nullptr)
        FsSetOutcome(DeleteFileW(path) != FALSE);
}

void FsMakeDir(const char* name)
{
    const WCHAR* path = FsSystemPath(name);
    if (path == nullptr)
        return;
    if (CreateDirectoryW(path, nullptr) == FALSE) {
        FsSetOutcome(false);
        return;
    }
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    FsLastError = 0;
}
