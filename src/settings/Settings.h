// What the packer may set for a self-extractor: its title, its destination, the overwrite
// rule, quiet runs, a program to run after extraction and a temporary folder for it. They
// travel as a block right behind the program's image and in front of the archive, inside the
// bytes a signature covers, so a signed file cannot be pointed elsewhere.
#pragma once

#include "Types.h"

// The block: the mark, the payload's length and its CRC-32 (each 32-bit, little-endian), then
// the payload, records of a tag byte, a 16-bit length and that many bytes. Texts are UTF-8.
constexpr u8 SettingsMark[8] = {'S', 'f', 'x', 'S', 'e', 't', 0x1A, 1};
constexpr u32 SettingsHeaderSize = 16;

constexpr u8 SettingTitle = 1;
constexpr u8 SettingDestination = 2;  // may hold %NAME% variables; relative to the program
constexpr u8 SettingOverwrite = 3;    // one byte, an Overwrite value
constexpr u8 SettingQuiet = 4;        // empty
constexpr u8 SettingRunProgram = 5;   // a path under the destination, '\' between parts
constexpr u8 SettingRunArguments = 6;
constexpr u8 SettingTemp = 7;   // empty; needs a program to run
constexpr u8 SettingAdmin = 8;  // empty; the manifest asks for the rights, this records it

constexpr u8 OverwriteAsk = 0;
constexpr u8 OverwriteAlways = 1;
constexpr u8 OverwriteNever = 2;

// In bytes. A title is one line of a caption; the others are paths or a command line.
constexpr u32 SettingTitleLimit = NameBufferSize - 1;
constexpr u32 SettingTextLimit = WidePathLimit;
constexpr u32 SettingsPayloadLimit = 4 * (SettingTextLimit + 3);

struct SfxSettings
{
    bool Present;  // a block was read: runs end with the exit code of their outcome
    bool Quiet;
    bool Temp;
    bool Admin;
    u8 Overwrite;
    char Title[SettingTitleLimit + 1];
    char Destination[SettingTextLimit + 1];
    char RunProgram[SettingTextLimit + 1];
    char RunArguments[SettingTextLimit + 1];
};

constexpr i32 SettingsNone = 0;  // no block: the program as it is built
constexpr i32 SettingsRead = 1;
constexpr i32 SettingsDamaged = 2;  // cut short, changed or not understood: nothing may run

// Whether the program's path stays under the destination: relative, and every part a name (no
// drive or stream, no root, no empty part, none of dots only).
bool StaysUnderDestination(const char* path);

// Reads the block that starts at data (available bytes up to the file's end). Damaged also
// for a record past the payload, one given twice, an unknown tag, a text over its limit or
// with a zero byte, a program path that could leave the destination, or a temporary folder
// without a program.
i32 ParseSettings(const u8* data, u32 available, SfxSettings& settings);

// Where the file's program image ends: behind its last section. 0 for no Windows program.
u32 ImageFileEnd(const char* path);

// The block of the file at path, if any.
i32 ReadSettings(const char* path, SfxSettings& settings);

// The destination with each %NAME% replaced by the variable's value (%% stands for %),
// relative to folder (which ends in '\') unless it starts with a drive or a share. False
// for a variable that is not set, a lone %, or a result longer than a path may be.
bool ExpandDestination(const char* configured, const char* folder, char* result);
