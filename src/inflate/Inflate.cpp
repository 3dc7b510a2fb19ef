// Inflate for one entry. The symbol loop has two paths that an observer cannot tell apart:
// a fast one with the bit buffer in locals while the input buffer holds enough bytes for a
// whole symbol (it never refills, so the flags cannot change inside it), and the plain one
// through EnsureBits for the symbols near a block boundary of the input.
#include "inflate/Inflate.h"

#include "inflate/DecodeTables.h"
#include "inflate/InflateState.h"

// The stub is built for size; the fast symbol loop and the copies it makes inline are worth
// their bytes in speed. The plain path and the copy across the window's end are not: they run
// for a few bytes per input block and once per window at most.
#if defined(__GNUC__) && !defined(__clang__)
#define HOT_PATH [[gnu::optimize("O2")]]
#else
#define HOT_PATH
#endif

// clang-format off
constexpr u16 LengthBase[31] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0, 0};
constexpr u16 LengthExtra[31] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
// A dynamic block may declare distance symbols 30 and 31; their last two entries make their
// slots invalid codes.
constexpr u16 DistanceBase[32] = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0, 0};
constexpr u16 DistanceExtra[32] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, OpInvalid, OpInvalid};
constexpr u8 CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
// clang-format on
static_assert(sizeof(LengthBase) / sizeof(u16) == 31 && sizeof(LengthExtra) / sizeof(u16) == 31);
static_assert(sizeof(DistanceBase) / sizeof(u16) == 32);
static_assert(sizeof(DistanceExtra) / sizeof(u16) == 32);
static_assert(sizeof(CodeLengthOrder) == 19);

constexpr i32 CodeLengthBits = 7;
constexpr u32 MaxLengths = 320;
constexpr i32 NeedPlainPath = -1;

static u32 ReadBits(u8 n)
{
    EnsureBits(n);
    u32 value = InflateState.BitBuffer & LowBitMask[n];
    SkipBits(n);
    return value;
}

// Stores one byte and emits the window when it is full; false when that write failed.
static bool PutByte(u8 value)
{
    InflateState.Window[InflateState.WindowPosition] = value;
    InflateState.WindowPosition = static_cast<u16>(InflateState.WindowPosition + 1);
    if (InflateState.WindowPosition < WindowSize)
        return true;
    if (!EmitWindow(static_cast<u16>(WindowSize)))
        return false;
    InflateState.WindowPosition = 0;
    return true;
}

// Copies in words, the last one ending exactly at count, so no byte after the copy is
// touched. Right when the two ranges are apart, or the source is at least 8 bytes behind
// the destination (every word read is then finished), or at least 8 bytes ahead of it.
[[gnu::always_inline]] static inline void MoveBlock(u8* destination, const u8* source, u32 count)
{
    if (count >= 8) {
        u32 k = 0;
        for (; count - k >= 16; k += 16) {
            u64 low = 0;
            u64 high = 0;
            __builtin_memcpy(&low, source + k, 8);
            __builtin_memcpy(destination + k, &low, 8);
            __builtin_memcpy(&high, source + k + 8, 8);
            __builtin_memcpy(destination + k + 8, &high, 8);
        }
        if (count - k >= 8) {
            u64 word = 0;
            __builtin_memcpy(&word, source + k, 8);
            __builtin_memcpy(destination + k, &word, 8);
            k += 8;
        }
        if (k != count) {
            u64 word = 0;
            __builtin_memcpy(&word, source + count - 8, 8);
            __builtin_memcpy(destination + count - 8, &word, 8);
        }
        return;
    }
    if (count >= 4) {
        u32 first = 0;
        u32 last = 0;
        __builtin_memcpy(&first, source, 4);
        __builtin_memcpy(&last, source + count - 4, 4);
        __builtin_memcpy(destination, &first, 4);
        __builtin_memcpy(destination + count - 4, &last, 4);
        return;
    }
    if (count != 0) {
        // 1 to 3 bytes without a loop; the middle one may be the first or last again.
        u8 first = source[0];
        u8 middle = source[count >> 1];
        u8 last = source[count - 1];
        destination[0] = first;
        destination[count >> 1] = middle;
        destination[count - 1] = last;
    }
}

[[gnu::always_inline]] static inline u32 RotateRight(u32 value, u32 bytes)
{
    u32 n = 8 * (bytes & 3);
    return (value >> n) | (value << ((32 - n) & 31));
}

