#include <gtest/gtest.h>

#include "files/FileSystem.h"
#include "support/Fixtures.h"
#include "text/Text.h"

#include <thread>

using FileSystem = InTempDir;

TEST_F(FileSystem, OpenReadTellsMissingFileFromMissingDirectory)
{
    HANDLE file = FsOpenRead((Dir / "missing.txt").c_str(), FsModeRead);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FsLastError, ERROR_FILE_NOT_FOUND);
    file = FsOpenRead((Dir / "nodir\\missing.txt").c_str(), FsModeRead);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FsLastError, ERROR_PATH_NOT_FOUND);
}

TEST_F(FileSystem, CreateWritesAndReadsBack)
{
    std::string name = Dir / "out.bin";
    HANDLE file = FsCreate(name.c_str(), 0);
    ASSERT_EQ(FsLastError, 0);
    u16 moved = 0;
    FsWrite(file, "hello world", 11, moved);
    EXPECT_EQ(FsLastError, 0);
    EXPECT_EQ(moved, 11);
    // Created for reading too, though no access was asked for.
    FsSeek(file, 6);
    char buffer[16] = {};
    FsRead(file, buffer, 16, moved);
    EXPECT_EQ(FsLastError, 0);
    EXPECT_EQ(moved, 5);
    EXPECT_STREQ(buffer, "world");
    FsRead(file, buffer, 16, moved);
    EXPECT_EQ(FsLastError, 0) << "end of file is a success";
    EXPECT_EQ(moved, 0);
    FsClose(file);
    EXPECT_EQ(FsLastError, 0);

    file = FsCreate(name.c_str(), 0);
    EXPECT_EQ(FsSize(file), 0) << "an existing file is truncated";
    FsClose(file);
}

TEST_F(FileSystem, OpenHandleForcesReadWriteUnlessOpeningExisting)
{
    std::string name = Dir / "forced.bin";
    HANDLE file = FsOpenHandle(name.c_str(), 0, CREATE_ALWAYS, 0x01);  // write only asked
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    u16 moved = 0;
    FsWrite(file, "abc", 3, moved);
    FsSeek(file, 0);
    char buffer[4] = {};
    FsRead(file, buffer, 3, moved);
    EXPECT_EQ(FsLastError, 0);
    EXPECT_STREQ(buffer, "abc");
    FsClose(file);

    file = FsOpenRead(name.c_str(), FsModeRead);
    FsWrite(file, "x", 1, moved);
    EXPECT_NE(FsLastError, 0) << "mode 0 on an existing file is read access only";
    EXPECT_EQ(moved, 0);
    FsClose(file);
}

TEST_F(FileSystem, OpenReadSharesWithWritersAndReaders)
{
    std::string name = Dir / "shared.bin";
    WriteBytes(name, {1, 2, 3});
    HANDLE first = FsOpenRead(name.c_str(), FsModeRead);
    HANDLE second = FsOpenRead(name.c_str(), FsModeRead);
    EXPECT_EQ(FsLastError, 0);
    HANDLE exclusive = FsOpenHandle(name.c_str(), 0, OPEN_EXISTING, 0x10);
    EXPECT_EQ(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FsLastError, ERROR_SHARING_VIOLATION);
    FsClose(first);
    FsClose(second);
}

TEST_F(FileSystem, SizeKeepsThePositionAndSeeksReachFourGiB)
{
    std::string name = Dir / "sized.bin";
    WriteBytes(name, Bytes(1000, 7));
    HANDLE file = FsOpenRead(name.c_str(), FsModeRead);
    FsSeek(file, 990);
    EXPECT_EQ(FsSize(file), 1000u);
    EXPECT_EQ(FsLastError, 0);
    u8 buffer[16];
    u16 got = 0;
    FsRead(file, buffer, 16, got);
    EXPECT_EQ(got, 10) << "the size left the position alone";
    // Past the end, past 2 GiB and at all ones (where the system's result is ambiguous) a seek
    // succeeds and a read finds nothing.
    for (u32 position : {5000u, 0x80000000u, 0xFFFFFFFFu}) {
        FsSeek(file, position);
        EXPECT_EQ(FsLastError, 0) << position;
        got = 99;
        FsRead(file, buffer, 8, got);
        EXPECT_EQ(got, 0) << position;
    }
    FsClose(file);
    // No file the layer reads is 4 GiB or more; one that is has no size.
    file = FsCreate(name.c_str(), 0);
    FsSeek(file, 0xFFFFFFFF);
    FsWrite(file, "ab", 2, got);
    EXPECT_EQ(FsSize(file), 0u);
    EXPECT_EQ(FsLastError, ERROR_FILE_TOO_LARGE);
    FsClose(file);
}

