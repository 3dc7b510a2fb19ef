#include <gtest/gtest.h>

#include "inflate/InflateState.h"
#include "progress/ProgressDialog.h"
#include "support/Fixtures.h"

#if !defined(_WIN32)
#include "support/HostWindows.h"
#endif

using Progress = FreshState;

TEST_F(Progress, EntryBaseIsTheTruncatedShareOfTheEntriesBefore)
{
    struct Case
    {
        double Total;
        double DoneBefore;
        double Size;
        i32 Base;
        double EntrySize;
    } const cases[] = {
        {0, 0, 10, 0, 0},  // nothing to weigh: the overall bar stays put
        {-5, 0, 10, 0, 0},
        {100, 0, 10, 0, 10},
        {100, 33, 33, 33, 33},
        {100, 66, 34, 67, 34},  // the last entry starts one higher
        {3, 1, 2, 34, 2},       // 33.3 truncated, then the last entry's +1
        {100, 0, 100, 0, 100},  // a last entry at 0 stays there
        {100, 99, 1, 100, 1},   // 99 + 1
        {100, 100, 0, 100, 0},  // a last empty entry at 100 stays there
        {100, 10, 20, 10, 20},
        {2000000000, 1000000000, 600000000, 50, 600000000},
        {0x1p40, 0x1p39, 0x1p38, 50, 0x1p38},  // sizes past 32 bits, which no sum wraps
    };

    for (const Case& c : cases) {
        ProgressSetTotal(c.Total);
        ProgressBeginEntry(c.DoneBefore, c.Size);
        EXPECT_EQ(ProgressState.BasePercent, c.Base) << c.Total << " " << c.DoneBefore;
        EXPECT_EQ(ProgressState.EntrySize, c.EntrySize) << c.Total << " " << c.DoneBefore;
    }
}

TEST_F(Progress, OverallPercentWeighsTheEntryWithoutOverflow)
{
    struct Case
    {
        double Total;
        double DoneBefore;
        double Size;
        i32 Percent;
        i32 Overall;
    } const cases[] = {
        {1000, 0, 500, 50, 25},
        {1000, 500, 500, 99, 50 + 1 + 49},
        {300, 100, 100, 33, 33 + 11},
        {40000000, 0, 20000000, 50, 25},
        {40000000, 0, 10000000, 100, 25},
        {2147483647, 0, 2147483600, 100, 99},
        {2147483647, 1000, 2147482647, 100, 99},  // a last entry at 0 gets no +1
        {0x1p33, 0x1p32, 0x1p32, 50, 50 + 1 + 25},
        {0x1p62 + 0x1p40, 0x1p40, 0x1p62, 99, 98},
    };

    for (const Case& c : cases) {
        ProgressSetTotal(c.Total);
        ProgressBeginEntry(c.DoneBefore, c.Size);
        EXPECT_EQ(ProgressOverallPercent(c.Percent), c.Overall) << c.Total << " " << c.Size;
    }
}

#if !defined(_WIN32)
namespace {

const HostDrawing& LastDrawing(HWND control)
{
    static const HostDrawing none;
    const auto& all = HostDrawings(control);
    return all.empty() ? none : all.back();
}

}  // namespace

TEST_F(Progress, WindowOpensWithoutMaximizeOrSizeAndBothBarsAtZero)
{
    HWND window = ProgressCreate();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(HostDialogTemplate(window), "DLG2FILEACTIONMIN");
    EXPECT_TRUE(HostIsVisible(window));
    EXPECT_EQ(HostDeletedMenuCommands(window), (std::vector<UINT>{SC_MAXIMIZE, SC_SIZE}));
    EXPECT_EQ(ProgressState.EntryBar, GetDlgItem(window, 200));
    EXPECT_EQ(ProgressState.OverallBar, GetDlgItem(window, 210));
    SendMessageA(window, WM_PAINT, 0, 0);
    EXPECT_EQ(LastDrawing(ProgressState.EntryBar).Texts.at(0).Text, "0 %");
    EXPECT_EQ(LastDrawing(ProgressState.OverallBar).Texts.at(0).Text, "0 %");
}

