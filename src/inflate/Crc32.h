// The CRC-32 of ZIP entries and of Info-ZIP's Unicode path field. Its table is the decoder
// state's CrcTable, filled once at start-up.
#pragma once

#include "Types.h"

void InitCrcTable();
// Adds length bytes to the accumulator (not inverted) and returns it.
u32 AddToCrc(const u8* data, u32 length, u32& accumulator);
