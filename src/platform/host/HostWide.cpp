// The wide file calls of the host port: UTF-16 paths to the UTF-8 the host's file system keeps,
// over the port's own calls. As on Windows, a plain path has a length limit and the \\?\ form
// lifts it, and the long form takes the path as it stands.
#include "platform/host/HostPort.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// CreateDirectory leaves room for an 8.3 name below the folder; every other call takes MAX_PATH
// less its terminator.
constexpr std::size_t PlainLimit = MAX_PATH - 1;
constexpr std::size_t PlainFolderLimit = MAX_PATH - 12 - 1;

std::size_t WideLength(LPCWSTR text)
{
    return std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(text));
}

bool StartsWith(const std::u16string& text, const char16_t* prefix)
{
    return text.compare(0, std::char_traits<char16_t>::length(prefix), prefix) == 0;
}

// The path for the port's own calls, or false with the system's error for a plain path past its
// limit or text that is no UTF-16.
bool Narrow(LPCWSTR wide, std::string& path, std::size_t plainLimit = PlainLimit)
{
    std::u16string text(reinterpret_cast<const char16_t*>(wide), WideLength(wide));
    if (StartsWith(text, u"\\\\?\\UNC\\"))
        text = u"\\\\" + text.substr(8);
    else if (StartsWith(text, u"\\\\?\\"))
        text = text.substr(4);
    else if (text.size() > plainLimit) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    int length = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(text.c_str()), -1,
                                     nullptr, 0, nullptr, nullptr);
    path.assign(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(text.c_str()), -1, path.data(),
                        length, nullptr, nullptr);
    path.resize(std::strlen(path.c_str()));
    return true;
}

void Widen(const char* text, WCHAR* wide, int capacity)
{
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, capacity) <= 0)
        wide[0] = 0;
}

void WidenFindData(const WIN32_FIND_DATAA& narrow, WIN32_FIND_DATAW& wide)
{
    wide.dwFileAttributes = narrow.dwFileAttributes;
    wide.ftCreationTime = narrow.ftCreationTime;
    wide.ftLastAccessTime = narrow.ftLastAccessTime;
    wide.ftLastWriteTime = narrow.ftLastWriteTime;
    wide.nFileSizeHigh = narrow.nFileSizeHigh;
    wide.nFileSizeLow = narrow.nFileSizeLow;
    Widen(narrow.cFileName, wide.cFileName, MAX_PATH);
    Widen(narrow.cAlternateFileName, wide.cAlternateFileName, 14);
}

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile)
{
    std::string path;
    if (!Narrow(name, path))
        return INVALID_HANDLE_VALUE;
    return CreateFileA(path.c_str(), access, share, security, disposition, flagsAndAttributes,
                       templateFile);
}

BOOL WINAPI DeleteFileW(LPCWSTR name)
{
    std::string path;
    return Narrow(name, path) ? DeleteFileA(path.c_str()) : FALSE;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security)
{
    std::string path;
    return Narrow(name, path, PlainFolderLimit) ? CreateDirectoryA(path.c_str(), security) : FALSE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR name)
{
    std::string path;
    return Narrow(name, path) ? GetFileAttributesA(path.c_str()) : INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attributes)
{
    std::string path;
    return Narrow(name, path) ? SetFileAttributesA(path.c_str(), attributes) : FALSE;
}

BOOL WINAPI SetCurrentDirectoryW(LPCWSTR name)
{
    std::string path;
    return Narrow(name, path) ? SetCurrentDirectoryA(path.c_str()) : FALSE;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    std::string path;
    WIN32_FIND_DATAA narrow{};
    if (!Narrow(pattern, path))
        return INVALID_HANDLE_VALUE;
    HANDLE find = FindFirstFileA(path.c_str(), &narrow);
    if (find != INVALID_HANDLE_VALUE)
        WidenFindData(narrow, *data);
    return find;
}

BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data)
{
    WIN32_FIND_DATAA narrow{};
    if (FindNextFileA(find, &narrow) == FALSE)
        return FALSE;
    WidenFindData(narrow, *data);
    return TRUE;
}

// Drive and share paths, and paths relative to the current directory: '/' read as '\', runs of
// separators as one, "." and ".." components resolved, never above the root.
DWORD WINAPI GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* filePart)
{
    std::u16string text(reinterpret_cast<const char16_t*>(name), WideLength(name));
    for (char16_t& c : text)
        if (c == u'/')
            c = u'\\';
    std::u16string root;
    if (text.size() >= 2 && text[1] == u':') {
        root = text.substr(0, 2) + u"\\";
        text = text.substr(2);
    } else if (StartsWith(text, u"\\\\")) {
        std::size_t server = text.find(u'\\', 2);
        std::size_t share = server == std::u16string::npos ? server : text.find(u'\\', server + 1);
        root = text.substr(0, share);
        text = share == std::u16string::npos ? u"" : text.substr(share);
    } else {
        char current[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, current);
        WCHAR wide[MAX_PATH];
        Widen(current, wide, MAX_PATH);
        root = reinterpret_cast<const char16_t*>(wide);
        if (root.size() > 3)
            root += u"\\";
    }
    std::vector<std::u16string> parts;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find(u'\\', start);
        if (end == std::u16string::npos)
            end = text.size();
        std::u16string part = text.substr(start, end - start);
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::u16string full = root;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != 0 || (!full.empty() && full.back() != u'\\'))
            full += u'\\';
        full += parts[i];
    }
    if (!text.empty() && text.back() == u'\\' && full.back() != u'\\')
        full += u'\\';
    if (full.size() + 1 > size)
        return static_cast<DWORD>(full.size() + 1);
    full.copy(reinterpret_cast<char16_t*>(buffer), full.size());
    buffer[full.size()] = 0;
    if (filePart != nullptr)
        *filePart = nullptr;
    return static_cast<DWORD>(full.size());
}

// Letters compare without case in ASCII only, as lstrcmpiA here.
int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b)
{
    auto lower = [](WCHAR c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; };
    for (;; ++a, ++b) {
        int d = lower(*a) - lower(*b);
        if (d != 0 || *a == 0)
            return d;
    }
}

// The host's environment, which keeps UTF-8; 0 for a variable that is not set, as on Windows,
// and the units needed, terminator counted, when the buffer is too small.
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size)
{
    std::string narrowName;
    if (!Narrow(name, narrowName))
        return 0;
    const char* value = std::getenv(narrowName.c_str());
    if (value == nullptr || *value == 0)
        return 0;
    int units = MultiByteToWideChar(CP_UTF8, 0, value, -1, nullptr, 0);
    if (units <= 0)
        return 0;
    if (static_cast<DWORD>(units) > size)
        return static_cast<DWORD>(units);
    Widen(value, buffer, units);
    return static_cast<DWORD>(units - 1);
}
