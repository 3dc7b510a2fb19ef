#include "Scan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Names.h"
#include "System.h"

namespace {

struct Scanner
{
    const ScanSkip& Skip;
    std::vector<InputEntry>& Entries;
    std::string& Error;
    std::vector<PathStatus> Open;  // the folders from the input down to the current one
};

}  // namespace

static bool Fail(Scanner& scan, const std::string& path, const char* reason)
{
    scan.Error = "cannot read '" + ShownPath(path) + "': " + reason;
    return false;
}

static InputEntry EntryOf(const std::string& name, const std::string& path, const PathStatus& st)
{
    InputEntry entry;
    entry.Name = name;
    entry.Path = path;
    entry.Folder = st.Folder;
    entry.Size = entry.Folder ? 0 : st.Size;
    entry.ModifiedTime = st.ModifiedTime;
    entry.ReadOnly = st.ReadOnly;
    return entry;
}

static bool ScanPath(Scanner& scan, const std::string& path, const std::string& name);

static bool ScanFolder(Scanner& scan, const std::string& path, const std::string& prefix,
                       const PathStatus& st)
{
    for (const PathStatus& open : scan.Open)
        if (open.Volume == st.Volume && open.Index == st.Index)
            return Fail(scan, path, "symbolic link loop (a link to a folder that contains it)");
    std::vector<std::string> children;
    if (!ListFolder(path, children))
        return Fail(scan, path, std::strerror(errno));
    // The listing order must not matter: recurse in name order, so the first error reported
    // is the same on every file system.
    std::sort(children.begin(), children.end());
    scan.Open.push_back(st);
    std::string base = IsPathSeparator(path.back()) ? path : path + "/";
    for (const std::string& child : children)
        if (!ScanPath(scan, base + child, prefix + child))
            return false;
    scan.Open.pop_back();
    return true;
}

static bool ScanPath(Scanner& scan, const std::string& path, const std::string& name)
{
    PathStatus st;
    if (!StatusOfPath(path, st))
        return Fail(scan, path, std::strerror(errno));
    if (st.Folder) {
        if (!name.empty())
            scan.Entries.push_back(EntryOf(name + "/", path, st));
        return ScanFolder(scan, path, name.empty() ? "" : name + "/", st);
    }
    if (!st.Regular)
        return Fail(scan, path, "not a regular file or folder");
    if (scan.Skip.Active && scan.Skip.Volume == st.Volume && scan.Skip.Index == st.Index)
        return true;
    scan.Entries.push_back(EntryOf(name, path, st));
    return true;
}

std::string InputArchiveName(const std::string& argument)
{
    std::string path = argument;
    while (path.size() > 1 && IsPathSeparator(path.back()))
        path.pop_back();
    std::string last = path.substr(LastComponentAt(path));
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
