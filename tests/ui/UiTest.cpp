// The stub's real windows under Wine, driven from outside: the destination dialog and its
// browser, the progress window and its bars, the questions and the final messages. Each test
// builds a self-extractor (the built stub followed by an archive) in a folder of its own, runs
// it and looks at what a person would see. A failing test leaves a screenshot.
// Usage: ui_tests [gtest options] STUB SHOT_FOLDER PROBE_DLL (paths as the host names them)
#include <windows.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Resource.h"
#include "support/StubTexts.h"
#include "support/TestFiles.h"
#include "support/ZipBuilder.h"
#include "ui/Screen.h"
#include "ui/StubDriver.h"

namespace {

std::string StubPath;
std::string ShotFolder;  // Windows form, ends in '\'
std::string ShotFolderHost;
std::string ProbePath;

const char* const OverwriteCaption = StubStrings[IDS_FILE_EXISTS];
const char* const WriteProtectedCaption = StubStrings[IDS_WRITE_PROTECTED];

constexpr int EditId = ID_DESTINATION_EDIT;
constexpr int BrowseId = ID_BROWSE_BUTTON;
constexpr int ConfirmId = ID_CONFIRM_CHECK;
constexpr int ProgressLabelId = ID_PROGRESS_LABEL;
constexpr int StatusId = ID_STATUS_TEXT;
constexpr int EntryBarId = ID_ENTRY_BAR;
constexpr int OverallBarId = ID_OVERALL_BAR;

std::string ReadText(const std::string& path)
{
    Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string LongPath(const std::string& path)
{
    char full[MAX_PATH] = {};
    GetLongPathNameA(path.c_str(), full, MAX_PATH);
    return full;
}

// The screen once two looks a moment apart agree: windows that just came up have painted.
Image SettledScreen()
{
    Image last = CaptureScreen();
    Image now;
    WaitUntil(
        [&] {
            Sleep(50);
            now = CaptureScreen();
            bool same = now.Pixels == last.Pixels;
            last = now;
            return same;
        },
        5000);
    return last;
}

void SaveShot(const Image& screen, RECT around, const std::string& name)
{
    InflateRect(&around, 12, 12);
    std::string path = ShotFolder + name;
    if (SavePng(Crop(screen, around), path))
        std::printf("screenshot: %s%s\n", ShotFolderHost.c_str(), name.c_str());
    else
        std::printf("screenshot: cannot write %s\n", path.c_str());
}

// The windows of a process, as one rectangle.
RECT Around(const std::vector<HWND>& windows)
{
    RECT all{};
    for (HWND window : windows) {
        RECT rect{};
        GetWindowRect(window, &rect);
        UnionRect(&all, &all, &rect);
    }
    return all;
}

// Saves the whole screen the moment a test first fails, and names the file.
class ScreenshotOnFailure : public ::testing::EmptyTestEventListener {
    bool Taken = false;

    void OnTestStart(const ::testing::TestInfo&) override
    {
        Taken = false;
    }

    void OnTestPartResult(const ::testing::TestPartResult& result) override
    {
        if (!result.failed() || Taken)
            return;
        Taken = true;
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "failed-" + std::string(test ? test->test_suite_name() : "test") + "." +
                           (test ? test->name() : "");
        for (char& c : name)
            if (c == '/' || c == '\\' || c == ':')
                c = '_';
        name += ".png";
        std::string path = ShotFolder + name;
        if (SavePng(SettledScreen(), path))
            std::printf("screenshot of the failure: %s%s\n", ShotFolderHost.c_str(), name.c_str());
        else
            std::printf("screenshot of the failure: cannot write %s\n", path.c_str());
        std::fflush(stdout);
    }
};

// A deflated entry of size bytes, all zero, compressed piece by piece so that the whole never
// sits in memory.
ZipBuilderEntry ZeroEntry(const std::string& name, uint32_t size)
{
    ZipBuilderEntry entry;
    entry.Name = name;
    entry.Method = 8;
    entry.UncompressedSize = size;
    z_stream stream{};
    deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> zeros(1 << 20, 0);
    unsigned char out[65536];
    uLong crc = crc32(0, nullptr, 0);
    for (uint32_t left = size;;) {
        uint32_t piece = left < zeros.size() ? left : static_cast<uint32_t>(zeros.size());
        crc = crc32(crc, zeros.data(), piece);
        left -= piece;
        stream.next_in = zeros.data();
        stream.avail_in = piece;
        int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = out;
            stream.avail_out = sizeof out;
            deflate(&stream, flush);
            entry.Data.insert(entry.Data.end(), out, out + (sizeof out - stream.avail_out));
        } while (stream.avail_out == 0);
        if (left == 0)
            break;
    }
    deflateEnd(&stream);
    entry.Crc = static_cast<uint32_t>(crc);
    return entry;
}

// A self-extractor in a folder of its own (a long name, so that its short form differs), a
// working folder and a spare destination, all under one temporary folder.
struct Scene
{
    TempDir Root;
    std::string Folder;   // the program's folder, ends in '\'
    std::string Program;  // the self-extractor
    std::string Work;     // the process's working folder
    std::string Out;      // another destination, ends in '\'

