// What the compiler may call in a program without the C runtime: the memory primitives it
// emits for copies and fills.
#include "platform/win32.h"

#include <cstddef>

extern "C" {

// The C library's header names the parameters in its own reserved style.
// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
[[gnu::externally_visible, gnu::used]] void* memset(void* destination, int value, std::size_t count)
{
    // The string instructions: the shortest code, and on every processor of this century as
    // fast as any loop for the window's 32 KiB (each entry clears it).
    void* d = destination;
    asm volatile("rep stosb" : "+D"(d), "+c"(count) : "a"(value) : "memory");
    return destination;
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
[[gnu::externally_visible, gnu::used]] void* memcpy(void* destination, const void* source,
                                                    std::size_t count)
{
    void* d = destination;
    asm volatile("rep movsb" : "+D"(d), "+S"(source), "+c"(count) : : "memory");
    return destination;
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
[[gnu::externally_visible, gnu::used]] void* memmove(void* destination, const void* source,
                                                     std::size_t count)
{
    auto* d = static_cast<volatile unsigned char*>(destination);
    const auto* s = static_cast<const unsigned char*>(source);
    if (d < s) {
        while (count-- != 0)
            *d++ = *s++;
    } else {
        while (count-- != 0)
            d[count] = s[count];
    }
    return destination;
}
}
