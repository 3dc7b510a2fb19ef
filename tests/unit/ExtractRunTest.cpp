// The run's paths and texts on both targets; the run itself through the host layer, with
// message boxes answered by script and the progress window a record whose drawings and texts
// are kept. Under Wine the UI tier covers that ground.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context/SfxContext.h"
#include "extract/ExtractRun.h"
#include "settings/Settings.h"
#include "files/FileSystem.h"
#include "inflate/InflateState.h"
#include "progress/ProgressDialog.h"
#include "support/Fixtures.h"
#include "support/StubTexts.h"
#include "support/ZipBuilder.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#include "support/HostMessages.h"
#include "support/HostWindows.h"
#endif

// The status text from the string table: under Wine the built stub's own table.
struct RunTexts : FreshState
{
    void SetUp() override
    {
        FreshState::SetUp();
#if defined(_WIN32)
        SfxContext.Instance = LoadLibraryExA("sfx.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(SfxContext.Instance, nullptr) << GetLastError();
#else
        HostSetString(IDS_FROM, StubStrings[IDS_FROM]);
        HostSetString(IDS_TO, StubStrings[IDS_TO]);
#endif
    }

    void TearDown() override
    {
#if defined(_WIN32)
        FreeLibrary(SfxContext.Instance);
#endif
        FreshState::TearDown();
    }
};

TEST(RunPaths, DotComponentsAreDroppedNotResolved)
{
    struct Case
    {
        const char* Path;
        const char* Dropped;
    } const cases[] = {
        {"D:\\out\\..\\x", "D:\\out\\x"},
        {"D:\\out\\a\\..", "D:\\out\\a\\.."},  // a final component of dots stays
        {"D:\\out\\..a\\..b\\", "D:\\out\\..a\\..b\\"},
        {"D:\\out\\...\\...\\x", "D:\\out\\x"},
        {"D:\\out\\.\\x", "D:\\out\\.\\x"},
    };

    for (const Case& c : cases) {
        char path[PathBufferSize];
        TextCopy(path, c.Path);
        DropDotComponents(path + 6);  // the destination's last character
        EXPECT_STREQ(path, c.Dropped) << c.Path;
    }
    char path[PathBufferSize] = "D:\\..\\out\\x";
    DropDotComponents(path + 9);
    EXPECT_STREQ(path, "D:\\..\\out\\x") << "the destination itself is not examined";
}

TEST(RunPaths, NamesThatLandElsewhereOrNowhereAreRefused)
{
    struct Case
    {
        const char* Name;
        bool Safe;
    } const cases[] = {
        {"\\a\\b.txt", true},
        {"\\plain", true},
        {"\\con\\x", false},
        {"\\CON", false},
        {"\\Con.txt", false},
        {"\\con.tar.gz", false},
        {"\\nul .txt", false},  // blanks before the extension
        {"\\aux. .", false},    // trailing dots and blanks
        {"\\a\\PRN\\b", false},
        {"\\com1", false},
        {"\\LPT9.log", false},
        {"\\com0", true},
        {"\\lpt10", true},
        {"\\console", true},
        {"\\nul2", true},
        {"\\x.con", true},
        {"\\COM\xC2\xB9", false},  // superscript one
        {"\\lpt\xC2\xB3.txt", false},
        {"\\COM\xC2\xB9x", true},
        {"\\\xEF\xBC\x8E\xEF\xBC\x8E\\\xEF\xBC\x8F",
         true},            // fullwidth dots and solidus are letters
        {"\\a:b", false},  // an alternate data stream
        {"\\C:\\x", false},
        {"\\..", false},  // a final component of dots is kept by the dot rule
        {"\\a\\.. \\b", false},
        {"\\a\\. \\b", false},
        {"\\a\\ \\b", false},
        {"\\..a\\b..", false},  // the system would drop the trailing dots
        {"\\..a\\b", true},
        {"\\t.txt.", false},
        {"\\u.txt ", false},
        {"\\dv.\\f.txt", false},
        {"\\dir\\", true},
        {"\\.hidden", true},
        {"\\a\\\\b", true},  // an empty component is no component
    };

    ResetPlatform();
    for (const Case& c : cases)
        EXPECT_EQ(IsSafeEntryName(c.Name), c.Safe) << c.Name;
}

TEST_F(RunTexts, StatusTextIsCutToItsBuffer)
{
    char status[StatusTextLimit + 1 + 16];
    std::string archive = "C:\\" + std::string(255, 'a');
    std::string target = "D:\\" + std::string(255, 't');
    ComposeStatusText(status, archive.c_str(), target.c_str());
    std::string expected = "From: " + std::string(255, 'a') + "\rTo:   " + target;
    EXPECT_EQ(std::string(status), expected.substr(0, StatusTextLimit));
    ComposeStatusText(status, "noslash.exe", "T");
    EXPECT_STREQ(status, "From: noslash.exe\rTo:   T");
}

#if !defined(_WIN32)
namespace {

void SetStubStrings()
{
    for (unsigned id = 1; id < StubStringCount; ++id)
        HostSetString(id, StubStrings[id]);
}

Bytes Fill(std::size_t size, unsigned char seed)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<unsigned char>(seed + i * 7 + i / 300);
    return out;
}

}  // namespace

