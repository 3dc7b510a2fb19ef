// File times, attributes, directory search and path classification over the Win32 API.
#include "files/FileInfo.h"

#include "files/FileSystem.h"
#include "text/Text.h"

static bool IsZero(const FILETIME& time)
{
    return time.dwLowDateTime == 0 && time.dwHighDateTime == 0;
}

DateTimeParts DosUnpack(DosDateTime value)
{
    auto time = static_cast<u16>(value);
    auto date = static_cast<u16>(value >> 16);
    DateTimeParts parts{};
    parts.Year = static_cast<u16>((date >> 9) + 1980);
    parts.Month = static_cast<u16>((date >> 5) & 15);
    parts.Day = static_cast<u16>(date & 31);
    parts.Hour = static_cast<u16>(time >> 11);
    parts.Minute = static_cast<u16>((time >> 5) & 63);
    parts.Second = static_cast<u16>((time & 31) * 2);
    return parts;
}

DosDateTime DosPack(const DateTimeParts& parts)
{
    // Meant to wrap at 16 bits: years past 2107 start again at 1980, and an out-of-range
    // field spills into the one above it.
    auto time = static_cast<u16>(parts.Hour * 2048 + parts.Minute * 32 + (parts.Second >> 1));
    auto date = static_cast<u16>((parts.Year - 1980) * 512 + parts.Month * 32 + parts.Day);
    return static_cast<DosDateTime>(date) << 16 | time;
}

FILETIME DosToFileTime(DosDateTime value)
{
    DateTimeParts parts = DosUnpack(value);
    SYSTEMTIME system{};
    system.wYear = parts.Year;
    system.wMonth = parts.Month;
    system.wDay = parts.Day;
    system.wHour = parts.Hour;
    system.wMinute = parts.Minute;
    system.wSecond = parts.Second;
    FILETIME local{};
    FILETIME utc{};
    // The system rejects month 0, day 0, hour 24 and the like; the zero time marks that.
    if (SystemTimeToFileTime(&system, &local) == FALSE ||
        LocalFileTimeToFileTime(&local, &utc) == FALSE)
        return FILETIME{};
    return utc;
}

DosDateTime DosFromFileTime(const FILETIME& time)
{
    FILETIME local = time;
    FileTimeToLocalFileTime(&time, &local);
    SYSTEMTIME system{};
    if (FileTimeToSystemTime(&local, &system) == FALSE)
        return 0;
    DateTimeParts parts{system.wYear, system.wMonth,  system.wDay,
                        system.wHour, system.wMinute, system.wSecond};
    return DosPack(parts);
}

void FsSetTime(HANDLE file, DosDateTime value)
{
    FILETIME time = DosToFileTime(value);
    // An invalid DOS value leaves the target's time as it is; the call still reports on the
    // handle.
    FsSetOutcome(SetFileTime(file, nullptr, nullptr, IsZero(time) ? nullptr : &time) != FALSE);
}

DosDateTime FsGetTime(HANDLE file)
{
    FILETIME time{};
    bool ok = GetFileTime(file, nullptr, nullptr, &time) != FALSE;
    FsSetOutcome(ok);
    return ok ? DosFromFileTime(time) : 0;
}

void FsSetAttributes(const char* name, u16 attributes)
{
    DWORD value = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    const WCHAR* path = FsSystemPath(name);
    if (path != nullptr)
        FsSetOutcome(SetFileAttributesW(path, value) != FALSE);
}

u32 FsGetAttributes(const char* name)
{
    const WCHAR* path = FsSystemPath(name);
    if (path == nullptr)
        return 0;
    DWORD attributes = GetFileAttributesW(path);
    FsSetOutcome(attributes != INVALID_FILE_ATTRIBUTES);
    return attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes;
}

static bool IsFilteredOut(const WIN32_FIND_DATAW& data, u16 attributeMask)
{
    return (data.dwFileAttributes & FsAttributeMaskAll & ~static_cast<u32>(attributeMask)) != 0;
}