    explicit Scene(ZipBuilder archive, bool withArchive = true)
    {
        // Names in scripts that no one ANSI code page holds, for the program's folder and the
        // other destination.
        Folder = LongPath(Root.Path) +
                 "Program \xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0 \xE6\x96\x87\xE4\xBB\xB6\\";
        Work = Root.Path + "work\\";
        Out = Root.Path + "out \xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xE6\x97\xA5\xE6\x9C\xAC\\";
        for (const std::string* folder : {&Folder, &Work, &Out})
            CreateDirectoryW(WideOf(*folder).c_str(), nullptr);
        Program = Folder + "setup.exe";
        archive.Prefix = ReadBytes(StubPath);
        WriteBytes(Program, withArchive ? archive.Build() : archive.Prefix);
    }

    std::unique_ptr<StubProcess> Run(const std::string& arguments,
                                     const std::string& program = "") const
    {
        return std::make_unique<StubProcess>(program.empty() ? Program : program, arguments, Work);
    }
};

ZipBuilder Files(const std::vector<std::pair<std::string, std::string>>& files)
{
    ZipBuilder zip;
    for (const auto& [name, data] : files)
        zip.Add(name, data);
    return zip;
}

void Write(const std::string& path, const std::string& text)
{
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

#define ASSERT_STARTED(stub)                                                                       \
    ASSERT_TRUE((stub)->Started()) << "cannot start the stub: error " << GetLastError()

// Every way the program ends is a normal end with exit code 0; a message box that comes up
// instead fails at once.
void ExpectEndsWithZero(const StubProcess& stub)
{
    MessageBoxView unexpected;
    bool ended = stub.WaitExit(&unexpected);
    if (unexpected.Window != nullptr)
        ADD_FAILURE() << "unexpected message box \"" << unexpected.Text << "\" captioned \""
                      << unexpected.Caption << "\"";
    else if (!ended)
        ADD_FAILURE() << "the stub did not end";
    else
        EXPECT_EQ(stub.ExitCode(), 0u);
}

// The icons by the styles the program gives its message boxes.
const char* const Question = "question";        // MB_ICONQUESTION: the overwrite question
const char* const Hand = "hand";                // MB_ICONHAND: the write-protection question
const char* const Exclamation = "exclamation";  // MB_ICONEXCLAMATION: the final messages

BOOL CALLBACK FindIconControl(HWND child, LPARAM found)
{
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// An icon drawn as a static control draws it, over one background colour.
Image DrawnIcon(HICON icon, int width, int height, COLORREF background)
{
    return Paint(width, height, [&](HDC dc) {
        RECT all{0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(background);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        DrawIconEx(dc, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    });
}

// Which system icon a message box shows: the one whose opaque pixels (those that come out
// alike over black and over white) all stand on the screen.
std::string IconOf(const MessageBoxView& box)
{
    HWND control = nullptr;
    EnumChildWindows(box.Window, FindIconControl, reinterpret_cast<LPARAM>(&control));
    if (control == nullptr)
        return "no icon";
    Image shown = Crop(SettledScreen(), ClientRectOnScreen(control));

    const struct
    {
        LPCSTR Id;
        const char* Name;
    } icons[] = {{IDI_QUESTION, Question},
                 {IDI_HAND, Hand},
                 {IDI_EXCLAMATION, Exclamation},
                 {IDI_ASTERISK, "asterisk"}};

    for (const auto& icon : icons) {
        HICON handle = LoadIconA(nullptr, icon.Id);
        Image overBlack = DrawnIcon(handle, shown.Width, shown.Height, RGB(0, 0, 0));
        Image overWhite = DrawnIcon(handle, shown.Width, shown.Height, RGB(255, 255, 255));
        int opaque = 0;
        bool same = true;
        for (size_t i = 0; i < shown.Pixels.size() && same; ++i) {
            if (overBlack.Pixels[i] != overWhite.Pixels[i])
                continue;
            ++opaque;
            same = shown.Pixels[i] == overBlack.Pixels[i];
        }
        if (same && opaque > static_cast<int>(shown.Pixels.size()) / 4)
            return icon.Name;
    }
    return "an icon of none of the system's kinds";
}

void ExpectMessage(const MessageBoxView& box, const std::string& text, const std::string& caption,
                   HWND owner, const char* icon)
{
    ASSERT_NE(box.Window, nullptr) << "no message box \"" << text << "\"";
    EXPECT_EQ(box.Text, text);
    EXPECT_EQ(box.Caption, caption);
    EXPECT_EQ(box.Owner, owner) << "owner of \"" << text << "\"";
    EXPECT_EQ(IconOf(box), icon) << "icon of \"" << text << "\"";
}

// What a bar shows, read from the screen: the filled width on the rows above and below the
// text, and the pixels of the text in either part.
struct BarView
{
    int Width = 0;
    int Filled = -1;        // -1: the edge rows are not a fill followed by background
    int HighlightText = 0;  // text pixels over the filled part
    int WindowText = 0;     // text pixels over the empty part
    int Other = 0;          // pixels of any other colour inside the frame

    std::string Describe() const
    {
        return "width " + std::to_string(Width) + ", filled " + std::to_string(Filled) +
               ", text pixels " + std::to_string(HighlightText) + " light and " +
               std::to_string(WindowText) + " dark, " + std::to_string(Other) + " others";
    }
};

BarView ReadBar(const Image& screen, HWND bar)
{
    RECT inner = ClientRectOnScreen(bar);
    InflateRect(&inner, -1, -1);  // inside the frame
    Image pixels = Crop(screen, inner);
    BarView view;
    view.Width = pixels.Width;
    const uint32_t fill = SystemPixel(COLOR_HIGHLIGHT);
    const uint32_t background = SystemPixel(COLOR_WINDOW);
    const uint32_t lightText = SystemPixel(COLOR_HIGHLIGHTTEXT);
    const uint32_t darkText = SystemPixel(COLOR_WINDOWTEXT);
    if (pixels.Height < 3)
        return view;
    int filled = 0;
    while (filled < pixels.Width && pixels.At(filled, 0) == fill)
        ++filled;
    for (int y : {0, pixels.Height - 1})
        for (int x = 0; x < pixels.Width; ++x)
            if (pixels.At(x, y) != (x < filled ? fill : background))
                filled = -1;
    view.Filled = filled;
    for (int y = 1; y < pixels.Height - 1; ++y)
        for (int x = 0; x < pixels.Width; ++x) {
            uint32_t pixel = pixels.At(x, y);
            bool inFill = x < filled;
            if (pixel == (inFill ? lightText : darkText))
                ++(inFill ? view.HighlightText : view.WindowText);
            else if (pixel != (inFill ? fill : background))
                ++view.Other;
        }
    return view;
}

// The filled width for percent of width: the nearest whole pixel, either one at a tie.
bool FilledWidthFits(int filled, int width, int percent)
{
    int scaled = width * percent;  // in hundredths of a pixel
    int below = scaled / 100;
    if (scaled % 100 == 50)
        return filled == below || filled == below + 1;
    return filled == (scaled % 100 > 50 ? below + 1 : below);
}

// Waits for the bar to show percent (Wine brings a drawing to the screen a moment later),
// then checks where its text is drawn.
void ExpectBar(HWND bar, int percent, const char* which)
{
    BarView view;
    bool shown = WaitUntil(
        [&] {
            view = ReadBar(CaptureScreen(), bar);
            return FilledWidthFits(view.Filled, view.Width, percent);
        },
        UiTimeoutMs);
    ASSERT_TRUE(shown) << which << " bar at " << percent << " %: " << view.Describe();
    // The text is drawn twice, the second time clipped to the filled part: light over the
    // fill, dark over the rest, and nothing else inside the frame.
    EXPECT_EQ(view.Other, 0) << which << " bar at " << percent << " %: " << view.Describe();
    EXPECT_GT(view.HighlightText + view.WindowText, 0)
        << which << " bar at " << percent << " %: no text";
    if (percent == 50) {
        EXPECT_TRUE(view.HighlightText > 0 && view.WindowText > 0)
            << which << " bar at 50 %, text across the edge: " << view.Describe();
    }
}

// An update as the extraction sends it: the entry's percentage.
void SendPercent(HWND progress, int percent)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(progress, WM_COMMAND, ProgressLabelId, percent, SMTO_ABORTIFHUNG,
                        UiTimeoutMs, &ignored);
}

// ---- The destination dialog ----

TEST(DestinationDialog, ProposesTheProgramFolderWithTheBoxTickedAndCancelEndsQuietly)
{
    Scene scene(Files({{"a.txt", "a"}}));
    wchar_t wideShort[MAX_PATH] = {};
    GetShortPathNameW(WideOf(scene.Program).c_str(), wideShort, MAX_PATH);
    std::string shortPath = Utf8Of(wideShort, lstrlenW(wideShort));
    ASSERT_NE(shortPath, scene.Program) << "no short name to start the program by";
    // Started by its short name, the program still proposes the long one.
    auto stub = scene.Run("", shortPath);
    ASSERT_STARTED(stub);
    HWND dialog = stub->WaitDialog(DialogCaption);
    ASSERT_NE(dialog, nullptr) << "no destination dialog";
    EXPECT_EQ(ControlText(dialog, EditId), scene.Folder) << "started as " << shortPath;
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, ConfirmId), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(ControlText(dialog, ConfirmId), "&Confirm overwrites");
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui);
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(dialog, EditId)) << "the field has the focus";
    SaveShot(SettledScreen(), Around({dialog}), "dialog.png");

    Click(dialog, IDCANCEL);
    ExpectEndsWithZero(*stub);
    EXPECT_EQ(FolderListing(scene.Folder), std::vector<std::string>{"setup.exe"});
}

// The cases of a table are named by their Name field.
struct CaseName
{
    template <typename Case> std::string operator()(const ::testing::TestParamInfo<Case>& c) const
    {
        return c.param.Name;
    }
};

struct ConfirmCase
{
    const char* Name;
    bool Ticked;
};

class DestinationDialogOk : public ::testing::TestWithParam<ConfirmCase> {};

// The field names another folder that already holds a.txt; the box decides whether the
// program asks before replacing it.
TEST_P(DestinationDialogOk, TakesTheFieldAndTheBox)
{
    Scene scene(Files({{"a.txt", "new a"}, {"b.txt", "new b"}}));
    Write(scene.Out + "a.txt", "old a");
    auto stub = scene.Run("");
    ASSERT_STARTED(stub);
    HWND dialog = stub->WaitDialog(DialogCaption);
    ASSERT_NE(dialog, nullptr);
    std::string field = scene.Out.substr(0, scene.Out.size() - 1);  // the backslash is added
    SetControlText(dialog, EditId, field);
    if (!GetParam().Ticked) {
        Click(dialog, ConfirmId);
        ASSERT_TRUE(WaitUntil([&] {
            return SendMessageA(GetDlgItem(dialog, ConfirmId), BM_GETCHECK, 0, 0) == BST_UNCHECKED;
        }));
    }
    Click(dialog, IDOK);
    if (GetParam().Ticked) {
        MessageBoxView question = stub->WaitMessageBox();
        ExpectMessage(question, scene.Out + "a.txt", OverwriteCaption,
                      stub->WaitDialog(ProgressCaption, 0), Question);
        EXPECT_TRUE(stub->Answer(question, IDNO));
    }
    ExpectEndsWithZero(*stub);
    EXPECT_EQ(ReadText(scene.Out + "a.txt"), GetParam().Ticked ? "old a" : "new a");
    EXPECT_EQ(ReadText(scene.Out + "b.txt"), "new b");
    EXPECT_EQ(FolderListing(scene.Folder), std::vector<std::string>{"setup.exe"});
}

INSTANTIATE_TEST_SUITE_P(Box, DestinationDialogOk,
                         ::testing::Values(ConfirmCase{"Ticked", true},
                                           ConfirmCase{"Cleared", false}),
                         CaseName());

struct FieldCase
{
    const char* Name;
    const char* Text;
};

class DestinationDialogField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(DestinationDialogField, MeansTheProgramFolder)
{
    Scene scene(Files({{"a.txt", "a"}}));
    auto stub = scene.Run("");
    ASSERT_STARTED(stub);
    HWND dialog = stub->WaitDialog(DialogCaption);
    ASSERT_NE(dialog, nullptr);
    SetControlText(dialog, EditId, GetParam().Text);
    Click(dialog, IDOK);
    ExpectEndsWithZero(*stub);
    EXPECT_EQ(ReadText(scene.Folder + "a.txt"), "a");
    EXPECT_TRUE(FolderListing(scene.Work).empty()) << "written into the working folder";
}

INSTANTIATE_TEST_SUITE_P(Text, DestinationDialogField,
                         ::testing::Values(FieldCase{"Dot", "."}, FieldCase{"Empty", ""}),
                         CaseName());

BOOL CALLBACK AddChildText(HWND child, LPARAM texts)
{
    reinterpret_cast<std::vector<std::string>*>(texts)->push_back(TextOf(child));
    return TRUE;
}

// The texts of a window's controls, in the order the system lists them.
std::vector<std::string> ChildTexts(HWND window)
{
    std::vector<std::string> texts;
    EnumChildWindows(window, AddChildText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

TEST(DestinationDialog, BrowserShowsItsTitleAndCancelLeavesTheField)
{
    Scene scene(Files({{"a.txt", "a"}}));
    auto stub = scene.Run("");
    ASSERT_STARTED(stub);
    HWND dialog = stub->WaitDialog(DialogCaption);
    ASSERT_NE(dialog, nullptr);
    const std::string field = scene.Out + "Tools";
    SetControlText(dialog, EditId, field);
    Click(dialog, BrowseId);
    HWND browser = nullptr;
    WaitUntil([&] {
        for (HWND window : stub->Dialogs())
            if (window != dialog && GetWindow(window, GW_OWNER) == dialog)
                browser = window;
        return browser != nullptr || !stub->Running();
    });
    ASSERT_NE(browser, nullptr) << "no folder browser over the dialog";
    std::vector<std::string> texts = ChildTexts(browser);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Please select the destination dir:"),
              texts.end())
        << "the browser's title";
    SaveShot(SettledScreen(), Around({dialog, browser}), "browser.png");
    Click(browser, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(browser); })) << "the browser stays open";
    EXPECT_EQ(ControlText(dialog, EditId), field);
    Click(dialog, IDCANCEL);
    ExpectEndsWithZero(*stub);
}

