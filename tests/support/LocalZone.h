// The local time zone (TZ) set for an object's lifetime, and the one before put back. Only the
// host reads TZ; on Windows the object does nothing.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

// Zones with daylight saving make local-time conversions differ from the identity.
constexpr const char* CentralEuropeanZone = "CET-1CEST,M3.5.0,M10.5.0/3";

struct LocalZone
{
    explicit LocalZone([[maybe_unused]] const char* zone)
    {
#if !defined(_WIN32)
        const char* old = std::getenv("TZ");
        HadZone = old != nullptr;
        OldZone = HadZone ? old : "";
        setenv("TZ", zone, 1);
        tzset();
#endif
    }

    ~LocalZone()
    {
#if !defined(_WIN32)
        if (HadZone)
            setenv("TZ", OldZone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
#endif
    }

    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

    bool HadZone = false;
    std::string OldZone;
};
