// Path creation. The path is UTF-8, whose bytes of other characters are never a backslash.
// Server, share and drive root are never created.
#include "files/FileInfo.h"
#include "files/FileSystem.h"
#include "text/Text.h"

// The separator the walk starts from: the one below the share of a network path, the first
// one otherwise, or the beginning of the text. Null when there is nothing to create.
static char* StartSeparator(char* work)
{
    if (!IsUncPath(work)) {
        char* first = TextFindChar(work, '\\');
        return first != nullptr ? first : work;
    }
    char* afterServer = TextFindChar(work + 2, '\\');
    if (afterServer == nullptr)
        return nullptr;
    char* afterShare = TextFindChar(afterServer + 1, '\\');
    return afterShare != nullptr ? afterShare : work;
}

static void MakeMissing(char* work, char* end)
{
    *end = 0;
    if (!FsDirExists(work)) {
        TrimTrailingBlanks(work);
        FsMakeDir(work);
        // The blanks go back, so each later prefix is still a prefix of the path.
        for (char* p = TextEnd(work); p != end; ++p)
            *p = ' ';
    }
    *end = '\\';
}

HANDLE FsCreatePath(const char* path, bool isDirectory)
{
    char work[PathBufferSize];
    TextCopyMax(work, path, PathLimit);
    if (!isDirectory) {
        HANDLE file = FsCreate(path, 0);
        if (FsLastError != ERROR_PATH_NOT_FOUND)
            return file;
    }
    FsLastError = 0;
    char* current = StartSeparator(work);
    while (current != nullptr) {
        char* next = TextFindChar(current + 1, '\\');
        if (next == nullptr)
            break;
        MakeMissing(work, next);
        current = next;
    }
    return isDirectory ? nullptr : FsCreate(path, 0);
}