// ---- The progress window ----

// Two entries of equal size whose targets exist, so that the program waits at a question
// before each: there the window holds still to be looked at.
struct HeldScene : Scene
{
    HeldScene()
        : Scene(Files({{"a.txt", std::string(1000, 'a')}, {"b.txt", std::string(1000, 'b')}}))
    {
        Write(Folder + "a.txt", "old a");
        Write(Folder + "b.txt", "old b");
    }
};

TEST(ProgressWindow, ShowsTheFileAndBothBarsAtZeroPercentAtTheStart)
{
    HeldScene scene;
    auto stub = scene.Run("/S");
    ASSERT_STARTED(stub);
    MessageBoxView question = stub->WaitMessageBox();
    HWND progress = stub->WaitDialog(ProgressCaption, 0);
    ASSERT_NE(progress, nullptr) << "no progress window behind the first question";
    ExpectMessage(question, scene.Folder + "a.txt", OverwriteCaption, progress, Question);
    EXPECT_EQ(ControlText(progress, ProgressLabelId), "Unzip:");
    EXPECT_EQ(ControlText(progress, StatusId), "From: setup.exe\rTo:   " + scene.Folder + "a.txt");
    EXPECT_EQ(ControlText(progress, IDCANCEL), "&Cancel");
    ExpectBar(GetDlgItem(progress, EntryBarId), 0, "entry");
    ExpectBar(GetDlgItem(progress, OverallBarId), 0, "overall");
    SaveShot(SettledScreen(), Around(stub->Dialogs()), "question.png");

    EXPECT_TRUE(stub->Answer(question, IDNO));
    question = stub->WaitMessageBox();
    EXPECT_EQ(ControlText(progress, StatusId), "From: setup.exe\rTo:   " + scene.Folder + "b.txt");
    EXPECT_TRUE(stub->Answer(question, IDNO));
    ExpectEndsWithZero(*stub);
}

