// File times as DOS date-times in local time, attributes, the directory search with its
// attribute filter, and the classification of a path as missing, file or directory.
// Every operation leaves its outcome in FsLastError, as the file layer does.
#pragma once

#include "Types.h"
#include "platform/win32.h"

// Time in the low half, date in the high half; local time.
using DosDateTime = u32;

struct DateTimeParts
{
    u16 Year;
    u16 Month;
    u16 Day;
    u16 Hour;
    u16 Minute;
    u16 Second;
};

struct SearchRecord
{
    HANDLE FindHandle;  // INVALID_HANDLE_VALUE when no search is open
    u16 AttributeMask;
    u8 Attributes;  // the six DOS bits only
    DosDateTime Time;
    u32 SizeLow;
    char Name[NameBufferSize];  // UTF-8, as every name
    u16 AllAttributes;
    u32 SizeHigh;        // 0 for a directory
    char ShortName[40];  // 8.3, empty unless it differs from the long name
    FILETIME WriteTime;  // UTC
};

constexpr u16 FsAttributeMaskAll = 0x3F;
constexpr u8 FsAttributeVolume = 0x08;

constexpr i32 PathMissing = 0;
constexpr i32 PathIsFile = 1;
constexpr i32 PathIsDirectory = 2;

DateTimeParts DosUnpack(DosDateTime value);
DosDateTime DosPack(const DateTimeParts& parts);
// A value that names no valid date gives the zero FILETIME, which FsSetTime never applies.
FILETIME DosToFileTime(DosDateTime value);
DosDateTime DosFromFileTime(const FILETIME& time);

void FsSetTime(HANDLE file, DosDateTime value);
DosDateTime FsGetTime(HANDLE file);
void FsSetAttributes(const char* name, u16 attributes);
u32 FsGetAttributes(const char* name);

void FsFindFirst(const char* pattern, u16 attributeMask, SearchRecord& record);
void FsFindNext(SearchRecord& record);
void FsFindClose(SearchRecord& record);

// A root is tested by making it the current directory, which stays changed.
i32 FsPathKind(const char* path);
bool FsDirExists(const char* path);
