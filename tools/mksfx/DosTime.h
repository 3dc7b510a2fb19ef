// Entry times: the DOS date and time the stub restores (local time, 2-second steps) and the
// UTC seconds of the extended-timestamp field that other unzippers restore exactly.
#pragma once

#include <cstdint>

#include "Types.h"

using i64 = std::int64_t;
using u64 = std::uint64_t;

// 1980-01-01 00:00:00, the earliest DOS date.
constexpr u32 DosEarliest = 0x00210000;

// The DOS date and time of a Unix time in the local zone (as TZ says). Odd seconds round
// down, so the time is never later than the file's (nor than SOURCE_DATE_EPOCH); times
// outside 1980..2107 take the nearest end.
u32 DosDateTimeOf(i64 unixTime);

// The Unix time of a DOS date and time read as local time.
i64 UnixTimeOfDos(u32 dosDateTime);

// What the extended-timestamp field can hold: a signed 32-bit count from 1970.
u32 ExtendedTimeOf(i64 unixTime);

// SOURCE_DATE_EPOCH: a decimal count of seconds; false when it is not one.
bool ParseEpoch(const char* text, i64& epoch);