// At the last entry's question the overall bar's base is 51 (half of the archive, plus the one
// the last entry gets), so the entry's percentages move it from 51 through 76 to 101.
TEST(ProgressWindow, DrawsBothBarsAtEachPercentageAndMoreThanAHundredAsAHundred)
{
    HeldScene scene;
    auto stub = scene.Run("/S");
    ASSERT_STARTED(stub);
    EXPECT_TRUE(stub->Answer(stub->WaitMessageBox(), IDNO));
    MessageBoxView question = stub->WaitMessageBox();
    ASSERT_EQ(question.Text, scene.Folder + "b.txt");
    HWND progress = stub->WaitDialog(ProgressCaption, 0);
    ASSERT_NE(progress, nullptr);
    HWND entryBar = GetDlgItem(progress, EntryBarId);
    HWND overallBar = GetDlgItem(progress, OverallBarId);

    SendPercent(progress, 0);
    ExpectBar(entryBar, 0, "entry");
    ExpectBar(overallBar, 51, "overall");
    SendPercent(progress, 50);
    ExpectBar(entryBar, 50, "entry");
    ExpectBar(overallBar, 76, "overall");
    SaveShot(SettledScreen(), Around(stub->Dialogs()), "progress-50.png");
    SendPercent(progress, 100);
    ExpectBar(entryBar, 100, "entry");
    // 101 % is drawn exactly as 100 %: a full bar reading "100 %".
    ExpectBar(overallBar, 100, "overall");
    Image screen = CaptureScreen();
    Image entry = Crop(screen, ClientRectOnScreen(entryBar));
    Image overall = Crop(screen, ClientRectOnScreen(overallBar));
    EXPECT_TRUE(entry.Width == overall.Width && entry.Pixels == overall.Pixels)
        << "the overall bar at 101 % differs from the entry bar at 100 %";

    EXPECT_TRUE(stub->Answer(question, IDNO));
    ExpectEndsWithZero(*stub);
    EXPECT_EQ(ReadText(scene.Folder + "a.txt"), "old a");
    EXPECT_EQ(ReadText(scene.Folder + "b.txt"), "old b");
}

