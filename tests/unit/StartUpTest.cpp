#include <gtest/gtest.h>

#include <string>

#include "app/CommandLine.h"
#include "app/DestinationDialog.h"
#include "context/SfxContext.h"
#include "files/FileInfo.h"
#include "files/FileSystem.h"
#include "files/LongPath.h"
#include "settings/Settings.h"
#include "support/Fixtures.h"

#if !defined(_WIN32)
#include "support/HostWindows.h"
#endif

namespace {

std::string ToStdString(const String& s)
{
    return std::string(s.Chars, s.Length);
}

struct SplitCase
{
    const char* Line;
    i32 Count;
    const char* First;
};

}  // namespace

TEST(CommandLine, SplitsOnBlanksOutsideQuotesAndSkipsEmptyQuotePairs)
{
    const SplitCase cases[] = {
        {"sfx.exe", 0, ""},
        {"sfx.exe   ", 0, ""},
        {"\"C:\\Program Files\\sfx.exe\" /S", 1, "/S"},
        {"sfx.exe /S /O", 2, "/S"},
        {"sfx.exe\t-o", 1, "-o"},
        {"sfx.exe \"\" \"\"  D:\\out", 1, "D:\\out"},
        {"sfx.exe \"\"\"\"D:\\out", 1, "D:\\out"},
        {"sfx.exe \"D:\\my files\\\"", 1, "D:\\my files\\"},  // a backslash escapes nothing
        {"sfx.exe D:\\my files", 2, "D:\\my"},
        {"sfx.exe D:\"\\my files\"\\x", 1, "D:\\my files\\x"},
        {"sfx.exe \"unterminated quote", 1, "unterminated quote"},
        {"sfx.exe \x01\x1F /s", 1, "/s"},
        {"sfx.exe \"", 0, ""},  // an empty argument ends the count
        {"sfx.exe \xE9t\xE9", 1, "\xE9t\xE9"},
    };
    for (const SplitCase& c : cases) {
        CommandArguments arguments = SplitCommandLine(c.Line);
        EXPECT_EQ(arguments.Count, c.Count) << c.Line;
        EXPECT_EQ(ToStdString(arguments.First), c.First) << c.Line;
        EXPECT_EQ(arguments.FirstLength, std::string(c.First).size()) << c.Line;
    }
}

TEST(CommandLine, KeepsAWholePathAndCountsTheRest)
{
    for (std::size_t length : {300u, PathLimit + 10}) {
        std::string path = "D:\\" + std::string(length, 'x');
        CommandArguments arguments = SplitCommandLine(("sfx.exe " + path).c_str());
        EXPECT_EQ(arguments.Count, 1);
        EXPECT_EQ(arguments.FirstLength, length + 3);
        EXPECT_EQ(ToStdString(arguments.First), path.substr(0, PathLimit));
    }
}

