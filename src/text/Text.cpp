// Zero-terminated text and DBCS-aware path operations.
#include "text/Text.h"

#include "platform/win32.h"

constinit u8 DbcsEnabled = 0;

void TextInit()
{
    DbcsEnabled = GetSystemMetrics(SM_DBCSENABLED) != 0 ? 1 : 0;
}

u32 TextLength(const char* text)
{
    const char* p = text;
    while (*p != 0)
        ++p;
    return static_cast<u32>(p - text);
}

char* TextEnd(const char* text)
{
    return const_cast<char*>(text + TextLength(text));
}

char* TextCopy(char* destination, const char* source)
{
    char* d = destination;
    while ((*d++ = *source++) != 0) {
    }
    return destination;
}

char* TextCopyMax(char* destination, const char* source, u32 maxCount)
{
    char* d = destination;
    while (maxCount != 0 && *source != 0) {
        *d++ = *source++;
        --maxCount;
    }
    *d = 0;
    return destination;
}

char* TextAppend(char* destination, const char* source)
{
    TextCopy(TextEnd(destination), source);
    return destination;
}

char* TextAppendMax(char* destination, const char* source, u32 maxCount)
{
    u32 length = TextLength(destination);
    if (length < maxCount)
        TextCopyMax(destination + length, source, maxCount - length);
    return destination;
}

char* TextFromString(char* destination, const String& string)
{
    u32 i = 0;
    for (; i < string.Length; ++i)
        destination[i] = string.Chars[i];
    destination[i] = 0;
    return destination;
}

String StringFromText(const char* text)
{
    String string;
    u32 i = 0;
    for (; i < sizeof string.Chars && text[i] != 0; ++i)
        string.Chars[i] = text[i];
    string.Length = static_cast<u8>(i);
    return string;
}

char* TextFindChar(const char* text, char wanted)
{
    for (;; ++text) {
        if (*text == wanted)
            return const_cast<char*>(text);
        if (*text == 0)
            return nullptr;
    }
}

char* TextFindLastChar(const char* text, char wanted)
{
    const char* p = TextEnd(text);
    for (;;) {
        if (*p == wanted)
            return const_cast<char*>(p);
        if (p == text)
            return nullptr;
        --p;
    }
}

i32 TextCompare(const char* a, const char* b)
{
    const auto* x = reinterpret_cast<const u8*>(a);
    const auto* y = reinterpret_cast<const u8*>(b);
    while (*x == *y && *x != 0) {
        ++x;
        ++y;
    }
    return static_cast<i32>(*x) - static_cast<i32>(*y);
}

static u8 FoldAscii(u8 c)
{
    return c >= 'a' && c <= 'z' ? static_cast<u8>(c - 'a' + 'A') : c;
}

static i32 CompareMax(const char* a, const char* b, u32 maxCount, bool foldCase)
{
    const auto* x = reinterpret_cast<const u8*>(a);
    const auto* y = reinterpret_cast<const u8*>(b);
    for (; maxCount != 0; --maxCount, ++x, ++y) {
        u8 cx = foldCase ? FoldAscii(*x) : *x;
        u8 cy = foldCase ? FoldAscii(*y) : *y;
        if (cx != cy)
            return static_cast<i32>(cx) - static_cast<i32>(cy);
        if (cy == 0)
            break;  // b's terminator is the last byte compared
    }
    return 0;
}

i32 TextCompareMax(const char* a, const char* b, u32 maxCount)
{
    return CompareMax(a, b, maxCount, false);
}

i32 TextCompareMaxNoCase(const char* a, const char* b, u32 maxCount)
{
    return CompareMax(a, b, maxCount, true);
}

char* PathFindChar(const char* text, char wanted)
{
    if (!DbcsEnabled)
        return TextFindChar(text, wanted);
    // Stepping by characters keeps a trail byte from matching.
    for (;;) {
        if (*text == wanted)
            return const_cast<char*>(text);
        if (*text == 0)
            return nullptr;
        text = CharNextA(text);
    }
}

char* PathFindLastChar(const char* text, char wanted)
{
    if (!DbcsEnabled)
        return TextFindLastChar(text, wanted);
    if (*text == 0)
        return nullptr;
    const char* p = TextEnd(text);
    for (;;) {
        if (*p == wanted)
            return const_cast<char*>(p);
        if (p == text)
            return nullptr;
        p = CharPrevA(text, p);
    }
}

static char* LastChar(char* path)
{
    return CharPrevA(path, TextEnd(path));
}

void AddTrailingBackslash(char* path)
{
    if (*path != 0 && *LastChar(path) != '\\')
        TextAppend(path, "\\");
}

void RemoveTrailingBackslash(char* path)
{
    if (*path == 0)
        return;
    char* last = LastChar(path);
    if (*last == '\\')
        *last = 0;
}

void TrimTrailingBlanks(char* text)
{
    if (*text == 0)
        return;
    char* last = LastChar(text);
    while (last != text && *last == ' ') {
        *last = 0;
        last = CharPrevA(text, last);
    }
}

bool IsUncPath(const char* path)
{
    return path[0] == '\\' && path[1] == '\\';
}

static bool IsLastChar(const char* p)
{
    return p[1] == 0;
}

bool IsRootPath(const char* path)
{
    if (IsUncPath(path)) {
        const char* afterServer = PathFindChar(path + 2, '\\');
        if (afterServer == nullptr || IsLastChar(afterServer))
            return false;
        const char* afterShare = PathFindChar(afterServer + 1, '\\');
        return afterShare == nullptr || IsLastChar(afterShare);
    }
    return TextLength(path) == 3 && path[1] == ':' && path[2] == '\\';
}
