// Decoding speed of InflateEntry against zlib's inflate and libdeflate on the same inputs in
// the same run. All three read the compressed data from the same file in 2048-byte blocks
// through the file layer, compute the CRC-32 of the output and write it to the same null
// sink in 32768-byte pieces. Reports MB/s of output (median of runs) and ratios to zlib.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <unistd.h>
#include <zlib.h>
#if defined(SFX_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

#include "archive/ZipFormat.h"
#include "extract/ExtractEntry.h"
#include "files/FileSystem.h"
#include "inflate/Crc32.h"
#include "inflate/Inflate.h"
#include "inflate/InflateState.h"
#include "platform/Memory.h"

using Bytes = std::vector<unsigned char>;

namespace {

std::size_t DataSize = 16u << 20;
#if defined(_WIN32)
std::string SinkPath = "NUL";
#define lstat stat
#else
std::string SinkPath = "/dev/null";
#endif

Bytes Text(std::size_t size)
{
    // Words with a skewed frequency, in lines, like prose.
    std::mt19937 r(1);
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string w;
        int n = 2 + static_cast<int>(r() % 9);
        for (int k = 0; k < n; ++k)
            w += static_cast<char>('a' + (r() % 26));
        words.push_back(w);
    }
    Bytes out;
    std::size_t line = 0;
    while (out.size() < size) {
        double u = std::uniform_real_distribution<double>(0, 1)(r);
        const std::string& w = words[static_cast<std::size_t>(u * u * u * 3000)];
        out.insert(out.end(), w.begin(), w.end());
        line += w.size() + 1;
        out.push_back(line > 70 ? '\n' : ' ');
        if (line > 70)
            line = 0;
    }
    out.resize(size);
    return out;
}

void CollectFiles(const std::string& dir, const char* suffix, std::vector<std::string>& out,
                  int depth)
{
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::string path = dir + "/" + n;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode) && depth > 0)
            CollectFiles(path, suffix, out, depth - 1);
        else if (S_ISREG(st.st_mode) &&
                 (suffix == nullptr || (n.size() > 2 && n.substr(n.size() - 2) == suffix)))
            out.push_back(path);
    }
}

// Real files of this machine in sorted order, concatenated: C headers, or x86 executables.
Bytes Concatenated(const char* dir, const char* suffix, std::size_t size, bool elfOnly)
{
    std::vector<std::string> files;
    CollectFiles(dir, suffix, files, 3);
    Bytes out;
    for (const std::string& f : files) {
        FILE* in = std::fopen(f.c_str(), "rb");
        if (in == nullptr)
            continue;
        Bytes content;
        unsigned char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            content.insert(content.end(), buffer, buffer + n);
        std::fclose(in);
        if (elfOnly && (content.size() < 4 || std::memcmp(content.data(),
                                                          "\x7f"
                                                          "ELF",
                                                          4) != 0))
            continue;
        out.insert(out.end(), content.begin(), content.end());
        if (out.size() >= size)
            break;
    }
    out.resize(std::min(out.size(), size));
    return out;
}

Bytes Random(std::size_t size)
{
    std::mt19937_64 r(2);
    Bytes out(size);
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t v = r();
        std::memcpy(out.data() + i, &v, std::min<std::size_t>(8, size - i));
    }
    return out;
}

Bytes Repetitive(std::size_t size)
{
    std::mt19937 r(3);
    Bytes out;
    while (out.size() < size) {
        std::string piece = "record " + std::to_string(r() % 16) + ": ok;";
        for (int k = static_cast<int>(r() % 50); k >= 0; --k)
            out.insert(out.end(), piece.begin(), piece.end());
        out.insert(out.end(), 1 + r() % 300, 0);
    }
    out.resize(size);
    return out;
}

