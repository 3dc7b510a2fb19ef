#include <gtest/gtest.h>

#include <vector>

#include "inflate/DecodeTables.h"
#include "inflate/Inflate.h"
#include "support/DeflateWriter.h"
#include "support/Fixtures.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#endif

namespace {

struct Built
{
    i32 Result = -1;
    DecodeEntry* Table = nullptr;
    i32 Bits = 0;

    ~Built()
    {
        ReleaseDecodeTables(Table);
    }
};

void Build(Built& b, const std::vector<u16>& lengths, u16 simpleCount, const u16* base,
           const u16* extra, i32 lookupBits)
{
    b.Bits = lookupBits;
    b.Result = BuildDecodeTable(lengths.data(), static_cast<u16>(lengths.size()), simpleCount, base,
                                extra, b.Table, b.Bits);
}

// Walks the tables for a code given most significant bit first, as a decoder meets it.
const DecodeEntry* Lookup(const DecodeEntry* table, i32 rootBits, u32 code, int length)
{
    u32 bits = 0;
    for (int i = 0; i < length; ++i)
        bits |= ((code >> (length - 1 - i)) & 1) << i;
    const DecodeEntry* e = table + (bits & ((1u << rootBits) - 1));
    while (e->Op > OpLinkBase && e->Op <= OpLinkBase + 16) {
        bits >>= e->Bits;
        e = e->SubTable + (bits & ((1u << (e->Op - OpLinkBase)) - 1));
    }
    return e;
}

u32 SlotCount(const DecodeEntry* table)
{
    return table[-1].Value;
}

// The fixed literal/length lengths, as the table builder takes them.
std::vector<u16> FixedLengths()
{
    std::vector<int> fixed = FixedLiteralLengths();
    return std::vector<u16>(fixed.begin(), fixed.end());
}

std::vector<u32> CodesOf(const std::vector<u16>& lengths)
{
    return CanonicalCodes(std::vector<int>(lengths.begin(), lengths.end()));
}

}  // namespace

TEST(DecodeTables, AllZeroLengthsGiveNoTable)
{
    Built b;
    Build(b, std::vector<u16>(19, 0), 19, nullptr, nullptr, 7);
    EXPECT_EQ(b.Result, TableComplete);
    EXPECT_EQ(b.Table, nullptr);
    EXPECT_EQ(b.Bits, 0);
}

TEST(DecodeTables, SingleOneBitCodeLeavesOtherPatternInvalid)
{
    std::vector<u16> lengths(30, 0);
    lengths[3] = 1;
    Built b;
    Build(b, lengths, 0, DistanceBase, DistanceExtra, 6);
    ASSERT_EQ(b.Result, TableComplete);
    EXPECT_EQ(b.Bits, 1);
    ASSERT_EQ(SlotCount(b.Table), 2u);
    EXPECT_EQ(b.Table[0].Op, DistanceExtra[3]);
    EXPECT_EQ(b.Table[0].Value, DistanceBase[3]);
    EXPECT_EQ(b.Table[0].Bits, 1);
    EXPECT_EQ(b.Table[1].Op, OpInvalid);
}

TEST(DecodeTables, SingleTwoBitCodeIsIncompleteButBuilt)
{
    std::vector<u16> lengths(19, 0);
    lengths[5] = 2;
    Built b;
    Build(b, lengths, 19, nullptr, nullptr, 7);
    ASSERT_EQ(b.Result, TableIncomplete);
    ASSERT_EQ(b.Bits, 2);
    ASSERT_EQ(SlotCount(b.Table), 4u);
    int invalid = 0;
    for (int i = 0; i < 4; ++i)
        invalid += b.Table[i].Op == OpInvalid;
    EXPECT_EQ(invalid, 3);
    EXPECT_EQ(b.Table[0].Value, 5);
    EXPECT_EQ(b.Table[0].Op, OpLiteral);
}

TEST(DecodeTables, BadLengthsAllocateNothing)
{
    HeapBlocks blocks;
    Built over;
    Build(over, {1, 1, 1}, 3, nullptr, nullptr, 7);
    EXPECT_EQ(over.Result, TableBadInput);
    EXPECT_EQ(over.Table, nullptr);

    Built tooLong;
    std::vector<u16> lengths(19, 1);
    lengths[4] = 17;
    Build(tooLong, lengths, 19, nullptr, nullptr, 7);
    EXPECT_EQ(tooLong.Result, TableBadInput);
    EXPECT_EQ(tooLong.Table, nullptr);
    EXPECT_EQ(tooLong.Bits, 0);
    blocks.ExpectNoneAdded("bad lengths");
}

TEST(DecodeTables, NonSimpleSymbolWithoutBaseTableIsBadInput)
{
    HeapBlocks blocks;
    Built b;
    Build(b, {1, 2, 2}, 1, nullptr, nullptr, 7);
    EXPECT_EQ(b.Result, TableBadInput);
    EXPECT_EQ(b.Table, nullptr);
    blocks.ExpectNoneAdded("a symbol without a base");
}

