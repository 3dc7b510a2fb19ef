// The settings block: found behind the program's image, checked whole before any of it is used.
#include "settings/Settings.h"

#include "archive/ZipFormat.h"
#include "files/FileSystem.h"
#include "inflate/Crc32.h"
#include "text/Text.h"

static bool IsMark(const u8* data)
{
    for (u32 i = 0; i < sizeof SettingsMark; ++i)
        if (data[i] != SettingsMark[i])
            return false;
    return true;
}

// A text record into its field: within the limit and without a zero byte, which would cut it.
static bool TakeText(const u8* value, u32 length, char* field, u32 limit)
{
    if (length == 0 || length > limit)
        return false;
    for (u32 i = 0; i < length; ++i) {
        if (value[i] == 0)
            return false;
        field[i] = static_cast<char>(value[i]);
    }
    field[length] = 0;
    return true;
}

bool StaysUnderDestination(const char* path)
{
    if (TextFindChar(path, ':') != nullptr || TextFindChar(path, '/') != nullptr)
        return false;
    const char* part = path;
    for (;;) {
        const char* end = TextFindChar(part, '\\');
        if (end == nullptr)
            end = TextEnd(part);
        const char* c = part;
        while (c != end && *c == '.')
            ++c;
        if (c == end)
            return false;
        if (*end == 0)
            return true;
        part = end + 1;
    }
}

static bool TakeRecord(u8 tag, const u8* value, u32 length, SfxSettings& settings)
{
    switch (tag) {
        case SettingTitle:
            return TakeText(value, length, settings.Title, SettingTitleLimit);
        case SettingDestination:
            return TakeText(value, length, settings.Destination, SettingTextLimit);
        case SettingOverwrite:
            settings.Overwrite = length == 1 ? value[0] : 0xFF;
            return settings.Overwrite <= OverwriteNever;
        case SettingRunProgram:
            return TakeText(value, length, settings.RunProgram, SettingTextLimit) &&
                   StaysUnderDestination(settings.RunProgram);
        case SettingRunArguments:
            return TakeText(value, length, settings.RunArguments, SettingTextLimit);
        case SettingQuiet:
            settings.Quiet = true;
            return length == 0;
        case SettingTemp:
            settings.Temp = true;
            return length == 0;
        case SettingAdmin:
            settings.Admin = true;
            return length == 0;
        default:
            return false;
    }
}

// Nothing of a damaged block is kept: not even a quiet record says who may be told.
static i32 Damaged(SfxSettings& settings)
{
    settings = SfxSettings{};
    settings.Present = true;
    return SettingsDamaged;
}

i32 ParseSettings(const u8* data, u32 available, SfxSettings& settings)
{
    settings = SfxSettings{};
    if (available < sizeof SettingsMark || !IsMark(data))
        return SettingsNone;
    settings.Present = true;
    if (available < SettingsHeaderSize)
        return Damaged(settings);
    u32 length = ZipRead32(data + 8);
    if (length > SettingsPayloadLimit || length > available - SettingsHeaderSize)
        return Damaged(settings);
    const u8* payload = data + SettingsHeaderSize;
    u32 crc = 0xFFFFFFFFu;
    if ((AddToCrc(payload, length, crc) ^ 0xFFFFFFFFu) != ZipRead32(data + 12))
        return Damaged(settings);
    u32 seen = 0;
    for (u32 at = 0; at < length;) {
        if (length - at < 3)
            return Damaged(settings);
        u8 tag = payload[at];
        u32 size = ZipRead16(payload + at + 1);
        at += 3;
        u32 bit = tag < 32 ? 1u << tag : 0;
        if (size > length - at || (seen & bit) != 0 ||
            !TakeRecord(tag, payload + at, size, settings))
            return Damaged(settings);
        seen |= bit;
        at += size;
    }
    bool runs = settings.RunProgram[0] != 0;
    if ((settings.Temp && !runs) || (settings.RunArguments[0] != 0 && !runs))
        return Damaged(settings);
    return SettingsRead;
}