Bytes Zlib(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY, int flushEvery = 0)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    Bytes out(deflateBound(&z, data.size()) + (flushEvery ? data.size() / 4 : 0) + 1024);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    std::size_t step = flushEvery ? static_cast<std::size_t>(flushEvery) : data.size();
    for (std::size_t at = 0; at < data.size() || at == 0; at += step) {
        std::size_t n = std::min(step, data.size() - at);
        z.next_in = const_cast<Bytef*>(data.data() + at);
        z.avail_in = static_cast<uInt>(n);
        bool last = at + n >= data.size();
        deflate(&z, last ? Z_FINISH : Z_BLOCK);
        if (last)
            break;
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Bytes Libdeflate(const Bytes& data, int level)
{
#if defined(SFX_HAVE_LIBDEFLATE)
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    Bytes out(libdeflate_deflate_compress_bound(c, data.size()));
    out.resize(libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
#else
    (void)level;
    return Zlib(data, 9);
#endif
}

struct Run
{
    std::string Path;  // the compressed stream, with some archive bytes behind it
    std::size_t CompressedSize;
    std::size_t OutputSize;
    std::uint32_t Crc;
};

// Ours, through the extraction's own steps.
std::uint32_t DecodeOurs(const Run& run)
{
    EntryBegin(run.Path.c_str());
    EntryOpenArchive();
    HANDLE sink = FsCreate(SinkPath.c_str(), 0);
    EntryPrepareTransfer(static_cast<i32>(run.CompressedSize), sink, nullptr, 0);
    i32 result = EntryTransfer(ZipMethodDeflated);
    FsClose(sink);
    EntryEnd();
    if (result != ResultOk)
        std::fprintf(stderr, "ours: result %d\n", result);
    return ~InflateState.CrcAccumulator;
}

// zlib fed as the engine is fed; pumped, it also empties the message queue before each
// 2048-byte read, as the engine must and as any decoder in its place would have to.
std::uint32_t DecodeZlibWith(const Run& run, bool pumped)
{
    HANDLE in = FsOpenRead(run.Path.c_str(), FsModeRead);
    HANDLE out = FsCreate(SinkPath.c_str(), 0);
    static unsigned char input[2048];
    static unsigned char window[32768];
    z_stream z{};
    inflateInit2(&z, -15);
    uLong crc = crc32(0, nullptr, 0);
    int status = Z_OK;
    z.next_out = window;
    z.avail_out = sizeof window;
    while (status == Z_OK) {
        if (z.avail_in == 0) {
            if (pumped)
                ServiceMessages();
            u16 got = 0;
            FsRead(in, input, sizeof input, got);
            z.next_in = input;
            z.avail_in = got;
        }
        status = inflate(&z, Z_NO_FLUSH);
        if (z.avail_out == 0 || status == Z_STREAM_END) {
            u16 n = static_cast<u16>(sizeof window - z.avail_out);
            crc = crc32(crc, window, n);
            u16 written = 0;
            FsWrite(out, window, n, written);
            z.next_out = window;
            z.avail_out = sizeof window;
        }
    }
    if (status != Z_STREAM_END)
        std::fprintf(stderr, "zlib: status %d\n", status);
    inflateEnd(&z);
    FsClose(in);
    FsClose(out);
    return static_cast<std::uint32_t>(crc);
}

std::uint32_t DecodeZlib(const Run& run)
{
    return DecodeZlibWith(run, false);
}

std::uint32_t DecodeZlibPumped(const Run& run)
{
    return DecodeZlibWith(run, true);
}

[[maybe_unused]] std::uint32_t DecodeLibdeflate(const Run& run)
{
#if defined(SFX_HAVE_LIBDEFLATE)
    static Bytes input;
    static Bytes output;
    input.resize(run.CompressedSize + 2048);
    output.resize(run.OutputSize);
    HANDLE in = FsOpenRead(run.Path.c_str(), FsModeRead);
    std::size_t have = 0;
    for (u16 got = 1; got != 0 && have < run.CompressedSize; have += got)
        FsRead(in, input.data() + have, 2048, got);
    FsClose(in);
    static libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t produced = 0;
    if (libdeflate_deflate_decompress(d, input.data(), run.CompressedSize, output.data(),
                                      output.size(), &produced) != LIBDEFLATE_SUCCESS)
        std::fprintf(stderr, "libdeflate: failed\n");
    std::uint32_t crc = libdeflate_crc32(0, output.data(), produced);
    HANDLE out = FsCreate(SinkPath.c_str(), 0);
    for (std::size_t at = 0; at < produced; at += 32768) {
        u16 written = 0;
        FsWrite(out, output.data() + at,
                static_cast<u16>(std::min<std::size_t>(32768, produced - at)), written);
    }
    FsClose(out);
    return crc;
#else
    return run.Crc;
#endif
}

using Decoder = std::uint32_t (*)(const Run&);

// Median MB/s of each decoder. The decoders take turns within each round, so a change in
// the machine's load during the run falls on all of them alike.
std::vector<double> MedianMBps(const std::vector<Decoder>& decoders, const Run& run, int repeats)
{
    std::vector<std::vector<double>> rates(decoders.size());
    for (int i = 0; i < repeats; ++i) {
        for (std::size_t d = 0; d < decoders.size(); ++d) {
            auto start = std::chrono::steady_clock::now();
            std::uint32_t crc = decoders[d](run);
            double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (crc != run.Crc)
                std::fprintf(stderr, "CRC mismatch\n");
            rates[d].push_back(static_cast<double>(run.OutputSize) / seconds / 1e6);
        }
    }
    std::vector<double> medians;
    for (std::vector<double>& r : rates) {
        std::sort(r.begin(), r.end());
        medians.push_back(r[r.size() / 2]);
    }
    return medians;
}

}  // namespace

int main(int argc, char** argv)
{
    int repeats = 5;
    const char* only = nullptr;  // one data class
    bool oursOnly = false;       // for profiling
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mb") == 0 && i + 1 < argc)
            DataSize = static_cast<std::size_t>(std::atoi(argv[++i])) << 20;
        else if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc)
            repeats = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--ours-only") == 0)
            oursOnly = true;
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
    }
    InitCrcTable();
