#include "support/EntryRunner.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "archive/FileSystem.h"
#include "archive/ZipFormat.h"
#include "extract/ExtractEntry.h"
#include "inflate/Inflate.h"
#include "inflate/InflateState.h"
#include "platform/Memory.h"

#if !defined(_WIN32)
#include "platform/host/HostControl.h"
#endif

EntryOutput RunEntry(EntryMethod method, const EntryInput& input, void (*onDone)(void*),
                     void* context)
{
    TempDir dir;
    std::string archive = dir / "archive.bin";
    std::string target = dir / "target.bin";
    Bytes file = input.Data;
    file.insert(file.end(), input.Behind.begin(), input.Behind.end());
    WriteBytes(archive, file);

    EntryOutput out;
    EntryBegin(archive.c_str());
    EXPECT_EQ(EntryOpenArchive(), ResultOk);
    HANDLE targetFile = FsCreate(target.c_str(), 0);
    EXPECT_EQ(FsLastError, 0);
    i32 size = input.SizeGiven ? input.CompressedSize : static_cast<i32>(input.Data.size());
    EntryPrepareTransfer(size, targetFile, input.ProgressWindow, input.ProgressCommandId);

#if !defined(_WIN32)
    HostFailWritesAfter(input.FailWritesAfter);
#endif
    out.Result = EntryTransfer(method == EntryMethod::Stored ? ZipMethodStored : ZipMethodDeflated);
    if (onDone != nullptr)
        onDone(context);

#if !defined(_WIN32)
    HostFailWritesAfter(-1);
#endif
    out.Crc = ~InflateState.CrcAccumulator;
    out.ArchiveClosedEarly = InflateState.ArchiveFile == INVALID_HANDLE_VALUE;
    FsClose(targetFile);
    InflateState.TargetFile = INVALID_HANDLE_VALUE;
    EntryEnd();
    out.Written = ReadBytes(target);
    return out;
}

Bytes ZlibDeflate(const Bytes& data, int level, int strategy)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::uint32_t ZlibCrc(const Bytes& data)
{
    return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

void BitWriter::Put(std::uint32_t value, int bits)
{
    for (int i = 0; i < bits; ++i) {
        Pending |= ((value >> i) & 1) << Count;
        if (++Count == 8) {
            Out.push_back(static_cast<unsigned char>(Pending));
            Pending = 0;
            Count = 0;
        }
    }
}

void BitWriter::PutCode(std::uint32_t code, int length)
{
    for (int i = length - 1; i >= 0; --i)
        Put((code >> i) & 1, 1);
}

void BitWriter::AlignToByte()
{
    if (Count != 0)
        Put(0, 8 - Count);
}

Bytes BitWriter::Finish()
{
    AlignToByte();
    return Out;
}

std::vector<std::uint32_t> CanonicalCodes(const std::vector<int>& lengths)
{
    int counts[17] = {};
    for (int l : lengths)
        ++counts[l];
    counts[0] = 0;
    std::uint32_t next[17] = {};
    std::uint32_t code = 0;
    for (int bits = 1; bits <= 16; ++bits) {
        code = (code + counts[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] != 0)
            codes[i] = next[lengths[i]]++;
    return codes;
}
