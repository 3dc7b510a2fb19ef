#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <zlib.h>

#include "archive/ZipFormat.h"
#include "extract/ExtractEntry.h"
#include "files/FileInfo.h"
#include "files/FileSystem.h"
#include "inflate/InflateState.h"
#include "support/Fixtures.h"
#include "support/ZipBuilder.h"
#include "support/ZlibOracle.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#include "support/HostMessages.h"
#endif

namespace {

constexpr u32 Stamp = 0x5A8B7A3C;  // 2025-04-11 15:17:56
constexpr u16 ArchiveBit = 0x20;

Bytes Sample(std::size_t size)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<unsigned char>("extract entry "[i % 14] + i / 1000 % 7);
    return out;
}

Bytes Descriptor(u32 crc, u32 compressed, u32 uncompressed, bool signature)
{
    Bytes out;
    if (signature)
        Put32(out, ZipDescriptorSignature);
    Put32(out, crc);
    Put32(out, compressed);
    Put32(out, uncompressed);
    return out;
}

ZipBuilderEntry& AddDeflated(ZipBuilder& zip, const std::string& name, const Bytes& data)
{
    ZipBuilderEntry& e = zip.Add(name);
    e.Data = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
    e.Method = ZipMethodDeflated;
    e.Crc = ZlibCrc(data);
    e.UncompressedSize = static_cast<uint32_t>(data.size());
    e.DosDateTime = Stamp;
    return e;
}

ZipBuilderEntry& AddStored(ZipBuilder& zip, const std::string& name, const Bytes& data)
{
    ZipBuilderEntry& e = zip.AddBytes(name, data);
    e.DosDateTime = Stamp;
    return e;
}

// The descriptor flag, and no CRC-32 or sizes in the local header.
void LeaveOutOfTheLocalHeader(ZipBuilderEntry& e)
{
    e.Flags = ZipFlagDescriptor;
    e.LocalCrc = e.LocalCompressedSize = e.LocalUncompressedSize = 0;
}

}  // namespace

struct ExtractingEntry : InTempDir
{
    void SetUp() override
    {
        InTempDir::SetUp();
        CreateDirectoryA(Out.c_str(), nullptr);
    }

    // Writes the archive; its first entry, or the one named.
    ZipEntry Write(const ZipBuilder& zip, const std::string& name = "")
    {
        WriteBytes(Archive, zip.Build());
        ArchiveReader reader;
        EXPECT_EQ(ArchiveOpen(Archive.c_str(), reader, 0, 0), ArchiveEntryReady);
        while (!name.empty() && reader.Entry.Name != name)
            EXPECT_EQ(ArchiveNextEntry(reader), ArchiveEntryReady) << name;
        ZipEntry entry = reader.Entry;
        ArchiveClose(reader);
        return entry;
    }

    i32 Run(const ZipEntry& entry, const std::string& target, u16 attributes = ArchiveBit)
    {
        i32 result = ExtractEntry(Archive.c_str(), target.c_str(), attributes,
                                  static_cast<i32>(entry.LocalHeaderOffset), nullptr, 120, entry);
        EXPECT_EQ(InflateState.Window, nullptr);
        EXPECT_EQ(InflateState.ArchiveFile, INVALID_HANDLE_VALUE);
        ExpectNothingLeft("the extraction");
        return result;
    }

    i32 Extract(const ZipBuilder& zip, const std::string& target, u16 attributes = ArchiveBit)
    {
        return Run(Write(zip), target, attributes);
    }

    static DosDateTime TimeOf(const std::string& path)
    {
        HANDLE file = FsOpenRead(path.c_str(), FsModeRead);
        DosDateTime time = FsGetTime(file);
        FsClose(file);
        return time;
    }

    std::string Archive = Dir / "setup.exe";
    std::string Out = Dir / "out\\";
};

