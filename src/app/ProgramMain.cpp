// For now the program walks its own archive directory; extraction comes with later modules.
#include "app/ProgramMain.h"

#include "archive/ZipDirectory.h"
#include "platform/win32.h"

void ProgramMain()
{
    char path[PathBufferSize];
    GetModuleFileNameA(nullptr, path, PathLimit);
    path[PathLimit] = 0;
    ArchiveReader reader;
    for (i32 result = ArchiveOpen(path, reader, 0, 0); result == 0;
         result = ArchiveNextEntry(reader)) {
    }
    ArchiveClose(reader);
}
