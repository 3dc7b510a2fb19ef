#include "Pack.h"

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <libdeflate.h>
#include <mutex>
#include <thread>
#include <zopfli/deflate.h>

#include "Names.h"
#include "System.h"

namespace {

struct Job
{
    ByteBuffer Data;
    ByteBuffer Compressed;  // empty: stored
    u32 Crc = 0;
    bool Done = false;
    std::string Error;
};

struct CompressorSlot
{
    libdeflate_compressor* Compressor = nullptr;
    int Level = -1;

    ~CompressorSlot()
    {
        libdeflate_free_compressor(Compressor);
    }
};

struct Pipeline
{
    const std::vector<InputEntry>& Entries;
    const PackOptions& Options;
    std::vector<Job> Jobs;
    std::mutex Lock;
    std::condition_variable Changed;
    std::size_t NextAdmit = 0;
    u64 InFlight = 0;
    bool Stop = false;
};

}  // namespace

static u64 CostOf(const InputEntry& entry)
{
    return entry.Folder ? 0 : entry.Size * 2;
}

ZipRecord RecordOf(const InputEntry& entry)
{
    ZipRecord record;
    record.Name = entry.Name;
    record.Flags = NameIsAscii(entry.Name) ? 0 : ZipFlagUtf8;
    record.DosDateTime = DosDateTimeOf(entry.ModifiedTime);
    u32 attributes = entry.Folder ? 0x10 : 0x20;
    if (!entry.Folder && entry.ReadOnly)
        attributes |= 0x01;
    record.ExternalAttributes = attributes;
    record.LocalExtra = ExtendedTimeField(ExtendedTimeOf(entry.ModifiedTime));
    record.CentralExtra = record.LocalExtra;
    return record;
}

static bool ReadWhole(const InputEntry& entry, ByteBuffer& data, std::string& error)
{
    FileHandle file = OpenForReading(entry.Path);
    if (file == NoFile) {
        error = "cannot read '" + ShownPath(entry.Path) + "': " + std::strerror(errno);
        return false;
    }
    // One byte more than expected shows a file that grew since it was listed. A file is held
    // whole, whatever its size, and a failed allocation in resize would end the program: the
    // old buffer goes first, then a probe tells whether the new one can be had.
    data.clear();
    data.shrink_to_fit();
    void* probe = std::malloc(static_cast<std::size_t>(entry.Size + 1));
    std::free(probe);
    if (probe == nullptr) {
        error = "cannot pack '" + ShownPath(entry.Path) + "': not enough memory to hold it";
        CloseFile(file);
        return false;
    }
    data.resize(entry.Size + 1);
    std::size_t got = 0;
    while (got < data.size()) {
        long long done = ReadSome(file, data.data() + got, data.size() - got);
        if (done < 0) {
            error = "cannot read '" + ShownPath(entry.Path) + "': " + std::strerror(errno);
            CloseFile(file);
            return false;
        }
        if (done == 0)
            break;
        got += static_cast<std::size_t>(done);
    }
    CloseFile(file);
    if (got != entry.Size) {
        error = "cannot read '" + ShownPath(entry.Path) + "': it changed while being packed";
        return false;
    }
    data.resize(got);
    return true;
}

// slot keeps a compressor for the level from one call to the next.
static bool Deflate(const PackOptions& options, const u8* data, std::size_t length, ByteBuffer& out,
                    CompressorSlot& slot)
{
    out.clear();
    if (options.Level == 0 || length < 2)
        return false;
    if (options.Zopfli) {
        ZopfliOptions zopfli;
        ZopfliInitOptions(&zopfli);
        unsigned char bits = 0;
        unsigned char* result = nullptr;
        std::size_t resultLength = 0;
        ZopfliDeflate(&zopfli, 2, 1, data, length, &bits, &result, &resultLength);
        bool smaller = resultLength < length;
        if (smaller)
            out.assign(result, result + resultLength);
        std::free(result);
        return smaller;
    }
    if (slot.Level != options.Level) {
        libdeflate_free_compressor(slot.Compressor);
        slot.Compressor = libdeflate_alloc_compressor(options.Level);
        slot.Level = options.Level;
    }
    libdeflate_compressor* compressor = slot.Compressor;
    if (compressor == nullptr)
        return false;
    // Room for one byte less than the input, where libdeflate says 0 when it does not fit; left
    // as it comes, so that only what is written takes memory (a large file's compressed copy
    // is mostly far smaller). Without memory for it the entry is stored.
    auto* room = static_cast<u8*>(std::malloc(length - 1));
    if (room == nullptr)
        return false;
    std::size_t size = libdeflate_deflate_compress(compressor, data, length, room, length - 1);
    out.assign(room, room + size);
    std::free(room);
    return size != 0;
}

