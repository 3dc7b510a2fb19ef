// CRC-32 (the ZIP polynomial, reflected) over the state's 256-entry table and fifteen more
// slices derived from it, sixteen bytes a step.
#include "inflate/Crc32.h"

#include "inflate/InflateState.h"

constexpr u32 CrcPolynomial = 0xEDB88320;

// Slicing by sixteen: slice k gives the CRC of a byte followed by k zero bytes. Yields the
// same values as the byte-wise update over the 256-entry table, which is slice 0.
static constinit u32 CrcSlices[15][256] = {};

static const u32* Slice(u32 k)
{
    return k == 0 ? InflateState.CrcTable : CrcSlices[k - 1];
}

void InitCrcTable()
{
    for (u32 i = 0; i < 256; ++i) {
        u32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? (c >> 1) ^ CrcPolynomial : c >> 1;
        InflateState.CrcTable[i] = c;
    }
    for (u32 k = 1; k < 16; ++k) {
        const u32* previous = Slice(k - 1);
        for (u32 i = 0; i < 256; ++i)
            CrcSlices[k - 1][i] = (previous[i] >> 8) ^ InflateState.CrcTable[previous[i] & 0xFF];
    }
}

// Inlined even at -Os: a call per word costs more than the CRC step under emulation.
[[gnu::always_inline]] static inline u32 LoadLittle32(const u8* p)
{
    return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
           static_cast<u32>(p[3]) << 24;
}

u32 AddToCrc(const u8* data, u32 length, u32& accumulator)
{
    const u32* t = InflateState.CrcTable;
    u32 acc = accumulator;
    // Bottom-tested loops: -Os otherwise jumps back to a test at the top, and each jump
    // costs a block change under emulation.
    if (length >= 16) {
        do {
            u32 a = LoadLittle32(data) ^ acc;
            u32 b = LoadLittle32(data + 4);
            u32 c = LoadLittle32(data + 8);
            u32 d = LoadLittle32(data + 12);
            acc = CrcSlices[14][a & 0xFF] ^ CrcSlices[13][(a >> 8) & 0xFF] ^
                  CrcSlices[12][(a >> 16) & 0xFF] ^ CrcSlices[11][a >> 24] ^
                  CrcSlices[10][b & 0xFF] ^ CrcSlices[9][(b >> 8) & 0xFF] ^
                  CrcSlices[8][(b >> 16) & 0xFF] ^ CrcSlices[7][b >> 24] ^ CrcSlices[6][c & 0xFF] ^
                  CrcSlices[5][(c >> 8) & 0xFF] ^ CrcSlices[4][(c >> 16) & 0xFF] ^
                  CrcSlices[3][c >> 24] ^ CrcSlices[2][d & 0xFF] ^ CrcSlices[1][(d >> 8) & 0xFF] ^
                  CrcSlices[0][(d >> 16) & 0xFF] ^ t[d >> 24];
            data += 16;
            length -= 16;
        } while (length >= 16);
    }
    if (length != 0) {
        do
            acc = (acc >> 8) ^ t[(acc ^ *data++) & 0xFF];
        while (--length != 0);
    }
    accumulator = acc;
    return acc;
}
