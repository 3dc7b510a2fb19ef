// The decoder's ways to stop early, each on both paths of its symbol loop. The fast path
// decodes in the middle of an input block; the plain one takes the symbols near a block's end
// and refills inside them. So every event is placed at an exact bit: a kilobyte before a
// 2048-byte boundary, a few bytes before it, and straddling it, where only the plain path can
// reach. Then the dynamic header's refusals, and archives that cannot be read.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/ZipFormat.h"
#include "extract/ExtractEntry.h"
#include "files/FileSystem.h"
#include "inflate/InflateState.h"
#include "support/DeflateWriter.h"
#include "support/EntryRunner.h"
#include "support/Fixtures.h"
#include "support/ZlibOracle.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#include "support/HostMessages.h"
#endif

namespace {

using DecodePaths = FreshState;

// Every event is placed against the 16th block boundary: its 32768 bytes hold about as many
// 8-bit literals, so with a few copies (or 9-bit literals) the window's last byte can be made
// to come right at an event.
constexpr std::size_t Boundary = std::size_t{16} * InputBlockSize * 8;

struct Position
{
    const char* Name;
    std::size_t Bit;
};

const Position Positions[] = {
    {"a kilobyte before a block's end", Boundary - std::size_t{8} * 1024},
    {"five bytes before a block's end", Boundary - 40},
    {"straddling a block's end", Boundary - 3},
};

bool HasCopies(const BlockCode& code)
{
    return code.Distance[0] != 0;
}

// The literal/length symbol of a copy of 3 to 10 bytes or of 258.
u32 CopySymbol(u32 length)
{
    return length == 258 ? 285 : 254 + length;
}

// A copy at distance 1 (symbol 0, no extra bits).
void PutCopy(const BlockCode& code, BitWriter& w, u32 length)
{
    code.PutLiteral(w, CopySymbol(length));
    code.PutDistance(w, 0);
}

int CopyBits(const BlockCode& code, u32 length)
{
    return code.Literal[CopySymbol(length)] + code.Distance[0];
}

// The fixed code (with the two distance codes that have no meaning), and dynamic codes with
// its literal/length lengths: 32 five-bit distance codes, none at all, and one whose distance
// 30 lies in a sub-table below the 6-bit root.
const BlockCode Fixed(BlockFixed, FixedLiteralLengths(), std::vector<int>(32, 5));
const BlockCode Dynamic(BlockDynamic, FixedLiteralLengths(), std::vector<int>(32, 5));
const BlockCode NoDistances(BlockDynamic, FixedLiteralLengths(), {0});

BlockCode DeepDistances()
{
    std::vector<int> d(31, 0);
    for (int i = 0; i < 6; ++i)
        d[static_cast<std::size_t>(i)] = i + 1;
    d[6] = 7;
    d[30] = 7;
    return BlockCode(BlockDynamic, FixedLiteralLengths(), d);
}

const BlockCode Deep = DeepDistances();

constexpr u32 Literal8 = 'a';   // 8 bits in every code here
constexpr u32 Literal9 = 0xC8;  // 9 bits

// Symbols that make exactly `output` bytes and end exactly at bit `end`: an 'a', copies of it
// (258 or 3 bytes in 12 or 13 bits), then 8- and 9-bit literals for the remaining bytes and
// bits. Output 0 asks for literals only, as many as fit. Returns the bytes they make.
Bytes PutFiller(BitWriter& w, const BlockCode& code, u32 output, std::size_t end)
{
    using i64 = long long;
    const i64 bits = static_cast<i64>(end) - static_cast<i64>(w.BitsWritten());
    const i64 lit = code.Literal[Literal8];
    EXPECT_EQ(code.Literal[Literal9], lit + 1);
    bool copies = output != 0 && HasCopies(code);
    // The fewest literals whose bits can make up the count, with 9-bit ones.
    if (output == 0)
        output = static_cast<u32>(1 + bits / (lit + 1));
    const i64 most258 = copies ? (static_cast<i64>(output) - 1) / 258 : 0;
    for (i64 n258 = 0; n258 <= most258; ++n258) {
        for (i64 n3 = 0; n3 <= (copies ? 3000 : 0); ++n3) {
            i64 rest = static_cast<i64>(output) - 1 - 258 * n258 - 3 * n3;
            i64 left = bits - lit - n258 * CopyBits(code, 258) - n3 * CopyBits(code, 3);
            if (rest < 0)
                break;
            if (left < lit * rest || left > (lit + 1) * rest)
                continue;
            i64 nine = left - lit * rest;
            code.PutLiteral(w, Literal8);
            for (i64 i = 0; i < n258; ++i)
                PutCopy(code, w, 258);
            for (i64 i = 0; i < n3; ++i)
                PutCopy(code, w, 3);
            for (i64 i = 0; i < rest - nine; ++i)
                code.PutLiteral(w, Literal8);
            for (i64 i = 0; i < nine; ++i)
                code.PutLiteral(w, Literal9);
            EXPECT_EQ(w.BitsWritten(), end);
            Bytes made(static_cast<std::size_t>(output - nine), Literal8);
            made.insert(made.end(), static_cast<std::size_t>(nine), Literal9);
            return made;
        }
    }
    ADD_FAILURE() << "no filler of " << output << " bytes in " << bits << " bits";
    return {};
}

// A stream with an event at a chosen bit, and where the decoder may stop because of it.
struct Placed
{
    Bytes Stream;
    Bytes Before;           // the output up to the event
    std::size_t Start = 0;  // the event's first bit
    std::size_t End = 0;    // the bit after it
};

using Event = std::function<void(const BlockCode&, BitWriter&)>;

// One final block: `output` bytes of filler up to bit `at`, the event, the end of the block.
Placed Place(const BlockCode& code, u32 output, std::size_t at, const Event& event)
{
    Placed p;
    BitWriter w;
    code.PutHeader(w, true);
    p.Before = PutFiller(w, code, output, at);
    p.Start = w.BitsWritten();
    event(code, w);
    p.End = w.BitsWritten();
    code.PutLiteral(w, 256);
    p.Stream = w.Finish();
    return p;
}

struct CountedRun
{
    EntryOutput Out;
    std::size_t Consumed = 0;  // bits the decoder took from the stream
};

// Runs the stream as one entry; input brings the test's settings (progress, failing writes).
CountedRun RunCountingBits(const Bytes& stream, EntryInput input = {})
{
    input.Data = stream;
    input.Behind = ArchiveTail;
    CountedRun d;
    // The bytes fetched, less those of the current block not yet read, less the bits pending.
    d.Out = RunEntry(
        EntryMethod::Deflated, input,
        [](void* consumed) {
            const auto bytes = static_cast<i32>(InflateState.BytesRead) -
                               (InflateState.InputLastIndex + 1) + InflateState.InputPosition;
            *static_cast<std::size_t*>(consumed) =
                static_cast<std::size_t>(bytes) * 8 - InflateState.BitCount;
        },
        &d.Consumed);
    return d;
}

#if !defined(_WIN32)
EntryInput FailingWrites()
{
    EntryInput input;
    input.FailWritesAfter = 0;
    return input;
}
#endif

std::string Describe(const char* name, const Position& where)
{
    return std::string(name) + ", " + where.Name;
}

}  // namespace

