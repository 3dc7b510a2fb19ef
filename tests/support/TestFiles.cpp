#include "support/TestFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <gtest/gtest.h>

#include "files/FileSystem.h"
#include "text/Text.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#include <filesystem>
#endif

// The tests' paths are UTF-8, as the program's own, and go to the system's wide calls in the
// program's own form, long ones included.
static std::basic_string<WCHAR> Wide(const std::string& path)
{
    const WCHAR* wide = FsSystemPath(path.c_str());
    return wide != nullptr ? wide : std::basic_string<WCHAR>{};
}

static std::string Utf8(const WCHAR* wide)
{
    char text[NameBufferSize];
    TextFromWide(text, wide, sizeof text);
    return text;
}

static void RemoveTree(const std::string& path)
{
#if defined(_WIN32)
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Wide(path + "*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = Utf8(data.cFileName);
            if (name == "." || name == "..")
                continue;
            std::string full = path + name;
            SetFileAttributesW(Wide(full).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full + "\\");
            else
                DeleteFileW(Wide(full).c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(Wide(path).c_str());
#else
    std::error_code ignored;
    std::filesystem::remove_all(HostPath(path.c_str()), ignored);
#endif
}

static std::string TempPath()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return temp;
}

TempDir::TempDir() : TempDir(TempPath())
{}

TempDir::TempDir(const std::string& parent)
{
    static unsigned counter;
    const std::string temp = parent;
    for (;;) {
        char name[64];
        std::snprintf(name, sizeof name, "sfxtest-%lu-%u\\",
                      static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
        Path = std::string(temp) + name;
        if (CreateDirectoryA(Path.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create " << Path << ": " << GetLastError();
            break;
        }
    }
}

TempDir::~TempDir()
{
    RemoveTree(Path);
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    HANDLE file =
        CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << ": " << GetLastError();
    DWORD written = 0;
    if (!bytes.empty()) {
        ASSERT_TRUE(
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    CloseHandle(file);
}

bool PathExists(const std::string& path)
{
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FolderListing(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Wide(folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = Utf8(data.cFileName);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReadBytes(const std::string& path)
{
    Bytes bytes;
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    unsigned char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got != 0)
        bytes.insert(bytes.end(), block, block + got);
    CloseHandle(file);
    return bytes;
}

Bytes RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<unsigned char>(random());
    return out;
}

std::string WindowsPath(std::string hostPath)
{
    for (char& c : hostPath)
        if (c == '/')
            c = '\\';
    return "Z:" + hostPath;
}

std::string PeerPath(const std::string& name)
{
    std::string path = std::string(SFX_PEER_DIR) + "/" + name;
#if defined(_WIN32)
    path = WindowsPath(path);
#endif
    return path;
}

void ResetPlatform()
{
#if !defined(_WIN32)
    HostReset();
#endif
}

#if defined(_WIN32)
// SFX_WINE_DRIVE holds a letter ("T"), SFX_WINE_SHARE a server and share ("sfxsrv/share").
static std::string RootFromEnvironment(const char* name, const char* front, const char* back)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == 0)
        return "";
    std::string root = front + std::string(value) + back;
    for (char& c : root)
        if (c == '/')
            c = '\\';
    return root;
}
#endif

TestRoots::TestRoots()
{
#if defined(_WIN32)
    Drive = RootFromEnvironment("SFX_WINE_DRIVE", "", ":\\");
    Share = RootFromEnvironment("SFX_WINE_SHARE", "\\\\", "\\");
#else
    HostMapDrive('T', HostPath(DriveFolder.Path.c_str()));
    Drive = "T:\\";
    HostMapShare("sfxsrv", "share", HostPath(ShareFolder.Path.c_str()));
    Share = "\\\\sfxsrv\\share\\";
#endif
}

bool TestRoots::Missing() const
{
    return Drive.empty() || Share.empty();
}
