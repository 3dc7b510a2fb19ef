#include "support/DeflateWriter.h"

#include <gtest/gtest.h>

#include <utility>

void BitWriter::Put(u32 value, int bits)
{
    for (int i = 0; i < bits; ++i) {
        Pending |= ((value >> i) & 1) << Count;
        if (++Count == 8) {
            Out.push_back(static_cast<unsigned char>(Pending));
            Pending = 0;
            Count = 0;
        }
    }
}

void BitWriter::PutCode(u32 code, int length)
{
    for (int i = length - 1; i >= 0; --i)
        Put((code >> i) & 1, 1);
}

void BitWriter::AlignToByte()
{
    if (Count != 0)
        Put(0, 8 - Count);
}

std::size_t BitWriter::BitsWritten() const
{
    return Out.size() * 8 + static_cast<std::size_t>(Count);
}

Bytes BitWriter::Finish()
{
    AlignToByte();
    return Out;
}

std::vector<u32> CanonicalCodes(const std::vector<int>& lengths)
{
    u32 counts[17] = {};
    for (int l : lengths)
        ++counts[l];
    counts[0] = 0;
    u32 next[17] = {};
    u32 code = 0;
    for (int bits = 1; bits <= 16; ++bits) {
        code = (code + counts[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<u32> codes(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] != 0)
            codes[i] = next[lengths[i]]++;
    return codes;
}

void PutBlockStart(BitWriter& w, bool last, u32 type)
{
    w.Put(last, 1);  // BFINAL
    w.Put(type, 2);  // BTYPE
}

void PutStoredHeader(BitWriter& w, bool last, u32 length, u32 complement)
{
    PutBlockStart(w, last, BlockStored);
    w.AlignToByte();
    w.Put(length, 16);      // LEN
    w.Put(complement, 16);  // NLEN
}

void PutStored(BitWriter& w, const Bytes& data, bool last)
{
    const auto length = static_cast<u32>(data.size());
    PutStoredHeader(w, last, length, ~length);
    for (unsigned char b : data)
        w.Put(b, 8);
}

std::vector<int> FixedLiteralLengths()
{
    std::vector<int> l(288);
    for (std::size_t i = 0; i < l.size(); ++i)
        l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    return l;
}

void PutFixedLiteral(BitWriter& w, u32 symbol)
{
    if (symbol < 144)
        w.PutCode(0x30 + symbol, 8);
    else if (symbol < 256)
        w.PutCode(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        w.PutCode(symbol - 256, 7);
    else
        w.PutCode(0xC0 + symbol - 280, 8);
}

void PutFixedMatch(BitWriter& w, u32 length, u32 distance)
{
    static const u16 lengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const u16 distanceBase[30] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    u32 l = 28;
    while (lengthBase[l] > length)
        --l;
    PutFixedLiteral(w, 257 + l);
    w.Put(length - lengthBase[l], l < 8 || l == 28 ? 0 : static_cast<int>(l - 4) / 4);
    u32 d = 29;
    while (distanceBase[d] > distance)
        --d;
    w.PutCode(d, 5);
    w.Put(distance - distanceBase[d], d < 4 ? 0 : static_cast<int>(d - 2) / 2);
}

const std::vector<int> CodeLengthLengths = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
                                            4, 4, 4, 5, 5, 5, 5, 5, 5};

void PutDynamicCounts(BitWriter& w, bool last, std::size_t literals, std::size_t distances,
                      const std::vector<int>& codeLengthLengths, int codeLengthCount)
{
    static const std::size_t order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};
    PutBlockStart(w, last, BlockDynamic);
    w.Put(static_cast<u32>(literals - 257), 5);       // HLIT
    w.Put(static_cast<u32>(distances - 1), 5);        // HDIST
    w.Put(static_cast<u32>(codeLengthCount - 4), 4);  // HCLEN
    for (int j = 0; j < codeLengthCount; ++j)
        w.Put(static_cast<u32>(codeLengthLengths[order[j]]), 3);  // code-length code lengths
}

void PutCodeLengthSymbols(BitWriter& w, const std::vector<CodeLengthSymbol>& symbols,
                          const std::vector<int>& codeLengthLengths)
{
    std::vector<u32> codes = CanonicalCodes(codeLengthLengths);
    for (const CodeLengthSymbol& s : symbols) {
        w.PutCode(codes[s.Symbol], codeLengthLengths[s.Symbol]);  // code-length symbol
        w.Put(s.Extra, s.ExtraBits);                              // a repeat's extra bits
    }
}

std::vector<CodeLengthSymbol> EachLengthAlone(const std::vector<int>& literal,
                                              const std::vector<int>& distance)
{
    std::vector<CodeLengthSymbol> symbols;
    for (int l : literal)
        symbols.push_back({static_cast<u32>(l)});
    for (int l : distance)
        symbols.push_back({static_cast<u32>(l)});
    return symbols;
}

void PutDynamicHeader(BitWriter& w, bool last, const std::vector<int>& literal,
                      const std::vector<int>& distance)
{
    PutDynamicCounts(w, last, literal.size(), distance.size());
    PutCodeLengthSymbols(w, EachLengthAlone(literal, distance));
}

BlockCode::BlockCode(u32 type, std::vector<int> literal, std::vector<int> distance)
    : Type(type), Literal(std::move(literal)), Distance(std::move(distance)),
      LiteralCodes(CanonicalCodes(Literal)), DistanceCodes(CanonicalCodes(Distance))
{}

void BlockCode::PutHeader(BitWriter& w, bool last) const
{
    if (Type == BlockDynamic)
        PutDynamicHeader(w, last, Literal, Distance);
    else
        PutBlockStart(w, last, Type);
}

void BlockCode::PutLiteral(BitWriter& w, u32 symbol) const
{
    EXPECT_NE(Literal[symbol], 0) << symbol;
    w.PutCode(LiteralCodes[symbol], Literal[symbol]);
}

void BlockCode::PutDistance(BitWriter& w, u32 symbol) const
{
    EXPECT_NE(Distance[symbol], 0) << symbol;
    w.PutCode(DistanceCodes[symbol], Distance[symbol]);
}