TEST_F(DecodePaths, EveryEventIsPlacedWhereItIsMeant)
{
    // The same placements with a plain literal as the event decode completely: what the other
    // tests find at the event is the event's doing.
    for (const BlockCode* code : {&Fixed, &Dynamic, &NoDistances, &Deep}) {
        for (const Position& where : Positions) {
            Placed p = Place(*code, 0, where.Bit,
                             [](const BlockCode& c, BitWriter& w) { c.PutLiteral(w, 'z'); });
            ASSERT_EQ(p.Start, where.Bit);
            CountedRun d = RunCountingBits(p.Stream);
            Bytes expected = p.Before;
            expected.push_back('z');
            ASSERT_EQ(d.Out.Result, ResultOk) << where.Name;
            EXPECT_TRUE(d.Out.Written == expected) << where.Name;
            EXPECT_EQ(d.Out.Crc, ZlibCrc(expected));
        }
    }
}

TEST_F(DecodePaths, CodesWithoutMeaningStopTheBlockAtTheCode)
{
    struct Case
    {
        const char* Name;
        const BlockCode& UsedCode;
        Event Write;
    };

    const Case cases[] = {
        {"fixed literal/length 286, in a sub-table", Fixed,
         [](const BlockCode& c, BitWriter& w) { c.PutLiteral(w, 286); }},
        {"fixed distance 30, in the root", Fixed,
         [](const BlockCode& c, BitWriter& w) {
             c.PutLiteral(w, 257);
             c.PutDistance(w, 30);
         }},
        {"declared literal/length 287, in the root", Dynamic,
         [](const BlockCode& c, BitWriter& w) { c.PutLiteral(w, 287); }},
        {"declared distance 31, in the root", Dynamic,
         [](const BlockCode& c, BitWriter& w) {
             c.PutLiteral(w, 258);
             c.PutDistance(w, 31);
         }},
        {"declared distance 30, in a sub-table", Deep,
         [](const BlockCode& c, BitWriter& w) {
             c.PutLiteral(w, 285);
             c.PutDistance(w, 30);
         }},
        {"a length in a block without distance codes", NoDistances,
         [](const BlockCode& c, BitWriter& w) { c.PutLiteral(w, 257); }},
    };
    for (const Case& k : cases) {
        for (const Position& where : Positions) {
            Placed p = Place(k.UsedCode, 0, where.Bit, k.Write);
            HeapBlocks blocks;
            CountedRun d = RunCountingBits(p.Stream);
            std::string what = Describe(k.Name, where);
            EXPECT_EQ(d.Out.Result, ResultBadData) << what;
            EXPECT_GE(d.Consumed, p.Start) << what;
            EXPECT_LE(d.Consumed, p.End) << what;
            // The partial window is dropped.
            EXPECT_TRUE(d.Out.Written.empty()) << what;
            blocks.ExpectNoneAdded(what);
        }
    }
}

