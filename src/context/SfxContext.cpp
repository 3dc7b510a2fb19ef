// Global state and string loading.
#include "context/SfxContext.h"

constinit SfxContextRecord SfxContext = {};

void SfxContextReset()
{
    SfxContext = SfxContextRecord{};
}

char* LoadText(u32 id)
{
    SfxContext.TextBuffer[0] = 0;
    LoadStringA(SfxContext.Instance, id, SfxContext.TextBuffer, PathLimit);
    return SfxContext.TextBuffer;
}
