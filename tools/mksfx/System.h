// The packer's calls into the operating system, one interface over POSIX and Windows. Paths are
// UTF-8 on both; on Windows they may be of any length. A failed call leaves errno set, Windows'
// own codes mapped to it, so that a message reads the same on both systems.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "DosTime.h"

using FileHandle = std::intptr_t;
constexpr FileHandle NoFile = -1;

struct PathStatus
{
    bool Folder = false;
    bool Regular = false;
    bool ReadOnly = false;  // no write permission for the owner, or the read-only attribute
    u64 Size = 0;
    i64 ModifiedTime = 0;  // seconds since 1970, UTC
    // Equal for two paths of one file (links, other spellings).
    u64 Volume = 0;
    u64 Index = 0;
};

// The program's arguments as UTF-8 (on Windows taken from the wide command line). On Windows
// its output is made the same bytes as elsewhere: UTF-8, lines ending in LF.
std::vector<std::string> StartProgram(int argc, char** argv);

// Both follow symbolic links.
bool StatusOfPath(const std::string& path, PathStatus& status);
bool StatusOfFile(FileHandle file, PathStatus& status);

FileHandle OpenForReading(const std::string& path);
// Reads up to length bytes where the file stands: the count, 0 at its end, -1 on an error.
long long ReadSome(FileHandle file, void* buffer, std::size_t length);
// Reads exactly length bytes at offset; false with errno 0 where the file ends first.
bool ReadAt(FileHandle file, u64 offset, void* buffer, std::size_t length);
// True for NoFile too; false where the system reports an error of a write at the close.
bool CloseFile(FileHandle file);
bool Readable(const std::string& path);

// The names in a folder, without "." and "..", in no particular order.
bool ListFolder(const std::string& path, std::vector<std::string>& names);
// Whether c separates a path's components here ('\' too on Windows).
bool IsPathSeparator(char c);
// Where the path's last component starts: behind its last separator, or a drive's colon.
std::size_t LastComponentAt(const std::string& path);

// A new file of a name that starts with prefix, with any permissions a new file would get.
// Its name is known to the interrupt handler before it exists, until it is renamed or removed.
FileHandle CreatePending(const std::string& prefix, std::string& path);
bool WriteAll(FileHandle file, const void* data, std::size_t length);
// Renames the pending file over target, replacing it; the handler forgets it either way.
bool CommitPending(const std::string& path, const std::string& target);
void RemovePending(const std::string& path);
// On an interrupt (Ctrl+C, a signal to end), the pending file goes, then the process.
void InstallInterruptHandlers();

bool LocalTimeOf(std::time_t time, std::tm& local);
bool ErrorIsTerminal();