#if !defined(_WIN32)
TEST_F(DecodePaths, WriteFailureWhenTheWindowFillsStopsAtThatSymbol)
{
    // With writes that work, the same streams decode completely.
    struct Case
    {
        const char* Name;
        u32 Made;   // bytes the event makes: the window's last ones
        bool Copy;  // at distance 1, else the literal 'z'
    };

    const Case cases[] = {
        {"a literal", 1, false}, {"a copy of 258", 258, true}, {"a copy of 3", 3, true}};
    for (const Case& k : cases) {
        for (const Position& where : Positions) {
            Placed p =
                Place(Fixed, WindowSize - k.Made, where.Bit, [&](const BlockCode& c, BitWriter& w) {
                    if (k.Copy)
                        PutCopy(c, w, k.Made);
                    else
                        c.PutLiteral(w, 'z');
                });
            std::string what = Describe(k.Name, where);
            HostMessagesReset();
            CountedRun d = RunCountingBits(p.Stream, FailingWrites());
            EXPECT_EQ(d.Out.Result, ResultWriteFailed) << what;
            EXPECT_EQ(HostBeeps(), 1u) << what;
            EXPECT_GE(d.Consumed, p.Start) << what;
            EXPECT_LE(d.Consumed, p.End) << what;

            CountedRun ok = RunCountingBits(p.Stream);
            Bytes expected = p.Before;
            expected.insert(expected.end(), k.Made, k.Copy ? p.Before.back() : 'z');
            ASSERT_EQ(ok.Out.Result, ResultOk) << what;
            EXPECT_TRUE(ok.Out.Written == expected) << what;
        }
    }

    // The last, partial window.
    BitWriter w;
    Fixed.PutHeader(w, true);
    Fixed.PutLiteral(w, 'z');
    Fixed.PutLiteral(w, 256);
    HostMessagesReset();
    CountedRun d = RunCountingBits(w.Finish(), FailingWrites());
    EXPECT_EQ(d.Out.Result, ResultWriteFailed);
    EXPECT_EQ(HostBeeps(), 1u);
}