bool DeflateSmaller(const PackOptions& options, const u8* data, std::size_t length, ByteBuffer& out)
{
    CompressorSlot slot;
    return Deflate(options, data, length, out, slot);
}

static void Work(const InputEntry& entry, const PackOptions& options, Job& job,
                 CompressorSlot& slot)
{
    if (entry.Folder)
        return;
    if (!ReadWhole(entry, job.Data, job.Error))
        return;
    job.Crc = static_cast<u32>(libdeflate_crc32(0, job.Data.data(), job.Data.size()));
    Deflate(options, job.Data.data(), job.Data.size(), job.Compressed, slot);
}

static void Worker(Pipeline& pipe)
{
    // One compressor per thread, owned here: MinGW runs the destructors of thread_local
    // objects after it has freed their storage.
    CompressorSlot slot;
    std::unique_lock<std::mutex> lock(pipe.Lock);
    for (;;) {
        pipe.Changed.wait(lock, [&] {
            if (pipe.Stop || pipe.NextAdmit == pipe.Entries.size())
                return true;
            u64 cost = CostOf(pipe.Entries[pipe.NextAdmit]);
            return pipe.InFlight == 0 || pipe.InFlight + cost <= pipe.Options.MemoryBudget;
        });
        if (pipe.Stop || pipe.NextAdmit == pipe.Entries.size())
            return;
        std::size_t index = pipe.NextAdmit++;
        pipe.InFlight += CostOf(pipe.Entries[index]);
        lock.unlock();
        Work(pipe.Entries[index], pipe.Options, pipe.Jobs[index], slot);
        lock.lock();
        pipe.Jobs[index].Done = true;
        pipe.Changed.notify_all();
    }
}

static bool WriteEntry(OutputFile& out, const InputEntry& entry, Job& job, ZipRecord& record,
                       std::string& error, PackFault& fault)
{
    bool deflated = !job.Compressed.empty();
    const ByteBuffer& data = deflated ? job.Compressed : job.Data;
    record.Method = deflated ? ZipMethodDeflated : ZipMethodStored;
    record.VersionNeeded = deflated ? ZipVersionDeflated : ZipVersionStored;
    record.Crc = job.Crc;
    record.CompressedSize = data.size();
    record.UncompressedSize = entry.Size;
    // Checked before the offset is taken, which must fit its 32 bits.
    if (out.Written + LocalHeaderLength(record) + data.size() >= OutputLimit) {
        error = std::string("cannot pack: ") + OutputLimitProblem;
        fault = PackFault::Limit;
        return false;
    }
    record.LocalHeaderOffset = static_cast<u32>(out.Written);
    ByteBuffer header;
    AppendLocalHeader(header, record);
    fault = PackFault::Output;
    return OutputWrite(out, header.data(), header.size(), error) &&
           OutputWrite(out, data.data(), data.size(), error);
}

bool PackEntries(const std::vector<InputEntry>& entries, const PackOptions& options,
                 OutputFile& out, std::vector<ZipRecord>& records, const PackObserver& observer,
                 std::string& error, PackFault& fault)
{
    Pipeline pipe{entries, options, std::vector<Job>(entries.size()), {}, {}, 0, 0, false};
    std::vector<std::thread> workers;
    unsigned jobs = options.Jobs == 0 ? 1 : options.Jobs;
    for (unsigned i = 0; i < jobs; ++i)
        workers.emplace_back(Worker, std::ref(pipe));
    bool ok = true;
    for (std::size_t i = 0; i < entries.size() && ok; ++i) {
        Job& job = pipe.Jobs[i];
        {
            std::unique_lock<std::mutex> lock(pipe.Lock);
            pipe.Changed.wait(lock, [&] { return job.Done; });
        }
        ZipRecord record = RecordOf(entries[i]);
        if (!job.Error.empty()) {
            error = job.Error;
            fault = PackFault::Input;
            ok = false;
        } else {
            ok = WriteEntry(out, entries[i], job, record, error, fault);
        }
        job = Job{};
        {
            std::lock_guard<std::mutex> lock(pipe.Lock);
            pipe.InFlight -= CostOf(entries[i]);
            pipe.Stop = !ok;
            pipe.Changed.notify_all();
        }
        if (ok) {
            records.push_back(record);
            observer(records.back());
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    return ok;
}