struct Run : InTempDir
{
    void SetUp() override
    {
        InTempDir::SetUp();
        SetStubStrings();
        TextCopy(SfxContext.ProgramPath, Program.c_str());
        TextCopy(SfxContext.Destination, Out.c_str());
        CreateDirectoryA(Out.c_str(), nullptr);
    }

    ZipBuilderEntry& Add(const std::string& name, const Bytes& data, u8 attributes = 0x20)
    {
        ZipBuilderEntry& e = Zip.AddBytes(name, data);
        e.ExternalAttributes = attributes;
        return e;
    }

    i32 RunWith(std::vector<int> answers = {})
    {
        Zip.Prefix = Bytes(2000, 0xCC);
        WriteBytes(Program, Zip.Build());
        HostAnswerMessageBoxes(answers);
        i32 code = RunExtraction();
        ExpectNothingLeft("the run");
        EXPECT_EQ(SfxContext.ProgressWindow, nullptr);
        return code;
    }

    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> texts;
        for (const HostMessageBox& box : HostMessageBoxes())
            texts.push_back(box.Caption + " | " + box.Text);
        return texts;
    }

    bool Exists(const std::string& name) const
    {
        return PathExists(Out + name);
    }

    std::string Program = Dir / "setup.exe";
    std::string Out = Dir / "out\\";
    ZipBuilder Zip;
};

TEST_F(Run, NothingToExtractWithoutAnArchiveOrWithOnlyEmptyEntries)
{
    WriteBytes(Program, Bytes(5000, 0x90));
    HostAnswerMessageBoxes({});
    EXPECT_EQ(RunExtraction(), ExitNothingToExtract);
    ASSERT_EQ(HostMessageBoxes().size(), 1u);
    const HostMessageBox& box = HostMessageBoxes()[0];
    EXPECT_EQ(box.Owner, nullptr);
    EXPECT_EQ(box.Text, "Nothing to extract!");
    EXPECT_EQ(box.Caption, Program);
    EXPECT_EQ(box.Type, 0x30u);
    EXPECT_EQ(HostLastDialog(), nullptr) << "no progress window";

    Add("dir/", {}, 0x10);
    Add("dir/empty.txt", {});
    EXPECT_EQ(RunWith(), ExitNothingToExtract);
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes().back(), Program + " | Nothing to extract!");
    EXPECT_EQ(HostLastDialog(), nullptr);
    EXPECT_FALSE(Exists("dir")) << "nothing is created";
    TextCopy(SfxContext.Title, "Setup \xD0\xB4");
    EXPECT_EQ(RunWith(), ExitNothingToExtract);
    EXPECT_EQ(Boxes().back(), "Setup \xD0\xB4 | Nothing to extract!") << "the packer's title";
}

