#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "archive/ZipFormat.h"
#include "inflate/Inflate.h"
#include "inflate/InflateState.h"
#include "support/DeflateWriter.h"
#include "support/EntryRunner.h"
#include "support/Fixtures.h"
#include "support/ZlibOracle.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#include "support/HostMessages.h"
#endif

#if defined(SFX_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

namespace {

using Inflating = FreshState;

Bytes SampleText(std::size_t size)
{
    static const char* words[] = {"the ",    "window ", "of ",    "inflate ",
                                  "reads ",  "bits ",   "least ", "significant ",
                                  "first, ", "and\n",   "codes "};
    std::mt19937 random(7);
    Bytes out;
    while (out.size() < size) {
        const char* w = words[random() % 11];
        out.insert(out.end(), w, w + std::char_traits<char>::length(w));
    }
    out.resize(size);
    return out;
}

Bytes ByteRuns(std::size_t size)
{
    Bytes out;
    std::mt19937 random(3);
    while (out.size() < size)
        out.insert(out.end(), 1 + random() % 700, static_cast<unsigned char>(random() % 4));
    out.resize(size);
    return out;
}

std::vector<std::pair<std::string, Bytes>> Shapes()
{
    return {{"empty", {}},
            {"one", {0x42}},
            {"32767", SampleText(32767)},
            {"32768", SampleText(32768)},
            {"32769", ByteRuns(32769)},
            {"runs", ByteRuns(200000)},
            {"random", RandomBytes(70000)},
            {"text", SampleText(150000)}};
}

// Literal/length lengths: 'a' and 'b', end of block, and lengths 3 (symbol 257) and 258
// (symbol 285), all complete with one code left for symbol 286 when asked.
std::vector<int> SmallLiteralLengths(bool with286 = false)
{
    std::vector<int> l(with286 ? 287 : 286, 0);
    l['a'] = 2;
    l['b'] = 3;
    l[256] = 2;
    l[257] = 3;
    l[285] = with286 ? 3 : 2;
    if (with286)
        l[286] = 3;
    return l;
}

// The stream decodes to exactly these bytes, with their CRC-32 as zlib computes it.
void ExpectDecodesTo(const Bytes& stream, const Bytes& expected)
{
    EntryOutput out = RunDeflated(stream);
    ASSERT_EQ(out.Result, ResultOk);
    ASSERT_EQ(out.Written.size(), expected.size());
    EXPECT_TRUE(out.Written == expected);
    EXPECT_EQ(out.Crc, ZlibCrc(expected));
}

}  // namespace

TEST_F(Inflating, MatchesZlibAtEveryLevelAndStrategy)
{
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const auto& [name, data] : Shapes()) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : strategies) {
                if (level == 0 && strategy != Z_DEFAULT_STRATEGY)
                    continue;
                EntryOutput out = RunDeflated(ZlibDeflate(data, level, strategy));
                ASSERT_EQ(out.Result, ResultOk)
                    << name << " level " << level << " strategy " << strategy;
                ASSERT_TRUE(out.Written == data) << name << " level " << level;
                ASSERT_EQ(out.Crc, ZlibCrc(data)) << name;
            }
        }
    }
}

#if defined(SFX_HAVE_LIBDEFLATE)
TEST_F(Inflating, MatchesLibdeflateAtHighLevels)
{
    for (const auto& [name, data] : Shapes()) {
        for (int level : {1, 6, 12}) {
            libdeflate_compressor* c = libdeflate_alloc_compressor(level);
            Bytes stream(libdeflate_deflate_compress_bound(c, data.size()));
            stream.resize(libdeflate_deflate_compress(c, data.data(), data.size(), stream.data(),
                                                      stream.size()));
            libdeflate_free_compressor(c);
            ASSERT_FALSE(stream.empty());
            EntryOutput out = RunDeflated(stream);
            ASSERT_EQ(out.Result, ResultOk) << name << " level " << level;
            ASSERT_TRUE(out.Written == data) << name << " level " << level;
            ASSERT_EQ(out.Crc, ZlibCrc(data));
        }
    }
}
#endif

#if !defined(_WIN32)
TEST_F(Inflating, ShortReadsCrossEveryRefillBoundary)
{
    Bytes data = SampleText(80000);
    Bytes stream = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
    for (unsigned limit : {1u, 7u, 13u, 2047u}) {
        HostLimitReads(limit);
        EntryOutput out = RunDeflated(stream);
        ASSERT_EQ(out.Result, ResultOk) << limit;
        ASSERT_TRUE(out.Written == data) << limit;
    }
    HostLimitReads(0);
}
#endif