TEST_F(ExtractingEntry, WritesStoredAndDeflatedFilesWithTimeAndAttributes)
{
    Bytes data = Sample(100000);
    for (bool deflated : {false, true}) {
        ZipBuilder zip;
        zip.Prefix = Bytes(3000, 0x90);  // the stub in front; offsets count from the file's start
        if (deflated)
            AddDeflated(zip, "a/b/file.txt", data);
        else
            AddStored(zip, "a/b/file.txt", data);
        std::string target = Out + "a\\b\\file.txt";
        ASSERT_EQ(Extract(zip, target), ResultOk) << deflated;
        EXPECT_EQ(ReadBytes(target), data) << deflated;
        EXPECT_EQ(TimeOf(target), Stamp) << deflated;
        EXPECT_EQ(GetFileAttributesA(target.c_str()) & 0x3F, ArchiveBit) << deflated;
        ASSERT_EQ(Extract(zip, target, 0), ResultOk) << "over the existing file";
        // Windows then reports FILE_ATTRIBUTE_NORMAL; Wine goes on reporting the archive bit.
        EXPECT_EQ(GetFileAttributesA(target.c_str()) & 0x07, 0u);
        EXPECT_EQ(ReadBytes(target), data);
        std::string hidden = Out + (deflated ? "h1" : "h2");
        ASSERT_EQ(Extract(zip, hidden, 0x06), ResultOk);
        EXPECT_EQ(GetFileAttributesA(hidden.c_str()) & 0x07, 0x06u);
    }
}

TEST_F(ExtractingEntry, MakesDirectoryEntriesWithoutAFileOrTime)
{
    ZipBuilder zip;
    AddStored(zip, "d/", {});
    ASSERT_EQ(Extract(zip, Out + "x\\y\\", 0x10), ResultOk);
    EXPECT_EQ(GetFileAttributesA((Out + "x\\y").c_str()) & 0x10, 0x10u);
    ASSERT_EQ(Extract(zip, Out + "z", 0x10), ResultOk) << "the directory bit alone makes one";
    EXPECT_EQ(GetFileAttributesA((Out + "z").c_str()) & 0x10, 0x10u);
    // No room for the '\' a directory needs: refused, not taken for a file.
    std::string full = Out + std::string(PathLimit - Out.size(), 'n');
    ASSERT_EQ(full.size(), PathLimit);
    EXPECT_EQ(Extract(zip, full, 0x10), ResultWriteFailed);
    EXPECT_FALSE(PathExists(full));
    // Directory entries are still checked first.
    zip.Entries[0].Flags = ZipFlagEncrypted;
    EXPECT_EQ(Extract(zip, Out + "enc\\", 0x10), ResultEncrypted);
    EXPECT_FALSE(PathExists(Out + "enc"));
}

TEST_F(ExtractingEntry, RefusalsLeaveAnExistingTargetAlone)
{
    std::string target = Out + "keep.txt";
    const Bytes old = {'o', 'l', 'd'};

    struct Case
    {
        const char* What;
        std::function<void(ZipBuilderEntry&)> Damage;
        i32 Result;
    } const cases[] = {
        {"method 12", [](ZipBuilderEntry& e) { e.Method = 12; }, ResultUnsupported},
        {"method 14", [](ZipBuilderEntry& e) { e.Method = 14; }, ResultUnsupported},
        {"encrypted", [](ZipBuilderEntry& e) { e.Flags = ZipFlagEncrypted; }, ResultEncrypted},
        {"encrypted, method 99",
         [](ZipBuilderEntry& e) {
             e.Flags = ZipFlagEncrypted;
             e.Method = 99;
         },
         ResultUnsupported},
    };

    for (const Case& c : cases) {
        ZipBuilder zip;
        c.Damage(AddStored(zip, "keep.txt", Sample(500)));
        WriteBytes(target, old);
        EXPECT_EQ(Extract(zip, target), c.Result) << c.What;
        EXPECT_EQ(ReadBytes(target), old) << c.What;
    }
}

TEST_F(ExtractingEntry, BadLocalHeadersAndArchivesFailBeforeTheTarget)
{
    ZipBuilder zip;
    AddStored(zip, "f.txt", Sample(100));
    ZipEntry entry = Write(zip);
    std::string target = Out + "f.txt";
    EXPECT_EQ(ExtractEntry(Archive.c_str(), target.c_str(), 0, 1, nullptr, 120, entry),
              ResultBadData)
        << "no signature there";
    EXPECT_EQ(ExtractEntry(Archive.c_str(), target.c_str(), 0, 100000, nullptr, 120, entry),
              ResultBadData)
        << "past the end";
    EXPECT_EQ(ExtractEntry(Archive.c_str(), target.c_str(), 0, 0xFFFFFFFB, nullptr, 120, entry),
              ResultBadData)
        << "unreachable";
    EXPECT_EQ(
        ExtractEntry((Dir / "missing.exe").c_str(), target.c_str(), 0, 0, nullptr, 120, entry),
        ResultReadFailed);
    EXPECT_FALSE(PathExists(target));
}