TEST(ProgressWindow, SystemMenuOffersNeitherMaximizeNorSize)
{
    HeldScene scene;
    auto stub = scene.Run("/S");
    ASSERT_STARTED(stub);
    MessageBoxView question = stub->WaitMessageBox();
    HWND progress = stub->WaitDialog(ProgressCaption, 0);
    ASSERT_NE(progress, nullptr);
    SystemMenuView menu = ReadSystemMenu(progress, ProbePath);
    ASSERT_TRUE(menu.Read) << "the probe could not read the menu inside the stub";
    EXPECT_FALSE(menu.Maximize);
    EXPECT_FALSE(menu.Size);
    EXPECT_TRUE(menu.Move);
    EXPECT_TRUE(menu.Close);
    EXPECT_TRUE(stub->Answer(question, IDCANCEL));
    ExpectMessage(stub->WaitMessageBox(), "Unzip aborted!", scene.Program, progress, Exclamation);
    EXPECT_TRUE(stub->Answer(stub->WaitMessageBox(0), IDOK));
    ExpectEndsWithZero(*stub);
}

TEST(ProgressWindow, CancelDuringALargeEntryLeavesNoPartialFile)
{
    constexpr uint32_t Size = 256u << 20;
    ZipBuilder zip = Files({{"first.txt", "first"}});
    zip.Entries.push_back(ZeroEntry("large.bin", Size));
    zip.Add("last.txt", "last");
    Scene scene(zip);
    const std::string target = scene.Folder + "large.bin";
    auto stub = scene.Run("/O");
    ASSERT_STARTED(stub);
    // Caught a quarter of the way into the entry, the program is held still while the screen
    // is looked at and the click is posted.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    auto quarter = [&] {
        return GetFileAttributesExW(WideOf(target).c_str(), GetFileExInfoStandard, &data) &&
               data.nFileSizeLow >= Size / 4;
    };
    DWORD start = GetTickCount();
    while (!quarter() && stub->Running() && GetTickCount() - start < UiTimeoutMs)
        Sleep(1);
    ASSERT_NE(SuspendThread(stub->MainThread()), static_cast<DWORD>(-1));
    GetFileAttributesExW(WideOf(target).c_str(), GetFileExInfoStandard, &data);
    bool partial = data.nFileSizeLow != 0 && data.nFileSizeLow < Size;
    HWND progress = stub->WaitDialog(ProgressCaption, 0);
    BarView entryBar;
    if (progress != nullptr) {
        Image screen = SettledScreen();
        entryBar = ReadBar(screen, GetDlgItem(progress, EntryBarId));
        SaveShot(screen, Around({progress}), "progress-running.png");
        Click(progress, IDCANCEL);
    }
    ResumeThread(stub->MainThread());
    ASSERT_TRUE(partial) << "not caught during the entry: " << data.nFileSizeLow << " bytes";
    ASSERT_NE(progress, nullptr);
    // The bar moves while the program is busy, without a message loop of its own.
    EXPECT_GT(entryBar.Filled, 0) << "entry bar during the entry: " << entryBar.Describe();
    EXPECT_EQ(entryBar.Other, 0) << "entry bar during the entry: " << entryBar.Describe();

    ExpectMessage(stub->WaitMessageBox(), "Unzip aborted!", scene.Program, progress, Exclamation);
    EXPECT_FALSE(PathExists(target)) << "the partial file stays";
    EXPECT_EQ(FolderListing(scene.Folder), (std::vector<std::string>{"first.txt", "setup.exe"}));
    EXPECT_TRUE(stub->Answer(stub->WaitMessageBox(0), IDOK));
    ExpectEndsWithZero(*stub);
}

