#include "DosTime.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "System.h"

u32 DosDateTimeOf(i64 unixTime)
{
    std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm local{};
    if (!LocalTimeOf(t, local))
        return unixTime < 0 ? DosEarliest : 0xFF9FBF7D;
    int year = local.tm_year + 1900;
    if (year < 1980)
        return DosEarliest;
    if (year > 2107)
        return 0xFF9FBF7D;  // 2107-12-31 23:59:58
    // A leap second (60) would not fit the 5-bit field of halves.
    int seconds = local.tm_sec > 59 ? 59 : local.tm_sec;
    u32 time = static_cast<u32>(local.tm_hour << 11 | local.tm_min << 5 | seconds / 2);
    u32 date = static_cast<u32>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    return date << 16 | time;
}

i64 UnixTimeOfDos(u32 dosDateTime)
{
    std::tm local{};
    local.tm_year = static_cast<int>(dosDateTime >> 25) + 80;
    local.tm_mon = static_cast<int>(dosDateTime >> 21 & 15) - 1;
    local.tm_mday = static_cast<int>(dosDateTime >> 16 & 31);
    local.tm_hour = static_cast<int>(dosDateTime >> 11 & 31);
    local.tm_min = static_cast<int>(dosDateTime >> 5 & 63);
    local.tm_sec = static_cast<int>(dosDateTime & 31) * 2;
    local.tm_isdst = -1;
    return static_cast<i64>(std::mktime(&local));
}

u32 ExtendedTimeOf(i64 unixTime)
{
    if (unixTime < 0)
        return 0;
    return unixTime > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<u32>(unixTime);
}

bool ParseEpoch(const char* text, i64& epoch)
{
    if (text == nullptr || *text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    epoch = value;
    return true;
}
