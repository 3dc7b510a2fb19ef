// Deflate decoder for one entry: reads through the bit reader, writes into the window, and
// emits the window whenever it fills. The abort flag can change inside any refill.
#pragma once

#include "Types.h"

extern const u16 LengthBase[31];
extern const u16 LengthExtra[31];
extern const u16 DistanceBase[32];
extern const u16 DistanceExtra[32];
extern const u8 CodeLengthOrder[19];

constexpr i32 LiteralLookupBits = 10;
constexpr i32 DistanceLookupBits = 6;

i32 InflateEntry();
