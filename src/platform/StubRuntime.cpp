// What the compiler may call in a program without the C runtime: the memory primitives it
// emits for copies and fills, and the emulated thread-local storage that MinGW uses for
// thread_local, here over the Win32 TLS slots and the process heap.
#include "platform/win32.h"

#include <cstddef>

extern "C" {

void* memset(void* destination, int value, std::size_t count)
{
    auto* d = static_cast<volatile unsigned char*>(destination);
    while (count-- != 0)
        *d++ = static_cast<unsigned char>(value);
    return destination;
}

void* memcpy(void* destination, const void* source, std::size_t count)
{
    auto* d = static_cast<volatile unsigned char*>(destination);
    const auto* s = static_cast<const unsigned char*>(source);
    while (count-- != 0)
        *d++ = *s++;
    return destination;
}

void* memmove(void* destination, const void* source, std::size_t count)
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

// The compiler's descriptor of one thread_local variable.
struct EmutlsObject
{
    std::size_t Size;
    std::size_t Align;
    DWORD Index;  // TLS slot + 1, 0 until first use
    const void* Template;
};

void* __emutls_get_address(EmutlsObject* object)
{
    if (object->Index == 0) {
        DWORD slot = TlsAlloc();
        if (slot == TLS_OUT_OF_INDEXES)
            FatalAppExitA(0, "Out of memory");
        // Another thread may have won the race; its slot stays, ours goes back.
        if (InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&object->Index),
                                       static_cast<LONG>(slot + 1), 0) != 0)
            TlsFree(slot);
    }
    DWORD slot = object->Index - 1;
    void* value = TlsGetValue(slot);
    if (value == nullptr) {
        value = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, object->Size);
        if (value == nullptr)
            FatalAppExitA(0, "Out of memory");
        if (object->Template != nullptr)
            memcpy(value, object->Template, object->Size);
        TlsSetValue(slot, value);
    }
    return value;
}
}
