// Arbitrary bytes as a whole archive file: the directory walk ends cleanly, holds no window
// and no file afterwards, and delivers only names that fit their buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "archive/ZipDirectory.h"
#include "inflate/Crc32.h"
#include "support/HostControl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::string path = "/tmp/fuzz-zipdir-" + std::to_string(getpid()) + ".zip";
    static bool ready = [] {
        InitCrcTable();  // Unicode path fields are checked with it
        return true;
    }();
    (void)ready;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::size_t blocks = HostHeapBlocks();
    std::size_t files = HostOpenFiles();
    ArchiveReader reader;
    int entries = 0;
    i32 end = ArchiveOpen(path.c_str(), reader, 0, 0);
    if (end == ArchiveEntryReady) {
        do {
            if (std::memchr(reader.Entry.Name, 0, sizeof reader.Entry.Name) == nullptr)
                std::abort();
            ++entries;
        } while ((end = ArchiveNextEntry(reader)) == ArchiveEntryReady && entries < 100000);
    }
    ArchiveClose(reader);
    if (reader.Window != nullptr || HostHeapBlocks() != blocks || HostOpenFiles() != files)
        std::abort();
    // Damage is told after a first entry; before it, the open finds nothing to extract.
    if (end == ArchiveDirectoryDamaged && entries == 0)
        std::abort();
    return 0;
}
