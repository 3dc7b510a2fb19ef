// Directory search, file times, local-time conversion and the current directory of the host
// port, over POSIX. Local time follows TZ with the bias in force now, as
// Windows applies its current bias to every date.
#include "platform/host/HostPort.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Search
{
    bool Open = false;
    std::string Directory;  // Win32 form, empty or ending in '\' or ':'
    std::string HostDirectory;
    std::vector<std::string> Names;
    std::size_t Next = 0;
};

struct InfoState
{
    std::vector<Search> Searches;
};

InfoState& Info()
{
    static InfoState state;
    return state;
}

// Search handles live apart from the small numbers of file handles.
constexpr std::uintptr_t SearchHandleBase = 0x100000;

// 100 ns intervals from 1601-01-01 to 1970-01-01.
constexpr long long UnixEpochTicks = 116444736000000000LL;
constexpr long long TicksPerSecond = 10000000LL;
constexpr long long TicksPerDay = TicksPerSecond * 86400;

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

Search* SearchOf(HANDLE find)
{
    auto value = reinterpret_cast<std::uintptr_t>(find);
    if (value < SearchHandleBase || (value - SearchHandleBase) % 4 != 0)
        return nullptr;
    std::size_t index = (value - SearchHandleBase) / 4;
    auto& searches = Info().Searches;
    return index < searches.size() && searches[index].Open ? &searches[index] : nullptr;
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Only the last '*' is ever retried: trying every split at every '*' takes exponential time
// on a pattern of many stars, and an entry's name is such a pattern when the run asks whether
// its target exists.
bool Matches(const char* pattern, const char* name)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != 0) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern != 0 && (*pattern == '?' || Upper(*pattern) == Upper(*name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}

bool IsShortName(const std::string& name)
{
    if (name == "." || name == "..")
        return true;
    std::size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3 ||
        extension.find('.') != std::string::npos || (dot != std::string::npos && extension.empty()))
        return false;
    return name.find_first_of(" +,;=[]") == std::string::npos;
}

// A mangled 8.3 name; collisions between similar names are not resolved.
std::string ShortNameOf(const std::string& name)
{
    if (IsShortName(name))
        return "";
    std::size_t dot = name.find_last_of('.');
    std::string base;
    for (std::size_t i = 0; i < name.size() && i != dot && base.size() < 6; ++i)
        if (std::strchr(" .+,;=[]", name[i]) == nullptr)
            base += Upper(name[i]);
    std::string shortName = (base.empty() ? std::string("_") : base) + "~1";
    if (dot != std::string::npos && dot + 1 < name.size() && dot != 0) {
        shortName += '.';
        for (std::size_t i = dot + 1; i < name.size() && i < dot + 4; ++i)
            shortName += Upper(name[i]);
    }
    return shortName;
}

FILETIME FileTimeOf(long long ticks)
{
    auto value = static_cast<unsigned long long>(ticks);
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

long long TicksOf(const FILETIME& time)
{
    return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                  time.dwLowDateTime);
}

FILETIME FromTimespec(const timespec& time)
{
    return FileTimeOf(UnixEpochTicks + time.tv_sec * TicksPerSecond + time.tv_nsec / 100);
}

timespec ToTimespec(const FILETIME& time)
{
    long long ticks = TicksOf(time) - UnixEpochTicks;
    long long seconds =
        ticks >= 0 ? ticks / TicksPerSecond : -((-ticks + TicksPerSecond - 1) / TicksPerSecond);
    timespec result{};
    result.tv_sec = static_cast<time_t>(seconds);
    result.tv_nsec = static_cast<long>((ticks - seconds * TicksPerSecond) * 100);
    return result;
}

