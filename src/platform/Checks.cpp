// Failure report of SFX_ASSERT in host and test builds.
#include "Types.h"

#include <cstdio>
#include <cstdlib>

void SfxAssertFailed(const char* expression, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, expression);
    std::abort();
}
