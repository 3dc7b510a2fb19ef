#include <gtest/gtest.h>

#include <vector>

#include "files/FileSystem.h"
#include "inflate/Crc32.h"
#include "inflate/InflateState.h"
#include "support/EntryRunner.h"
#include "support/Fixtures.h"
#include "support/ZlibOracle.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#include "support/HostMessages.h"
#endif

namespace {

using EntryState = FreshState;

}  // namespace

TEST_F(EntryState, CrcMatchesZlibAtEveryLengthAndAlignment)
{
    Bytes data = RandomBytes(300, 11);
    for (std::size_t start = 0; start < 9; ++start) {
        for (std::size_t length = 0; length + start <= data.size(); length += 7) {
            Bytes part(data.begin() + static_cast<long>(start),
                       data.begin() + static_cast<long>(start + length));
            u32 acc = 0xFFFFFFFF;
            u32 returned = AddToCrc(data.data() + start, static_cast<u32>(length), acc);
            EXPECT_EQ(returned, acc);
            EXPECT_EQ(~acc, ZlibCrc(part)) << start << " " << length;
        }
    }
    // Chained calls give the CRC of the whole.
    u32 acc = 0xFFFFFFFF;
    AddToCrc(data.data(), 13, acc);
    AddToCrc(data.data() + 13, 287, acc);
    EXPECT_EQ(~acc, ZlibCrc(data));
}

TEST_F(EntryState, TableHoldsTheByteRemainders)
{
    EXPECT_EQ(InflateState.CrcTable[0], 0u);
    EXPECT_EQ(InflateState.CrcTable[1], 0x77073096u);
    EXPECT_EQ(InflateState.CrcTable[255], 0x2D02EF8Du);
}

TEST_F(EntryState, EmptyStoredEntryReadsAndReportsNothing)
{
    EntryInput input;
    input.Behind = {1, 2, 3};
    EntryOutput out = RunEntry(EntryMethod::Stored, input);
    EXPECT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written.empty());
    EXPECT_EQ(out.Crc, 0u);
}

TEST_F(EntryState, StoredEntryEndingEarlyKeepsWhatArrived)
{
    Bytes data = RandomBytes(40000, 11);
    EntryInput input;
    input.Data = data;
    input.SizeGiven = true;
    input.CompressedSize = 40010;
    EntryOutput out = RunEntry(EntryMethod::Stored, input);
    EXPECT_EQ(out.Result, ResultReadFailed);
    EXPECT_TRUE(out.Written == data);
    EXPECT_EQ(out.Crc, ZlibCrc(data));
    EXPECT_TRUE(out.ArchiveClosedEarly);
}

TEST_F(EntryState, SizePastTwoGiBIsASizeLikeAnyOther)
{
    EntryInput input;
    input.Data = RandomBytes(100, 11);
    input.SizeGiven = true;
    input.CompressedSize = 0x80000000u;
    EntryOutput out = RunEntry(EntryMethod::Stored, input);
    EXPECT_EQ(out.Result, ResultReadFailed) << "the data ends long before";
    EXPECT_TRUE(out.Written == input.Data);
}

#if !defined(_WIN32)
namespace {

std::vector<LPARAM>* Sent;

void RecordPercentages(std::vector<LPARAM>& into)
{
    Sent = &into;
    HostOnSendMessage([](HWND, UINT, WPARAM, LPARAM percentage) -> LRESULT {
        Sent->push_back(percentage);
        return 0;
    });
}

}  // namespace

TEST_F(EntryState, StoredEntryGoesInWindowChunksWithAReportEach)
{
    Bytes data = RandomBytes(70000, 11);
    std::vector<LPARAM> percentages;
    RecordPercentages(percentages);
    EntryInput input;
    input.Data = data;
    input.Behind = {9, 9, 9};
    input.ProgressWindow = reinterpret_cast<HWND>(0x10);
    input.ProgressCommandId = 120;
    EntryOutput out = RunEntry(EntryMethod::Stored, input);
    EXPECT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == data);
    EXPECT_EQ(out.Crc, ZlibCrc(data));
    EXPECT_EQ(percentages, (std::vector<LPARAM>{0, 46, 93, 100}));
    EXPECT_EQ(HostPeekCalls(), 4u);  // the setup's pump and one per chunk
    EXPECT_FALSE(out.ArchiveClosedEarly);
}