void FillFindData(const Search& search, const std::string& name, WIN32_FIND_DATAA& data)
{
    std::memset(&data, 0, sizeof data);

    struct stat st
    {
    };

    stat((search.HostDirectory + "/" + name).c_str(), &st);
    // The attribute table of the file layer knows what POSIX cannot keep.
    data.dwFileAttributes = GetFileAttributesA((search.Directory + name).c_str());
    data.ftCreationTime = FromTimespec(st.st_ctim);
    data.ftLastAccessTime = FromTimespec(st.st_atim);
    data.ftLastWriteTime = FromTimespec(st.st_mtim);
    unsigned long long size =
        S_ISDIR(st.st_mode) ? HostSeam.DirectorySize : static_cast<unsigned long long>(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    std::strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
    std::strncpy(data.cAlternateFileName, ShortNameOf(name).c_str(), 13);
}

bool IsLeapYear(long long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(long long year, int month)
{
    static constexpr int DaysPerMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : DaysPerMonth[month - 1];
}

// Counted from 0000-03-01, so leap days fall at the end of each year of the era.
constexpr long long DaysToUnixEpoch = 719468;
constexpr long long DaysFrom1601ToUnixEpoch = 134774;

// Days from 1601-01-01 in the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, int month, int day)
{
    long long y = month <= 2 ? year - 1 : year;
    long long era = y / 400;
    long long yearOfEra = y - era * 400;
    long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - DaysToUnixEpoch + DaysFrom1601ToUnixEpoch;
}

void CivilFromDays(long long days, SYSTEMTIME& parts)
{
    long long z = days - DaysFrom1601ToUnixEpoch + DaysToUnixEpoch;
    long long era = z / 146097;
    long long dayOfEra = z - era * 146097;
    long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    long long mp = (5 * dayOfYear + 2) / 153;
    long long month = mp < 10 ? mp + 3 : mp - 9;
    parts.wYear = static_cast<WORD>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    parts.wMonth = static_cast<WORD>(month);
    parts.wDay = static_cast<WORD>(dayOfYear - (153 * mp + 2) / 5 + 1);
}

long long CurrentBiasTicks()
{
    tzset();  // a test may have changed TZ
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return static_cast<long long>(local.tm_gmtoff) * TicksPerSecond;
}

std::string Win32FromHost(const std::string& path)
{
    std::string result = "C:" + path;
    for (char& c : result)
        if (c == '/')
            c = '\\';
    return result;
}

}  // namespace

void HostFileInfoReset()
{
    Info() = InfoState{};
}

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data)
{
    if (HostSeam.Called != nullptr)
        HostSeam.Called(HostCall::FindFirstFile, pattern);
    std::string text(pattern);
    // The name part begins after the last separator.
    std::size_t nameStart = 0;
    for (const char* c = pattern; *c != 0; ++c)
        if (*c == '\\' || (*c == ':' && c == pattern + 1))
            nameStart = static_cast<std::size_t>(c - pattern) + 1;
    Search search;
    search.Open = true;
    search.Directory = text.substr(0, nameStart);
    std::string name = text.substr(nameStart);
    if (name.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    search.HostDirectory = HostPath(search.Directory.empty() ? "." : search.Directory.c_str());
    DIR* dir = opendir(search.HostDirectory.c_str());
    if (dir == nullptr) {
        Fail(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::string matched = name == "*.*" ? "*" : name;
    // A pattern finds a file by its short name too, as on Windows.
    while (dirent* entry = readdir(dir))
        if (Matches(matched.c_str(), entry->d_name) ||
            (!IsShortName(entry->d_name) &&
             Matches(matched.c_str(), ShortNameOf(entry->d_name).c_str())))
            search.Names.emplace_back(entry->d_name);
    closedir(dir);
    if (search.Names.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(search.Names.begin(), search.Names.end());
    FillFindData(search, search.Names[0], *data);
    search.Next = 1;
    auto& searches = Info().Searches;
    searches.push_back(search);
    SetLastError(0);
    return reinterpret_cast<HANDLE>(SearchHandleBase + (searches.size() - 1) * 4);
}

BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data)
{
    Search* search = SearchOf(find);
    if (search == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (search->Next >= search->Names.size())
        return Fail(ERROR_NO_MORE_FILES);
    FillFindData(*search, search->Names[search->Next++], *data);
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE find)
{
    Search* search = SearchOf(find);
    if (search == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    search->Open = false;
    search->Names.clear();
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess,
                        LPFILETIME lastWrite)
{
    int descriptor = -1;
    DWORD access = 0;

    struct stat st
    {
    };

    if (!HostFileOf(file, descriptor, access) || fstat(descriptor, &st) != 0)
        return Fail(ERROR_INVALID_HANDLE);
    if (creation != nullptr)
        *creation = FromTimespec(st.st_ctim);
    if (lastAccess != nullptr)
        *lastAccess = FromTimespec(st.st_atim);
    if (lastWrite != nullptr)
        *lastWrite = FromTimespec(st.st_mtim);
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                        const FILETIME* lastWrite)
{
    int descriptor = -1;
    DWORD access = 0;
    if (!HostFileOf(file, descriptor, access))
        return Fail(ERROR_INVALID_HANDLE);
    if ((access & GENERIC_WRITE) == 0)
        return Fail(ERROR_ACCESS_DENIED);
    (void)creation;  // POSIX keeps no creation time
    // Win32 leaves a time alone when it is absent or zero.
    auto target = [](const FILETIME* time) {
        timespec omit{};
        omit.tv_nsec = UTIME_OMIT;
        return time == nullptr || TicksOf(*time) == 0 ? omit : ToTimespec(*time);
    };
    timespec times[2] = {target(lastAccess), target(lastWrite)};
    if (futimens(descriptor, times) != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* utc, LPFILETIME local)
{
    long long ticks = TicksOf(*utc) + CurrentBiasTicks();
    if (TicksOf(*utc) < 0 || ticks < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    *local = FileTimeOf(ticks);
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc)
{
    long long ticks = TicksOf(*local) - CurrentBiasTicks();
    if (TicksOf(*local) < 0 || ticks < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    *utc = FileTimeOf(ticks);
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* time, LPSYSTEMTIME parts)
{
    long long ticks = TicksOf(*time);
    if (ticks < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    long long days = ticks / TicksPerDay;
    long long rest = ticks % TicksPerDay;
    CivilFromDays(days, *parts);
    parts->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    parts->wHour = static_cast<WORD>(rest / (TicksPerSecond * 3600));
    parts->wMinute = static_cast<WORD>(rest / (TicksPerSecond * 60) % 60);
    parts->wSecond = static_cast<WORD>(rest / TicksPerSecond % 60);
    parts->wMilliseconds = static_cast<WORD>(rest / 10000 % 1000);
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* parts, LPFILETIME time)
{
    const SYSTEMTIME& p = *parts;
    if (p.wYear < 1601 || p.wYear > 30827 || p.wMonth < 1 || p.wMonth > 12 || p.wDay < 1 ||
        p.wDay > DaysInMonth(p.wYear, p.wMonth) || p.wHour > 23 || p.wMinute > 59 ||
        p.wSecond > 59 || p.wMilliseconds > 999)
        return Fail(ERROR_INVALID_PARAMETER);
    long long seconds =
        ((DaysFromCivil(p.wYear, p.wMonth, p.wDay) * 24 + p.wHour) * 60 + p.wMinute) * 60 +
        p.wSecond;
    *time = FileTimeOf(seconds * TicksPerSecond + p.wMilliseconds * 10000LL);
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path)
{
    if (HostSeam.Called != nullptr)
        HostSeam.Called(HostCall::SetCurrentDirectory, path);
    std::string host = HostPath(path);

    struct stat st
    {
    };

    if (stat(host.c_str(), &st) != 0) {
        std::string parent = host.substr(0, host.find_last_of('/') + 1);

        struct stat parentStat
        {
        };

        bool parentIsDir = parent.empty() ||
                           (stat(parent.c_str(), &parentStat) == 0 && S_ISDIR(parentStat.st_mode));
        return Fail(parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    }
    if (!S_ISDIR(st.st_mode))
        return Fail(ERROR_DIRECTORY_INVALID);
    if (chdir(host.c_str()) != 0)
        return Fail(ERROR_ACCESS_DENIED);
    SetLastError(0);
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer)
{
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        Fail(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    std::string path = Win32FromHost(cwd);
    if (path.size() + 1 > size)
        return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    SetLastError(0);
    return static_cast<DWORD>(path.size());
}