TEST(DecodeTables, FixedDistanceCodeHasTwoInvalidPatterns)
{
    Built b;
    Build(b, std::vector<u16>(30, 5), 0, DistanceBase, DistanceExtra, 5);
    ASSERT_EQ(b.Result, TableIncomplete);
    ASSERT_EQ(b.Bits, 5);
    EXPECT_EQ(SlotCount(b.Table), 32u);
    EXPECT_EQ(Lookup(b.Table, b.Bits, 0x1E, 5)->Op, OpInvalid);
    EXPECT_EQ(Lookup(b.Table, b.Bits, 0x1F, 5)->Op, OpInvalid);
    for (u32 symbol = 0; symbol < 30; ++symbol) {
        const DecodeEntry* e = Lookup(b.Table, b.Bits, symbol, 5);
        EXPECT_EQ(e->Value, DistanceBase[symbol]) << symbol;
        EXPECT_EQ(e->Op, DistanceExtra[symbol]) << symbol;
        EXPECT_EQ(e->Bits, 5);
    }
}

TEST(DecodeTables, FixedLiteralCodeDecodesEverySymbol)
{
    std::vector<u16> lengths = FixedLengths();
    Built b;
    Build(b, lengths, 257, LengthBase, LengthExtra, 7);
    ASSERT_EQ(b.Result, TableComplete);
    ASSERT_EQ(b.Bits, 7);
    EXPECT_EQ(SlotCount(b.Table), 128u);
    std::vector<u32> codes = CodesOf(lengths);
    for (u32 symbol = 0; symbol < 288; ++symbol) {
        const DecodeEntry* e = Lookup(b.Table, b.Bits, codes[symbol], lengths[symbol]);
        if (symbol < 256) {
            EXPECT_EQ(e->Op, OpLiteral) << symbol;
            EXPECT_EQ(e->Value, symbol);
        } else if (symbol == 256) {
            EXPECT_EQ(e->Op, OpEndOfBlock);
        } else if (symbol >= 286) {
            EXPECT_EQ(e->Op, OpInvalid) << symbol;
        } else {
            EXPECT_EQ(e->Op, LengthExtra[symbol - 257]) << symbol;
            EXPECT_EQ(e->Value, LengthBase[symbol - 257]) << symbol;
        }
    }
}

TEST(DecodeTables, RootWidthIsClampedToTheCodeLengths)
{
    std::vector<u16> lengths = {2, 3, 4, 4, 1};
    Built narrow;
    Build(narrow, lengths, 19, nullptr, nullptr, 7);
    EXPECT_EQ(narrow.Result, TableComplete);
    EXPECT_EQ(narrow.Bits, 4);
    EXPECT_EQ(SlotCount(narrow.Table), 16u);

    // Shortest code 3 bits: a desired width of 1 is raised to it.
    Built wide;
    Build(wide, std::vector<u16>(8, 3), 19, nullptr, nullptr, 1);
    EXPECT_EQ(wide.Result, TableComplete);
    EXPECT_EQ(wide.Bits, 3);
}

TEST(DecodeTables, LongCodesResolveThroughSubTables)
{
    // Lengths 1, 2, ... 14, 15, 15: complete, and deep below a 9-bit root.
    std::vector<u16> lengths;
    for (u16 l = 1; l <= 15; ++l)
        lengths.push_back(l);
    lengths.push_back(15);
    Built b;
    Build(b, lengths, 257, nullptr, nullptr, 9);
    ASSERT_EQ(b.Result, TableComplete);
    std::vector<u32> codes = CodesOf(lengths);
    for (u32 symbol = 0; symbol < lengths.size(); ++symbol)
        EXPECT_EQ(Lookup(b.Table, b.Bits, codes[symbol], lengths[symbol])->Value, symbol);
}

#if !defined(_WIN32)
TEST(DecodeTables, AllocationFailureReleasesWhatWasMade)
{
    std::vector<u16> lengths = FixedLengths();
    for (unsigned n = 1; n <= 3; ++n) {
        HeapBlocks blocks;
        HostFailAllocation(n);
        Built b;
        Build(b, lengths, 257, LengthBase, LengthExtra, 7);
        HostFailAllocation(0);
        EXPECT_EQ(b.Result, TableNoMemory) << n;
        EXPECT_EQ(b.Table, nullptr);
        blocks.ExpectNoneAdded(std::to_string(n));
    }
}
#endif

// Refusals the tests above do not reach: too many codes found before the longest length, and
// symbols with a base table but no extra-bit table.
TEST(DecodeTables, LateRefusalsAreBadInputAndLeaveNoTable)
{
    struct Case
    {
        const char* Name;
        std::vector<u16> Lengths;
        const u16* Base;
        const u16* Extra;
    };

    const Case cases[] = {
        {"three one-bit codes below a two-bit one", {1, 1, 1, 2}, nullptr, nullptr},
        {"base values without extra bits", {1, 2, 2}, DistanceBase, nullptr},
    };
    for (const Case& k : cases) {
        HeapBlocks blocks;
        Built b;
        Build(b, k.Lengths, 1, k.Base, k.Extra, 7);
        EXPECT_EQ(b.Result, TableBadInput) << k.Name;
        EXPECT_EQ(b.Table, nullptr) << k.Name;
        blocks.ExpectNoneAdded(k.Name);
    }
}
