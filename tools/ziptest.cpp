// ziptest ARCHIVE: walks the directory with the stub's reader, decodes every entry with the
// stub's engine and holds the result against the central directory; one line per entry.
#include <cstdio>

#include "ArchiveCheck.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ziptest ARCHIVE\n");
        return 2;
    }
    ArchiveCheckSummary summary = CheckArchive(argv[1], [](const ZipEntry& e, const EntryCheck& o) {
        std::printf("%-40s method %u  %10u -> %10llu  crc %08x  result %d%s\n", e.Name, e.Method,
                    e.CompressedSize, static_cast<unsigned long long>(e.UncompressedSize), e.Crc32,
                    o.Result, o.Problem);
    });
    if (summary.Open != ArchiveEntryReady) {
        std::printf("%s: no readable archive (%d)\n", argv[1], summary.Open);
        return 1;
    }
    bool incomplete = summary.WalkEnd != ArchiveDirectoryEnd;
    if (incomplete)
        std::printf("after these: %s\n", ArchiveOpenProblem(summary.WalkEnd).c_str());
    u32 failures = summary.Failed + (incomplete ? 1 : 0);
    std::printf("%u entries, %u failed\n", summary.Entries, failures);
    return failures == 0 ? 0 : 1;
}
