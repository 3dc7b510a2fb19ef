// The long form of a path, component by component through the directory search.
#include "files/LongPath.h"

#include "files/FileInfo.h"
#include "files/FileSystem.h"
#include "text/Text.h"

void ExpandLongPath(char* path)
{
    if (path[0] == '\\' || path[0] == 0 || path[1] != ':' || TextLength(path) <= 3)
        return;
    char copy[PathBufferSize];
    TextCopy(copy, path);
    RemoveTrailingBackslash(copy);
    char result[PathBufferSize];
    TextCopyMax(result, copy, 3);
    // Each prefix of the copy that ends after a component is looked up on its own.
    char* component = copy + 3;
    while (*component != 0) {
        char* end = TextFindChar(component, '\\');
        char saved = end != nullptr ? *end : '\0';
        if (end != nullptr)
            *end = 0;
        AddTrailingBackslash(result);
        SearchRecord record{};
        FsFindFirst(copy, FsAttributeMaskAll, record);
        if (FsLastError == 0) {
            TextAppendMax(result, record.Name, PathLimit);
        } else {
            FsLastError = 0;
            TextAppendMax(result, component, PathLimit);
        }
        FsFindClose(record);
        if (end == nullptr)
            break;
        *end = saved;
        component = end + 1;
    }
    TextCopy(path, result);
}
