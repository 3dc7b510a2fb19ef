#include <gtest/gtest.h>

#include "files/FileInfo.h"
#include "files/FileSystem.h"
#include "support/Fixtures.h"
#include "text/Text.h"

#include <algorithm>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include "support/HostControl.h"
#endif

namespace {

struct MakePath : InTempDir
{
    // Counts from here on, so the test's own set-up is not counted.
    void StartCounting()
    {
#if !defined(_WIN32)
        HostCalls() = HostCallCounts{};
#endif
    }
};

// Paths in UTF-8 and of any length, as the file layer takes them.
bool IsDirectory(const std::string& path)
{
    u32 attributes = FsGetAttributes(path.c_str());
    return FsLastError == 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::string& path)
{
    u32 attributes = FsGetAttributes(path.c_str());
    return FsLastError == 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Wine keeps the read-only bit in the Unix permissions, which do not bind the root user.
bool ReadOnlyIsEnforced(const std::string& name)
{
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(file);
    return false;
}

void CloseValid(HANDLE file)
{
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_NE(file, nullptr);
    FsClose(file);
}

}  // namespace

TEST_F(MakePath, CreatesTwoMissingLevelsTopDownThenTheFile)
{
    StartCounting();
    HANDLE file = FsCreatePath((Dir / "a\\b\\file.txt").c_str(), false);
    EXPECT_EQ(FsLastError, 0);
    CloseValid(file);
    EXPECT_TRUE(IsDirectory(Dir / "a"));
    EXPECT_TRUE(IsDirectory(Dir / "a\\b"));
    EXPECT_TRUE(IsFile(Dir / "a\\b\\file.txt"));
    EXPECT_EQ(GetFileAttributesA((Dir / "a").c_str()),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().DirectoryNames, (std::vector<std::string>{Dir / "a", Dir / "a\\b"}));
    EXPECT_EQ(HostCalls().CreateFile, 2u);
#endif
}

TEST_F(MakePath, PresentDirectoriesCostOneCreationAndNoTest)
{
    CreateDirectoryA((Dir / "a").c_str(), nullptr);
    StartCounting();
    CloseValid(FsCreatePath((Dir / "a\\file.txt").c_str(), false));
    EXPECT_TRUE(IsFile(Dir / "a\\file.txt"));
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().CreateFile, 1u);
    EXPECT_EQ(HostCalls().FindFirstFile, 0u);
    EXPECT_EQ(HostCalls().SetCurrentDirectory, 0u);
    EXPECT_EQ(HostCalls().CreateDirectory, 0u);
#endif
}

TEST_F(MakePath, ReadOnlyTargetFailsAtOnce)
{
    std::string name = Dir / "locked.txt";
    WriteBytes(name, {1, 2, 3});
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY);
    if (!ReadOnlyIsEnforced(name))
        GTEST_SKIP() << "the system lets this user write read-only files (Wine run as root)";
    StartCounting();
    EXPECT_EQ(FsCreatePath(name.c_str(), false), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FsLastError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadBytes(name), (Bytes{1, 2, 3}));
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().FindFirstFile, 0u);
    EXPECT_EQ(HostCalls().CreateDirectory, 0u);
#endif
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(MakePath, DirectoryEntryCreatesEveryLevelAndNoFile)
{
    StartCounting();
    EXPECT_EQ(FsCreatePath((Dir / "a\\b\\").c_str(), true), nullptr);
    EXPECT_TRUE(IsDirectory(Dir / "a\\b"));
    EXPECT_EQ(FolderListing(Dir.Path), (std::vector<std::string>{"a"}));
    EXPECT_EQ(FolderListing(Dir / "a\\b\\").size(), 0u);
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().CreateFile, 0u);
    EXPECT_EQ(HostCalls().DirectoryNames, (std::vector<std::string>{Dir / "a", Dir / "a\\b"}));
#endif

    StartCounting();
    EXPECT_EQ(FsCreatePath((Dir / "a\\b\\").c_str(), true), nullptr);
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().CreateDirectory, 0u) << "present levels are only tested";
#endif
}

TEST_F(MakePath, PrefixThatIsAFileMakesTheCreationFail)
{
    WriteBytes(Dir / "f", {7});
    StartCounting();
    EXPECT_EQ(FsCreatePath((Dir / "f\\g\\h.txt").c_str(), false), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FsLastError, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ReadBytes(Dir / "f"), (Bytes{7}));
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().DirectoryNames, (std::vector<std::string>{Dir / "f", Dir / "f\\g"}));
#endif
}

