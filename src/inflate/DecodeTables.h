// Multi-level lookup tables for canonical Huffman codes read least significant bit first.
// Each table is one heap block with a header slot in front; the blocks of one build form a
// chain that ReleaseDecodeTables frees whole.
#pragma once

#include "Types.h"

struct DecodeEntry
{
    u8 Op;    // 0..13 extra bits, 15 end of block, 16 literal, 17..32 link, 99 invalid
    u8 Bits;  // bits to drop after using this slot
    u16 Value;
    DecodeEntry* SubTable;  // link slots only
};

constexpr u8 OpEndOfBlock = 15;
constexpr u8 OpLiteral = 16;
constexpr u8 OpInvalid = 99;
// A link slot's Op is OpLinkBase plus the index bits of its sub-table (1..16).
constexpr u8 OpLinkBase = 16;
// The decoders take every op above OpLiteral but OpInvalid for a link.
static_assert(OpLinkBase >= OpLiteral && OpLinkBase + 16 < OpInvalid);

constexpr i32 TableComplete = 0;
constexpr i32 TableIncomplete = 1;
constexpr i32 TableBadInput = 2;
constexpr i32 TableNoMemory = 3;

// With storage, the root table goes there (1 + 2^lookupBits slots, header first) rather than
// on the heap; only for a code set whose longest code fits the root, so nothing else is taken.
i32 BuildDecodeTable(const u16* lengths, u16 count, u16 simpleCount, const u16* baseTable,
                     const u16* extraTable, DecodeEntry*& table, i32& lookupBits,
                     DecodeEntry* storage = nullptr);
void ReleaseDecodeTables(DecodeEntry* table);