TEST_F(ExtractingEntry, FailedTransfersLeaveNoFile)
{
    Bytes data = Sample(70000);
    std::string target = Out + "t.bin";

    struct Case
    {
        const char* What;
        std::function<void(ZipBuilder&)> Make;
        i32 Result;
    } const cases[] = {
        {"wrong crc", [&](ZipBuilder& z) { AddDeflated(z, "t", data).Crc ^= 1; },
         ResultCheckFailed},
        {"stored, wrong crc", [&](ZipBuilder& z) { AddStored(z, "t", data).Crc ^= 0x100; },
         ResultCheckFailed},
        {"stored, cut short",
         [&](ZipBuilder& z) { AddStored(z, "t", data).LocalCompressedSize = 90000; },
         ResultReadFailed},
        {"stored, 2 GiB and cut short",
         [&](ZipBuilder& z) { AddStored(z, "t", data).LocalCompressedSize = 0x80000000u; },
         ResultReadFailed},
        {"invalid deflate data",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddDeflated(z, "t", data);
             e.Data[0] |= 6;  // block type 3
         },
         ResultBadData},
        {"deflate data cut short",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddDeflated(z, "t", data);
             e.Data.resize(e.Data.size() / 2);
         },
         ResultReadFailed},
    };

    for (const Case& c : cases) {
        ZipBuilder zip;
        c.Make(zip);
        WriteBytes(target, {'o', 'l', 'd'});
        EXPECT_EQ(Extract(zip, target), c.Result) << c.What;
        EXPECT_FALSE(PathExists(target)) << c.What << ": neither the old nor a partial file";
    }
}

TEST_F(ExtractingEntry, CrcOfAllOnesIsNotChecked)
{
    ZipBuilder zip;
    AddStored(zip, "any.txt", Sample(300)).Crc = 0xFFFFFFFF;
    EXPECT_EQ(Extract(zip, Out + "any.txt"), ResultOk);
    EXPECT_EQ(ReadBytes(Out + "any.txt"), Sample(300));
}

// Writers that stream leave sizes and CRC-32 out of the local header; what they write
// instead decides where the extraction takes them from.
TEST_F(ExtractingEntry, TakesWhatStreamingWritersLeaveOutOfTheLocalHeader)
{
    Bytes data = Sample(50000);
    u32 crc = ZlibCrc(data);

    struct Case
    {
        const char* What;
        std::function<void(ZipBuilder&)> Make;
    } const cases[] = {
        {"deflated, descriptor with signature",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddDeflated(z, "s", data);
             LeaveOutOfTheLocalHeader(e);
             e.Trailer = Descriptor(crc, static_cast<u32>(e.Data.size()), 50000, true);
         }},
        {"deflated, descriptor without signature",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddDeflated(z, "s", data);
             LeaveOutOfTheLocalHeader(e);
             e.Trailer = Descriptor(crc, static_cast<u32>(e.Data.size()), 50000, false);
         }},
        {"deflated, right crc in the header and a wrong descriptor",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddDeflated(z, "s", data);
             e.Flags = ZipFlagDescriptor;
             e.Trailer = Descriptor(crc ^ 1, 0, 0, true);
         }},
        {"deflated, wrong crc in the header and a right descriptor",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddDeflated(z, "s", data);
             e.Flags = ZipFlagDescriptor;
             e.LocalCrc = crc ^ 0x8000;
             e.Trailer = Descriptor(crc, 0, 0, true);
         }},
        {"stored, sizes and crc only in the directory and a descriptor",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddStored(z, "s", data);
             LeaveOutOfTheLocalHeader(e);
             e.Trailer = Descriptor(crc, 50000, 50000, true);
         }},
        {"stored, flag set but no descriptor written",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddStored(z, "s", data);
             LeaveOutOfTheLocalHeader(e);
         }},
        {"stored, wrong crc in the header, descriptor without signature",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddStored(z, "s", data);
             e.Flags = ZipFlagDescriptor;
             e.LocalCrc = 12345;
             e.Trailer = Descriptor(crc, 50000, 50000, false);
         }},
        {"sizes in a ZIP64 field of the local header",
         [&](ZipBuilder& z) {
             ZipBuilderEntry& e = AddDeflated(z, "s", data);
             e.LocalCompressedSize = e.LocalUncompressedSize = 0xFFFFFFFF;
             Put16(e.LocalExtra, 0x0001);
             Put16(e.LocalExtra, 16);
             Put32(e.LocalExtra, 50000);
             Put32(e.LocalExtra, 0);
             Put32(e.LocalExtra, static_cast<u32>(e.Data.size()));
             Put32(e.LocalExtra, 0);
         }},
    };

    for (const Case& c : cases) {
        ZipBuilder zip;
        c.Make(zip);
        AddStored(zip, "next", Sample(10));  // what follows the entry in the archive
        std::string target = Out + "s.bin";
        ASSERT_EQ(Extract(zip, target), ResultOk) << c.What;
        EXPECT_EQ(ReadBytes(target), data) << c.What;
    }
    // A wrong descriptor where the header defers to it still fails the entry.
    ZipBuilder zip;
    ZipBuilderEntry& e = AddStored(zip, "s", data);
    LeaveOutOfTheLocalHeader(e);
    e.Crc = crc ^ 4;
    e.Trailer = Descriptor(crc ^ 4, 50000, 50000, true);
    EXPECT_EQ(Extract(zip, Out + "s.bin"), ResultCheckFailed);
    EXPECT_FALSE(PathExists(Out + "s.bin"));
}

