// CRC-32 (the ZIP polynomial, reflected) over the state's 256-entry table, in five braided
// lanes of four bytes.
#include "inflate/Crc32.h"

#include "inflate/InflateState.h"

constexpr u32 CrcPolynomial = 0xEDB88320;

// The data is read in steps of five words, word i of a step going to lane i. Each lane keeps
// its own remainder, which the next step's word i takes in; so the five chains of table
// lookups do not wait on each other, where a single remainder makes every step wait on the
// last. Table k gives the remainder of byte k of a word followed by the rest of its step
// (19 - k zero bytes). The lanes are folded into one over the last step's words.
constexpr u32 Lanes = 5;
constexpr u32 StepBytes = Lanes * 4;
static constinit u32 CrcBraid[4][256] = {};

void InitCrcTable()
{
    for (u32 i = 0; i < 256; ++i) {
        u32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? (c >> 1) ^ CrcPolynomial : c >> 1;
        InflateState.CrcTable[i] = c;
    }
    for (u32 i = 0; i < 256; ++i) {
        u32 c = InflateState.CrcTable[i];
        for (u32 zeros = 1; zeros < StepBytes; ++zeros) {
            c = (c >> 8) ^ InflateState.CrcTable[c & 0xFF];
            if (zeros >= StepBytes - 4)
                CrcBraid[StepBytes - 1 - zeros][i] = c;
        }
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
    if (length >= 2 * StepBytes) {
        u32 lane[Lanes] = {acc, 0, 0, 0, 0};
        do {
            // Unrolled, the lanes live in registers; a build for size keeps the loop.
#ifndef __OPTIMIZE_SIZE__
#pragma GCC unroll 5
#endif
            for (u32 i = 0; i < Lanes; ++i) {
                u32 w = LoadLittle32(data) ^ lane[i];
                lane[i] = CrcBraid[0][w & 0xFF] ^ CrcBraid[1][(w >> 8) & 0xFF] ^
                          CrcBraid[2][(w >> 16) & 0xFF] ^ CrcBraid[3][w >> 24];
                data += 4;
            }
            length -= StepBytes;
        } while (length >= 2 * StepBytes);
        acc = 0;
        for (u32 i = 0; i < Lanes; ++i) {
            acc ^= lane[i] ^ LoadLittle32(data);
            for (int k = 0; k < 4; ++k)
                acc = (acc >> 8) ^ t[acc & 0xFF];
            data += 4;
        }
        length -= StepBytes;
    }
    if (length != 0) {
        do
            acc = (acc >> 8) ^ t[(acc ^ *data++) & 0xFF];
        while (--length != 0);
    }
    accumulator = acc;
    return acc;
}
