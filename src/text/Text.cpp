// Zero-terminated text and path operations.
#include "text/Text.h"

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
    string.Length = i;
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

static char* LastChar(char* path)
{
    return path + TextLength(path) - 1;
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
    while (last != text && *last == ' ')
        *last-- = 0;
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
        const char* afterServer = TextFindChar(path + 2, '\\');
        if (afterServer == nullptr || IsLastChar(afterServer))
            return false;
        const char* afterShare = TextFindChar(afterServer + 1, '\\');
        return afterShare == nullptr || IsLastChar(afterShare);
    }
    return TextLength(path) == 3 && path[1] == ':' && path[2] == '\\';
}

i32 WideFromText(WCHAR* wide, const char* text, u32 capacity)
{
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide,
                                    static_cast<int>(capacity));
    if (units <= 0) {
        wide[0] = 0;
        return -1;
    }
    return units - 1;
}

i32 TextFromWide(char* text, const WCHAR* wide, u32 capacity)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, static_cast<int>(capacity), nullptr,
                                    nullptr);
    if (bytes <= 0) {
        text[0] = 0;
        return -1;
    }
    return bytes - 1;
}