TEST_F(ExtractingEntry, ATargetThatCannotBeCreatedIsAWriteFailure)
{
    ZipBuilder zip;
    AddStored(zip, "f", Sample(10));
    WriteBytes(Out + "plain", {});
    EXPECT_EQ(Extract(zip, Out + "plain\\below\\f.txt"), ResultWriteFailed)
        << "a file where a directory must go";
    CreateDirectoryA((Out + "taken").c_str(), nullptr);
    EXPECT_EQ(Extract(zip, Out + "taken"), ResultWriteFailed) << "a directory of that name";
}

#if !defined(_WIN32)
TEST_F(ExtractingEntry, WriteFailureAndAbortDeleteThePartialFile)
{
    ZipBuilder zip;
    AddDeflated(zip, "big.bin", RandomBytes(200000, 7));
    std::string target = Out + "big.bin";
    ZipEntry entry = Write(zip);
    HostFailWritesAfter(40000);
    EXPECT_EQ(Run(entry, target), ResultWriteFailed);
    HostFailWritesAfter(-1);
    EXPECT_FALSE(PathExists(target));
    EXPECT_EQ(HostBeeps(), 1u);

    // Without a progress window the key with the command id's code aborts.
    HostOnKeyState([](int key) -> SHORT { return key == 120 ? -32768 : 0; });
    HostLimitReads(4096);
    EXPECT_EQ(Run(entry, target), ResultAborted);
    EXPECT_FALSE(PathExists(target));
}

TEST_F(ExtractingEntry, SendsZeroAtTheStartAndHundredAfterAVerifiedEntry)
{
    std::vector<LPARAM> sent;
    HostOnSendMessage([&](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        EXPECT_EQ(message, static_cast<UINT>(WM_COMMAND));
        EXPECT_EQ(wParam, 120u);
        sent.push_back(lParam);
        return 0;
    });
    auto* window = reinterpret_cast<HWND>(0x4321);
    for (bool good : {true, false}) {
        ZipBuilder zip;
        AddDeflated(zip, "p", Sample(100000)).Crc ^= good ? 0 : 1;
        ZipEntry entry = Write(zip);
        sent.clear();
        ExtractEntry(Archive.c_str(), (Out + "p").c_str(), 0, 0, window, 120, entry);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.front(), 0);
        if (good)
            EXPECT_EQ(sent.back(), 100) << "the check passed";
        else
            EXPECT_NE(sent.back(), 100) << "no 100 for an entry that failed its check";
    }
}
#endif
