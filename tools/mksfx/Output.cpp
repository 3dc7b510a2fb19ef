#include "Output.h"

#include <cerrno>
#include <cstring>

#include "Names.h"

static std::string Reason(const std::string& path)
{
    return "cannot write '" + ShownPath(path) + "': " + std::strerror(errno);
}

bool OutputOpen(OutputFile& out, const std::string& path, std::string& error)
{
    out.Path = path;
    out.File = CreatePending(path + ".mksfx-", out.TempPath);
    if (out.File == NoFile) {
        error = errno == ENAMETOOLONG ? "cannot write '" + ShownPath(path) + "': path too long"
                                      : Reason(path);
        return false;
    }
    out.Written = 0;
    return true;
}

bool OutputWrite(OutputFile& out, const void* data, std::size_t length, std::string& error)
{
    if (!WriteAll(out.File, data, length)) {
        error = Reason(out.Path);
        return false;
    }
    out.Written += length;
    return true;
}

bool OutputClose(OutputFile& out, std::string& error)
{
    if (out.File == NoFile)
        return true;
    bool closed = CloseFile(out.File);
    out.File = NoFile;
    if (!closed) {
        error = Reason(out.Path);
        return false;
    }
    return true;
}

bool OutputCommit(OutputFile& out, std::string& error)
{
    if (!OutputClose(out, error))
        return false;
    if (!CommitPending(out.TempPath, out.Path)) {
        error = Reason(out.Path);
        return false;
    }
    out.TempPath.clear();
    return true;
}

void OutputDiscard(OutputFile& out)
{
    CloseFile(out.File);
    out.File = NoFile;
    if (!out.TempPath.empty()) {
        RemovePending(out.TempPath);
        out.TempPath.clear();
    }
}