// A back-reference shorter than its length repeats the last distance bytes. Distances 1, 2
// and 4 repeat one 4-byte unit, which is written without reading the window again. For the
// others any multiple of the distance gives the same bytes, so one of at least 8 lets the
// copy go in words. Never writes past length: those window bytes may still be history.
HOT_PATH static void RepeatPattern(u8* to, u32 distance, u32 length)
{
    const u8* from = to - distance;
    if (distance == 1 || distance == 2 || distance == 4) {
        u32 unit = 0;
        if (distance == 1)
            unit = from[0] * 0x01010101u;
        else if (distance == 2)
            unit = (from[0] | static_cast<u32>(from[1]) << 8) * 0x00010001u;
        else
            __builtin_memcpy(&unit, from, 4);
        if (length < 4) {
            for (u32 k = 0; k < length; ++k)
                to[k] = static_cast<u8>(unit >> (8 * k));
            return;
        }
        u32 k = 0;
        if (length >= 8) {
            u64 word = unit | static_cast<u64>(unit) << 32;
            for (; k + 8 <= length; k += 8)
                __builtin_memcpy(to + k, &word, 8);
        }
        if (k + 4 <= length) {
            __builtin_memcpy(to + k, &unit, 4);
            k += 4;
        }
        if (k != length) {
            // The unit as it falls at length - 4.
            u32 tail = RotateRight(unit, length);
            __builtin_memcpy(to + length - 4, &tail, 4);
        }
        return;
    }
    u32 period = distance;
    while (period < 8)
        period += distance;
    u32 k = 0;
    for (; k < length && k < period - distance; ++k)
        to[k] = from[k];
    for (; k + 8 <= length; k += 8) {
        u64 word = 0;
        __builtin_memcpy(&word, (to + k) - period, 8);
        __builtin_memcpy(to + k, &word, 8);
    }
    if (k != length && length + distance >= period + 8) {
        // A last word ending at length; it reads finished bytes of the pattern only.
        u64 word = 0;
        __builtin_memcpy(&word, (to + length - 8) - period, 8);
        __builtin_memcpy(to + length - 8, &word, 8);
        return;
    }
    for (; k < length; ++k)
        to[k] = from[k];
}

// Copies a back-reference through the ring window in pieces that end at the window's end,
// so a source from before the last wrap is read before it is overwritten. source is the
// window position minus the distance, wrapped at 16 bits. The fast loop copies in place and
// calls this only where a copy crosses the window's end, or its distance is within 8 bytes of
// the window's size.
static bool CopyMatch(u32 length, u32 source)
{
    u8* window = InflateState.Window;
    while (length != 0) {
        u32 d = source & 0x7FFF;
        u32 position = InflateState.WindowPosition;
        u32 c = WindowSize - (d > position ? d : position);
        if (c > length)
            c = length;
        length -= c;
        if (static_cast<i32>(position) - static_cast<i32>(d) >= static_cast<i32>(c)) {
            MoveBlock(window + position, window + d, c);
        } else {
            for (u32 k = 0; k < c; ++k)
                window[position + k] = window[d + k];
        }
        InflateState.WindowPosition = static_cast<u16>(position + c);
        source = d + c;
        if (position + c == WindowSize) {
            if (!EmitWindow(static_cast<u16>(WindowSize)))
                return false;
            InflateState.WindowPosition = 0;
        }
    }
    return true;
}

// The bit reader held in locals. It takes bytes only from the current input block, so at
// the end every whole byte still pending that came from that block can be handed back.
// The buffer is the machine word: 64 bits hold a whole symbol with its extra bits and
// distance (at most 48 bits), 32 bits one of its two halves (at most 20 and 28 bits).
using BitWord = std::uintptr_t;
constexpr u32 WordBits = sizeof(BitWord) * 8;
constexpr bool NarrowWord = WordBits == 32;
// Input bytes a loop turn needs in the block. Each refill reads a word and moves on by at
// most a word less one byte; a turn refills once in 64 bits, up to three times in 32.
constexpr i32 FastSlack = NarrowWord ? 3 + 3 + 4 : 8;
// Bits a distance code and its extra bits take at most; a 64-bit buffer must hold them
// before a length code is decoded, a 32-bit one refills on the way.
constexpr u32 DistanceReserve = NarrowWord ? 0 : 15 + 13;

struct FastReader
{
    BitWord Bits;
    u32 Count;
    const u8* In;