TEST_F(Run, ExtractsEverythingSilentlyWithStatusTextsAndAFullBar)
{
    Add("readme.txt", Fill(1000, 1), 0x21);  // read-only in the archive
    Add("sub/", {}, 0x10);
    Add("sub/data.bin", Fill(70000, 2));
    Add("sub/deeper/empty.txt", {});
    HostSetActiveWindow(nullptr);  // another program is in front
    EXPECT_EQ(RunWith(), ExitExtracted);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(HostBeeps(), 1u) << "success while another window is active";
    EXPECT_EQ(ReadBytes(Out + "readme.txt"), Fill(1000, 1));
    EXPECT_EQ(ReadBytes(Out + "sub\\data.bin"), Fill(70000, 2));
    EXPECT_TRUE(Exists("sub\\deeper\\empty.txt"));
    EXPECT_EQ(GetFileAttributesA((Out + "readme.txt").c_str()) & 0x01, 0u) << "never read-only";

    HWND window = HostLastDialog();
    EXPECT_TRUE(HostIsDestroyed(window));
    const auto& overall = HostDrawings(GetDlgItem(window, 210));
    ASSERT_FALSE(overall.empty());
    EXPECT_EQ(overall.back().Texts.at(0).Text, "100 %");
    std::vector<std::string> statuses;
    for (const HostItemText& t : HostItemTexts()) {
        EXPECT_EQ(t.Dialog, window);
        EXPECT_EQ(t.Id, 130);
        statuses.push_back(t.Text);
    }
    EXPECT_EQ(statuses, (std::vector<std::string>{
                            "From: setup.exe\rTo:   " + Out + "readme.txt",
                            "From: setup.exe\rTo:   " + Out + "sub\\",
                            "From: setup.exe\rTo:   " + Out + "sub\\data.bin",
                            "From: setup.exe\rTo:   " + Out + "sub\\deeper\\empty.txt",
                        }));

    HostMessagesReset();
    HostWindowsReset();
    SetStubStrings();
    EXPECT_EQ(RunWith(), ExitExtracted) << "again, over the files of the first run";
    EXPECT_EQ(HostBeeps(), 0u) << "the progress window was the active one";
}

