// Zero-terminated text and path operations. Nothing here allocates or checks the room at the
// destination: callers guarantee it. Paths and names are UTF-8, in which no byte of a
// character other than '\\' has that value, so paths split by bytes.
#pragma once

#include "Types.h"
#include "platform/win32.h"

// The program's owned, length-counted string: the command-line argument uses it. Holds a
// whole path and lives wherever its owner puts it.
struct String
{
    u32 Length;
    char Chars[PathLimit];
};

u32 TextLength(const char* text);
char* TextEnd(const char* text);
char* TextCopy(char* destination, const char* source);
char* TextCopyMax(char* destination, const char* source, u32 maxCount);
char* TextAppend(char* destination, const char* source);
char* TextAppendMax(char* destination, const char* source, u32 maxCount);
char* TextFromString(char* destination, const String& string);
String StringFromText(const char* text);
char* TextFindChar(const char* text, char wanted);
char* TextFindLastChar(const char* text, char wanted);
i32 TextCompare(const char* a, const char* b);
i32 TextCompareMax(const char* a, const char* b, u32 maxCount);
i32 TextCompareMaxNoCase(const char* a, const char* b, u32 maxCount);

void AddTrailingBackslash(char* path);
void RemoveTrailingBackslash(char* path);
void TrimTrailingBlanks(char* text);
bool IsUncPath(const char* path);
bool IsRootPath(const char* path);

// UTF-8 to UTF-16 and back through the system's converters, terminator included. Each returns
// the units or bytes before the terminator, or -1 (and an empty result) when the text is not
// valid or does not fit in capacity units or bytes, terminator counted.
i32 WideFromText(WCHAR* wide, const char* text, u32 capacity);
i32 TextFromWide(char* text, const WCHAR* wide, u32 capacity);