static void FillRecord(SearchRecord& record, const WIN32_FIND_DATAW& data)
{
    TextFromWide(record.Name, data.cFileName, sizeof record.Name);
    TextFromWide(record.ShortName, data.cAlternateFileName, sizeof record.ShortName);
    if (TextCompare(record.ShortName, record.Name) == 0)
        record.ShortName[0] = 0;
    bool isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    record.SizeLow = data.nFileSizeLow;
    record.SizeHigh = isDirectory ? 0 : data.nFileSizeHigh;
    record.Attributes = static_cast<u8>(data.dwFileAttributes & FsAttributeMaskAll);
    record.AllAttributes = static_cast<u16>(data.dwFileAttributes);
    record.WriteTime = data.ftLastWriteTime;
    record.Time = DosFromFileTime(data.ftLastWriteTime);
}

// Steps past filtered entries; false when the search has no further entry.
static bool FindNextUnfiltered(HANDLE find, WIN32_FIND_DATAW& data, u16 attributeMask)
{
    for (;;) {
        if (FindNextFileW(find, &data) == FALSE)
            return false;
        if (!IsFilteredOut(data, attributeMask))
            return true;
    }
}

void FsFindFirst(const char* pattern, u16 attributeMask, SearchRecord& record)
{
    WIN32_FIND_DATAW data;
    const WCHAR* path = FsSystemPath(pattern);
    HANDLE find = path != nullptr ? FindFirstFileW(path, &data) : INVALID_HANDLE_VALUE;
    bool found = find != INVALID_HANDLE_VALUE && (!IsFilteredOut(data, attributeMask) ||
                                                  FindNextUnfiltered(find, data, attributeMask));
    if (found) {
        record.FindHandle = find;
        record.AttributeMask = attributeMask;
        FillRecord(record, data);
        FsLastError = 0;
        return;
    }
    DWORD error = path != nullptr ? GetLastError() : static_cast<DWORD>(FsLastError);
    FsLastError = error != 0 ? static_cast<i32>(error) : ERROR_FILE_NOT_FOUND;
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    record.FindHandle = INVALID_HANDLE_VALUE;
}

void FsFindNext(SearchRecord& record)
{
    // Only meant for an open search; without one, fail as the system would.
    if (record.FindHandle == INVALID_HANDLE_VALUE) {
        FsLastError = ERROR_INVALID_HANDLE;
        return;
    }
    WIN32_FIND_DATAW data;
    if (FindNextUnfiltered(record.FindHandle, data, record.AttributeMask)) {
        FillRecord(record, data);
        FsLastError = 0;
        return;
    }
    FsLastError = static_cast<i32>(GetLastError());
    FindClose(record.FindHandle);
    record.FindHandle = INVALID_HANDLE_VALUE;
}

void FsFindClose(SearchRecord& record)
{
    if (record.FindHandle != INVALID_HANDLE_VALUE)
        FsSetOutcome(FindClose(record.FindHandle) != FALSE);
    record.FindHandle = INVALID_HANDLE_VALUE;
}

i32 FsPathKind(const char* path)
{
    if (path == nullptr)
        return PathMissing;
    // A search never finds a root, so a root is tried as the current directory instead.
    if (IsRootPath(path)) {
        const WCHAR* root = FsSystemPath(path);
        return root != nullptr && SetCurrentDirectoryW(root) != FALSE ? PathIsDirectory
                                                                      : PathMissing;
    }
    char copy[PathBufferSize];
    TextCopyMax(copy, path, PathLimit);
    RemoveTrailingBackslash(copy);
    SearchRecord record{};
    FsFindFirst(copy, FsAttributeMaskAll, record);
    if (FsLastError != 0)
        return PathMissing;
    i32 kind = PathIsFile;
    if ((record.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        kind = (record.Attributes & FsAttributeVolume) != 0 ? PathMissing : PathIsDirectory;
    // The search is walked to its end, so a classified path leaves FsLastError at 18 (no more
    // files): the kind is the result, FsLastError only says how the search ended.
    while (record.FindHandle != INVALID_HANDLE_VALUE)
        FsFindNext(record);
    FsFindClose(record);
    return kind;
}

bool FsDirExists(const char* path)
{
    return FsPathKind(path) == PathIsDirectory;
}