TEST_F(Run, DotComponentsAreDroppedFromEntryNames)
{
    Add("../x.txt", Fill(10, 1));
    Add("a/../b.txt", Fill(10, 2));
    Add("a/.../c.txt", Fill(10, 3));
    Add("d/..../..\\e.txt", Fill(10, 4));
    EXPECT_EQ(RunWith(), ExitExtracted);
    EXPECT_EQ(ReadBytes(Out + "x.txt"), Fill(10, 1));
    EXPECT_EQ(ReadBytes(Out + "a\\b.txt"), Fill(10, 2));
    EXPECT_EQ(ReadBytes(Out + "a\\c.txt"), Fill(10, 3));
    EXPECT_EQ(ReadBytes(Out + "d\\e.txt"), Fill(10, 4));
    EXPECT_EQ(GetFileAttributesA((Dir / "x.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Run, HostileOrUnusableNamesFailBeforeAnythingIsMade)
{
    // The last two past 259 characters, where the system maps no device and drops no dot.
    const std::string deep = "sub/" + std::string(200, 'd') + "/" + std::string(150, 'e');
    for (const std::string& name :
         {std::string("sub/CON.txt"), std::string("sub/a:stream"), std::string("sub/.."),
          std::string("sub/bad\xC3\x28"), deep + "/CON.txt", deep + "/t.txt."}) {
        SetUp();
        Zip = ZipBuilder{};
        Add("first.txt", Fill(10, 1));
        Add(name, Fill(10, 2)).Flags = 0x800;  // UTF-8, so the last one is no name
        Add("after.txt", Fill(10, 3));
        EXPECT_EQ(RunWith(), ExitEntryFailed) << name;
        EXPECT_TRUE(Exists("first.txt")) << name;
        EXPECT_FALSE(Exists("sub")) << name << ": not even its folder";
        EXPECT_FALSE(Exists("after.txt")) << name;
        EXPECT_EQ(Boxes(), std::vector<std::string>{Program + " | Unzip NOT successful!"}) << name;
    }
}

TEST_F(Run, CrcFailureInTheThirdOfFiveKeepsTheFirstTwo)
{
    for (int i = 1; i <= 5; ++i)
        Add("f" + std::to_string(i), Fill(3000, static_cast<unsigned char>(i))).Crc ^=
            i == 3 ? 1 : 0;
    EXPECT_EQ(RunWith(), ExitEntryFailed);
    EXPECT_TRUE(Exists("f1"));
    EXPECT_TRUE(Exists("f2"));
    EXPECT_FALSE(Exists("f3"));
    EXPECT_FALSE(Exists("f4"));
    EXPECT_FALSE(Exists("f5"));
    ASSERT_EQ(HostMessageBoxes().size(), 1u);
    EXPECT_EQ(HostMessageBoxes()[0].Owner, HostLastDialog());
    EXPECT_EQ(Boxes(), std::vector<std::string>{Program + " | Unzip NOT successful!"});
}

TEST_F(Run, ADamagedDirectoryFailsTheRunAfterTheEntriesBeforeIt)
{
    // The comment's length field wraps to 0: the walk lands inside the comment.
    Add("first.txt", Fill(10, 1)).Comment.assign(65536, 'c');
    Add("after.txt", Fill(10, 2));
    EXPECT_EQ(RunWith(), ExitNothingToExtract);
    EXPECT_EQ(ReadBytes(Out + "first.txt"), Fill(10, 1));
    EXPECT_FALSE(Exists("after.txt"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{Program + " | Unzip NOT successful!"});
}

TEST_F(Run, QuestionsDecideAboutExistingTargets)
{
    struct Case
    {
        const char* What;
        bool Confirm;
        bool ReadOnly;
        std::vector<int> Answers;
        std::vector<std::string> Questions;
        bool Replaced;
        bool SecondWritten;
        const char* Final;
        u8 Overwrite = OverwriteAsk;
        bool Quiet = false;
    } const cases[] = {
        {"confirm, yes", true, false, {IDYES}, {"File exists, overwrite?"}, true, true, ""},
        {"confirm, no", true, false, {IDNO}, {"File exists, overwrite?"}, false, true, ""},
        {"confirm, cancel",
         true,
         false,
         {IDCANCEL},
         {"File exists, overwrite?"},
         false,
         false,
         "Unzip aborted!"},
        {"silent", false, false, {}, {}, true, true, ""},
        {"silent, read-only, yes",
         false,
         true,
         {IDYES},
         {"Target write protected, overwrite anyway?"},
         true,
         true,
         ""},
        {"silent, read-only, no",
         false,
         true,
         {IDNO},
         {"Target write protected, overwrite anyway?"},
         false,
         true,
         ""},
        {"confirm, read-only, yes, cancel",
         true,
         true,
         {IDYES, IDCANCEL},
         {"File exists, overwrite?", "Target write protected, overwrite anyway?"},
         false,
         false,
         "Unzip aborted!"},
        {"confirm, read-only, no",
         true,
         true,
         {IDNO},
         {"File exists, overwrite?"},
         false,
         true,
         ""},
        {"quiet, read-only", true, true, {}, {}, true, true, "", OverwriteAsk, true},
        {"never, read-only", false, true, {}, {}, false, true, "", OverwriteNever},
    };

    for (const Case& c : cases) {
        SetUp();
        Zip = ZipBuilder{};
        Add("same.txt", Fill(500, 9));
        Add("second.txt", Fill(500, 8));
        std::string existing = Out + "same.txt";
        WriteBytes(existing, {'o', 'l', 'd'});
        if (c.ReadOnly)
            SetFileAttributesA(existing.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        SfxContext.ConfirmOverwrites = c.Confirm;
        SfxContext.Overwrite = c.Overwrite;
        SfxContext.Quiet = c.Quiet;
        EXPECT_EQ(RunWith(c.Answers), *c.Final ? ExitCancelled : ExitExtracted) << c.What;
        EXPECT_EQ(HostLastDialog() == nullptr, c.Quiet) << c.What << ": no window when quiet";
        std::vector<std::string> questions;
        std::vector<std::string> finals;
        for (const HostMessageBox& box : HostMessageBoxes()) {
            if (box.Type == 0x30u) {
                finals.push_back(box.Text);
                continue;
            }
            EXPECT_EQ(box.Text, existing) << c.What;
            EXPECT_EQ(box.Owner, HostLastDialog()) << c.What;
            EXPECT_EQ(box.Type, box.Caption == StubStrings[IDS_FILE_EXISTS] ? 0x23u : 0x13u)
                << c.What;
            questions.push_back(box.Caption);
        }
        EXPECT_EQ(questions, c.Questions) << c.What;
        EXPECT_EQ(finals, *c.Final ? std::vector<std::string>{c.Final} : std::vector<std::string>{})
            << c.What;
        EXPECT_EQ(ReadBytes(existing) == Fill(500, 9), c.Replaced) << c.What;
        EXPECT_EQ(Exists("second.txt"), c.SecondWritten) << c.What;
        if (c.Replaced && c.ReadOnly) {
            EXPECT_EQ(GetFileAttributesA(existing.c_str()) & 0x07, 0u) << c.What;
        }
        for (const std::string& name : {existing, Out + "second.txt"}) {
            SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(name.c_str());
        }
    }
}

// Windows replaces a hidden or system file only for a caller that keeps those bits; an
// archive extracted a second time over its own hidden files must still go through.
TEST_F(Run, HiddenAndSystemTargetsAreReplacedOnceAgreedTo)
{
    Add("hidden.txt", Fill(100, 1), 0x22);
    Add("system.txt", Fill(100, 2), 0x24);
    for (bool confirm : {false, true}) {
        SetFileAttributesA((Out + "hidden.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesA((Out + "system.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteBytes(Out + "hidden.txt", {'o', 'l', 'd'});
        WriteBytes(Out + "system.txt", {'o', 'l', 'd'});
        SetFileAttributesA((Out + "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
        SetFileAttributesA((Out + "system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);
        SfxContext.ConfirmOverwrites = confirm;
        EXPECT_EQ(RunWith({IDYES, IDYES}), ExitExtracted) << confirm;
        EXPECT_EQ(ReadBytes(Out + "hidden.txt"), Fill(100, 1)) << confirm;
        EXPECT_EQ(ReadBytes(Out + "system.txt"), Fill(100, 2)) << confirm;
        EXPECT_EQ(GetFileAttributesA((Out + "hidden.txt").c_str()) & 0x07, 0x02u) << confirm;
        EXPECT_EQ(GetFileAttributesA((Out + "system.txt").c_str()) & 0x07, 0x04u) << confirm;
    }
    // Left alone when the user says no.
    SfxContext.ConfirmOverwrites = true;
    EXPECT_EQ(RunWith({IDNO, IDNO}), ExitExtracted);
    EXPECT_EQ(GetFileAttributesA((Out + "hidden.txt").c_str()) & 0x07, 0x02u);
}

TEST_F(Run, ADirectoryInTheWayIsAWriteErrorCaptionedWithItsPath)
{
    Add("taken", Fill(100, 1));
    CreateDirectoryA((Out + "taken").c_str(), nullptr);
    SfxContext.ConfirmOverwrites = true;
    EXPECT_EQ(RunWith({IDYES}), ExitWriteFailed);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"File exists, overwrite? | " + Out + "taken",
                                                 Out + "taken | Error writing target file!"}));
    EXPECT_STREQ(FailedTarget, (Out + "taken").c_str());
}

// Each would otherwise end in a file under another name, or data that vanishes, reported as
// success: a path past the system's limit, a folder over a file, a folder entry with data, an
// alias. A path past 259 characters is none of them.
TEST_F(Run, TargetsThatCannotBeMadeWholeFailTheirEntry)
{
    std::string deep;
    while (Out.size() + deep.size() <= WidePathLimit)
        deep += std::string(200, 'd') + "/";
    deep += "f";
    std::string deepTarget = Out + deep;
    for (char& c : deepTarget)
        c = c == '/' ? '\\' : c;

    struct Case
    {
        std::string Name;
        unsigned Size;
        std::string Failed;  // the caption of the message, or empty for "Unzip NOT successful!"
    } const cases[] = {
        {deep, 0, deepTarget},  {std::string(200, 'l') + "/" + std::string(150, 'n'), 0, ""},
        {"x/", 0, Out + "x\\"}, {"/", 5, Out + "\\"},
        {"d/", 5, Out + "d\\"}, {"LONGFI~1.TXT", 0, "-"},
        {"", 5, Out},  // no name, and data
    };

    for (const Case& c : cases) {
        SetUp();
        Zip = ZipBuilder{};
        WriteBytes(Out + "x", Fill(3, 9));
        WriteBytes(Out + "longfilename.txt", Fill(3, 9));
        Add("a.txt", Fill(1, 1));  // not all empty, which would be nothing to extract
        Add(c.Name, Fill(c.Size, 1), !c.Name.empty() && c.Name.back() == '/' ? 0x10 : 0x20);
        i32 code = RunWith();
        EXPECT_EQ(code, c.Failed.empty()  ? ExitExtracted
                        : c.Failed == "-" ? ExitEntryFailed
                                          : ExitWriteFailed)
            << c.Name;
        std::string box = c.Failed == "-" ? Program + " | Unzip NOT successful!"
                                          : c.Failed + " | Error writing target file!";
        if (!c.Failed.empty()) {
            EXPECT_EQ(Boxes(), std::vector<std::string>{box}) << c.Name;
        }
        if (c.Name == deep) {
            EXPECT_FALSE(Exists(c.Name.substr(0, 200))) << "nothing made";
        }
        EXPECT_EQ(ReadBytes(Out + "longfilename.txt"), Fill(3, 9));
    }
}

TEST_F(Run, CancelDuringATransferRemovesThePartialFile)
{
    Add("first.bin", Fill(1000, 1));
    Add("large.bin", Fill(600000, 2));
    Add("after.bin", Fill(1000, 3));
    HostOnPeek([](unsigned peeks) {
        // Well into the large entry's stored chunks: a click on Cancel.
        if (peeks == 6)
            HostPostMessage(MSG{HostLastDialog(), WM_COMMAND, IDCANCEL, 0, 0, {}});
    });
    EXPECT_EQ(RunWith(), ExitCancelled);
    EXPECT_TRUE(Exists("first.bin"));
    EXPECT_FALSE(Exists("large.bin"));
    EXPECT_FALSE(Exists("after.bin"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{Program + " | Unzip aborted!"});
}

TEST_F(Run, StatusTextIsCurrentAtEveryQuestionAndMessageOnAStoppedClock)
{
    for (const char* last : {"d.bin", "e.bin"}) {
        Add("a.bin", Fill(100, 1));
        Add("b.bin", Fill(100, 2));  // exists: a question
        Add("c.bin", Fill(100, 3));
        Add(last, Fill(100, 4)).Crc ^= *last == 'd' ? 1 : 0;  // a damaged one: a message
        for (const char* name : {"a.bin", "c.bin", "d.bin"})
            DeleteFileA((Out + name).c_str());
        WriteBytes(Out + "b.bin", {});
        SfxContext.ConfirmOverwrites = true;
        HostSetClockStep(0);
        std::string from = "From: setup.exe\rTo:   " + Out;
        EXPECT_EQ(RunWith({IDYES}), *last == 'd' ? ExitEntryFailed : ExitExtracted);
        const auto& boxes = HostMessageBoxes();
        ASSERT_GE(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].ItemText, from + "b.bin");
        if (*last == 'd') {
            ASSERT_EQ(boxes.size(), 2u);
            EXPECT_EQ(boxes[1].ItemText, from + "d.bin");
        }
        EXPECT_EQ(HostItemTexts().back().Text, from + last) << "at the run's end";
        EXPECT_LE(HostItemTexts().size(), 3u) << "not one per entry";
        HostMessagesReset();
        HostWindowsReset();
        SetStubStrings();
        Zip = ZipBuilder{};
    }
}

TEST_F(Run, SkippedEntriesStillCountInTheOverallBase)
{
    Add("a", Fill(1000, 1));
    Add("b", Fill(1000, 2));
    WriteBytes(Out + "a", {});
    SfxContext.ConfirmOverwrites = true;
    EXPECT_EQ(RunWith({IDNO}), ExitExtracted);
    const auto& overall = HostDrawings(GetDlgItem(HostLastDialog(), 210));
    std::vector<std::string> shown;
    for (const HostDrawing& d : overall)
        shown.push_back(d.Texts.at(0).Text);
    // The second entry starts at 50 + 1 although the first was skipped.
    EXPECT_EQ(shown, (std::vector<std::string>{"51 %", "100 %", "100 %"}));
}

TEST_F(Run, WithoutAProgressWindowTheRunGoesOnUnowned)
{
    Add("a", Fill(100, 1));
    Add("b", Fill(100, 2)).Crc ^= 1;
    HostFailDialogs(true);
    EXPECT_EQ(RunWith(), ExitEntryFailed);
    EXPECT_TRUE(Exists("a"));
    ASSERT_EQ(HostMessageBoxes().size(), 1u);
    EXPECT_EQ(HostMessageBoxes()[0].Owner, nullptr);
    EXPECT_EQ(HostMessageBoxes()[0].Text, "Unzip NOT successful!");
}
#endif
