// The thin file layer. No operation returns a status of its own: each leaves 0 or the
// system's error code in FsLastError, which the caller tests right after the call.
#pragma once

#include "Types.h"
#include "platform/win32.h"

// One per thread, as the system's own last error is.
extern SFX_PER_THREAD i32 FsLastError;

// The system's last error, or 0, into FsLastError; how every operation of the file layer
// ends.
void FsSetOutcome(bool ok);

// The UTF-16 form of a UTF-8 path that the system's wide calls take: as it is while it is short,
// past that its full form behind \\?\ (\\?\UNC\ for a share), up to 32,767 units. Null, with
// FsLastError 206, for text that is no UTF-8 or longer than that. The result lives until the
// next call on this thread.
const WCHAR* FsSystemPath(const char* path);

// Open modes: bits 0-3 access (0 read, 1 write, 2 both), bits 4-7 sharing.
constexpr u16 FsModeRead = 0;
constexpr u16 FsModeReadWrite = 2;

HANDLE FsOpenHandle(const char* name, u32 flagsAndAttributes, u32 disposition, u16 mode);
HANDLE FsOpenRead(const char* name, u16 mode);
HANDLE FsCreate(const char* name, u32 attributes);
// Positions count from the start. A program file is under 4 GiB, and so is every file the
// layer reads; a larger one has size 0 and FsLastError ERROR_FILE_TOO_LARGE.
void FsSeek(HANDLE file, u32 position);
u32 FsSize(HANDLE file);
void FsClose(HANDLE file);
void FsRead(HANDLE file, void* buffer, u16 count, u16& countRead);
void FsWrite(HANDLE file, const void* buffer, u16 count, u16& countWritten);
void FsDelete(const char* name);
void FsMakeDir(const char* name);

// Creates a target file, or a directory entry, together with every missing directory of its
// path, from the top down (MakePath.cpp). A file: the handle of the created or truncated file,
// or INVALID_HANDLE_VALUE, with FsLastError from the last creation. A directory (the path ends
// in '\'): a null handle. Directories are tested and created only after the file creation
// failed with path not found.
HANDLE FsCreatePath(const char* path, bool isDirectory);