    // Afterwards at least WordBits - 8 bits are pending.
    [[gnu::always_inline]] void Refill()
    {
        BitWord word = 0;
        __builtin_memcpy(&word, In, sizeof word);
        // Bits above Count hold the low bits of the next byte, which the next refill ORs in
        // again unchanged.
        Bits |= word << Count;
        In += (WordBits - 1 - Count) >> 3;
        Count |= WordBits - 8;
    }

    [[gnu::always_inline]] u32 Take(u32 n)
    {
        u32 value = static_cast<u32>(Bits) & LowBitMask[n];
        Bits >>= n;
        Count -= n;
        return value;
    }

    void Store()
    {
        const u8* start = InflateState.InputBuffer;
        u32 back = Count >> 3;
        if (back > static_cast<u32>(In - start))
            back = static_cast<u32>(In - start);
        In -= back;
        Count -= back * 8;
        InflateState.InputPosition = static_cast<i16>(In - start);
        InflateState.BitCount = static_cast<u8>(Count);
        InflateState.BitBuffer = static_cast<u32>(Bits & ((BitWord{1} << Count) - 1));
    }
};

// Walks link slots to the slot of a code, dropping the bits of the links; the bits of the
// final slot are the caller's to drop. Most codes end in the root.
[[gnu::always_inline]] static inline const DecodeEntry*
FastLookup(FastReader& r, const DecodeEntry* table, u32 bits)
{
    const DecodeEntry* e = table + (r.Bits & ((1u << bits) - 1));
    if (e->Op <= OpLiteral) [[likely]]
        return e;
    while (e->Op > OpLiteral && e->Op != OpInvalid) {
        r.Take(e->Bits);
        e = e->SubTable + (r.Bits & ((1u << (e->Op - OpLinkBase)) - 1));
    }
    return e;
}

// Counts bytes just placed in the window and empties it when full; false on a write failure.
static bool AdvanceWindow(u32& position, u32 length)
{
    position += length;
    if (position != WindowSize)
        return true;
    position = 0;
    return EmitWindow(static_cast<u16>(WindowSize));
}

static constexpr DecodeEntry NoDistanceCodes = {OpInvalid, 0, 0, nullptr};