TEST_F(Progress, BarFillsItsShareAndDrawsItsTextInTwoColours)
{
    HostSetControlSize(324, 21);  // 322 by 19 inside the frame
    HWND window = ProgressCreate();
    HWND bar = ProgressState.EntryBar;

    struct Case
    {
        i32 Percent;
        LONG Filled;
        const char* Text;
    } const cases[] = {
        {0, 0, "0 %"},       {50, 161, "50 %"},   {33, 106, "33 %"},
        {100, 322, "100 %"}, {150, 322, "100 %"}, {-7, 0, "0 %"},
    };

    for (const Case& c : cases) {
        ProgressDrawBar(c.Percent, bar);
        const HostDrawing& d = LastDrawing(bar);
        ASSERT_EQ(d.Fills.size(), 2u);
        EXPECT_EQ(d.Fills[0].Rect.left, 1 + c.Filled) << c.Percent;
        EXPECT_EQ(d.Fills[0].Rect.right, 323);
        EXPECT_EQ(d.Fills[0].Color, HostSystemColor(COLOR_WINDOW));
        EXPECT_EQ(d.Fills[1].Rect.left, 1);
        EXPECT_EQ(d.Fills[1].Rect.right, 1 + c.Filled) << c.Percent;
        EXPECT_EQ(d.Fills[1].Rect.top, 1);
        EXPECT_EQ(d.Fills[1].Rect.bottom, 20);
        EXPECT_EQ(d.Fills[1].Color, HostSystemColor(COLOR_HIGHLIGHT));
        EXPECT_EQ(d.BackgroundMode, TRANSPARENT);
        ASSERT_EQ(d.Texts.size(), 2u);
        EXPECT_EQ(d.Texts[0].Text, c.Text);
        EXPECT_EQ(d.Texts[0].Format, 0x25u);
        EXPECT_EQ(d.Texts[0].Rect.bottom, 19) << "one above the inner bottom";
        EXPECT_EQ(d.Texts[0].Color, HostSystemColor(COLOR_WINDOWTEXT));
        EXPECT_FALSE(d.Texts[0].Clipped);
        EXPECT_EQ(d.Texts[1].Text, c.Text);
        EXPECT_EQ(d.Texts[1].Color, HostSystemColor(COLOR_HIGHLIGHTTEXT));
        EXPECT_TRUE(d.Texts[1].Clipped);
        EXPECT_EQ(d.Texts[1].Clip.right, 1 + c.Filled);
        EXPECT_EQ(d.Texts[1].Clip.bottom, 19);
        EXPECT_TRUE(d.Flushed);
    }
    EXPECT_EQ(HostOpenDeviceContexts(), 0u);
    EXPECT_EQ(HostLiveBrushes(), 0u);
    ProgressDrawBar(50, nullptr);  // no bar, no drawing
    DestroyWindow(window);
}

TEST_F(Progress, UpdatesRedrawOnChangeAndAlwaysAtZeroAndHundred)
{
    HWND window = ProgressCreate();
    ProgressSetTotal(1000);
    ProgressBeginEntry(0, 500);
    HWND entry = ProgressState.EntryBar;
    HWND overall = ProgressState.OverallBar;
    auto update = [&](LPARAM percent) { SendMessageA(window, WM_COMMAND, 120, percent); };
    update(0);
    update(0);
    EXPECT_EQ(HostDrawings(entry).size(), 2u) << "0 always redraws";
    update(40);
    update(40);
    EXPECT_EQ(HostDrawings(entry).size(), 3u) << "a repeated percentage costs nothing";
    EXPECT_EQ(LastDrawing(overall).Texts.at(0).Text, "20 %");
    update(100);
    update(100);
    EXPECT_EQ(HostDrawings(entry).size(), 5u);
    update(150);
    update(-1);
    EXPECT_EQ(HostDrawings(entry).size(), 5u) << "out of range: no drawing";
    EXPECT_EQ(ProgressState.LastEntryPercent, 100);

    // With TotalSize 0 the overall bar stays where it is.
    ProgressSetTotal(0);
    ProgressBeginEntry(0, 500);
    std::size_t overallDrawings = HostDrawings(overall).size();
    update(70);
    EXPECT_EQ(HostDrawings(overall).size(), overallDrawings);
}

TEST_F(Progress, CancelIsRequestedOnceAndAbortsAtTheNextUpdate)
{
    HWND window = ProgressCreate();
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, IDCANCEL, 0), TRUE);
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, IDCANCEL, 0), FALSE) << "already requested";
    EXPECT_FALSE(InflateState.AbortFlag);
    SendMessageA(window, WM_COMMAND, 120, 150);  // out of range, yet it passes the request on
    EXPECT_TRUE(InflateState.AbortFlag);

    ProgressReset();
    window = ProgressCreate();
    EXPECT_FALSE(ProgressState.CancelRequested) << "each window starts without a request";
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, IDCANCEL | 1u << 16, 0), FALSE)
        << "a notification, not a click";
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, 'A', 0), FALSE);
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_RETURN, 0), TRUE);
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0), FALSE);
    EXPECT_TRUE(ProgressState.CancelRequested);
}

TEST_F(Progress, WithoutAWindowNothingIsDrawn)
{
    HostFailDialogs(true);
    EXPECT_EQ(ProgressCreate(), nullptr);
    EXPECT_EQ(ProgressState.EntryBar, nullptr);
    ProgressSetTotal(100);
    ProgressBeginEntry(0, 100);
    ProgressSetEntryPercent(50);
    ProgressSetOverall(100);
    EXPECT_EQ(HostOpenDeviceContexts(), 0u);
}
#endif
