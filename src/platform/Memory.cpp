// Process-heap allocation with the fatal out-of-memory rule.
#include "platform/Memory.h"

#include "platform/win32.h"

// Asked once: the decoder allocates and frees per deflate block.
static HANDLE ProcessHeap()
{
    static HANDLE heap;
    if (heap == nullptr)
        heap = GetProcessHeap();
    return heap;
}

void* MemTryAlloc(u32 size)
{
    return HeapAlloc(ProcessHeap(), 0, size);
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
        HeapFree(ProcessHeap(), 0, block);
}