TEST_F(EntryState, StoredEntryAbortFinishesTheChunkInHand)
{
    Bytes data = RandomBytes(70000, 11);
    HostOnSendMessage([](HWND, UINT, WPARAM, LPARAM percentage) -> LRESULT {
        if (percentage == 46)
            RequestAbort();
        return 0;
    });
    EntryInput input;
    input.Data = data;
    input.ProgressWindow = reinterpret_cast<HWND>(0x10);
    input.ProgressCommandId = 120;
    EntryOutput out = RunEntry(EntryMethod::Stored, input);
    EXPECT_EQ(out.Result, ResultAborted);
    EXPECT_EQ(out.Written.size(), 32768u);
}

TEST_F(EntryState, KeyPollWithoutAWindowSetsAndClearsTheAbortFlag)
{
    std::vector<int> asked;
    static std::vector<int>* keys;
    keys = &asked;
    HostOnKeyState([](int key) -> SHORT {
        keys->push_back(key);
        return keys->size() == 1 ? static_cast<SHORT>(0x8000) : 0;
    });
    InflateState.CompressedSize = 1000;
    InflateState.ProgressCommandId = 120;
    InflateState.BytesRead = 100;
    ReportEntryProgress();
    EXPECT_TRUE(InflateState.AbortFlag);
    ReportEntryProgress();  // same percentage: no poll
    EXPECT_EQ(asked.size(), 1u);
    InflateState.BytesRead = 200;
    ReportEntryProgress();
    EXPECT_FALSE(InflateState.AbortFlag);
    EXPECT_EQ(asked, (std::vector<int>{120, 120}));

    // A stored copy stops after the chunk whose report saw the key down.
    InflateStateReset();
    keys->clear();
    EntryInput input;
    input.Data = RandomBytes(70000, 11);
    input.ProgressCommandId = 120;
    EntryOutput out = RunEntry(EntryMethod::Stored, input);
    EXPECT_EQ(out.Result, ResultAborted);
    EXPECT_EQ(out.Written.size(), 32768u);
}

TEST_F(EntryState, MessagesFollowTheClockAndCancelIsAnsweredWithinTheBound)
{
    // A clock that moves 1 ms at each reading, about once a block; Cancel is clicked at 20 ms.
    static std::vector<DWORD> peeks;
    Bytes data = RandomBytes(1 << 20, 5);
    for (EntryMethod method : {EntryMethod::Stored, EntryMethod::Deflated}) {
        HostMessagesReset();
        HostSetClockStep(1);
        peeks.clear();
        HostOnPeek([](unsigned) {
            peeks.push_back(HostClockNow());
            if (HostClockNow() >= 20)
                RequestAbort();
        });
        EntryInput input;
        input.Data = method == EntryMethod::Stored ? data : ZlibDeflate(data, 6, 0);
        EntryOutput out = RunEntry(method, input);
        EXPECT_EQ(out.Result, ResultAborted);
        ASSERT_GE(peeks.size(), 3u);
        EXPECT_LT(peeks.back(), 20u + 50u) << "the click answered within 50 ms";
        for (std::size_t i = 2; i < peeks.size(); ++i) {
            DWORD gap = peeks[i] - peeks[i - 1];
            EXPECT_GE(gap, ServiceIntervalMs) << "not by the block: pump " << i;
            EXPECT_LE(gap, 50u) << "pump " << i;
        }
    }
}