// Returns a result, or NeedPlainPath when fewer than FastSlack bytes of the input block are
// left. The loop stays whole: its reader, window and position live in registers across every
// kind of symbol, and a split would spill them at each call. Kept out of line, so that its
// caller's plain path is built for size.
// NOLINTNEXTLINE(readability-function-size)
HOT_PATH [[gnu::noinline]] static i32 DecodeFast(const DecodeEntry* literalTable,
                                                 const DecodeEntry* distanceTable, u32 literalBits,
                                                 u32 distanceBits)
{
    const u8* start = InflateState.InputBuffer;
    i32 available = InflateState.InputLastIndex + 1 - InflateState.InputPosition;
    if (available < FastSlack)
        return NeedPlainPath;
    const u8* limit = start + InflateState.InputLastIndex + 1 - FastSlack;
    FastReader r{InflateState.BitBuffer, InflateState.BitCount, start + InflateState.InputPosition};
    u8* window = InflateState.Window;
    u32 position = InflateState.WindowPosition;
    i32 result = NeedPlainPath;
    const BitWord literalMask = (BitWord{1} << literalBits) - 1;
    if (distanceTable == nullptr) {
        // A length code then finds this invalid slot, as a block without distances wants.
        distanceTable = &NoDistanceCodes;
        distanceBits = 0;
    }
    while (r.In <= limit) {
        r.Refill();
        const DecodeEntry* e = FastLookup(r, literalTable, literalBits);
        if (e->Op == OpLiteral) {
            r.Take(e->Bits);
            // Literals that follow while their whole code is still in the buffer; a root
            // slot whose code fits is the right one whatever the bits above it.
            bool written = true;
            for (;;) {
                window[position++] = static_cast<u8>(e->Value);
                if (position == WindowSize) {
                    written = EmitWindow(static_cast<u16>(WindowSize));
                    position = 0;
                    if (!written)
                        break;
                }
                e = literalTable + (r.Bits & literalMask);
                if (e->Op != OpLiteral || e->Bits > r.Count)
                    break;
                r.Take(e->Bits);
            }
            if (!written) {
                result = ResultWriteFailed;
                break;
            }
            // A length code that ended the run goes on without a refill if the buffer holds
            // it with its extra bits (and, in 64 bits, the longest distance part too).
            if (e->Op >= OpEndOfBlock || e->Bits + e->Op + DistanceReserve > r.Count)
                continue;
        }
        if (e->Op == OpInvalid) {
            result = ResultBadData;
            break;
        }
        r.Take(e->Bits);
        if (e->Op == OpEndOfBlock) {
            result = ResultOk;
            break;
        }
        u32 length = static_cast<u16>(e->Value + r.Take(e->Op));
        // A 32-bit buffer may lack the bits of a distance code (at most 15) or of its extra
        // bits; a 64-bit one has both since the refill.
        if constexpr (NarrowWord) {
            if (r.Count < 15)
                r.Refill();
        }
        e = FastLookup(r, distanceTable, distanceBits);
        if (e->Op == OpInvalid) {
            result = ResultBadData;
            break;
        }
        r.Take(e->Bits);
        if constexpr (NarrowWord) {
            if (r.Count < e->Op)
                r.Refill();
        }
        u32 distance = e->Value + r.Take(e->Op);
        if (distance <= position && position + length <= WindowSize) {
            u8* to = window + position;
            const u8* from = to - distance;
            if (distance >= 8 && position + length <= WindowSize - 16) {
                // Pairs of words, the last pair running past length; the bytes behind the
                // copy may be history, so they are put back. Each word is read after the one
                // before it is written, so 8 bytes of distance suffice.
                u64 behind[2] = {};
                __builtin_memcpy(behind, to + length, 16);
                u32 k = 0;
                do {
                    u64 word = 0;
                    __builtin_memcpy(&word, from + k, 8);
                    __builtin_memcpy(to + k, &word, 8);
                    __builtin_memcpy(&word, from + k + 8, 8);
                    __builtin_memcpy(to + k + 8, &word, 8);
                    k += 16;
                } while (k < length);
                __builtin_memcpy(to + length, behind, 16);
            } else if (distance >= length || distance >= 8) {
                MoveBlock(to, from, length);  // word steps read only finished bytes
            } else {
                RepeatPattern(to, distance, length);
            }
            if (!AdvanceWindow(position, length)) {
                result = ResultWriteFailed;
                break;
            }
            continue;
        }
        u32 wrapped = position + WindowSize - distance;  // source in the previous filling
        if (distance > position && distance <= WindowSize - 8 && wrapped + length <= WindowSize &&
            position + length <= WindowSize) {
            // The source lies at least 8 bytes ahead of the destination, so a forward copy
            // in words reads every byte before it is overwritten.
            MoveBlock(window + position, window + wrapped, length);
            if (!AdvanceWindow(position, length)) {
                result = ResultWriteFailed;
                break;
            }
            continue;
        }
        InflateState.WindowPosition = static_cast<u16>(position);
        if (!CopyMatch(length, static_cast<u16>(position - distance))) {
            result = ResultWriteFailed;
            break;
        }
        position = InflateState.WindowPosition;
    }
    InflateState.WindowPosition = static_cast<u16>(position);
    r.Store();
    return result;
}

// One literal/length or distance slot through EnsureBits; null for an invalid code.
static const DecodeEntry* PlainLookup(const DecodeEntry* table, i32 bits)
{
    EnsureBits(static_cast<u8>(bits));
    const DecodeEntry* e = table + (InflateState.BitBuffer & LowBitMask[bits]);
    while (e->Op > OpLiteral) {
        if (e->Op == OpInvalid)
            return nullptr;
        SkipBits(e->Bits);
        u8 e2 = static_cast<u8>(e->Op - OpLinkBase);  // sub-table index bits
        EnsureBits(e2);
        e = e->SubTable + (InflateState.BitBuffer & LowBitMask[e2]);
    }
    SkipBits(e->Bits);
    return e;
}