TEST(CommandLine, FormsFollowCountLengthAndCharacters)
{
    struct FormCase
    {
        const char* Line;
        i32 Form;
    } const cases[] = {
        {"sfx.exe", FormDialog},
        {"sfx.exe /S", FormSwitchConfirm},
        {"sfx.exe /s", FormSwitchConfirm},
        {"sfx.exe -S", FormSwitchConfirm},
        {"sfx.exe -o", FormSwitchOverwrite},
        {"sfx.exe /O", FormSwitchOverwrite},
        {"sfx.exe /S extra", FormDialog},
        {"sfx.exe /X", FormDialog},
        {"sfx.exe /SO", FormDialog},
        {"sfx.exe \\S", FormDialog},
        {"sfx.exe D:", FormDialog},
        {"sfx.exe D:x", FormPath},
        {"sfx.exe \"D:\\my files\"", FormPath},
        {"sfx.exe D:\\my files", FormDialog},
        {"sfx.exe \\\\server\\share", FormDialog},
        {"sfx.exe relative\\dir", FormDialog},
        {"sfx.exe /Q", FormQuiet},
        {"sfx.exe -q", FormQuiet},
        {"sfx.exe /Q D:\\out", FormQuietPath},
        {"sfx.exe \"D:\\my out\" -Q", FormQuietPath},
        {"sfx.exe /Q /S", FormDialog},
        {"sfx.exe /Q /Q", FormDialog},
        {"sfx.exe /Q D:\\a D:\\b", FormDialog},
        {"sfx.exe /QS", FormDialog},
    };

    for (const FormCase& c : cases)
        EXPECT_EQ(CommandForm(SplitCommandLine(c.Line)), c.Form) << c.Line;
    EXPECT_EQ(ToStdString(SplitCommandLine("sfx.exe /q \"D:\\my out\"").First), "D:\\my out");
    // A whole path is a destination, however long; one that is cut is none.
    std::string line = "sfx.exe D:\\";
    EXPECT_EQ(CommandForm(SplitCommandLine((line + std::string(PathLimit - 3, 'x')).c_str())),
              FormPath);
    EXPECT_EQ(CommandForm(SplitCommandLine((line + std::string(PathLimit - 2, 'x')).c_str())),
              FormDialog);
}

TEST(Browse, LastNameCarriesOverUnlessTheChosenFolderBeginsWithIt)
{
    struct CarryCase
    {
        const char* Typed;
        const char* Chosen;
        const char* Result;
    } const cases[] = {
        {"C:\\Users\\Me\\", "D:\\Data", "D:\\Data"},        // no last name
        {"C:\\Program Files\\Tools", "D:\\", "D:\\Tools"},  // a root keeps its '\'
        {"C:\\Program Files\\Tools", "E:\\Apps", "E:\\Apps\\Tools"},
        {"C:\\Program Files\\Tools", "E:\\TOOLS", "E:\\TOOLS"},  // ASCII case ignored
        {"C:\\Program Files\\Tools", "E:\\Toolset", "E:\\Toolset"},
        {"C:\\x\\Tools", "E:\\Tool", "E:\\Tool\\Tools"},
        {"Setup", "E:\\Apps", "E:\\Apps\\Setup"},  // a bare name is the last name
        {"C:\\x\\\xC9t\xE9", "E:\\\xE9T\xE9", "E:\\\xE9T\xE9\\\xC9t\xE9"},  // only ASCII folds
        {"C:\\x\\Tools", "NoBackslash", "NoBackslash"},
    };

    for (const CarryCase& c : cases) {
        char chosen[PathBufferSize];
        TextCopy(chosen, c.Chosen);
        BrowseCarryLastName(chosen, BrowseLastName(c.Typed));
        EXPECT_STREQ(chosen, c.Result) << c.Typed << " + " << c.Chosen;
    }
    char chosen[PathBufferSize];
    std::string deep = "E:\\" + std::string(250, 'd');
    TextCopy(chosen, deep.c_str());
    BrowseCarryLastName(chosen, "LongLastName");
    EXPECT_EQ(std::string(chosen), (deep + "\\LongLastName").substr(0, PathLimit));
}

using StartUp = InTempDir;

