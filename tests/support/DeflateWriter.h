// Deflate streams written by hand, one field per call, for what no compressor writes: codes
// without meaning, incomplete codes, events at an exact bit. The block pieces here are the
// ones the decoder's tests share.
#pragma once

#include <cstddef>
#include <vector>

#include "Types.h"
#include "support/TestFiles.h"

// Least significant bit first, as deflate packs its fields.
struct BitWriter
{
    Bytes Out;
    u32 Pending = 0;
    int Count = 0;  // bits in Pending
    void Put(u32 value, int bits);
    // A Huffman code given most significant bit first, as codes are defined.
    void PutCode(u32 code, int length);
    void AlignToByte();
    std::size_t BitsWritten() const;
    Bytes Finish();
};

// Canonical codes for a list of code lengths (0: no code).
std::vector<u32> CanonicalCodes(const std::vector<int>& lengths);

// BTYPE values.
constexpr u32 BlockStored = 0;
constexpr u32 BlockFixed = 1;
constexpr u32 BlockDynamic = 2;
constexpr u32 BlockReserved = 3;

void PutBlockStart(BitWriter& w, bool last, u32 type);
// A stored block's start; complement is what NLEN says, ~length when it is right.
void PutStoredHeader(BitWriter& w, bool last, u32 length, u32 complement);
void PutStored(BitWriter& w, const Bytes& data, bool last);

// The fixed code: its literal/length lengths, a symbol, and a back-reference with its extra
// bits, written from the code's definition rather than from these lengths.
std::vector<int> FixedLiteralLengths();
void PutFixedLiteral(BitWriter& w, u32 symbol);
void PutFixedMatch(BitWriter& w, u32 length, u32 distance);

// The code-length code the tests write with unless they test that code: lengths by symbol,
// 13 four-bit and 6 five-bit codes, complete.
extern const std::vector<int> CodeLengthLengths;

// A code-length symbol and its extra bits (repeats 16, 17 and 18 take 2, 3 and 7).
struct CodeLengthSymbol
{
    u32 Symbol;
    u32 Extra = 0;
    int ExtraBits = 0;
};

// A dynamic block's start up to its code lengths: the counts, then the first codeLengthCount
// lengths of the code-length code (by symbol) in the order the format stores them.
void PutDynamicCounts(BitWriter& w, bool last, std::size_t literals, std::size_t distances,
                      const std::vector<int>& codeLengthLengths = CodeLengthLengths,
                      int codeLengthCount = 19);
void PutCodeLengthSymbols(BitWriter& w, const std::vector<CodeLengthSymbol>& symbols,
                          const std::vector<int>& codeLengthLengths = CodeLengthLengths);
// Each length as its own code-length symbol, the literal/length lengths then the distance ones.
std::vector<CodeLengthSymbol> EachLengthAlone(const std::vector<int>& literal,
                                              const std::vector<int>& distance);
// The whole header: counts, the usual code-length code, each length alone.
void PutDynamicHeader(BitWriter& w, bool last, const std::vector<int>& literal,
                      const std::vector<int>& distance);

// A block's literal/length and distance codes: the fixed ones, or what a dynamic block
// declares, with each symbol's canonical code.
struct BlockCode
{
    u32 Type;  // BlockFixed or BlockDynamic
    std::vector<int> Literal;
    std::vector<int> Distance;
    std::vector<u32> LiteralCodes;
    std::vector<u32> DistanceCodes;

    BlockCode(u32 type, std::vector<int> literal, std::vector<int> distance);
    // The block's start; a dynamic block's header declares these lengths.
    void PutHeader(BitWriter& w, bool last) const;
    // A literal/length symbol; it must have a code.
    void PutLiteral(BitWriter& w, u32 symbol) const;
    void PutDistance(BitWriter& w, u32 symbol) const;
};