static i32 DecodeSymbols(const DecodeEntry* literalTable, const DecodeEntry* distanceTable,
                         i32 literalBits, i32 distanceBits)
{
    while (!InflateState.AbortFlag && !InflateState.InputExhausted) {
        if (literalTable == nullptr)
            return ResultBadData;
        i32 fast = DecodeFast(literalTable, distanceTable, static_cast<u32>(literalBits),
                              static_cast<u32>(distanceBits));
        if (fast != NeedPlainPath)
            return fast;
        const DecodeEntry* e = PlainLookup(literalTable, literalBits);
        if (e == nullptr)
            return ResultBadData;
        if (e->Op == OpLiteral) {
            if (!PutByte(static_cast<u8>(e->Value)))
                return ResultWriteFailed;
            continue;
        }
        if (e->Op == OpEndOfBlock)
            return ResultOk;
        u32 length = static_cast<u16>(e->Value + ReadBits(e->Op));
        if (distanceTable == nullptr)
            return ResultBadData;
        e = PlainLookup(distanceTable, distanceBits);
        if (e == nullptr)
            return ResultBadData;
        // Wraps at 16 bits on purpose; the copy masks it to the ring.
        u32 source = static_cast<u16>(InflateState.WindowPosition - e->Value - ReadBits(e->Op));
        if (!CopyMatch(length, source))
            return ResultWriteFailed;
    }
    return InflateState.AbortFlag ? ResultAborted : ResultReadFailed;
}

// Stored bytes straight from the input block while the reader stands on a byte boundary, as
// many as the block, the window and the length allow. There is no refill, so the flags hold.
// The count moved (0 when the reader holds bits or the block is used up), or -1 after a
// failed write.
static i32 MoveStoredBytes(u32 length)
{
    i32 available = InflateState.InputLastIndex + 1 - InflateState.InputPosition;
    if (InflateState.BitCount != 0 || available <= 0)
        return 0;
    u32 room = WindowSize - InflateState.WindowPosition;
    u32 n = length < room ? length : room;
    if (static_cast<u32>(available) < n)
        n = static_cast<u32>(available);
    MoveBlock(InflateState.Window + InflateState.WindowPosition,
              InflateState.InputBuffer + InflateState.InputPosition, n);
    InflateState.InputPosition = static_cast<i16>(InflateState.InputPosition + static_cast<i32>(n));
    InflateState.WindowPosition = static_cast<u16>(InflateState.WindowPosition + n);
    if (InflateState.WindowPosition == WindowSize) {
        if (!EmitWindow(static_cast<u16>(WindowSize)))
            return -1;
        InflateState.WindowPosition = 0;
    }
    return static_cast<i32>(n);
}

static i32 CopyStoredBlock()
{
    SkipBits(static_cast<u8>(InflateState.BitCount & 7));
    u32 length = ReadBits(16);  // LEN
    EnsureBits(16);
    if (length != (~InflateState.BitBuffer & 0xFFFF))  // NLEN
        return ResultBadData;
    SkipBits(16);
    while (length > 0 && !InflateState.AbortFlag && !InflateState.InputExhausted) {
        i32 moved = MoveStoredBytes(length);
        if (moved < 0)
            return ResultWriteFailed;
        if (moved > 0) {
            length -= static_cast<u32>(moved);
            continue;
        }
        --length;
        EnsureBits(8);
        if (!PutByte(static_cast<u8>(InflateState.BitBuffer)))
            return ResultWriteFailed;
        SkipBits(8);
    }
    if (InflateState.AbortFlag)
        return ResultAborted;
    return InflateState.InputExhausted ? ResultReadFailed : ResultOk;
}

// Decodes a block's symbols with its two tables and releases both; distanceResult is the
// distance table's build, which may be incomplete but not bad.
static i32 FinishBlock(i32 distanceResult, DecodeEntry* literalTable, i32 literalBits,
                       DecodeEntry* distanceTable, i32 distanceBits)
{
    if (distanceResult > TableIncomplete) {
        ReleaseDecodeTables(literalTable);
        return ResultBadData;
    }
    i32 result = DecodeSymbols(literalTable, distanceTable, literalBits, distanceBits);
    ReleaseDecodeTables(literalTable);
    ReleaseDecodeTables(distanceTable);
    return result;
}

// The fixed code's tables, built on its first block and kept: their roots are as wide as
// the longest fixed codes, so they need no sub-table and no heap.
constexpr i32 FixedLiteralBits = 9;
constexpr i32 FixedDistanceBits = 5;
static DecodeEntry FixedLiteral[1 + (1 << FixedLiteralBits)];
static DecodeEntry FixedDistance[1 + (1 << FixedDistanceBits)];

