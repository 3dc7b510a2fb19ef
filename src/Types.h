// Integer aliases, entry result codes and the precondition check shared by every module.
#pragma once

#include <cstddef>
#include <cstdint>

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
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

// Paths live in 260-byte buffers and hold at most 259 characters.
constexpr u32 PathBufferSize = 260;
constexpr u32 PathLimit = 259;

// Live in host and test builds; compiled out of the stub, whose callers guarantee these.
#if defined(SFX_CHECKS)
void SfxAssertFailed(const char* expression, const char* file, int line);
#define SFX_ASSERT(x) ((x) ? (void)0 : SfxAssertFailed(#x, __FILE__, __LINE__))
#else
#define SFX_ASSERT(x) ((void)0)
#endif