TEST_F(DecodePaths, StoredByteThatFillsTheWindowFailsToWrite)
{
    // A fixed block, then a stored block whose byte at `fill` completes the window: inside an
    // input block it is copied with its neighbours, as an input block's first byte on its own.
    for (std::size_t fill : {Boundary / 8 - 1024, Boundary / 8}) {
        const u32 before = 2000;
        const std::size_t dataStart = fill + before - (WindowSize - 1);
        BitWriter w;
        Fixed.PutHeader(w, false);
        // The filler, the end-of-block code and the stored header end at dataStart.
        PutFiller(w, Fixed, before, 8 * (dataStart - 4) - 3 - 7);
        Fixed.PutLiteral(w, 256);
        const u32 length = WindowSize - before + 64;
        PutStoredHeader(w, true, length, ~length);
        ASSERT_EQ(w.Out.size(), dataStart);
        for (u32 i = 0; i < length; ++i)
            w.Put('s', 8);
        Bytes stream = w.Finish();
        HostMessagesReset();
        CountedRun d = RunCountingBits(stream, FailingWrites());
        EXPECT_EQ(d.Out.Result, ResultWriteFailed) << fill;
        EXPECT_EQ(HostBeeps(), 1u) << fill;
        EXPECT_GE(d.Consumed, 8 * fill) << fill;
        EXPECT_LE(d.Consumed, 8 * fill + 8) << fill;

        CountedRun ok = RunCountingBits(stream);
        ASSERT_EQ(ok.Out.Result, ResultOk) << fill;
        EXPECT_EQ(ok.Out.Written.size(), before + length) << fill;
        EXPECT_EQ(ok.Out.Written.back(), 's') << fill;
    }
}

TEST_F(DecodePaths, AbortDuringSymbolsStopsAfterTheSymbolInHand)
{
    // The refill for the 16th block pumps messages, and the progress window asks to stop
    // there: the symbol in hand is finished, nothing after it is read, nothing is written.
    HostOnSendMessage([](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
        if (InflateState.BytesRead == static_cast<i32>(Boundary / 8))
            RequestAbort();
        return 0;
    });
    EntryInput progress;
    progress.ProgressWindow = reinterpret_cast<HWND>(0x10);
    progress.ProgressCommandId = 120;

    struct Case
    {
        const char* Name;
        std::size_t At;
        Event Write;
    };

    const Case cases[] = {
        {"a literal", Boundary - 3, [](const BlockCode& c, BitWriter& w) { c.PutLiteral(w, 'z'); }},
        {"a copy whose length code straddles", Boundary - 3,
         [](const BlockCode& c, BitWriter& w) { PutCopy(c, w, 258); }},
        {"a copy whose distance code straddles", Boundary - 8 - 3,
         [](const BlockCode& c, BitWriter& w) { PutCopy(c, w, 258); }},
    };
    for (const Case& k : cases) {
        Placed p = Place(Fixed, 0, k.At, k.Write);
        CountedRun d = RunCountingBits(p.Stream, progress);
        EXPECT_EQ(d.Out.Result, ResultAborted) << k.Name;
        EXPECT_EQ(d.Consumed, p.End) << k.Name;
        EXPECT_TRUE(d.Out.Written.empty()) << k.Name;
    }

    // Asked while a dynamic block's code lengths are read, the block stops before its first
    // symbol.
    BitWriter w;
    Fixed.PutHeader(w, false);
    PutFiller(w, Fixed, 0, Boundary - 600);
    Fixed.PutLiteral(w, 256);
    Dynamic.PutHeader(w, true);
    std::size_t header = w.BitsWritten();
    ASSERT_GT(header, Boundary);
    Dynamic.PutLiteral(w, 'z');
    Dynamic.PutLiteral(w, 256);
    CountedRun d = RunCountingBits(w.Finish(), progress);
    EXPECT_EQ(d.Out.Result, ResultAborted);
    EXPECT_EQ(d.Consumed, header);
}

TEST_F(DecodePaths, TableAllocationFailuresInADynamicBlock)
{
    // The code-length table, the literal/length table, and the distance table's root and
    // sub-table: whichever allocation fails, the data counts as bad and nothing leaks.
    BitWriter w;
    Deep.PutHeader(w, true);
    Deep.PutLiteral(w, 'z');
    Deep.PutLiteral(w, 256);
    Bytes stream = w.Finish();
    std::vector<i32> results = ResultsWhenAllocationsFail(stream, 20);
    std::vector<i32> expected(4, ResultBadData);
    expected.push_back(ResultOk);
    EXPECT_EQ(results, expected);
}