// ---- The questions ----

struct AnswerCase
{
    const char* Name;
    const char* Arguments;
    bool ReadOnly;        // the existing a.txt is write-protected
    int OverwriteAnswer;  // 0: that question must not come
    int ProtectAnswer;    // 0: that question must not come
};

class Questions : public ::testing::TestWithParam<AnswerCase> {};

// a.txt exists; b.txt comes after it.
TEST_P(Questions, AnswersDecideAboutTheExistingFile)
{
    const AnswerCase& c = GetParam();
    Scene scene(Files({{"a.txt", "new a"}, {"b.txt", "new b"}}));
    const std::string target = scene.Folder + "a.txt";
    Write(target, "old a");
    if (c.ReadOnly)
        SetFileAttributesW(WideOf(target).c_str(), FILE_ATTRIBUTE_READONLY);
    auto stub = scene.Run(c.Arguments);
    ASSERT_STARTED(stub);
    HWND progress = nullptr;
    int last = 0;

    const struct
    {
        int Answer;
        const char* Caption;
        const char* Icon;
    } questions[] = {{c.OverwriteAnswer, OverwriteCaption, Question},
                     {c.ProtectAnswer, WriteProtectedCaption, Hand}};

    for (const auto& q : questions) {
        if (q.Answer == 0)
            continue;
        MessageBoxView question = stub->WaitMessageBox();
        progress = stub->WaitDialog(ProgressCaption, 0);
        ExpectMessage(question, target, q.Caption, progress, q.Icon);
        ASSERT_EQ(question.Caption, q.Caption);
        EXPECT_TRUE(GetDlgItem(question.Window, IDYES) && GetDlgItem(question.Window, IDNO) &&
                    GetDlgItem(question.Window, IDCANCEL))
            << "Yes, No and Cancel";
        if (q.Icon == Hand && q.Answer == IDYES)
            SaveShot(SettledScreen(), Around(stub->Dialogs()), "question-protected.png");
        EXPECT_TRUE(stub->Answer(question, q.Answer));
        last = q.Answer;
    }
    bool replaced = last == IDYES;
    if (last == IDCANCEL) {
        ExpectMessage(stub->WaitMessageBox(), "Unzip aborted!", scene.Program, progress,
                      Exclamation);
        EXPECT_TRUE(stub->Answer(stub->WaitMessageBox(0), IDOK));
    }
    ExpectEndsWithZero(*stub);
    EXPECT_EQ(ReadText(target), replaced ? "new a" : "old a");
    DWORD attributes = GetFileAttributesW(WideOf(target).c_str());
    EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, c.ReadOnly && !replaced)
        << "attributes " << attributes;
    if (last == IDCANCEL)
        EXPECT_FALSE(PathExists(scene.Folder + "b.txt")) << "extracted after the cancel";
    else
        EXPECT_EQ(ReadText(scene.Folder + "b.txt"), "new b");
}

