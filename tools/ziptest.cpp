// ziptest ARCHIVE: walks the directory with the stub's reader, decodes every entry with the
// stub's engine and holds the result against the central directory; one line per entry.
#include <cstdio>

#include "ArchiveCheck.h"
#include "inflate/Crc32.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ziptest ARCHIVE\n");
        return 2;
    }
    InitCrcTable();
    std::string scratch = CheckScratchPath();
    ArchiveReader reader;
    i32 open = ArchiveOpen(argv[1], reader, 0, ArchiveLengthBeforeSignature(argv[1]));
    if (open != 0) {
        std::printf("%s: no readable archive (%d)\n", argv[1], open);
        return 1;
    }
    int entries = 0;
    int failures = 0;
    do {
        const ZipEntry& e = reader.Entry;
        EntryCheck o = CheckEntry(argv[1], e, scratch.c_str());
        std::printf("%-40s method %u  %10u -> %10u  crc %08x  result %d%s\n", e.Name, e.Method,
                    e.CompressedSize, e.UncompressedSize, e.Crc32, o.Result, o.Problem);
        ++entries;
        failures += o.Result != ResultOk;
    } while ((open = ArchiveNextEntry(reader)) == 0);
    ArchiveClose(reader);
    if (open == ArchiveRecordTooLarge) {
        std::printf("a directory record too large for the stub's window follows\n");
        ++failures;
    }
    std::remove(scratch.c_str());
    std::printf("%d entries, %d failed\n", entries, failures);
    return failures == 0 ? 0 : 1;
}