TEST_F(DecodePaths, ArchiveThatCannotBeReadIsAReadFailure)
{
    // /proc/self/mem starts at address 0, which is never mapped: its reads fail with EIO. A
    // read error closes the archive in the decoder's refill, and leaves it open in the stored
    // copy; an archive that was never opened fails both alike. The decoder's failed refill
    // presents the buffer's stale bytes, zeros here: they read as a stored block whose LEN
    // and NLEN disagree, a check that comes before the flag test, so that is bad data.
    struct Case
    {
        const char* Name;
        EntryMethod Method;
        bool Open;
        i32 Expected;
        bool ClosedByTheEngine;
    };

    const Case cases[] = {
        {"deflated, read error", EntryMethod::Deflated, true, ResultBadData, true},
        {"stored, read error", EntryMethod::Stored, true, ResultReadFailed, false},
        {"deflated, not open", EntryMethod::Deflated, false, ResultBadData, true},
        {"stored, not open", EntryMethod::Stored, false, ResultReadFailed, true},
    };
    TempDir dir;
    for (const Case& k : cases) {
        InflateStateReset();
        std::size_t files = HostOpenFiles();
        EntryBegin("/proc/self/mem");
        if (k.Open) {
            EXPECT_EQ(EntryOpenArchive(), ResultOk) << k.Name;
        }
        HANDLE target = FsCreate((dir / "target.bin").c_str(), 0);
        ASSERT_EQ(FsLastError, 0);
        EntryPrepareTransfer(5000, target, nullptr, 0);
        i32 result =
            EntryTransfer(k.Method == EntryMethod::Stored ? ZipMethodStored : ZipMethodDeflated);
        bool closed = InflateState.ArchiveFile == INVALID_HANDLE_VALUE;
        bool exhausted = InflateState.InputExhausted;
        FsClose(target);
        InflateState.TargetFile = INVALID_HANDLE_VALUE;
        EntryEnd();
        EXPECT_EQ(result, k.Expected) << k.Name;
        EXPECT_EQ(closed, k.ClosedByTheEngine) << k.Name;
        EXPECT_EQ(exhausted, k.Method == EntryMethod::Deflated) << k.Name;
        EXPECT_TRUE(ReadBytes(dir / "target.bin").empty()) << k.Name;
        EXPECT_EQ(HostOpenFiles(), files) << k.Name;
    }
}
#endif

TEST_F(DecodePaths, DynamicHeaderRefusals)
{
    // Counts, then code lengths that cannot make a usable code; each is bad data and leaves
    // no table behind.
    std::vector<int> threeOneBit(19, 0);
    threeOneBit[0] = threeOneBit[1] = threeOneBit[2] = 1;
    std::vector<int> twoTwoBit(19, 0);
    twoTwoBit[0] = twoTwoBit[1] = 2;
    std::vector<int> oneOneBit(19, 0);
    oneOneBit[8] = 1;

    struct Case
    {
        const char* Name;
        std::vector<int> CodeLengthCode;
        std::vector<int> Literal;
        std::vector<int> Distance;
        // What follows the counts; by default each length as its own code-length symbol.
        std::function<void(BitWriter&)> Lengths;
    };

    const Case cases[] = {
        {"an over-subscribed code-length code", threeOneBit, FixedLiteralLengths(), {5, 5}, {}},
        {"an incomplete code-length code", twoTwoBit, FixedLiteralLengths(), {5, 5}, {}},
        {"a one-bit code-length code, then its unused pattern",
         oneOneBit,
         FixedLiteralLengths(),
         {5, 5},
         [](BitWriter& w) {
             w.Put(0, 3);  // three lengths of 8
             w.Put(1, 1);  // no code-length symbol
         }},
        {"over-subscribed literal/length lengths",
         CodeLengthLengths,
         std::vector<int>(257, 1),
         {5, 5},
         {}},
        {"over-subscribed distance lengths",
         CodeLengthLengths,
         FixedLiteralLengths(),
         {1, 1, 1},
         {}},
    };
    for (const Case& k : cases) {
        BitWriter w;
        PutDynamicCounts(w, true, k.Literal.size(), k.Distance.size(), k.CodeLengthCode);
        if (k.Lengths) {
            k.Lengths(w);
        } else if (k.CodeLengthCode == CodeLengthLengths) {
            PutCodeLengthSymbols(w, EachLengthAlone(k.Literal, k.Distance));
        }
        w.Put(0, 32);
        HeapBlocks blocks;
        CountedRun d = RunCountingBits(w.Finish());
        EXPECT_EQ(d.Out.Result, ResultBadData) << k.Name;
        blocks.ExpectNoneAdded(k.Name);
    }
}
