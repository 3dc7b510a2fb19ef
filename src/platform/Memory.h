// The program's heap: the process heap, and nothing else. Running out of memory is not a
// result anyone handles: MemAlloc ends the program with a fatal error.
#pragma once

#include "Types.h"

void* MemAlloc(u32 size);
// For the one caller that reports an allocation failure as a result of its own.
void* MemTryAlloc(u32 size);
void MemFree(void* block);