TEST_F(Inflating, LeavesTheReaderRightAfterTheLastBlock)
{
    // Whatever the decoder held in its bit buffer or read ahead, the next bytes read through
    // the bit reader must be the ones right after the stream.
    for (std::size_t size : {0u, 10u, 5000u, 100000u}) {
        Bytes data = SampleText(size);
        Bytes stream = ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY);
        Bytes behind = {0x50, 0x4B, 0x07, 0x08, 0x11, 0x22};

        struct Probe
        {
            u32 Next = 0;
        } probe;

        EntryInput input;
        input.Data = stream;
        input.Behind = behind;
        EntryOutput out = RunEntry(
            EntryMethod::Deflated, input,
            [](void* p) {
                SkipBits(static_cast<u8>(InflateState.BitCount & 7));
                EnsureBits(16);
                u32 low = InflateState.BitBuffer & 0xFFFF;
                SkipBits(16);
                EnsureBits(16);
                static_cast<Probe*>(p)->Next = low | (InflateState.BitBuffer & 0xFFFF) << 16;
            },
            &probe);
        ASSERT_EQ(out.Result, ResultOk);
        EXPECT_EQ(probe.Next, ZipDescriptorSignature) << size;
    }
}

TEST_F(Inflating, StoredBlockLengthChecks)
{
    BitWriter empty;
    PutStored(empty, {}, true);
    EntryOutput out = RunDeflated(empty.Finish());
    EXPECT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written.empty());
    EXPECT_EQ(out.Crc, 0u);

    BitWriter bad;
    PutStoredHeader(bad, true, 5, 5);  // NLEN not the complement
    bad.Put(0x12345678, 32);
    EXPECT_EQ(RunDeflated(bad.Finish()).Result, ResultBadData);
}

TEST_F(Inflating, BlockTypeThreeIsInvalid)
{
    BitWriter w;
    PutBlockStart(w, true, BlockReserved);
    EXPECT_EQ(RunDeflated(w.Finish()).Result, ResultBadData);
}

TEST_F(Inflating, FixedBlockBackReferences)
{
    BitWriter w;
    PutBlockStart(w, true, BlockFixed);
    PutFixedLiteral(w, 'a');
    PutFixedMatch(w, 258, 1);
    PutFixedLiteral(w, 256);
    EntryOutput out = RunDeflated(w.Finish());
    ASSERT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == Bytes(259, 'a'));

    // Before the first output byte the window reads as zeros.
    BitWriter early;
    PutBlockStart(early, true, BlockFixed);
    PutFixedLiteral(early, 'x');
    PutFixedMatch(early, 4, 6);
    PutFixedLiteral(early, 256);
    out = RunDeflated(early.Finish());
    ASSERT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == (Bytes{'x', 0, 0, 0, 0}));
}

TEST_F(Inflating, EveryLengthAtShortAndWindowSizedDistances)
{
    // Word-wise copies and repeated patterns against a byte-by-byte model: each distance up
    // to 40 and each of the 9 largest, with every length, at window positions that move on
    // by a literal between matches and wrap many times.
    Bytes expected = RandomBytes(40, 7);
    BitWriter w;
    PutBlockStart(w, true, BlockFixed);
    for (unsigned char b : expected)
        PutFixedLiteral(w, b);
    std::vector<u32> distances;
    for (u32 d = 1; d <= 40; ++d)
        distances.push_back(d);
    for (u32 d = WindowSize - 8; d <= WindowSize; ++d)
        distances.push_back(d);
    std::mt19937 r(9);
    for (u32 distance : distances) {
        while (expected.size() < distance) {
            PutFixedLiteral(w, 'q');
            expected.push_back('q');
        }
        for (u32 length = 3; length <= 258; ++length) {
            PutFixedMatch(w, length, distance);
            for (u32 k = 0; k < length; ++k)
                expected.push_back(expected[expected.size() - distance]);
            auto literal = static_cast<unsigned char>(r());
            PutFixedLiteral(w, literal);
            expected.push_back(literal);
        }
    }
    PutFixedLiteral(w, 256);
    ExpectDecodesTo(w.Finish(), expected);
}