TEST_F(FileSystem, DeleteAndMakeDirReportTheSystemsCodes)
{
    std::string name = Dir / "gone.txt";
    WriteBytes(name, {1});
    FsDelete(name.c_str());
    EXPECT_EQ(FsLastError, 0);
    FsDelete(name.c_str());
    EXPECT_EQ(FsLastError, ERROR_FILE_NOT_FOUND);

    std::string sub = Dir / "sub";
    FsMakeDir(sub.c_str());
    EXPECT_EQ(FsLastError, 0);
    EXPECT_EQ(GetFileAttributesA(sub.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    FsMakeDir(sub.c_str());
    EXPECT_EQ(FsLastError, ERROR_ALREADY_EXISTS);
    FsMakeDir((Dir / "a\\b").c_str());
    EXPECT_EQ(FsLastError, ERROR_PATH_NOT_FOUND);
}

// Wine running as root lets root write read-only files, so this holds on the host layer and
// on Windows, not under Wine here.
#if !defined(_WIN32)
TEST_F(FileSystem, ReadOnlyFileRefusesCreation)
{
    std::string name = Dir / "locked.txt";
    WriteBytes(name, {1, 2});
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE file = FsCreate(name.c_str(), 0);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FsLastError, ERROR_ACCESS_DENIED);
    FsDelete(name.c_str());
    EXPECT_EQ(FsLastError, ERROR_ACCESS_DENIED);
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

TEST_F(FileSystem, LastErrorIsPerThread)
{
    FsOpenRead((Dir / "missing").c_str(), FsModeRead);
    ASSERT_EQ(FsLastError, ERROR_FILE_NOT_FOUND);
    i32 seen = -1;
    std::thread other([&] { seen = FsLastError; });
    other.join();
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(FsLastError, ERROR_FILE_NOT_FOUND);
}

// The plain form while every call takes it; past that the full path behind \\?\, with "..",
// '/' and runs of separators resolved as the plain form resolves them.
TEST(SystemPath, IsPlainWhileShortAndTheLongFormPastThat)
{
    const std::string a(244, 'a');
    const std::string b(300, 'b');

    struct Case
    {
        std::string Path;
        std::string Wide;  // in UTF-8; empty: refused
    } const cases[] = {
        {"C:\\dir\\f.txt", "C:\\dir\\f.txt"},
        {"C:\\" + a, "C:\\" + a},  // 247 units, a folder's limit
        {"C:\\" + a + "x", "\\\\?\\C:\\" + a + "x"},
        {"C:\\x\\..\\" + b, "\\\\?\\C:\\" + b},
        {"C:/x//" + b, "\\\\?\\C:\\x\\" + b},
        {"\\\\srv\\share\\" + b, "\\\\?\\UNC\\srv\\share\\" + b},
        {"\\\\?\\C:\\" + b, "\\\\?\\C:\\" + b},
        {"C:\\" + b + "\xD0\xAF", "\\\\?\\C:\\" + b + "\xD0\xAF"},
        {"C:\\" + std::string(WidePathLimit, 'c'), ""},
        {"C:\\bad\xC3\x28", ""},
    };

    for (const Case& c : cases) {
        const WCHAR* wide = FsSystemPath(c.Path.c_str());
        EXPECT_EQ(wide == nullptr, c.Wide.empty()) << c.Path.substr(0, 40);
        if (wide == nullptr) {
            EXPECT_EQ(FsLastError, ERROR_FILENAME_EXCED_RANGE);
            continue;
        }
        static char text[PathBufferSize];
        TextFromWide(text, wide, sizeof text);
        EXPECT_EQ(std::string(text), c.Wide) << c.Path.substr(0, 40);
    }
}
