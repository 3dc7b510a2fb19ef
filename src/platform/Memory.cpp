// Process-heap allocation with the fatal out-of-memory rule.
#include "platform/Memory.h"

#include "platform/win32.h"

void* MemTryAlloc(u32 size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void* MemAlloc(u32 size)
{
    void* block = MemTryAlloc(size);
    if (block == nullptr)
        FatalAppExitA(0, "Out of memory");
    return block;
}

void MemFree(void* block)
{
    if (block != nullptr)
        HeapFree(GetProcessHeap(), 0, block);
}