TEST_F(EntryState, PercentageArithmetic)
{
    std::vector<LPARAM> percentages;
    RecordPercentages(percentages);
    InflateState.ProgressWindow = reinterpret_cast<HWND>(0x10);
    InflateState.ProgressCommandId = 120;
    auto report = [&](u32 size, u32 read) {
        percentages.clear();
        InflateState.LastPercentage = -1;
        InflateState.CompressedSize = size;
        InflateState.BytesRead = read;
        ReportEntryProgress();
        return percentages.empty() ? LPARAM{-1} : percentages[0];
    };
    EXPECT_EQ(report(3000000, 1000000), 33);
    EXPECT_EQ(report(3000000, 1000001), 33);
    // Beyond the switch-over the product would overflow 32 bits.
    EXPECT_EQ(report(60000000, 30000000), 50);
    EXPECT_EQ(report(2147483547, 21474835), 0);
    EXPECT_EQ(report(2147483547, 21474837), 1);
    EXPECT_EQ(report(0xFFFFFF00u, 0x80000000u), 50);
    EXPECT_EQ(report(0x80000000u, 2000000), 0);
    // Read-ahead past the size is capped.
    EXPECT_EQ(report(100, 2048), 100);
    EXPECT_EQ(report(1, 2048 * 2000), 100);
    // Nothing at all for an empty entry.
    EXPECT_EQ(report(0, 2048), -1);
    // The same percentage twice gives one message.
    percentages.clear();
    InflateState.CompressedSize = 1000;
    InflateState.BytesRead = 500;
    ReportEntryProgress();
    ReportEntryProgress();
    EXPECT_EQ(percentages, (std::vector<LPARAM>{50}));
}

TEST_F(EntryState, SmallDeflatedEntryStopsReadingAfterTheSlack)
{
    // 100 bytes of garbage claimed as an entry: the first refill reads a whole block, the
    // next finds the entry and its slack fetched and reads nothing.
    InflateState.CompressedSize = 100;
    EntryInput input;
    input.Data = Bytes(100, 0xFF);  // a stored block would need LEN/NLEN; this is type 3
    input.Behind = Bytes(5000, 0);
    EntryOutput out = RunEntry(EntryMethod::Deflated, input, [](void*) {
        EXPECT_EQ(InflateState.BytesRead, 2048);
        InflateState.BitCount = 0;
        InflateState.InputPosition = static_cast<i16>(InflateState.InputLastIndex + 1);
        unsigned peeks = HostPeekCalls();
        EnsureBits(8);
        EXPECT_TRUE(InflateState.InputExhausted);
        EXPECT_EQ(InflateState.BytesRead, 2048);
        EXPECT_EQ(HostPeekCalls(), peeks);
    });
    EXPECT_EQ(out.Result, ResultBadData);
}

TEST_F(EntryState, WriteFailureOnTheLastWindowBeeps)
{
    EntryInput input;
    input.Data = RandomBytes(1000, 11);
    input.FailWritesAfter = 999;
    EntryOutput out = RunEntry(EntryMethod::Stored, input);
    EXPECT_EQ(out.Result, ResultWriteFailed);
    EXPECT_EQ(HostBeeps(), 1u);
    // The CRC still covers every byte the entry produced.
    EXPECT_EQ(out.Crc, ZlibCrc(input.Data));
}

TEST_F(EntryState, ArchiveClosedAfterAFailedReadIsNeverClosedAgain)
{
    // The header claims far more data than the archive holds: the first failing refill
    // closes the archive, later ones must not close whatever file now has that handle.
    TempDir dir;
    WriteBytes(dir / "other.bin", Bytes(10, 7));
    EntryInput input;
    input.Data = {0x01, 100, 0, 0x9B, 0xFF, 1, 2, 3, 4, 5};  // stored, LEN 100, cut short
    input.SizeGiven = true;
    input.CompressedSize = 100000;
    static std::string otherPath;
    otherPath = dir / "other.bin";
    EntryOutput out = RunEntry(EntryMethod::Deflated, input, [](void*) {
        ASSERT_EQ(InflateState.ArchiveFile, INVALID_HANDLE_VALUE);
        HANDLE other = FsOpenRead(otherPath.c_str(), FsModeRead);
        ASSERT_EQ(FsLastError, 0);
        InflateState.InputExhausted = false;
        RefillInput();
        EXPECT_TRUE(InflateState.InputExhausted);
        u16 got = 0;
        unsigned char buffer[16];
        FsRead(other, buffer, sizeof buffer, got);
        EXPECT_EQ(FsLastError, 0);
        EXPECT_EQ(got, 10);
        FsClose(other);
    });
    EXPECT_EQ(out.Result, ResultReadFailed);
    EXPECT_TRUE(out.ArchiveClosedEarly);
    EXPECT_EQ(HostOpenFiles(), 0u);
}
#endif
