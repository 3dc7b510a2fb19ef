// Table builder. Works on the stack; the only heap use is one block per table, taken with
// the allocator that may fail, so a failure comes back as a result.
#include "inflate/DecodeTables.h"

#include "platform/Memory.h"

constexpr u32 MaxCodeLength = 16;
constexpr u32 MaxSymbols = 288;
constexpr u32 MaxLevels = 16;

void ReleaseDecodeTables(DecodeEntry* table)
{
    while (table != nullptr) {
        DecodeEntry* header = table - 1;
        table = header->SubTable;
        MemFree(header);
    }
}

// Canonical codes are generated in bit-reversed order because the input is read least
// significant bit first; every table's slots are filled by replicating each code over the
// index bits it does not use.
//
// The letters, each defined once:
//   n      symbols (count)                  el     length of the end-of-block code
//   c[k]   codes of length k, then with the spare codes added to the longest length
//   kmin   shortest code length             g      longest code length
//   lb     root index width (lookupBits, clamped to kmin..g)
//   y      codes still free at the length being checked; at the end, the spare codes
//   off    first place of each length in sorted; sorted: symbols by length, then symbol
//   m      symbols that have a code         next   read position in sorted
//   k      length of the codes being placed a      codes of length k still to place
//   code   the current code, bit-reversed   h      level of the current table (-1: none)
//   w      bits resolved by the tables above the current one
//   z      slots of the current table       widths, patterns, tables: per open table, its
//          index width, the code that selected it, and its first slot
//
// Sizing a new table. It starts with the bits the current code has beyond w (j = k - w). When
// the codes of length k still to place leave patterns of those j bits free, it grows a bit at
// a time: f counts the patterns no code has claimed, doubles with each added bit and loses
// the codes of the next longer length, and the growth stops at the length whose codes fill
// what is left, at lb bits, or at the bits the longest code has left. A table that the
// end-of-block code would cross is cut where that code ends, so the decoder finds it without
// a sub-table; and the root has exactly lb index bits whatever its codes would suggest.
//
// Every exit is a bare return: table starts null, and on a failure the blocks already linked
// from it are the caller's to release. Forced inline, since -Os keeps it apart and the split
// would cost the stub bytes.
// NOLINTNEXTLINE(readability-function-size): the builder's steps read best in one place.
[[gnu::always_inline]] static inline i32 BuildTableChain(const u16* lengths, u16 count,
                                                         u16 simpleCount, const u16* baseTable,
                                                         const u16* extraTable, DecodeEntry*& table,
                                                         i32& lookupBits, DecodeEntry* storage)
{
    SFX_ASSERT(count <= MaxSymbols);
    u32 n = count;
    // The width stays 0 until the root's is known, as for a set without codes.
    i32 wanted = lookupBits;
    lookupBits = 0;
    u32 el = n > 256 ? lengths[256] : MaxCodeLength;

    // Count the codes of each length.
    u32 c[MaxCodeLength + 1] = {};
    for (u32 i = 0; i < n; ++i) {
        if (lengths[i] > MaxCodeLength)
            return TableBadInput;
        ++c[lengths[i]];
    }
    if (c[0] == n)
        return TableComplete;

    // Clamp the root width to the shortest and longest codes.
    u32 kmin = 1;
    while (c[kmin] == 0)
        ++kmin;
    u32 g = MaxCodeLength;
    while (c[g] == 0)
        --g;
    if (wanted < static_cast<i32>(kmin))
        wanted = static_cast<i32>(kmin);
    if (wanted > static_cast<i32>(g))
        wanted = static_cast<i32>(g);
    lookupBits = wanted;
    u32 lb = static_cast<u32>(lookupBits);

    // Kraft check; the spare codes become dummies of the longest length.
    i32 y = 1 << kmin;
    for (u32 j = kmin; j < g; ++j) {
        y -= static_cast<i32>(c[j]);
        if (y < 0)
            return TableBadInput;
        y *= 2;
    }
    y -= static_cast<i32>(c[g]);
    if (y < 0)
        return TableBadInput;
    c[g] += static_cast<u32>(y);

    // Sort the symbols by length, then by symbol.
    u32 off[MaxCodeLength + 2] = {};
    for (u32 j = 1; j < g; ++j)
        off[j + 1] = off[j] + c[j];
    u16 sorted[MaxSymbols];
    u32 m = 0;
    for (u32 i = 0; i < n; ++i) {
        if (lengths[i] != 0) {
            sorted[off[lengths[i]]++] = static_cast<u16>(i);
            ++m;
        }
    }

    // Generate the codes and fill the tables.
    u32 widths[MaxLevels + 1] = {};
    u32 patterns[MaxLevels + 1] = {};
    DecodeEntry* tables[MaxLevels + 1] = {};
    DecodeEntry* tail = nullptr;  // header of the chain's last block, where the next links
    i32 h = -1;
    u32 w = 0;
    u32 code = 0;
    u32 next = 0;
    u32 z = 0;
    // Level h lives at index h + 1, so the width above the root (0) sits at index 0.
    auto width = [&](i32 level) { return widths[level + 1]; };
    for (u32 k = kmin; k <= g; ++k) {
        for (u32 a = c[k]; a != 0; --a) {
            // Open tables until the code fits: see "Sizing a new table" above.
            while (k > w + width(h)) {
                w += width(h);
                ++h;
                u32 zmax = g - w < lb ? g - w : lb;
                u32 j = k - w;
                u32 f = 1u << j;
                if (f > a + 1) {
                    f -= a + 1;
                    u32 longer = k;
                    while (++j < zmax) {
                        f <<= 1;
                        if (f <= c[++longer])
                            break;
                        f -= c[longer];
                    }
                }
                if (w + j > el && w < el)
                    j = el - w;
                if (w == 0)
                    j = lb;
                z = 1u << j;
                widths[h + 1] = j;
                auto* block =
                    storage != nullptr
                        ? storage
                        : static_cast<DecodeEntry*>(MemTryAlloc((z + 1) * sizeof(DecodeEntry)));
                storage = nullptr;
                if (block == nullptr)
                    return TableNoMemory;
                // Bottom-tested, like the fill below: at -Os a loop otherwise jumps back to
                // its test, and under emulation each jump costs a block change.
                u32 s = 0;
                do
                    block[s] = DecodeEntry{0, 0, 0, nullptr};
                while (++s <= z);
                block[0].Value = static_cast<u16>(z);
                if (tail == nullptr)
                    table = block + 1;
                else
                    tail->SubTable = block + 1;
                tail = block;
                tables[h + 1] = block + 1;
                // A sub-table is linked from the slot of its parent that the code selects.
                if (h > 0) {
                    patterns[h + 1] = code;
                    u32 parentWidth = width(h - 1);
                    u32 index = (code & ((1u << w) - 1)) >> (w - parentWidth);
                    if (index >= (1u << parentWidth))
                        return TableBadInput;
                    tables[h][index] = DecodeEntry{static_cast<u8>(OpLinkBase + j),
                                                   static_cast<u8>(parentWidth), 0, block + 1};
                }
            }

            // The code's slot: its symbol's meaning, or invalid for a spare code.
            DecodeEntry slot{OpInvalid, static_cast<u8>(k - w), 0, nullptr};
            if (next < m) {
                u32 v = sorted[next++];
                if (v < simpleCount) {
                    slot.Op = v < 256 ? OpLiteral : OpEndOfBlock;
                    slot.Value = static_cast<u16>(v);
                } else if (baseTable == nullptr || extraTable == nullptr) {
                    return TableBadInput;
                } else {
                    slot.Op = static_cast<u8>(extraTable[v - simpleCount] & 0xFF);
                    slot.Value = baseTable[v - simpleCount];
                }
            }
            u32 s = code >> w;  // always inside the table
            do {
                tables[h + 1][s] = slot;
                s += 1u << (k - w);
            } while (s < z);

            // The next code of this length, bit-reversed: add 1 from the top bit down.
            u32 b = 1u << (k - 1);
            while ((code & b) != 0) {
                code ^= b;
                b >>= 1;
            }
            code |= b;

            // Close the tables the next code no longer selects.
            while ((code & ((1u << w) - 1)) != patterns[h + 1]) {
                --h;
                w -= width(h);
            }
        }
    }
    return y != 0 && g != 1 ? TableIncomplete : TableComplete;
}

// NOLINTNEXTLINE(readability-function-size): the chain builder's inputs, and where its root goes.
i32 BuildDecodeTable(const u16* lengths, u16 count, u16 simpleCount, const u16* baseTable,
                     const u16* extraTable, DecodeEntry*& table, i32& lookupBits,
                     DecodeEntry* storage)
{
    table = nullptr;
    i32 result = BuildTableChain(lengths, count, simpleCount, baseTable, extraTable, table,
                                 lookupBits, storage);
    if (result > TableIncomplete) {
        ReleaseDecodeTables(table);
        table = nullptr;
    }
    return result;
}
