// Creates a target file, or a directory entry, together with every missing directory of its
// path, from the top down.
#pragma once

#include "Types.h"
#include "platform/win32.h"

// A file: the handle of the created or truncated file, or INVALID_HANDLE_VALUE, with
// FsLastError from the last creation. A directory (the path ends in '\'): a null handle.
// Directories are tested and created only after the file creation failed with path not found.
HANDLE FsCreatePath(const char* path, bool isDirectory);
