#include <gtest/gtest.h>

#include "platform/win32.h"
#include "support/TestFiles.h"
#include "text/Text.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#endif

TEST(Text, CopyMaxStopsAtCountOrTerminator)
{
    char buffer[16] = "xxxxxxxxxxxxxxx";
    EXPECT_STREQ(TextCopyMax(buffer, "abc", 10), "abc");
    EXPECT_STREQ(TextCopyMax(buffer, "abcdefgh", 4), "abcd");
    EXPECT_EQ(buffer[5], 'x') << "writes max count + 1 bytes at most";
    EXPECT_STREQ(TextCopyMax(buffer, "abc", 0), "");
}

TEST(Text, AppendMaxLimitsTheWholeText)
{
    char buffer[16] = "abcd";
    EXPECT_STREQ(TextAppendMax(buffer, "efgh", 6), "abcdef");
    EXPECT_STREQ(TextAppendMax(buffer, "xyz", 6), "abcdef") << "already full";
    EXPECT_STREQ(TextAppendMax(buffer, "xyz", 3), "abcdef") << "longer than the limit";
    EXPECT_STREQ(TextAppend(buffer, "!"), "abcdef!");
    EXPECT_EQ(TextLength(buffer), 7u);
    EXPECT_EQ(TextEnd(buffer), buffer + 7);
    EXPECT_EQ(TextLength(""), 0u);
}

TEST(Text, FindCharIncludesTheTerminator)
{
    const char* text = "a\\b\\c";
    EXPECT_EQ(TextFindChar(text, '\\'), text + 1);
    EXPECT_EQ(TextFindLastChar(text, '\\'), text + 3);
    EXPECT_EQ(TextFindChar(text, 0), text + 5);
    EXPECT_EQ(TextFindLastChar(text, 0), text + 5);
    EXPECT_EQ(TextFindChar(text, 'z'), nullptr);
    EXPECT_EQ(TextFindLastChar(text, 'z'), nullptr);
    const char* empty = "";
    EXPECT_EQ(TextFindLastChar(empty, 0), empty);
}

TEST(Text, CompareIsUnsignedAndBounded)
{
    EXPECT_EQ(TextCompare("abc", "abc"), 0);
    EXPECT_LT(TextCompare("abc", "abd"), 0);
    EXPECT_GT(TextCompare("\xE4", "a"), 0) << "bytes compare as unsigned";
    EXPECT_EQ(TextCompare("ab", "abc"), -'c');
    EXPECT_EQ(TextCompareMax("abcx", "abcy", 3), 0);
    EXPECT_NE(TextCompareMax("abcx", "abcy", 4), 0);
    EXPECT_EQ(TextCompareMax("abc", "abd", 0), 0);
    EXPECT_EQ(TextCompareMax("abc", "abd", 100), TextCompare("abc", "abd"));
    EXPECT_EQ(TextCompareMax("abc", "abc", 100), 0);
    EXPECT_EQ(TextCompareMax("ab\0x", "ab\0y", 4), 0) << "b's terminator ends the comparison";
}

TEST(Text, CompareNoCaseFoldsOnlyAsciiLetters)
{
    EXPECT_EQ(TextCompareMaxNoCase("Setup.EXE", "setup.exe", 100), 0);
    EXPECT_NE(TextCompareMaxNoCase("\xC4", "\xE4", 100), 0) << "accented letters are exact";
    EXPECT_NE(TextCompareMaxNoCase("[", "{", 1), 0) << "only a-z fold";
    EXPECT_EQ(TextCompareMaxNoCase("ABCx", "abcy", 3), 0);
}

TEST(Text, StringsHoldAtMost255Characters)
{
    std::string longText(300, 'q');
    String s = StringFromText(longText.c_str());
    EXPECT_EQ(s.Length, 255);
    char buffer[300];
    EXPECT_EQ(TextLength(TextFromString(buffer, s)), 255u);
    String empty = StringFromText("");
    EXPECT_STREQ(TextFromString(buffer, empty), "");
    String word = StringFromText("word");
    EXPECT_STREQ(TextFromString(buffer, word), "word");
}

