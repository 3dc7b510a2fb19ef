// Arbitrary bytes as one deflated entry's data, followed by archive bytes as in a real
// archive. The result is one of the defined codes, nothing leaks, and whatever zlib decodes
// completely the engine decodes to the same bytes (one-way oracle).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "archive/ZipFormat.h"
#include "extract/ExtractEntry.h"
#include "files/FileSystem.h"
#include "inflate/Crc32.h"
#include "inflate/Inflate.h"
#include "inflate/InflateState.h"
#include "platform/Memory.h"
#include "support/HostControl.h"

static const std::string& InputPath()
{
    static std::string path = "/tmp/fuzz-inflate-" + std::to_string(getpid()) + ".bin";
    return path;
}

// zlib's CRC of the output when it decodes the data to the end of a stream, within a bound.
static bool ZlibDecodes(const std::uint8_t* data, std::size_t size, std::uint32_t& crc,
                        std::size_t& produced)
{
    static std::vector<unsigned char> out(1 << 22);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        return false;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int status = inflate(&z, Z_FINISH);
    produced = z.total_out;
    inflateEnd(&z);
    crc = static_cast<std::uint32_t>(crc32(0, out.data(), static_cast<uInt>(produced)));
    return status == Z_STREAM_END;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool ready = [] {
        InitCrcTable();
        return true;
    }();
    (void)ready;
    if (size > (1u << 20))
        return 0;
    std::FILE* f = std::fopen(InputPath().c_str(), "wb");
    std::fwrite(data, 1, size, f);
    static const unsigned char tail[] = {'P', 'K', 1, 2, 20, 0, 20, 0, 0, 0, 8, 0, 1, 2, 3, 4};
    std::fwrite(tail, 1, sizeof tail, f);
    std::fclose(f);

    std::size_t blocks = HostHeapBlocks();
    std::size_t files = HostOpenFiles();
    EntryBegin(InputPath().c_str());
    EntryOpenArchive();
    HANDLE sink = FsCreate("/dev/null", 0);
    EntryPrepareTransfer(static_cast<i32>(size), sink, nullptr, 0);
    i32 result = EntryTransfer(ZipMethodDeflated);
    FsClose(sink);
    EntryEnd();
    if (result < 0 || result > 5 || HostHeapBlocks() != blocks || HostOpenFiles() != files)
        std::abort();

    std::uint32_t crc = 0;
    std::size_t produced = 0;
    if (ZlibDecodes(data, size, crc, produced) && produced < (1u << 22)) {
        if (result != ResultOk || ~InflateState.CrcAccumulator != crc) {
            std::fprintf(stderr, "zlib decodes this, the engine gives %d\n", result);
            std::abort();
        }
    }
    return 0;
}
