// The local time zone (TZ) set for an object's lifetime, and the one before put back. On
// Windows only the C runtime reads it (the packer's times); the system's calls keep its zone.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

// Zones with daylight saving make local-time conversions differ from the identity.
constexpr const char* CentralEuropeanZone = "CET-1CEST,M3.5.0,M10.5.0/3";

struct LocalZone
{
    explicit LocalZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        HadZone = old != nullptr;
        OldZone = HadZone ? old : "";
        Set(zone);
    }

    ~LocalZone()
    {
        Set(HadZone ? OldZone.c_str() : nullptr);
    }

    static void Set(const char* zone)
    {
#if defined(_WIN32)
        _putenv_s("TZ", zone != nullptr ? zone : "");
        _tzset();
#else
        if (zone != nullptr)
            setenv("TZ", zone, 1);
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
