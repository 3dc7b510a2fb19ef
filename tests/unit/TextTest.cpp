#include <gtest/gtest.h>

#include <cstring>

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

TEST(Text, StringsHoldAWholePath)
{
    std::string longText(PathLimit + 10, 'q');
    String s = StringFromText(longText.c_str());
    EXPECT_EQ(s.Length, PathLimit);
    static char buffer[PathBufferSize];
    EXPECT_EQ(TextLength(TextFromString(buffer, s)), PathLimit);
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

// U+8868 in UTF-8: E8 A1 A8. Its Shift-JIS form ends in 0x5C; in UTF-8 no byte of a character
// but '\' has that value, so paths split by bytes.
#define HYO "\xE8\xA1\xA8"

TEST(Path, Utf8PathsSplitByBytes)
{
    const char* text = "dir\\" HYO "x";
    EXPECT_EQ(TextFindChar(text, '\\'), text + 3);
    EXPECT_EQ(TextFindLastChar(text, '\\'), text + 3);
    char path[16] = "a" HYO;
    AddTrailingBackslash(path);
    EXPECT_STREQ(path, "a" HYO "\\");
    RemoveTrailingBackslash(path);
    EXPECT_STREQ(path, "a" HYO);
    EXPECT_FALSE(IsRootPath("\\\\srv\\" HYO "\\x"));
    EXPECT_TRUE(IsRootPath("\\\\srv\\" HYO));
}

TEST(Text, WideConversionsKeepEveryScriptAndRefuseWhatIsNotUtf8)
{
    struct Case
    {
        const char* Text;
        i32 Units;  // -1: refused
    } const cases[] = {
        {"plain", 5},
        {"caf\xC3\xA9", 4},                               // Latin with an accent
        {"cafe\xCC\x81", 5},                              // a combining accent stays its own unit
        {"\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82", 5},  // Cyrillic
        {"\xCE\xB1\xCE\xB2", 2},                          // Greek
        {HYO "\xED\x95\x9C", 2},                          // CJK and Hangul
        {"\xF0\x9F\x98\x80", 2},                          // an emoji, a surrogate pair
        {"\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\x8F", 3},      // fullwidth dots and solidus
        {"\xC3", -1},                                     // cut short
        {"\xC0\xAF", -1},                                 // an overlong '/'
        {"\xED\xA0\x80", -1},                             // a lone surrogate
    };

    for (const Case& c : cases) {
        WCHAR wide[8];
        char back[32];
        ASSERT_EQ(WideFromText(wide, c.Text, 8), c.Units) << c.Text;
        if (c.Units >= 0) {
            EXPECT_EQ(TextFromWide(back, wide, sizeof back), static_cast<i32>(std::strlen(c.Text)));
            EXPECT_STREQ(back, c.Text);
        }
    }
    WCHAR small[4];
    EXPECT_EQ(WideFromText(small, "four", 4), -1) << "the terminator needs room too";
    EXPECT_EQ(small[0], 0);
}