INSTANTIATE_TEST_SUITE_P(Answers, Questions,
                         ::testing::Values(AnswerCase{"OverwriteYes", "/S", false, IDYES, 0},
                                           AnswerCase{"OverwriteNo", "/S", false, IDNO, 0},
                                           AnswerCase{"OverwriteCancel", "/S", false, IDCANCEL, 0},
                                           AnswerCase{"ProtectedYesWithO", "/O", true, 0, IDYES},
                                           AnswerCase{"ProtectedNoWithO", "/O", true, 0, IDNO},
                                           AnswerCase{"ProtectedCancelWithO", "/O", true, 0,
                                                      IDCANCEL},
                                           AnswerCase{"BothYesWithS", "/S", true, IDYES, IDYES}),
                         CaseName());

// ---- The final messages ----

struct NothingCase
{
    const char* Name;
    bool WithArchive;
};

class NothingToExtract : public ::testing::TestWithParam<NothingCase> {};

TEST_P(NothingToExtract, SaysSoWithoutAProgressWindow)
{
    Scene scene(Files({{"folder/", ""}, {"empty.txt", ""}}), GetParam().WithArchive);
    auto stub = scene.Run("/O");
    ASSERT_STARTED(stub);
    MessageBoxView box = stub->WaitMessageBox();
    ExpectMessage(box, "Nothing to extract!", scene.Program, nullptr, Exclamation);
    for (HWND window : stub->Dialogs(false))
        EXPECT_NE(TextOf(window), ProgressCaption) << "a progress window was made";
    EXPECT_TRUE(stub->Answer(box, IDOK));
    ExpectEndsWithZero(*stub);
    EXPECT_EQ(FolderListing(scene.Folder), std::vector<std::string>{"setup.exe"});
}

