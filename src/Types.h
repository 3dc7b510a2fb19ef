// Integer aliases, entry result codes and the precondition check shared by every module.
#pragma once

#include <cstddef>
#include <cstdint>

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i16 = std::int16_t;
using i32 = std::int32_t;

// Result of extracting one entry. 0 to 5 come from the data transfer, 6 and 7 from the
// local header checks; the run turns each into its message. Two codes carry more than their
// names say, as the decoder's own results map onto the entry's without translation:
// ResultCheckFailed is also a code-length repeat (16 or 17) that runs past its lengths, and
// ResultReadFailed is also no memory for the fixed literal/length table (a repeat 18 that
// runs past, and no memory for any other table, are ResultBadData).
constexpr i32 ResultOk = 0;
constexpr i32 ResultCheckFailed = 1;  // the CRC-32 differs, or code-length repeats overrun
constexpr i32 ResultWriteFailed = 2;  // target not creatable or not writable
constexpr i32 ResultReadFailed = 3;   // archive not openable, unreadable or ended early
constexpr i32 ResultBadData = 4;      // local header bad or compressed data invalid
constexpr i32 ResultAborted = 5;      // the user cancelled
constexpr i32 ResultUnsupported = 6;  // compression method other than stored or deflated
constexpr i32 ResultEncrypted = 7;

// Paths are UTF-8 inside the program and UTF-16 at the system, which takes up to 32,767
// units; UTF-8 needs at most three bytes for each of them.
constexpr u32 WidePathLimit = 32767;
constexpr u32 PathLimit = 3 * WidePathLimit;
constexpr u32 PathBufferSize = PathLimit + 1;
// One name of a folder (the system's 259 units, in UTF-8), and a short text of the string
// table.
constexpr u32 NameBufferSize = 3 * 259 + 1;

// Scratch buffers are per thread where the tools run the engine on several threads; the stub
// has one thread, and a plain global spares it this compiler's emulated thread-local storage.
#if defined(SFX_STUB)
#define SFX_PER_THREAD
#else
#define SFX_PER_THREAD thread_local
#endif

// Live in host and test builds; compiled out of the stub, whose callers guarantee these.
#if defined(SFX_CHECKS)
void SfxAssertFailed(const char* expression, const char* file, int line);
#define SFX_ASSERT(x) ((x) ? (void)0 : SfxAssertFailed(#x, __FILE__, __LINE__))
#else
#define SFX_ASSERT(x) ((void)0)
#endif
