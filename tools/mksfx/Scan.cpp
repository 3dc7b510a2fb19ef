#include "Scan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "Names.h"

namespace {

struct FolderId
{
    dev_t Device;
    ino_t Inode;
};

struct Scanner
{
    const ScanSkip& Skip;
    std::vector<InputEntry>& Entries;
    std::string& Error;
    std::vector<FolderId> Open;  // the folders from the input down to the current one
};

}  // namespace

static bool Fail(Scanner& scan, const std::string& path, const char* reason)
{
    scan.Error = "cannot read '" + ShownPath(path) + "': " + reason;
    return false;
}

static InputEntry EntryOf(const std::string& name, const std::string& path, const struct stat& st)
{
    InputEntry entry;
    entry.Name = name;
    entry.Path = path;
    entry.Folder = S_ISDIR(st.st_mode);
    entry.Size = entry.Folder ? 0 : static_cast<u64>(st.st_size);
    entry.ModifiedTime = static_cast<i64>(st.st_mtime);
    entry.ReadOnly = (st.st_mode & S_IWUSR) == 0;
    return entry;
}

static bool ScanPath(Scanner& scan, const std::string& path, const std::string& name);

static bool ScanFolder(Scanner& scan, const std::string& path, const std::string& prefix,
                       const struct stat& st)
{
    for (const FolderId& open : scan.Open)
        if (open.Device == st.st_dev && open.Inode == st.st_ino)
            return Fail(scan, path, "symbolic link loop (a link to a folder that contains it)");
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr)
        return Fail(scan, path, std::strerror(errno));
    std::vector<std::string> children;
    errno = 0;
    while (dirent* child = readdir(folder)) {
        if (std::strcmp(child->d_name, ".") != 0 && std::strcmp(child->d_name, "..") != 0)
            children.emplace_back(child->d_name);
        errno = 0;
    }
    int readError = errno;
    closedir(folder);
    if (readError != 0)
        return Fail(scan, path, std::strerror(readError));
    // The listing order must not matter: recurse in name order, so the first error reported
    // is the same on every file system.
    std::sort(children.begin(), children.end());
    scan.Open.push_back({st.st_dev, st.st_ino});
    std::string base = path.back() == '/' ? path : path + "/";
    for (const std::string& child : children)
        if (!ScanPath(scan, base + child, prefix + child))
            return false;
    scan.Open.pop_back();
    return true;
}

static bool ScanPath(Scanner& scan, const std::string& path, const std::string& name)
{
    struct stat st
    {
    };

    if (stat(path.c_str(), &st) != 0)
        return Fail(scan, path, std::strerror(errno));
    if (S_ISDIR(st.st_mode)) {
        if (!name.empty())
            scan.Entries.push_back(EntryOf(name + "/", path, st));
        return ScanFolder(scan, path, name.empty() ? "" : name + "/", st);
    }
    if (!S_ISREG(st.st_mode))
        return Fail(scan, path, "not a regular file or folder");
    if (scan.Skip.Active && scan.Skip.Device == st.st_dev && scan.Skip.Inode == st.st_ino)
        return true;
    scan.Entries.push_back(EntryOf(name, path, st));
    return true;
}

std::string InputArchiveName(const std::string& argument)
{
    std::string path = argument;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::size_t slash = path.rfind('/');
    std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    return last == "." || last == ".." || last.empty() ? "" : last;
}

bool ScanInputs(const std::vector<std::string>& inputs, const ScanSkip& skip,
                std::vector<InputEntry>& entries, std::string& error)
{
    Scanner scan{skip, entries, error, {}};
    for (const std::string& input : inputs)
        if (!ScanPath(scan, input, InputArchiveName(input)))
            return false;
    return true;
}