constexpr u32 HeaderReadSize = 4096;
constexpr u32 SectionEntrySize = 40;

u32 ImageFileEnd(const char* path)
{
    static u8 header[HeaderReadSize];
    HANDLE file = FsOpenRead(path, FsModeRead);
    if (FsLastError != 0)
        return 0;
    u16 got = 0;
    FsRead(file, header, HeaderReadSize, got);
    FsClose(file);
    if (got < 64 || header[0] != 'M' || header[1] != 'Z')
        return 0;
    u32 pe = ZipRead32(header + 0x3C);
    if (pe > got - 24u || ZipRead32(header + pe) != 0x00004550)
        return 0;
    u32 sections = ZipRead16(header + pe + 6);
    u32 table = pe + 24 + ZipRead16(header + pe + 20);
    if (table > got || sections > (got - table) / SectionEntrySize)
        return 0;
    u32 end = 0;
    for (u32 i = 0, at = table; i < sections; ++i, at += SectionEntrySize) {
        const u8* section = header + at;
        u32 last = ZipRead32(section + 20) + ZipRead32(section + 16);
        if (ZipRead32(section + 16) != 0 && last > end)
            end = last;
    }
    return end;
}

i32 ReadSettings(const char* path, SfxSettings& settings)
{
    static u8 block[SettingsHeaderSize + SettingsPayloadLimit];
    settings = SfxSettings{};
    u32 start = ImageFileEnd(path);
    if (start == 0)
        return SettingsNone;
    HANDLE file = FsOpenRead(path, FsModeRead);
    if (FsLastError != 0)
        return SettingsNone;
    FsSeek(file, start);
    u32 filled = 0;
    while (FsLastError == 0 && filled < sizeof block) {
        u32 room = sizeof block - filled;
        u16 got = 0;
        FsRead(file, block + filled, static_cast<u16>(room < 0x8000 ? room : 0x8000), got);
        filled += got;
        if (got == 0)
            break;
    }
    FsClose(file);
    return ParseSettings(block, filled, settings);
}

bool ExpandDestination(const char* configured, const char* folder, char* result)
{
    static WCHAR name[SettingTextLimit + 1];
    static WCHAR value[WidePathLimit + 1];
    static char text[PathBufferSize];
    static char expanded[PathBufferSize];
    u32 used = 0;
    for (const char* c = configured; *c != 0;) {
        if (*c != '%') {
            if (used == PathLimit)
                return false;
            expanded[used++] = *c++;
            continue;
        }
        const char* close = TextFindChar(c + 1, '%');
        if (close == nullptr)
            return false;
        const char* replacement = "%";
        if (close != c + 1) {
            TextCopyMax(text, c + 1, static_cast<u32>(close - c - 1));
            if (WideFromText(name, text, SettingTextLimit + 1) < 0)
                return false;
            DWORD units = GetEnvironmentVariableW(name, value, WidePathLimit + 1);
            if (units == 0 || units > WidePathLimit ||
                TextFromWide(text, value, PathBufferSize) < 0)
                return false;
            replacement = text;
        }
        u32 length = TextLength(replacement);
        if (length > PathLimit - used)
            return false;
        TextCopy(expanded + used, replacement);
        used += length;
        c = close + 1;
    }
    expanded[used] = 0;
    // Whether it is relative is read from the expanded text: %LOCALAPPDATA% starts a drive.
    bool absolute =
        (expanded[0] != 0 && expanded[1] == ':') || (expanded[0] == '\\' && expanded[1] == '\\');
    if (absolute) {
        TextCopy(result, expanded);
        return true;
    }
    if (TextLength(folder) > PathLimit - used)
        return false;
    TextCopy(result, folder);
    TextAppend(result, expanded);
    return true;
}