TEST_F(Inflating, BackReferenceAcrossTheWindowWrap)
{
    // 32778 bytes put the window position at 10; a distance of 100 then reads 90 bytes from
    // the end of the previous filling and 10 from its start, and a longer match runs on.
    Bytes head = RandomBytes(32778, 5);
    BitWriter w;
    PutStored(w, Bytes(head.begin(), head.begin() + 30000), false);
    PutStored(w, Bytes(head.begin() + 30000, head.end()), false);
    PutBlockStart(w, true, BlockFixed);
    PutFixedMatch(w, 258, 100);
    PutFixedMatch(w, 258, 32768);
    PutFixedLiteral(w, 256);
    Bytes expected = head;
    for (int i = 0; i < 258; ++i)
        expected.push_back(expected[expected.size() - 100]);
    for (int i = 0; i < 258; ++i)
        expected.push_back(expected[expected.size() - 32768]);
    ExpectDecodesTo(w.Finish(), expected);
}

TEST_F(Inflating, DynamicBlockWithOneOneBitDistanceCode)
{
    std::vector<int> distance(2, 0);
    distance[1] = 1;
    BlockCode code(BlockDynamic, SmallLiteralLengths(), distance);
    auto stream = [&](u32 distanceCode) {
        BitWriter w;
        code.PutHeader(w, true);
        code.PutLiteral(w, 'a');
        code.PutLiteral(w, 'b');
        code.PutLiteral(w, 257);     // length 3
        w.PutCode(distanceCode, 1);  // symbol 1: distance 2
        code.PutLiteral(w, 256);
        return w.Finish();
    };
    EntryOutput out = RunDeflated(stream(0));
    ASSERT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == (Bytes{'a', 'b', 'a', 'b', 'a'}));
    EXPECT_EQ(RunDeflated(stream(1)).Result, ResultBadData);
}

TEST_F(Inflating, UnusableCodesAreInvalid)
{
    // Incomplete literal/length code.
    std::vector<int> literal = SmallLiteralLengths();
    literal[285] = 0;
    BitWriter incomplete;
    PutDynamicHeader(incomplete, true, literal, {1, 1});
    EXPECT_EQ(RunDeflated(incomplete.Finish()).Result, ResultBadData);

    // Incomplete distance code is fine.
    BlockCode code(BlockDynamic, SmallLiteralLengths(), {2, 0, 0});
    BitWriter w;
    code.PutHeader(w, true);
    code.PutLiteral(w, 'b');
    code.PutLiteral(w, 257);
    code.PutDistance(w, 0);
    code.PutLiteral(w, 256);
    EntryOutput out = RunDeflated(w.Finish());
    EXPECT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == Bytes(4, 'b'));
}

TEST_F(Inflating, SymbolsWithoutMeaningAreInvalid)
{
    // Literal/length 286 and 287 in a fixed block.
    for (u32 symbol : {286u, 287u}) {
        BitWriter w;
        PutBlockStart(w, true, BlockFixed);
        PutFixedLiteral(w, 'a');
        PutFixedLiteral(w, symbol);
        w.PutCode(0, 5);
        PutFixedLiteral(w, 256);
        EXPECT_EQ(RunDeflated(w.Finish()).Result, ResultBadData) << symbol;
    }
    // Fixed distance codes 30 and 31.
    for (u32 symbol : {30u, 31u}) {
        BitWriter w;
        PutBlockStart(w, true, BlockFixed);
        PutFixedLiteral(w, 'a');
        PutFixedLiteral(w, 257);
        w.PutCode(symbol, 5);
        PutFixedLiteral(w, 256);
        EXPECT_EQ(RunDeflated(w.Finish()).Result, ResultBadData) << symbol;
    }
    // A dynamic block that declares literal/length 286 and distance 30, and uses each.
    std::vector<int> distance(31, 0);
    distance[0] = 1;
    distance[30] = 1;
    BlockCode code(BlockDynamic, SmallLiteralLengths(true), distance);
    BitWriter with286;
    code.PutHeader(with286, true);
    code.PutLiteral(with286, 'a');
    code.PutLiteral(with286, 286);
    code.PutDistance(with286, 0);
    code.PutLiteral(with286, 256);
    EXPECT_EQ(RunDeflated(with286.Finish()).Result, ResultBadData);
    BitWriter with30;
    code.PutHeader(with30, true);
    code.PutLiteral(with30, 'a');
    code.PutLiteral(with30, 257);
    code.PutDistance(with30, 30);
    code.PutLiteral(with30, 256);
    EXPECT_EQ(RunDeflated(with30.Finish()).Result, ResultBadData);
}

