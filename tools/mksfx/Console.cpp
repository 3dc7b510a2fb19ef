#include "Console.h"

#include <cstdio>

#include "Names.h"

void Progress::Add(u64 bytes)
{
    ++Entries;
    Bytes += bytes;
    if (!Shown)
        return;
    Clock::time_point now = Clock::now();
    if (now - LastDraw < std::chrono::milliseconds(100) && Entries != TotalEntries)
        return;
    LastDraw = now;
    double seconds = std::chrono::duration<double>(now - Start).count();
    double rate = seconds > 0 ? static_cast<double>(Bytes) / seconds / 1e6 : 0;
    std::fprintf(stderr, "\r%llu/%llu files  %.1f/%.1f MB  %.1f MB/s\033[K",
                 static_cast<unsigned long long>(Entries),
                 static_cast<unsigned long long>(TotalEntries), static_cast<double>(Bytes) / 1e6,
                 static_cast<double>(TotalBytes) / 1e6, rate);
}

void Progress::Clear() const
{
    if (Shown)
        std::fprintf(stderr, "\r\033[K");
}

void PrintPackedEntry(const ZipRecord& record)
{
    std::string name = ShownName(record.Name);
    // A folder has no data to compress: a dash where the ratio goes, in its column.
    if (record.Name.back() == '/') {
        std::printf("%10llu  %-8s %7s  %s\n",
                    static_cast<unsigned long long>(record.UncompressedSize), "folder", "-",
                    name.c_str());
        return;
    }
    double ratio = record.UncompressedSize == 0
                       ? 100.0
                       : 100.0 * static_cast<double>(record.CompressedSize) /
                             static_cast<double>(record.UncompressedSize);
    const char* how = record.Method == ZipMethodDeflated ? "deflated" : "stored";
    std::printf("%10llu  %-8s %6.1f%%  %s\n",
                static_cast<unsigned long long>(record.UncompressedSize), how, ratio, name.c_str());
}

void PrintCheckedEntry(const ZipEntry& entry, const EntryCheck& check)
{
    std::printf("%-8s %10llu  %s\n", check.Result == ResultOk ? "ok" : "FAILED",
                static_cast<unsigned long long>(entry.UncompressedSize),
                ShownName(entry.Name).c_str());
}

void PrintSettings(const SfxSettings& settings)
{
    if (settings.Title[0] != 0)
        std::printf("title: %s\n", ShownName(settings.Title).c_str());
    if (settings.Destination[0] != 0)
        std::printf("destination: %s\n", ShownName(settings.Destination).c_str());
    // Always, so that a block holding nothing else still shows.
    if (settings.Present)
        std::printf("overwrite: %s\n", settings.Overwrite == OverwriteAlways  ? "always"
                                       : settings.Overwrite == OverwriteNever ? "never"
                                                                              : "ask");
    if (settings.Quiet)
        std::printf("quiet\n");
    if (settings.RunProgram[0] != 0) {
        // As --run takes it: a program with blanks in quotes.
        std::string program = ShownName(settings.RunProgram);
        if (program.find_first_of(" \t") != std::string::npos)
            program = '"' + program + '"';
        std::printf("run: %s%s%s\n", program.c_str(), settings.RunArguments[0] != 0 ? " " : "",
                    ShownName(settings.RunArguments).c_str());
    }
    if (settings.Temp)
        std::printf("temp\n");
    if (settings.Admin)
        std::printf("admin\n");
}

void PrintSummary(const std::string& output, std::size_t entries, u64 inputBytes, u64 archiveBytes,
                  std::size_t stubBytes, Clock::time_point start)
{
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    double ratio = inputBytes == 0 ? 0
                                   : 100.0 * static_cast<double>(archiveBytes) /
                                         static_cast<double>(inputBytes);
    std::printf("%s: %zu entries, %llu bytes in, %llu bytes archive (%.1f%%), stub %zu bytes, "
                "%.2f s\n",
                ShownPath(output).c_str(), entries, static_cast<unsigned long long>(inputBytes),
                static_cast<unsigned long long>(archiveBytes), ratio, stubBytes, seconds);
}
