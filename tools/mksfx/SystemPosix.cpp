#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "System.h"

std::vector<std::string> StartProgram(int argc, char** argv)
{
    return {argv + 1, argv + argc};
}

static void StatusOf(const struct stat& st, PathStatus& status)
{
    status.Folder = S_ISDIR(st.st_mode);
    status.Regular = S_ISREG(st.st_mode);
    status.ReadOnly = (st.st_mode & S_IWUSR) == 0;
    status.Size = static_cast<u64>(st.st_size);
    status.ModifiedTime = static_cast<i64>(st.st_mtime);
    status.Volume = static_cast<u64>(st.st_dev);
    status.Index = static_cast<u64>(st.st_ino);
}

bool StatusOfPath(const std::string& path, PathStatus& status)
{
    struct stat st
    {
    };

    if (stat(path.c_str(), &st) != 0)
        return false;
    StatusOf(st, status);
    return true;
}

bool StatusOfFile(FileHandle file, PathStatus& status)
{
    struct stat st
    {
    };

    if (fstat(static_cast<int>(file), &st) != 0)
        return false;
    StatusOf(st, status);
    return true;
}

FileHandle OpenForReading(const std::string& path)
{
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

long long ReadSome(FileHandle file, void* buffer, std::size_t length)
{
    ssize_t done = 0;
    while ((done = read(static_cast<int>(file), buffer, length)) < 0 && errno == EINTR) {
    }
    return done;
}

bool ReadAt(FileHandle file, u64 offset, void* buffer, std::size_t length)
{
    auto* p = static_cast<char*>(buffer);
    while (length > 0) {
        ssize_t done = pread(static_cast<int>(file), p, length, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = 0;
            return false;
        }
        p += done;
        offset += static_cast<u64>(done);
        length -= static_cast<std::size_t>(done);
    }
    return true;
}

bool CloseFile(FileHandle file)
{
    return file == NoFile || close(static_cast<int>(file)) == 0;
}

bool Readable(const std::string& path)
{
    return access(path.c_str(), R_OK) == 0;
}

bool ListFolder(const std::string& path, std::vector<std::string>& names)
{
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr)
        return false;
    errno = 0;
    while (dirent* child = readdir(folder)) {
        if (std::strcmp(child->d_name, ".") != 0 && std::strcmp(child->d_name, "..") != 0)
            names.emplace_back(child->d_name);
        errno = 0;
    }
    int readError = errno;
    closedir(folder);
    errno = readError;
    return readError == 0;
}

bool IsPathSeparator(char c)
{
    return c == '/';
}

std::size_t LastComponentAt(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// The pending file's path for the signal handler, which may call only async-signal-safe
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

FileHandle CreatePending(const std::string& prefix, std::string& path)
{
    std::string pattern = prefix + "XXXXXX";
    if (pattern.size() >= sizeof PendingPath) {
        errno = ENAMETOOLONG;
        return NoFile;
    }
    // The handler must know the name before the file exists, or an interrupt in between
    // would leave it behind.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    std::memcpy(PendingPath, pattern.c_str(), pattern.size() + 1);
    int fd = mkstemp(PendingPath);
    int saved = errno;
    PendingSet = fd >= 0 ? 1 : 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = saved;
    if (fd < 0)
        return NoFile;
    path = PendingPath;
    // As any new file: what the umask allows.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0777 & ~mask);
    return fd;
}

bool WriteAll(FileHandle file, const void* data, std::size_t length)
{
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t done = write(static_cast<int>(file), p, length);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = ENOSPC;
            return false;
        }
        p += done;
        length -= static_cast<std::size_t>(done);
    }
    return true;
}

bool CommitPending(const std::string& path, const std::string& target)
{
    bool renamed = std::rename(path.c_str(), target.c_str()) == 0;
    if (renamed)
        PendingSet = 0;
    return renamed;
}

void RemovePending(const std::string& path)
{
    PendingSet = 0;
    unlink(path.c_str());
}

bool LocalTimeOf(std::time_t time, std::tm& local)
{
    return localtime_r(&time, &local) != nullptr;
}

bool ErrorIsTerminal()
{
    return isatty(2) != 0;
}