TEST_F(Inflating, MissingTablesAreNeverReadThrough)
{
    // No distance codes at all: literals decode, a length code is invalid.
    BlockCode code(BlockDynamic, SmallLiteralLengths(), {0});
    BitWriter literals;
    code.PutHeader(literals, true);
    code.PutLiteral(literals, 'a');
    code.PutLiteral(literals, 256);
    EntryOutput out = RunDeflated(literals.Finish());
    EXPECT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == Bytes{'a'});

    BitWriter length;
    code.PutHeader(length, true);
    code.PutLiteral(length, 'a');
    code.PutLiteral(length, 257);
    length.Put(0, 8);
    code.PutLiteral(length, 256);
    EXPECT_EQ(RunDeflated(length.Finish()).Result, ResultBadData);

    // No literal/length codes.
    BitWriter noLiterals;
    PutDynamicHeader(noLiterals, true, std::vector<int>(257, 0), {1, 1});
    noLiterals.Put(0, 16);
    EXPECT_EQ(RunDeflated(noLiterals.Finish()).Result, ResultBadData);

    // No code-length codes.
    BitWriter noLengths;
    PutDynamicCounts(noLengths, true, 257, 1, std::vector<int>(19, 0), 4);
    noLengths.Put(0xFFFF, 16);
    EXPECT_EQ(RunDeflated(noLengths.Finish()).Result, ResultBadData);
}

TEST_F(Inflating, RepeatsRunningPastTheLengths)
{
    std::vector<int> literal = SmallLiteralLengths();
    // Five distance lengths remain when the repeat comes.
    std::vector<int> distance(5, 0);
    // The literal/length lengths each alone, then the symbols that are to make the rest.
    auto putHeader = [&](BitWriter& w, const std::vector<CodeLengthSymbol>& rest) {
        std::vector<CodeLengthSymbol> symbols = EachLengthAlone(literal, {});
        symbols.insert(symbols.end(), rest.begin(), rest.end());
        PutDynamicCounts(w, true, literal.size(), distance.size());
        PutCodeLengthSymbols(w, symbols);
    };
    auto run = [&](CodeLengthSymbol repeat) {
        BitWriter w;
        putHeader(w, {repeat});
        w.Put(0, 16);
        return RunDeflated(w.Finish()).Result;
    };
    EXPECT_EQ(run({17, 7, 3}), ResultCheckFailed);  // ten zeros
    EXPECT_EQ(run({16, 3, 2}), ResultCheckFailed);  // six repeats
    EXPECT_EQ(run({18, 0, 7}), ResultBadData);      // eleven zeros
    // Exactly reaching the end is fine: a repeat of 3 then 2 plain lengths of 1.
    BitWriter w;
    putHeader(w, {{17, 0, 3}, {1}, {1}});
    BlockCode code(BlockDynamic, literal, {0, 0, 0, 1, 1});
    code.PutLiteral(w, 'a');
    code.PutLiteral(w, 256);
    EntryOutput out = RunDeflated(w.Finish());
    EXPECT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == Bytes{'a'});
}

TEST_F(Inflating, InputEndingMidStreamIsAReadFailure)
{
    Bytes data = SampleText(100000);
    Bytes stream = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
    for (std::size_t cut : {stream.size() / 3, stream.size() / 2, stream.size() - 3}) {
        EntryOutput out = RunDeflated(
            Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut)), {});
        EXPECT_EQ(out.Result, ResultReadFailed) << cut;
        EXPECT_TRUE(out.ArchiveClosedEarly);
    }
}

TEST_F(Inflating, FinalEndOfBlockLookupMayReadFiller)
{
    // The end-of-block code is one bit and ends the file; its lookup takes more, so the
    // refill finds the end of the archive and presents filler.
    std::vector<int> literal(257, 0);
    literal['a'] = 2;
    literal['c'] = 3;
    literal['d'] = 3;
    literal[256] = 1;
    BlockCode code(BlockDynamic, literal, {0});
    BitWriter w;
    code.PutHeader(w, true);
    Bytes expected;
    while (w.Count != 7 || expected.size() < 3) {
        u32 symbol = (7 - w.Count) % 2 == 1 ? u32{'c'} : u32{'a'};
        code.PutLiteral(w, symbol);
        expected.push_back(static_cast<unsigned char>(symbol));
    }
    code.PutLiteral(w, 256);
    ASSERT_EQ(w.Count, 0);
    EntryOutput out = RunDeflated(w.Finish(), {});
    EXPECT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == expected);
    EXPECT_TRUE(out.ArchiveClosedEarly);
}