static i32 DecodeFixedBlock()
{
    if (FixedDistance[0].Value == 0) {
        u16 lengths[288];
        for (u32 i = 0; i < 288; ++i)
            lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        DecodeEntry* table = nullptr;
        i32 bits = FixedLiteralBits;
        BuildDecodeTable(lengths, 288, 257, LengthBase, LengthExtra, table, bits, FixedLiteral);
        for (u32 i = 0; i < 30; ++i)
            lengths[i] = 5;
        // Last, since its header's slot count marks both as built.
        bits = FixedDistanceBits;
        BuildDecodeTable(lengths, 30, 0, DistanceBase, DistanceExtra, table, bits, FixedDistance);
    }
    return DecodeSymbols(FixedLiteral + 1, FixedDistance + 1, FixedLiteralBits, FixedDistanceBits);
}

// Reads the literal/length and distance code lengths as one sequence through the code-length
// code; a repeat may run from the one into the other.
static i32 ReadCodeLengths(const DecodeEntry* table, i32 bits, u16* lengths, u32 total)
{
    u16 previous = 0;
    u32 i = 0;
    while (i < total) {
        if (table == nullptr)
            return ResultBadData;
        const DecodeEntry* e = PlainLookup(table, bits);
        if (e == nullptr)
            return ResultBadData;
        u16 symbol = e->Value;
        if (symbol < 16) {
            lengths[i++] = symbol;
            previous = symbol;
            continue;
        }
        u32 count = 0;
        u16 repeated = 0;
        if (symbol == 16) {
            count = 3 + ReadBits(2);
            repeated = previous;
        } else if (symbol == 17) {
            count = 3 + ReadBits(3);
        } else {
            count = 11 + ReadBits(7);
        }
        // Not a slip: an overrun of 16 or 17 is malformed lengths (1), of 18 invalid data (4).
        if (i + count > total)
            return symbol == 18 ? ResultBadData : ResultCheckFailed;
        for (; count != 0; --count)
            lengths[i++] = repeated;
        previous = repeated;
    }
    return ResultOk;
}

static i32 DecodeDynamicBlock()
{
    u32 nl = 257 + ReadBits(5);  // HLIT
    u32 nd = 1 + ReadBits(5);    // HDIST
    u32 nb = 4 + ReadBits(4);    // HCLEN
    u16 lengths[MaxLengths] = {};
    for (u32 j = 0; j < nb; ++j)
        lengths[CodeLengthOrder[j]] = static_cast<u16>(ReadBits(3));
    DecodeEntry* table = nullptr;
    i32 bits = CodeLengthBits;
    i32 result = BuildDecodeTable(lengths, 19, 19, nullptr, nullptr, table, bits);
    if (result != TableComplete) {
        if (result == TableIncomplete)
            ReleaseDecodeTables(table);
        return ResultBadData;
    }
    result = ReadCodeLengths(table, bits, lengths, nl + nd);
    ReleaseDecodeTables(table);
    if (result != ResultOk)
        return result;

    DecodeEntry* literalTable = nullptr;
    i32 literalBits = LiteralLookupBits;
    result = BuildDecodeTable(lengths, static_cast<u16>(nl), 257, LengthBase, LengthExtra,
                              literalTable, literalBits);
    if (result != TableComplete) {
        if (result == TableIncomplete)
            ReleaseDecodeTables(literalTable);
        return ResultBadData;
    }
    DecodeEntry* distanceTable = nullptr;
    i32 distanceBits = DistanceLookupBits;
    result = BuildDecodeTable(lengths + nl, static_cast<u16>(nd), 0, DistanceBase, DistanceExtra,
                              distanceTable, distanceBits);
    return FinishBlock(result, literalTable, literalBits, distanceTable, distanceBits);
}

static i32 DecodeBlock(i32& last)
{
    last = static_cast<i32>(ReadBits(1));  // BFINAL
    switch (ReadBits(2)) {                 // BTYPE
        case 0:
            return CopyStoredBlock();
        case 1:
            return DecodeFixedBlock();
        case 2:
            return DecodeDynamicBlock();
        default:
            return ResultBadData;
    }
}

i32 InflateEntry()
{
    InflateState.InputPosition = 0;
    InflateState.InputLastIndex = -1;
    InflateState.WindowPosition = 0;
    InflateState.BitCount = 0;
    InflateState.BitBuffer = 0;
    i32 last = 0;
    do {
        i32 result = DecodeBlock(last);
        if (result != ResultOk)
            return result;
    } while (last == 0);
    return EmitWindow(InflateState.WindowPosition) ? ResultOk : ResultWriteFailed;
}
