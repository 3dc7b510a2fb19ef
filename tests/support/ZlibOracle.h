// zlib as the reference: streams made by its compressor, CRC-32 by its function.
#pragma once

#include "Types.h"
#include "support/TestFiles.h"

// Raw deflate (no header) of data at a level and strategy.
Bytes ZlibDeflate(const Bytes& data, int level, int strategy);
u32 ZlibCrc(const Bytes& data);