TEST_F(Inflating, ExactlyOneWindowOfOutput)
{
    Bytes data = RandomBytes(32768, 9);
    EntryOutput out = RunDeflated(ZlibDeflate(data, 0, Z_DEFAULT_STRATEGY));
    ASSERT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == data);
    EXPECT_EQ(out.Crc, ZlibCrc(data));
}

TEST_F(Inflating, ManyTinyFixedBlocks)
{
    Bytes expected;
    BitWriter w;
    for (int block = 0; block < 500; ++block) {
        PutBlockStart(w, block == 499, BlockFixed);
        u32 symbol = static_cast<u32>('A' + block % 26);
        PutFixedLiteral(w, symbol);
        expected.push_back(static_cast<unsigned char>(symbol));
        PutFixedLiteral(w, 256);
    }
    EntryOutput out = RunDeflated(w.Finish());
    ASSERT_EQ(out.Result, ResultOk);
    EXPECT_TRUE(out.Written == expected);
}

#if !defined(_WIN32)
TEST_F(Inflating, AbortStopsBeforeTheNextSymbolAndDropsTheWindow)
{
    Bytes data = RandomBytes(20000, 4);
    Bytes stream = ZlibDeflate(data, 0, Z_DEFAULT_STRATEGY);
    std::vector<LPARAM> percentages;
    HostOnSendMessage([&](HWND, UINT message, WPARAM id, LPARAM percentage) -> LRESULT {
        EXPECT_EQ(message, static_cast<UINT>(WM_COMMAND));
        EXPECT_EQ(id, 120u);
        percentages.push_back(percentage);
        if (percentage > 0)
            RequestAbort();
        return 0;
    });
    EntryInput input;
    input.Data = stream;
    input.Behind = ArchiveTail;
    input.ProgressWindow = reinterpret_cast<HWND>(0x1234);
    input.ProgressCommandId = 120;
    EntryOutput out = RunEntry(EntryMethod::Deflated, input);
    EXPECT_EQ(out.Result, ResultAborted);
    EXPECT_TRUE(out.Written.empty());
    // 0 from the setup, 0 again is not sent, then the percentage after the first block.
    ASSERT_EQ(percentages.size(), 2u);
    EXPECT_EQ(percentages[1], LPARAM{2048} * 100 / static_cast<LPARAM>(stream.size()));
}

TEST_F(Inflating, MessagePumpRunsOncePerInputBlock)
{
    Bytes data = RandomBytes(10000, 6);
    Bytes stream = ZlibDeflate(data, 0, Z_DEFAULT_STRATEGY);
    Bytes behind(5000, 0xEE);
    MSG message{};
    message.message = 0x0200;
    HostPostMessage(message);
    HostPostMessage(message);
    EntryOutput out = RunDeflated(stream, behind);
    ASSERT_EQ(out.Result, ResultOk);
    u32 blocks = static_cast<u32>((stream.size() + 2047) / 2048);
    EXPECT_EQ(HostPeekCalls(), 2 + 1 + blocks);  // the queued two, then one empty per pump
    EXPECT_EQ(HostDispatchCalls(), 2u);
}

TEST_F(Inflating, WriteFailureBeepsAndStops)
{
    Bytes data = SampleText(100000);
    for (long long after : {0LL, 40000LL}) {
        InflateStateReset();
        HostMessagesReset();
        EntryInput input;
        input.Data = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
        input.FailWritesAfter = after;
        EntryOutput out = RunEntry(EntryMethod::Deflated, input);
        EXPECT_EQ(out.Result, ResultWriteFailed) << after;
        EXPECT_EQ(HostBeeps(), 1u);
    }
}

TEST_F(Inflating, TableAllocationFailures)
{
    // A dynamic block takes the code-length table, then the literal/length and distance ones;
    // the fixed code's tables are not on the heap at all.
    BitWriter w;
    BlockCode code(BlockDynamic, SmallLiteralLengths(), {1, 1});
    code.PutHeader(w, false);
    code.PutLiteral(w, 'a');
    code.PutLiteral(w, 256);
    PutBlockStart(w, true, BlockFixed);
    PutFixedLiteral(w, 'z');
    PutFixedLiteral(w, 256);
    std::vector<i32> results = ResultsWhenAllocationsFail(w.Finish(), 400);
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results.back(), ResultOk);
    for (std::size_t i = 0; i + 1 < results.size(); ++i)
        EXPECT_EQ(results[i], ResultBadData) << i;
}
#endif
