// Running the installed program, and the temporary folder's life.
#include "app/Launch.h"

#include "context/SfxContext.h"
#include "extract/ExtractRun.h"
#include "files/FileInfo.h"
#include "files/FileSystem.h"
#include "text/Text.h"

i32 RunInstalledProgram(const char* destination, const char* program, const char* arguments)
{
    static char line[2 * PathBufferSize + 4];
    static WCHAR application[WidePathLimit + 1];
    static WCHAR commandLine[WidePathLimit + 1];
    static WCHAR folder[WidePathLimit + 1];
    // The program's full path names it: no search of other folders applies. Quoted in the
    // command line, so that a path with blanks stays one item for the program's own parsing.
    TextCopy(line, "\"");
    TextAppend(line, destination);
    TextAppend(line, program);
    const WCHAR* path = FsSystemPath(line + 1);
    if (path == nullptr || WideFromText(folder, destination, WidePathLimit + 1) < 0)
        return ExitCannotStart;
    lstrcpyW(application, path);
    TextAppend(line, "\"");
    if (arguments[0] != 0) {
        TextAppend(line, " ");
        TextAppend(line, arguments);
    }
    STARTUPINFOW startup;
    __builtin_memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (WideFromText(commandLine, line, WidePathLimit + 1) < 0 ||
        CreateProcessW(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder,
                       &startup, &process) == FALSE)
        return ExitCannotStart;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = ExitCannotStart;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<i32>(code);
}

constexpr i32 TempFolderAttempts = 100;

bool MakeTempFolder(char* path)
{
    WCHAR temp[MAX_PATH + 1];
    DWORD units = GetTempPathW(MAX_PATH + 1, temp);
    if (units == 0 || units > MAX_PATH || TextFromWide(path, temp, PathBufferSize) < 0)
        return false;
    AddTrailingBackslash(path);
    char* name = TextEnd(path);
    u32 seed = GetTickCount() ^ GetCurrentProcessId() << 16;
    for (i32 attempt = 0; attempt < TempFolderAttempts; ++attempt, seed = seed * 69069 + 1) {
        TextCopy(name, "sfx-00000000\\");
        for (i32 digit = 0; digit < 8; ++digit)
            name[4 + digit] = "0123456789abcdef"[(seed >> (28 - 4 * digit)) & 15];
        FsMakeDir(path);
        if (FsLastError == 0)
            return true;
        if (FsLastError != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

static void RemoveFolder(const char* path)
{
    const WCHAR* folder = FsSystemPath(path);
    if (folder != nullptr)
        RemoveDirectoryW(folder);
}

void RemoveFolderTree(char* path)
{
    char* end = TextEnd(path);
    TextCopy(end, "*");
    SearchRecord record{};
    for (FsFindFirst(path, FsAttributeMaskAll, record); FsLastError == 0; FsFindNext(record)) {
        const char* name = record.Name;
        if (TextCompare(name, ".") == 0 || TextCompare(name, "..") == 0 ||
            TextLength(path) + TextLength(name) + 2 > PathLimit)
            continue;
        TextCopy(end, name);
        // A link to a folder elsewhere goes, but not what it points at.
        if ((record.AllAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
            FILE_ATTRIBUTE_DIRECTORY) {
            TextAppend(end, "\\");
            RemoveFolderTree(path);
        } else if ((record.AllAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            RemoveFolder(path);
        } else {
            FsSetAttributes(path, FILE_ATTRIBUTE_ARCHIVE);
            FsDelete(path);
        }
    }
    FsFindClose(record);
    *end = 0;
    RemoveFolder(path);
}