INSTANTIATE_TEST_SUITE_P(Archive, NothingToExtract,
                         ::testing::Values(NothingCase{"None", false},
                                           NothingCase{"OnlyEmptyEntries", true}),
                         CaseName());

TEST(FinalMessage, CrcFailureInTheThirdOfFiveEntriesKeepsTheFirstTwo)
{
    ZipBuilder zip = Files({{"1.txt", "one"},
                            {"2.txt", "two"},
                            {"3.txt", "three"},
                            {"4.txt", "four"},
                            {"5.txt", "five"}});
    zip.Entries[2].Crc ^= 1;
    Scene scene(zip);
    auto stub = scene.Run("/O");
    ASSERT_STARTED(stub);
    MessageBoxView box = stub->WaitMessageBox();
    ExpectMessage(box, "Unzip NOT successful!", scene.Program, stub->WaitDialog(ProgressCaption, 0),
                  Exclamation);
    EXPECT_TRUE(stub->Answer(box, IDOK));
    ExpectEndsWithZero(*stub);
    EXPECT_EQ(FolderListing(scene.Folder),
              (std::vector<std::string>{"1.txt", "2.txt", "setup.exe"}));
    EXPECT_EQ(ReadText(scene.Folder + "1.txt"), "one");
    EXPECT_EQ(ReadText(scene.Folder + "2.txt"), "two");
}

// A folder stands where a.txt is to go: it counts as existing, and creating the file fails.
TEST(FinalMessage, WriteErrorIsCaptionedWithTheTarget)
{
    Scene scene(Files({{"a.txt", "a"}, {"b.txt", "b"}}));
    CreateDirectoryW(WideOf(scene.Folder + "a.txt").c_str(), nullptr);
    auto stub = scene.Run("/O");
    ASSERT_STARTED(stub);
    MessageBoxView box = stub->WaitMessageBox();
    ExpectMessage(box, "Error writing target file!", scene.Folder + "a.txt",
                  stub->WaitDialog(ProgressCaption, 0), Exclamation);
    SaveShot(SettledScreen(), Around(stub->Dialogs()), "write-error.png");
    EXPECT_TRUE(stub->Answer(box, IDOK));
    ExpectEndsWithZero(*stub);
    EXPECT_EQ(FolderListing(scene.Folder), (std::vector<std::string>{"a.txt", "setup.exe"}));
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        std::printf("usage: %s [gtest options] STUB SHOT_FOLDER PROBE_DLL\n", argv[0]);
        return 2;
    }
    StubPath = WindowsPath(argv[1]);
    ShotFolderHost = std::string(argv[2]) + "/";
    ShotFolder = WindowsPath(ShotFolderHost);
    ProbePath = WindowsPath(argv[3]);
    CreateDirectoryA(ShotFolder.c_str(), nullptr);
    // Only this run's failures are to be found there.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((ShotFolder + "failed-*.png").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((ShotFolder + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    ::testing::UnitTest::GetInstance()->listeners().Append(new ScreenshotOnFailure);
    return RUN_ALL_TESTS();
}
