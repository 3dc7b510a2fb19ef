// Zero-terminated ANSI text and path operations. Nothing here allocates or checks the room
// at the destination: callers guarantee it. The path operations respect double-byte
// character sets, where a trail byte may have the value of a backslash.
#pragma once

#include "Types.h"

// The program's owned, length-counted string: the command-line argument and path
// classification use it. Holds at most 255 characters and lives wherever its owner puts it.
struct String
{
    u8 Length;
    char Chars[255];
};

// Set once at start-up, before anything else of the program runs.
extern constinit u8 DbcsEnabled;

void TextInit();

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

char* PathFindChar(const char* text, char wanted);
char* PathFindLastChar(const char* text, char wanted);
void AddTrailingBackslash(char* path);
void RemoveTrailingBackslash(char* path);
void TrimTrailingBlanks(char* text);
bool IsUncPath(const char* path);
bool IsRootPath(const char* path);