TEST_F(StartUp, LongPathReplacesShortNamesAndKeepsWhatItCannotFind)
{
    CreateDirectoryA((Dir / "Long Folder Name").c_str(), nullptr);
    WriteBytes(Dir / "Long Folder Name\\Another Long Name.txt", {});
    SearchRecord record{};
    FsFindFirst((Dir / "Long Folder Name").c_str(), FsAttributeMaskAll, record);
    ASSERT_EQ(FsLastError, 0);
    std::string folderShort = record.ShortName;
    FsFindClose(record);
    ASSERT_FALSE(folderShort.empty());

    char expected[PathBufferSize];
    TextCopy(expected, (Dir / "Long Folder Name\\").c_str());
    ExpandLongPath(expected);
    EXPECT_EQ(std::string(expected).substr(TextLength(expected) - 17), "\\Long Folder Name");

    char path[PathBufferSize];
    TextCopy(path, (Dir / folderShort + "\\").c_str());
    ExpandLongPath(path);
    EXPECT_STREQ(path, expected);
    EXPECT_EQ(FsLastError, 0);

    // A component that does not exist stays as written, and its error is cleared.
    TextCopy(path, (Dir / folderShort + "\\missing\\deeper").c_str());
    ExpandLongPath(path);
    EXPECT_EQ(std::string(path), std::string(expected) + "\\missing\\deeper");
    EXPECT_EQ(FsLastError, 0);

#if defined(_WIN32)
    // Every level at once; the host layer resolves short names only in the last component.
    FsFindFirst((Dir / "Long Folder Name\\Another Long Name.txt").c_str(), FsAttributeMaskAll,
                record);
    ASSERT_EQ(FsLastError, 0);
    std::string fileShort = record.ShortName;
    FsFindClose(record);
    TextCopy(path, (Dir / folderShort + "\\" + fileShort).c_str());
    ExpandLongPath(path);
    EXPECT_EQ(std::string(path), std::string(expected) + "\\Another Long Name.txt");
#endif
}

TEST(StartUpPaths, LongPathLeavesRootsUncAndShortTextsAlone)
{
    for (const char* unchanged :
         {"\\\\server\\share\\x~1", "\\x~1\\y", "C:\\", "C:", "", "relative\\x~1"}) {
        char path[PathBufferSize];
        TextCopy(path, unchanged);
        ExpandLongPath(path);
        EXPECT_STREQ(path, unchanged);
    }
}

#if !defined(_WIN32)
TEST_F(StartUp, LoadTextGivesTheTableTextOrAnEmptyOneInTheSharedBuffer)
{
    HostSetString(4, "File exists, overwrite?");
    HostSetString(7, std::string(300, 'x'));
    char* text = LoadText(4);
    EXPECT_EQ(text, SfxContext.TextBuffer);
    EXPECT_STREQ(text, "File exists, overwrite?");
    EXPECT_EQ(TextLength(LoadText(7)), MAX_PATH - 1u) << "LoadStringW counts the terminator";
    EXPECT_STREQ(LoadText(12), "");
}
#endif

#if !defined(_WIN32)
TEST(StartUpPaths, DestinationExpandsVariablesAndRefusesWhatItCannotExpand)
{
    setenv("SFXTEST_HOME", "D:\\Users\\\xD0\xB4", 1);
    setenv("SFXTEST_REL", "sub", 1);
    setenv("SFXTEST_HUGE", std::string(WidePathLimit + 1, 'x').c_str(), 1);
    unsetenv("SFXTEST_UNSET");

    struct Case
    {
        const char* Configured;
        const char* Result;  // null when refused
    } const cases[] = {
        {"App-1.2", "C:\\prog\\App-1.2"},
        {"%SFXTEST_HOME%\\Programs\\App", "D:\\Users\\\xD0\xB4\\Programs\\App"},
        {"%SFXTEST_REL%\\x", "C:\\prog\\sub\\x"},
        {"\\\\server\\share\\%SFXTEST_REL%", "\\\\server\\share\\sub"},
        {"100%%", "C:\\prog\\100%"},
        {"%SFXTEST_UNSET%\\x", nullptr},
        {"50% off", nullptr},
        {"%SFXTEST_HUGE%", nullptr},
    };

    for (const Case& c : cases) {
        static char result[PathBufferSize];
        bool expanded = ExpandDestination(c.Configured, "C:\\prog\\", result);
        EXPECT_EQ(expanded, c.Result != nullptr) << c.Configured;
        if (expanded && c.Result != nullptr) {
            EXPECT_STREQ(result, c.Result) << c.Configured;
        }
    }
}
#endif
