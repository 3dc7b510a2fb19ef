// The last-name carry-over of the folder browser, apart from the shell so both targets test it.
#include "app/DestinationDialog.h"

#include "text/Text.h"

const char* BrowseLastName(const char* path)
{
    const char* slash = TextFindLastChar(path, '\\');
    return slash != nullptr ? slash + 1 : path;
}

void BrowseCarryLastName(char* chosen, const char* previousLastName)
{
    u32 previousLength = TextLength(previousLastName);
    const char* slash = TextFindLastChar(chosen, '\\');
    if (previousLength == 0 || slash == nullptr ||
        TextCompareMaxNoCase(slash + 1, previousLastName, previousLength) == 0)
        return;
    AddTrailingBackslash(chosen);
    TextAppendMax(chosen, previousLastName, PathLimit);
}