#if defined(_WIN32)
    // Under Wine the host's folders are on drive Z:.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string made = std::string(temp) + "inflate-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(made.c_str(), nullptr);
    const char* dir = made.c_str();
    const char* includeDir = "Z:/usr/include";
    const char* binDir = "Z:/usr/bin";
#else
    char dir[] = "/tmp/inflate-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    const char* includeDir = "/usr/include";
    const char* binDir = "/usr/bin";
#endif
    struct Class
    {
        const char* Name;
        Bytes Data;
    };

    std::vector<Class> classes;
    auto wanted = [&](const char* name) { return only == nullptr || std::strcmp(only, name) == 0; };
    if (wanted("text"))
        classes.push_back({"text", Text(DataSize)});
    if (wanted("source"))
        classes.push_back({"source", Concatenated(includeDir, ".h", DataSize, false)});
    if (wanted("binary"))
        classes.push_back({"binary", Concatenated(binDir, nullptr, DataSize, true)});
    if (wanted("random"))
        classes.push_back({"random", Random(DataSize)});
    if (wanted("repetitive"))
        classes.push_back({"repetitive", Repetitive(DataSize)});
    {
        // The engine pumps messages once per 2048-byte input block; this is what one empty
        // pump costs here.
        MSG message;
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 20000; ++i)
            PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("empty PeekMessageA: %.3f us per call\n", seconds / 20000 * 1e6);
    }
    std::printf("%-11s %-13s %7s %6s %6s %6s %7s %7s %7s %7s\n", "data", "compressor", "ratio",
                "ours", "zlib", "z+pump", "libdefl", "o/zlib", "o/z+p", "l/zlib");
    int file = 0;
    for (const Class& c : classes) {
        struct Variant
        {
            const char* Name;
            Bytes Stream;
        };

        std::vector<Variant> variants = {{"zlib -1", Zlib(c.Data, 1)},
                                         {"zlib -6", Zlib(c.Data, 6)},
                                         {"zlib -9", Zlib(c.Data, 9)},
                                         {"libdeflate-12", Libdeflate(c.Data, 12)}};
        if (std::strcmp(c.Name, "text") == 0)
            variants.push_back({"fixed/256B", Zlib(c.Data, 6, Z_FIXED, 256)});
        for (const Variant& v : variants) {
            Run run;
            run.Path = std::string(dir) + "/" + std::to_string(file++);
            Bytes file_bytes = v.Stream;
            file_bytes.insert(file_bytes.end(), 4096, 0x50);
            FILE* f = std::fopen(run.Path.c_str(), "wb");
            std::fwrite(file_bytes.data(), 1, file_bytes.size(), f);
            std::fclose(f);
            run.CompressedSize = v.Stream.size();
            run.OutputSize = c.Data.size();
            run.Crc = static_cast<std::uint32_t>(crc32(0, c.Data.data(), c.Data.size()));
            std::vector<Decoder> decoders = {DecodeOurs};
            if (!oursOnly) {
                decoders.push_back(DecodeZlib);
                decoders.push_back(DecodeZlibPumped);
#if defined(SFX_HAVE_LIBDEFLATE)
                decoders.push_back(DecodeLibdeflate);
#endif
            }
            std::vector<double> rates = MedianMBps(decoders, run, repeats);
            double ours = rates[0];
            double zlib = rates.size() > 1 ? rates[1] : 1;
            double pumped = rates.size() > 2 ? rates[2] : 1;
            double libdeflate = rates.size() > 3 ? rates[3] : 0;  // 0: not built for this target
            std::printf(
                "%-11s %-13s %6.1f%% %6.0f %6.0f %6.0f %7.0f %7.2f %7.2f %7.2f\n", c.Name, v.Name,
                100.0 * static_cast<double>(v.Stream.size()) / static_cast<double>(c.Data.size()),
                ours, zlib, pumped, libdeflate, ours / zlib, ours / pumped, libdeflate / zlib);
            std::fflush(stdout);
            std::remove(run.Path.c_str());
        }
    }
#if defined(_WIN32)
    RemoveDirectoryA(dir);
#else
    rmdir(dir);
#endif
    return 0;
}