TEST_F(MakePath, BlanksEndingAPrefixAreTrimmedForItsCreation)
{
    HANDLE file = FsCreatePath((Dir / "a  \\b\\f.txt").c_str(), false);
    EXPECT_EQ(FsLastError, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE) << "the path still names a folder with blanks";
    EXPECT_EQ(FolderListing(Dir.Path), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(IsDirectory(Dir / "a"));
#if !defined(_WIN32)
    // The blanks are back for the next prefix, so it is still a prefix of the path.
    EXPECT_EQ(HostCalls().DirectoryNames, (std::vector<std::string>{Dir / "a", Dir / "a  \\b"}));
#endif
}

TEST_F(MakePath, WalksFromBelowADriveRootAndAShareRoot)
{
    TestRoots roots;
    if (roots.Missing())
        GTEST_SKIP() << "no drive or share root of the test's own";
    const std::string& drive = roots.Drive;
    const std::string& share = roots.Share;

    StartCounting();
    std::string inDrive = drive + "sfxmake-" + std::to_string(GetCurrentProcessId());
    CloseValid(FsCreatePath((inDrive + "\\x.txt").c_str(), false));
    EXPECT_TRUE(IsFile(inDrive + "\\x.txt"));
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().DirectoryNames, (std::vector<std::string>{inDrive}));
#endif

    TempDir below(share);
    StartCounting();
    CloseValid(FsCreatePath((below / "x\\y.txt").c_str(), false));
    EXPECT_TRUE(IsFile(below / "x\\y.txt"));
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().DirectoryNames, (std::vector<std::string>{below / "x"}));
#endif

    StartCounting();
    EXPECT_EQ(FsCreatePath((share + "sfxmake-new\\").c_str(), true), nullptr);
    EXPECT_TRUE(IsDirectory(share + "sfxmake-new"));
    RemoveDirectoryA((share + "sfxmake-new").c_str());
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().DirectoryNames, (std::vector<std::string>{share + "sfxmake-new"}));
#endif

    DeleteFileA((inDrive + "\\x.txt").c_str());
    RemoveDirectoryA(inDrive.c_str());
}

TEST_F(MakePath, NetworkPathWithoutShareCreatesNothing)
{
    StartCounting();
    EXPECT_EQ(FsCreatePath("\\\\sfxnosuchserver", true), nullptr);
    EXPECT_EQ(FsLastError, 0);
#if !defined(_WIN32)
    // Wine would create a file of that name in its prefix; Windows and the host refuse it.
    EXPECT_EQ(FsCreatePath("\\\\sfxnosuchserver", false), INVALID_HANDLE_VALUE);
    EXPECT_NE(FsLastError, 0);
    EXPECT_EQ(HostCalls().CreateDirectory, 0u);
    EXPECT_EQ(HostCalls().FindFirstFile, 0u);
#endif
}

TEST_F(MakePath, NameInAnyScriptIsOneFolder)
{
    // U+8868, whose Shift-JIS form ends in 0x5C, and Cyrillic, which code page 1252 lacks.
    const std::string name = "\xE8\xA1\xA8\xD0\xAF";
    StartCounting();
    CloseValid(FsCreatePath((Dir / name + "\\f.txt").c_str(), false));
    EXPECT_EQ(FolderListing(Dir.Path), (std::vector<std::string>{name}));
    EXPECT_TRUE(IsFile(Dir / name + "\\f.txt"));
#if !defined(_WIN32)
    EXPECT_EQ(HostCalls().DirectoryNames, (std::vector<std::string>{Dir / name}));
#endif
}

// Past 259 characters the layer takes the long form; every call of an entry's extraction works
// there as below it.
TEST_F(MakePath, PathsOfAnyLengthAreMadeWhole)
{
    for (std::size_t length : {259u, 260u, 300u, 1000u}) {
        std::string path = Dir / std::to_string(length);
        while (path.size() + 1 < length)
            path += "\\" + std::string(std::min<std::size_t>(150, length - path.size() - 2), 'd');
        path.resize(length - 1);
        path += "f";
        ASSERT_EQ(path.size(), length);
        HANDLE file = FsCreatePath(path.c_str(), false);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << length << ": " << FsLastError;
        u16 moved = 0;
        FsWrite(file, "data", 4, moved);
        FsClose(file);
        EXPECT_EQ(ReadBytes(path), (Bytes{'d', 'a', 't', 'a'})) << length;
        FsSetAttributes(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
        EXPECT_NE(FsGetAttributes(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u) << length;
        SearchRecord record{};
        FsFindFirst(path.c_str(), FsAttributeMaskAll, record);
        EXPECT_EQ(record.Name, path.substr(path.rfind('\\') + 1)) << length;
        FsFindClose(record);
        FsDelete(path.c_str());
        EXPECT_FALSE(IsFile(path)) << length;
    }
}
