// The extraction run: the directory is walked once to add up the sizes and once to extract,
// with the progress window open, the overwrite questions asked per entry, and at most one
// final message. The run stops at the first entry that fails.
#pragma once

#include "Types.h"

// Results of ExtractAll; the others are entry result codes.
constexpr i32 RunDirectoryUnreadable = -2;
constexpr i32 RunOtherFailure = 4;

// The target whose creation or writing failed; the caption of the run's write-error message.
extern constinit char FailedTarget[PathBufferSize];

// The status text of the progress window holds at most this many characters.
constexpr u32 StatusTextLimit = 520;

// How a run ended, as the process's exit code where one is reported: quiet runs and
// self-extractors the packer configured.
constexpr u32 StyleFinalMessage = 0x30;  // MB_OK | MB_ICONEXCLAMATION

constexpr i32 ExitExtracted = 0;  // every entry extracted or kept
constexpr i32 ExitEntryFailed = 1;
constexpr i32 ExitWriteFailed = 2;
constexpr i32 ExitNothingToExtract = 3;
constexpr i32 ExitCancelled = 4;
constexpr i32 ExitCannotStart = 5;  // the program to run after extraction

// One of the exit codes above, ExitCannotStart aside.
i32 RunExtraction();
// The sum of the entries' uncompressed sizes, or 0 when there is nothing to extract. In
// floating point, which holds any sum of 64-bit sizes without wrapping.
double SumEntrySizes(const char* archivePath, u32 base, u32 archiveLength);
// 0, 2 (FailedTarget holds the path), 4, 5 (cancelled), or -2 (directory unreadable).
i32 ExtractAll(const char* archivePath, const char* destination, u32 base, u32 archiveLength);
bool TargetExists(const char* path);
// Removes every component of two or more dots that stands between two backslashes, looking
// from the given position on; the component before it stays.
void DropDotComponents(char* from);
// Whether the entry's part of a target path (after its dot components were dropped) is
// written where it says: no ':' (a stream, or a drive in mid-path), no component that names
// a device such as CON or LPT1, and none that ends in a dot or a blank, which the system
// would drop (so none that it takes for "." or "..").
bool IsSafeEntryName(const char* name);
// The entry's target: the destination (ending in '\'), then name with its dot components
// dropped; entryPart points at the destination's last character. False when the whole path is
// longer than a path may be: target then holds it cut, for the messages only.
bool ComposeTargetPath(char* target, const char* destination, const char* name, char*& entryPart);
// "From: <archive file name>" CR "To:   <target>", cut to StatusTextLimit characters.
void ComposeStatusText(char* status, const char* archivePath, const char* targetPath);
