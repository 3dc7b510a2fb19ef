#include "Output.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Names.h"

// The temporary file's path for the signal handler, which may call only async-signal-safe
// functions: a fixed buffer, cleared before the file is renamed or removed.
static char PendingPath[4096];
static volatile std::sig_atomic_t PendingSet = 0;

static void OnInterrupt(int signal)
{
    if (PendingSet != 0)
        unlink(PendingPath);
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void InstallInterruptHandlers()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, OnInterrupt);
}

static std::string Reason(const std::string& path)
{
    return "cannot write '" + ShownPath(path) + "': " + std::strerror(errno);
}

bool OutputOpen(OutputFile& out, const std::string& path, std::string& error)
{
    out.Path = path;
    std::string pattern = path + ".mksfx-XXXXXX";
    if (pattern.size() >= sizeof PendingPath) {
        error = "cannot write '" + ShownPath(path) + "': path too long";
        return false;
    }
    // The handler must know the name before the file exists, or an interrupt in between
    // would leave it behind.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    std::memcpy(PendingPath, pattern.c_str(), pattern.size() + 1);
    out.Fd = mkstemp(PendingPath);
    int saved = errno;
    PendingSet = out.Fd >= 0 ? 1 : 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = saved;
    if (out.Fd < 0) {
        error = Reason(path);
        return false;
    }
    out.TempPath = PendingPath;
    out.Written = 0;
    // As any new file: what the umask allows.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(out.Fd, 0777 & ~mask);
    return true;
}

bool OutputWrite(OutputFile& out, const void* data, std::size_t length, std::string& error)
{
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t done = write(out.Fd, p, length);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = ENOSPC;
            error = Reason(out.Path);
            return false;
        }
        p += done;
        length -= static_cast<std::size_t>(done);
        out.Written += static_cast<u64>(done);
    }
    return true;
}

bool OutputClose(OutputFile& out, std::string& error)
{
    if (out.Fd < 0)
        return true;
    int result = close(out.Fd);
    out.Fd = -1;
    if (result != 0) {
        error = Reason(out.Path);
        return false;
    }
    return true;
}

bool OutputCommit(OutputFile& out, std::string& error)
{
    if (!OutputClose(out, error))
        return false;
    if (std::rename(out.TempPath.c_str(), out.Path.c_str()) != 0) {
        error = Reason(out.Path);
        return false;
    }
    PendingSet = 0;
    out.TempPath.clear();
    return true;
}

void OutputDiscard(OutputFile& out)
{
    if (out.Fd >= 0)
        close(out.Fd);
    out.Fd = -1;
    if (!out.TempPath.empty()) {
        PendingSet = 0;
        unlink(out.TempPath.c_str());
        out.TempPath.clear();
    }
}