TEST(Path, TrailingBackslashes)
{
    char path[32] = "C:\\dir";
    AddTrailingBackslash(path);
    EXPECT_STREQ(path, "C:\\dir\\");
    AddTrailingBackslash(path);
    EXPECT_STREQ(path, "C:\\dir\\");
    RemoveTrailingBackslash(path);
    EXPECT_STREQ(path, "C:\\dir");
    RemoveTrailingBackslash(path);
    EXPECT_STREQ(path, "C:\\dir");
    char single[4] = "\\";
    RemoveTrailingBackslash(single);
    EXPECT_STREQ(single, "");
    char empty[4] = "";
    AddTrailingBackslash(empty);
    EXPECT_STREQ(empty, "");
}

TEST(Path, TrimTrailingBlanksKeepsTheFirstCharacter)
{
    char blanks[8] = "   ";
    TrimTrailingBlanks(blanks);
    EXPECT_STREQ(blanks, " ");
    char word[16] = "word  ";
    TrimTrailingBlanks(word);
    EXPECT_STREQ(word, "word");
    char tab[16] = "word\t";
    TrimTrailingBlanks(tab);
    EXPECT_STREQ(tab, "word\t") << "only code 32 is a blank";
}

TEST(Path, RootsOfDrivesAndShares)
{
    EXPECT_TRUE(IsRootPath("D:\\"));
    EXPECT_FALSE(IsRootPath("D:"));
    EXPECT_FALSE(IsRootPath("D:\\Data"));
    EXPECT_TRUE(IsRootPath("\\\\server\\share"));
    EXPECT_TRUE(IsRootPath("\\\\server\\share\\"));
    EXPECT_FALSE(IsRootPath("\\\\server"));
    EXPECT_FALSE(IsRootPath("\\\\server\\"));
    EXPECT_FALSE(IsRootPath("\\\\server\\share\\dir"));
    EXPECT_TRUE(IsUncPath("\\\\x"));
    EXPECT_FALSE(IsUncPath("\\x"));
}

TEST(Path, SingleByteSearchesArePlainScans)
{
    ResetPlatform();
    TextInit();
    ASSERT_FALSE(DbcsEnabled) << "run these under a single-byte code page";
    const char* text = "a\\b";
    EXPECT_EQ(PathFindChar(text, '\\'), text + 1);
    EXPECT_EQ(PathFindLastChar(text, '\\'), text + 1);
    const char* empty = "";
    EXPECT_EQ(PathFindLastChar(empty, 0), empty);
}

// A Shift-JIS character whose trail byte is 0x5C, the backslash: U+8868.
#define SJIS_BACKSLASH_TRAIL "\x95\x5C"

static bool SelectDoubleByte()
{
#if !defined(_WIN32)
    HostSetCodePage(932);
#endif
    TextInit();
    return DbcsEnabled != 0;
}

TEST(Path, DoubleByteTrailBytesAreNeverSeparators)
{
    ASSERT_TRUE(SelectDoubleByte()) << "run these under a double-byte code page";
    const char* text = "dir\\" SJIS_BACKSLASH_TRAIL "x";
    EXPECT_EQ(PathFindChar(text, '\\'), text + 3);
    EXPECT_EQ(PathFindLastChar(text, '\\'), text + 3);
    const char* only = SJIS_BACKSLASH_TRAIL;
    EXPECT_EQ(PathFindChar(only, '\\'), nullptr);
    EXPECT_EQ(PathFindLastChar(only, '\\'), nullptr);
    EXPECT_EQ(PathFindChar(only, 0), only + 2);
    EXPECT_EQ(PathFindLastChar("", 0), nullptr) << "an empty text gives null";

    char path[16] = "a" SJIS_BACKSLASH_TRAIL;
    AddTrailingBackslash(path);
    EXPECT_STREQ(path, "a" SJIS_BACKSLASH_TRAIL "\\");
    char kept[16] = "a" SJIS_BACKSLASH_TRAIL;
    RemoveTrailingBackslash(kept);
    EXPECT_STREQ(kept, "a" SJIS_BACKSLASH_TRAIL);
    EXPECT_FALSE(IsRootPath("\\\\srv\\" SJIS_BACKSLASH_TRAIL "\\x"));
    EXPECT_TRUE(IsRootPath("\\\\srv\\" SJIS_BACKSLASH_TRAIL));
    ResetPlatform();
    TextInit();
}
