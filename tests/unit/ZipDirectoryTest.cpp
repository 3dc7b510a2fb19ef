#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "archive/ZipDirectory.h"
#include "archive/ZipFormat.h"
#include "files/FileSystem.h"
#include "inflate/InflateState.h"
#include "support/Fixtures.h"
#include "support/ZipBuilder.h"
#include "support/ZlibOracle.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#endif

namespace {

// The CRC table, which the Unicode path field is checked with, comes from the fresh state.
struct ZipDirectory : InTempDir
{
    void TearDown() override
    {
        ExpectNothingLeft("the reader");
        InTempDir::TearDown();
    }

    std::string Write(const Bytes& bytes)
    {
        std::string path = Dir / ("archive" + std::to_string(++ArchivesWritten) + ".exe");
        WriteBytes(path, bytes);
        return path;
    }

    i32 Open(const Bytes& bytes)
    {
        return ArchiveOpen(Write(bytes).c_str(), Reader, 0, 0);
    }

    // Every name of the walk, closing the reader at the end; WalkEnd is how it ended.
    std::vector<std::string> Walk(const std::string& path)
    {
        std::vector<std::string> names;
        for (WalkEnd = ArchiveOpen(path.c_str(), Reader, 0, 0); WalkEnd == ArchiveEntryReady;
             WalkEnd = ArchiveNextEntry(Reader))
            names.push_back(Reader.Entry.Name);
        EXPECT_EQ(Reader.Window, nullptr) << "a finished walk closes the reader";
        ArchiveClose(Reader);
        return names;
    }

    ArchiveReader Reader{};
    int ArchivesWritten = 0;
    i32 WalkEnd = ArchiveEntryReady;
};

// Bytes in the stub's place in front of an archive: "MZ", then a pattern without a signature.
Bytes StandInStub(std::size_t size)
{
    Bytes stub(size);
    for (std::size_t i = 0; i < size; ++i)
        stub[i] = static_cast<unsigned char>(i * 7 + 3);
    stub[0] = 'M';
    stub[1] = 'Z';
    return stub;
}

}  // namespace

TEST_F(ZipDirectory, DeliversEntriesOfAnArchiveBehindAStub)
{
    ZipBuilder zip;
    zip.Prefix = StandInStub(5000);
    zip.Entries.reserve(3);  // the references below must stay valid
    auto& first = zip.Add("dir/sub/file.txt", "contents");
    first.Method = 8;
    first.Flags = 0x0008;
    first.DosDateTime = 0x5A2B6C3D;
    first.ExternalAttributes = 0x00000021;
    first.Extra = Bytes(9, 0xEE);
    first.Comment = "an entry comment";
    auto& second = zip.Add("dir/", "");
    second.ExternalAttributes = 0x10;
    auto& unix = zip.Add("unix.txt", "x");
    unix.HostSystem = 3;
    unix.ExternalAttributes = 0x81A40021;
    Bytes bytes = zip.Build();

    ASSERT_EQ(Open(bytes), ArchiveEntryReady);
    const ZipEntry& e = Reader.Entry;
    EXPECT_STREQ(e.Name, "dir\\sub\\file.txt");
    EXPECT_EQ(e.Method, 8);
    EXPECT_EQ(e.Flags, 0x0008);
    EXPECT_EQ(e.DosDateTime, 0x5A2B6C3Du);
    EXPECT_EQ(e.Crc32, ZlibCrc(zip.Entries[0].Data));
    EXPECT_EQ(e.UncompressedSize, 8u);
    EXPECT_EQ(e.CompressedSize, 8u);
    EXPECT_EQ(e.LocalHeaderOffset, 5000u) << "offsets count from the start of the file";
    EXPECT_EQ(e.Attributes, 0x21);
    ASSERT_EQ(ArchiveNextEntry(Reader), ArchiveEntryReady)
        << "extra field and comment are stepped over";
    EXPECT_STREQ(e.Name, "dir\\");
    EXPECT_EQ(e.Attributes, 0x10);
    ASSERT_EQ(ArchiveNextEntry(Reader), ArchiveEntryReady);
    EXPECT_STREQ(e.Name, "unix.txt");
    EXPECT_EQ(e.Attributes, 0) << "attributes count only from a DOS host";
    EXPECT_NE(ArchiveNextEntry(Reader), ArchiveEntryReady);
    EXPECT_EQ(Reader.Window, nullptr);
    EXPECT_NE(ArchiveNextEntry(Reader), ArchiveEntryReady) << "a closed reader stays closed";
    ArchiveClose(Reader);
    ArchiveClose(Reader);
}

TEST_F(ZipDirectory, FilesWithoutAnEndRecord)
{
    EXPECT_EQ(ArchiveOpen((Dir / "missing.exe").c_str(), Reader, 0, 0), ArchiveNotFound);
    EXPECT_EQ(Open({}), ArchiveNotFound) << "empty file";
    EXPECT_EQ(Open(Bytes{'P', 'K', 5, 6, 0, 0, 0}), ArchiveNotFound) << "shorter than a record";
    EXPECT_EQ(Open(StandInStub(10000)), ArchiveNotFound) << "no signature anywhere";
    // A signature that begins 21 bytes before the end cannot hold a whole record.
    Bytes tail = StandInStub(100);
    Bytes late = {'P', 'K', 5, 6};
    late.resize(21, 0);
    tail.insert(tail.end(), late.begin(), late.end());
    EXPECT_EQ(Open(tail), ArchiveNotFound);
    EXPECT_EQ(Reader.Window, nullptr);
}

TEST_F(ZipDirectory, EndRecordTooCloseToTheStartOrWithoutDirectory)
{
    ZipBuilder empty;
    EXPECT_EQ(Open(empty.Build()), ArchiveEndTooClose) << "end record at position 0";
    empty.Prefix = StandInStub(45);
    EXPECT_EQ(Open(empty.Build()), ArchiveEndTooClose);
    empty.Prefix = StandInStub(46);
    EXPECT_EQ(Open(empty.Build()), ArchiveDirectoryEnd) << "room for a record, but none there";
    EXPECT_EQ(Reader.Window, nullptr);

    // A directory offset beyond the end record leaves no directory at all.
    ZipBuilder zip;
    zip.Prefix = StandInStub(100);
    zip.Add("a.txt", "a");
    Bytes bytes = zip.Build();
    std::size_t offsetField = bytes.size() - 22 + 16;
    for (uint32_t offset : {0x7FFFFFF0u, 0xFFFFFFFFu, static_cast<uint32_t>(bytes.size())}) {
        Bytes bad = bytes;
        bad[offsetField] = static_cast<unsigned char>(offset);
        bad[offsetField + 1] = static_cast<unsigned char>(offset >> 8);
        bad[offsetField + 2] = static_cast<unsigned char>(offset >> 16);
        bad[offsetField + 3] = static_cast<unsigned char>(offset >> 24);
        EXPECT_EQ(Open(bad), ArchiveDirectoryEnd) << offset;
    }
}

TEST_F(ZipDirectory, SearchCrossesWindowBoundaries)
{
    // Comment lengths that put the end record at every kind of place relative to the
    // 4096-byte search windows and their 22-byte overlaps.
    for (std::size_t comment :
         {0u, 1u, 4052u, 4053u, 4054u, 4074u, 4075u, 4096u, 8148u, 8149u, 12000u, 65535u}) {
        ZipBuilder zip;
        zip.Prefix = StandInStub(300);
        zip.Add("only.txt", "data");
        zip.ArchiveComment.assign(comment, 'c');
        ASSERT_EQ(Open(zip.Build()), ArchiveEntryReady) << "comment of " << comment;
        EXPECT_STREQ(Reader.Entry.Name, "only.txt");
        ArchiveClose(Reader);
    }
}

TEST_F(ZipDirectory, FilesOfExactlyOneAndJustOverOneSearchWindow)
{
    for (std::size_t length : {4096u, 4097u}) {
        ZipBuilder zip;
        zip.Add("x", "");
        std::size_t bare = zip.Build().size();
        zip.Prefix = StandInStub(length - bare);
        Bytes bytes = zip.Build();
        ASSERT_EQ(bytes.size(), length);
        ASSERT_EQ(Open(bytes), ArchiveEntryReady) << length;
        EXPECT_STREQ(Reader.Entry.Name, "x");
        ArchiveClose(Reader);
    }
    // The end record at position 0 of a 4097-byte file is only reached by the second window.
    ZipBuilder bare;
    bare.ArchiveComment.assign(4097 - 22, 'z');
    EXPECT_EQ(Open(bare.Build()), ArchiveEndTooClose);
}

TEST_F(ZipDirectory, TheLastSignatureWins)
{
    ZipBuilder zip;
    zip.Prefix = StandInStub(200);
    zip.Add("real.txt", "r");
    Bytes fake = {'P', 'K', 5, 6};
    fake.resize(22, 0);
    fake[16] = 50;  // a directory offset that points into the stub
    zip.ArchiveComment.assign(fake.begin(), fake.end());
    EXPECT_EQ(Open(zip.Build()), ArchiveDirectoryEnd) << "the record inside the comment is taken";
    zip.ArchiveComment = "no signature here";
    EXPECT_EQ(Open(zip.Build()), ArchiveEntryReady);
    ArchiveClose(Reader);
}

TEST_F(ZipDirectory, NamesAreConvertedAndSlashesTurned)
{
    ZipBuilder zip;
    zip.Prefix = StandInStub(64);
    zip.Add(std::string(1000, 'n'));
    zip.Add("a/b/");
    zip.Add(std::string("cut\0here", 8));
    zip.Add("\x81"
            "ber/\x84rger.txt");  // OEM 437: u and a with umlaut
    std::vector<std::string> names = Walk(Write(zip.Build()));
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0], std::string(1000, 'n'));
    EXPECT_EQ(names[1], "a\\b\\");
    EXPECT_EQ(names[2], "cut");
    EXPECT_EQ(names[3], "\xC3\xBC"
                        "ber\\\xC3\xA4rger.txt");
}

TEST_F(ZipDirectory, DamagedDirectoryEndsTheWalkAfterTheGoodEntriesAndSaysSo)
{
    ZipBuilder zip;
    zip.Prefix = StandInStub(64);
    zip.Add("one");
    zip.Add("two");
    zip.Add("three");
    const Bytes bytes = zip.Build();
    const std::size_t second = zip.DirectoryOffset + 46 + 3;
    const std::size_t end = bytes.size() - 22;
    const std::vector<std::string> all = {"one", "two", "three"};
    // (where, the bytes written there, the names delivered, the walk's end)
    const std::tuple<std::size_t, Bytes, std::vector<std::string>, i32> cases[] = {
        {second + 46 + 3 + 2, {9}, {"one", "two"}, ArchiveDirectoryDamaged},  // a signature
        {second + 28, {0xFF}, {"one"}, ArchiveDirectoryDamaged},  // a name length past the end
        {end + 10, {4}, all, ArchiveDirectoryDamaged},            // the entries counted
        {end + 10, {0xFF, 0xFF}, all, ArchiveDirectoryEnd},       // the ZIP64 marker for it
    };
    for (const auto& [at, patch, names, walkEnd] : cases) {
        Bytes bad = bytes;
        std::copy(patch.begin(), patch.end(), bad.begin() + static_cast<std::ptrdiff_t>(at));
        EXPECT_EQ(Walk(Write(bad)), names) << at;
        EXPECT_EQ(WalkEnd, walkEnd) << at;
    }
    // A ZIP64 end record (and locator) in front of the end record ends the directory too.
    Bytes zip64 = bytes;
    zip64.insert(zip64.begin() + static_cast<std::ptrdiff_t>(end), 76, 0);
    std::copy_n("PK\6\6", 4, zip64.begin() + static_cast<std::ptrdiff_t>(end));
    EXPECT_EQ(Walk(Write(zip64)), all);
    EXPECT_EQ(WalkEnd, ArchiveDirectoryEnd);
}

// Info-ZIP's -fz archive: a ZIP64 end record for the directory's offset, a ZIP64 block for
// each entry's size. Every ZIP64 value that contradicts the end record, the record's own
// fields or the file makes the archive or that record unreadable.
TEST_F(ZipDirectory, Zip64RecordsAndTheirContradictions)
{
    const Bytes peer = ReadBytes(PeerPath("infozip-zip64.zip"));
    auto find = [&](const char* signature, std::size_t from) {
        return static_cast<u32>(std::search(peer.begin() + static_cast<std::ptrdiff_t>(from),
                                            peer.end(), signature, signature + 4) -
                                peer.begin());
    };
    std::vector<u32> central;
    for (u32 at = find("PK\1\2", 0); at < peer.size(); at = find("PK\1\2", at + 4))
        central.push_back(at);
    const u32 record = find("PK\6\6", 0), locator = record + 56;
    ASSERT_EQ(central.size(), 5u);

    struct Case
    {
        const char* What;
        u32 At;
        u32 Value;  // four bytes written there
        i32 Open;
        std::size_t Delivered;
        i32 End;
    } const cases[] = {
        {"as written", 0, ZipRead32(peer.data()), ArchiveEntryReady, 5, ArchiveDirectoryEnd},
        {"locator pointing elsewhere", locator + 8, record - 1, ArchiveNotFound, 0, 0},
        {"no ZIP64 record there", record, 0, ArchiveNotFound, 0, 0},
        {"record of another length", record + 4, 45, ArchiveNotFound, 0, 0},
        {"count past 32 bits", record + 36, 1, ArchiveNotFound, 0, 0},
        {"offset past 32 bits", record + 52, 1, ArchiveNotFound, 0, 0},
        {"more entries than the directory holds", record + 32, 100, ArchiveNotFound, 0, 0},
        {"end record counting otherwise", record + 32, 4, ArchiveNotFound, 0, 0},
        {"first record without its value", central[0] + 20, ZipAllOnes32, ArchiveDirectoryEnd, 0,
         0},
        {"a value no field calls for", central[1] + 24, 0, ArchiveEntryReady, 1,
         ArchiveDirectoryDamaged},
        {"a field of all ones without its value", central[2] + 20, ZipAllOnes32, ArchiveEntryReady,
         2, ArchiveDirectoryDamaged},
        {"a size past 32 bits", central[0] + 64, 1, ArchiveEntryReady, 5, ArchiveDirectoryEnd},
    };

    for (const Case& c : cases) {
        Bytes bad = peer;
        for (u32 k = 0; k < 4; ++k)
            bad[c.At + k] = static_cast<u8>(c.Value >> (8 * k));
        std::string path = Write(bad);
        EXPECT_EQ(ArchiveOpen(path.c_str(), Reader, 0, 0), c.Open) << c.What;
        u64 size = c.Open == ArchiveEntryReady ? Reader.Entry.UncompressedSize : 1080;
        EXPECT_EQ(size, (u64{c.At == central[0] + 64} << 32) + 1080) << c.What;
        ArchiveClose(Reader);
        EXPECT_EQ(Walk(path).size(), c.Delivered) << c.What;
        EXPECT_EQ(WalkEnd, c.Open == ArchiveEntryReady ? c.End : c.Open) << c.What;
    }
    // Put behind a program as it is, its offsets and the locator's count from its first byte.
    Bytes behind = StandInStub(5000);
    behind.insert(behind.end(), peer.begin(), peer.end());
    EXPECT_EQ(Walk(Write(behind)).size(), 5u);
}

// Directory length counts the directory and the end record's signature.
static ZipBuilder DirectoryOfLength(std::size_t target)
{
    ZipBuilder zip;
    zip.Prefix = StandInStub(64);
    std::size_t length = 4;
    int index = 0;
    while (target - length > 1000) {
        auto& e = zip.Add("f" + std::to_string(index++));
        e.Comment.assign(900, 'c');
        length += 46 + e.Name.size() + e.Comment.size();
    }
    zip.Add(std::string(target - length - 46, 'z'));
    return zip;
}

TEST_F(ZipDirectory, WholeBelow64000AndSlidingFrom64000)
{
    for (std::size_t length : {63999u, 64000u}) {
        ZipBuilder zip = DirectoryOfLength(length);
        std::string path = Write(zip.Build());
        ASSERT_EQ(ArchiveOpen(path.c_str(), Reader, 0, 0), ArchiveEntryReady);
        EXPECT_EQ(Reader.WindowLength, length == 64000 ? 64000 : 63999);
        ArchiveClose(Reader);
        EXPECT_EQ(Walk(path).size(), zip.Entries.size()) << length;
        EXPECT_EQ(WalkEnd, ArchiveDirectoryEnd) << length;
    }
}

// An archive put behind a program as it is (cat) counts its offsets from its own first byte;
// every offset delivered must still lead to its local header. A directory that neither
// reading finds ends the walk at once, as before.
TEST_F(ZipDirectory, ArchivesPutBehindAProgramAsTheyAre)
{
    struct Case
    {
        const char* What;
        bool FromArchive;
        std::size_t DirectoryLength;  // 0: three small entries
        i32 SizeChange;               // added to the end record's directory size
        i32 OffsetChange;             // and to its directory offset
        bool Found;
    };

    for (const Case& c : std::initializer_list<Case>{
             {"absolute offsets", false, 0, 0, 0, true},
             {"absolute offsets, directory size off by one", false, 0, -1, 0, true},
             {"offsets from the archive", true, 0, 0, 0, true},
             {"offsets from the archive, sliding window", true, 64000, 0, 0, true},
             {"directory size off by one", true, 0, -1, 0, false},
             {"directory size beyond the file's start", true, 0, 1 << 20, 0, false},
             // The shift finds the directory, but not the local headers, which count from the
             // file's start.
             {"absolute offsets, directory offset into the program", false, 0, 0, -4000, false},
         }) {
        ZipBuilder zip =
            c.DirectoryLength != 0 ? DirectoryOfLength(c.DirectoryLength) : ZipBuilder{};
        if (c.DirectoryLength == 0)
            for (const char* name : {"a.txt", "b/", "b/c.txt"})
                zip.Add(name, name);
        zip.Prefix = StandInStub(5000);
        zip.OffsetsFromArchive = c.FromArchive;
        Bytes bytes = zip.Build();
        for (auto [field, change] : {std::pair{EndDirectorySize, c.SizeChange},
                                     std::pair{EndDirectoryOffset, c.OffsetChange}}) {
            std::size_t at = bytes.size() - EndRecordSize + field;
            uint32_t value = ZipRead32(bytes.data() + at) + static_cast<uint32_t>(change);
            for (std::size_t k = 0; k < 4; ++k)
                bytes[at + k] = static_cast<unsigned char>(value >> (8 * k));
        }
        std::size_t entries = 0;
        i32 end = ArchiveOpen(Write(bytes).c_str(), Reader, 0, 0);
        for (; end == ArchiveEntryReady; end = ArchiveNextEntry(Reader), ++entries) {
            u32 at = Reader.Entry.LocalHeaderOffset;
            ASSERT_LT(at + 4u, bytes.size()) << c.What;
            EXPECT_EQ(ZipRead32(bytes.data() + at), ZipLocalSignature) << c.What << " " << at;
        }
        ArchiveClose(Reader);
        EXPECT_EQ(entries, c.Found ? zip.Entries.size() : 0) << c.What;
        EXPECT_EQ(end, ArchiveDirectoryEnd) << c.What;
    }
}

TEST_F(ZipDirectory, SlidingWindowDeliversRecordsThatStraddleIt)
{
    ZipBuilder zip;
    zip.Prefix = StandInStub(1000);
    std::vector<std::string> expected;
    // Varying record lengths put records across many window refills at many offsets.
    for (int i = 0; i < 2500; ++i) {
        std::string name = "d" + std::to_string(i % 17) + "/" +
                           std::string(20 + i % 211, static_cast<char>('a' + i % 26));
        auto& e = zip.Add(name);
        e.Extra.resize(i % 13, 1);
        e.Comment.assign(i % 29, 'k');
        for (char& c : name)
            if (c == '/')
                c = '\\';
        expected.push_back(name);
    }
    EXPECT_EQ(Walk(Write(zip.Build())), expected);
}

TEST_F(ZipDirectory, PeerArchives)
{
    std::map<std::string, u64> sizes;
    for (const char* archive : {"python.zip", "infozip.zip", "infozip-zip64.zip"}) {
        sizes.clear();
        std::string path = PeerPath(archive);
        for (i32 r = ArchiveOpen(path.c_str(), Reader, 0, 0); r == ArchiveEntryReady;
             r = ArchiveNextEntry(Reader))
            sizes[Reader.Entry.Name] = Reader.Entry.UncompressedSize;
        ArchiveClose(Reader);
        EXPECT_EQ(sizes["readme.txt"], 27u * 40) << archive;
        EXPECT_EQ(sizes["sub\\data.bin"], 256u * 64) << archive;
        EXPECT_EQ(sizes.count("sub\\deeper\\empty.txt"), 1u) << archive;
        EXPECT_EQ(sizes.count("sub\\"), 1u) << archive;
    }
}

namespace {

// The names of a walk over entries with the given raw names, flags and extra fields.
struct NameCase
{
    std::string Raw;
    u16 Flags;
    Bytes Extra;
    std::string Name;  // what the reader makes of it; empty: unusable
};

Bytes UnicodePath(const std::string& raw, const std::string& utf8, uint32_t crcChange = 0)
{
    Bytes data;
    data.push_back(1);  // version
    Put32(data, ZlibCrc(Bytes(raw.begin(), raw.end())) ^ crcChange);
    data.insert(data.end(), utf8.begin(), utf8.end());
    Bytes extra;
    Put16(extra, 0x5455);  // some other field in front, to step over
    Put16(extra, 1);
    extra.push_back(0);
    Put16(extra, 0x7075);
    Put16(extra, static_cast<uint32_t>(data.size()));
    extra.insert(extra.end(), data.begin(), data.end());
    return extra;
}

}  // namespace

#define UTF8_GRUSSE            "Gr\xC3\xBC\xC3\x9F"  // u with umlaut, sharp s
#define UTF8_FULLWIDTH_SOLIDUS "\xEF\xBC\x8F"
#define UTF8_NIHON             "\xE6\x97\xA5\xE6\x9C\xAC"  // two kanji, 0x93FA 0x967B in Shift-JIS

// Each case is walked in an archive of its own, so one unusable name cannot hide another.
static void CheckNames(ZipDirectory& test, const std::vector<NameCase>& cases)
{
    for (const NameCase& c : cases) {
        ZipBuilder zip;
        zip.Prefix = StandInStub(64);
        ZipBuilderEntry& e = zip.Add(c.Raw);
        e.Flags = c.Flags;
        e.Extra = c.Extra;
        ASSERT_EQ(ArchiveOpen(test.Write(zip.Build()).c_str(), test.Reader, 0, 0),
                  ArchiveEntryReady)
            << c.Raw;
        EXPECT_EQ(test.Reader.Entry.NameUnusable, c.Name.empty()) << c.Raw;
        if (!c.Name.empty()) {
            EXPECT_EQ(std::string(test.Reader.Entry.Name), c.Name) << c.Raw;
        }
        ArchiveClose(test.Reader);
    }
}

TEST_F(ZipDirectory, NamesKeepEveryCharacterOrNone)
{
    const std::string longName = std::string(257, 'u') + "\xC3\xBC\xC3\xBC\xC3\xBC";
    CheckNames(
        *this,
        {
            {UTF8_GRUSSE "e/na\xC3\xAFve.txt", 0x800, {}, UTF8_GRUSSE "e\\na\xC3\xAFve.txt"},
            {"plain/ascii.txt", 0x800, {}, "plain\\ascii.txt"},
            // Every script as it is, never through a code page: Cyrillic, Greek, CJK and
            // Hangul, an emoji, a combining accent, three scripts in one name.
            {"\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.txt",
             0x800,
             {},
             "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.txt"},
            {"\xCE\xB1\xCE\xB2\xCE\xB3", 0x800, {}, "\xCE\xB1\xCE\xB2\xCE\xB3"},
            {UTF8_NIHON "/\xED\x95\x9C.txt", 0x800, {}, UTF8_NIHON "\\\xED\x95\x9C.txt"},
            {"\xF0\x9F\x98\x80.txt", 0x800, {}, "\xF0\x9F\x98\x80.txt"},
            {"cafe\xCC\x81.txt", 0x800, {}, "cafe\xCC\x81.txt"},
            {"a\xD0\xAF\xCE\xB1" UTF8_NIHON, 0x800, {}, "a\xD0\xAF\xCE\xB1" UTF8_NIHON},
            // Fullwidth dots and solidus are letters of a name, never '/', '\' or '.'.
            {"a" UTF8_FULLWIDTH_SOLIDUS "b", 0x800, {}, "a" UTF8_FULLWIDTH_SOLIDUS "b"},
            {"\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\x8F",
             0x800,
             {},
             "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\x8F"},
            {"bad\xC3\x28", 0x800, {}, ""},                // not UTF-8
            {"over\xC0\xAFlong", 0x800, {}, ""},           // an overlong '/'
            {"lone\xED\xA0\x80surrogate", 0x800, {}, ""},  // a surrogate on its own
            {longName, 0x800, {}, longName},               // past 259 bytes
            // OEM names (437) take their own characters, never a best fit: not a, 8, +.
            {"\x82t\x82.txt", 0, {}, "\xC3\xA9t\xC3\xA9.txt"},
            {"\xE0lpha.txt", 0, {}, "\xCE\xB1lpha.txt"},
            {"\xEC.txt", 0, {}, "\xE2\x88\x9E.txt"},
            {"\xDA-corner.txt", 0, {}, "\xE2\x94\x8C-corner.txt"},
            {std::string(1000, 'o'), 0, {}, std::string(1000, 'o')},
            {std::string("cut\0here", 8), 0, {}, ""},  // not the shorter name "cut"
            // The Unicode path field where it belongs to the name; otherwise the OEM name.
            {"plain.txt", 0, UnicodePath("plain.txt", UTF8_GRUSSE "e.txt"), UTF8_GRUSSE "e.txt"},
            {"\x81"
             "ber.txt",
             0,
             UnicodePath("\x81"
                         "ber.txt",
                         "x" UTF8_NIHON),
             "x" UTF8_NIHON},
            {"\x81"
             "ber.txt",
             0,
             UnicodePath("\x81"
                         "ber.txt",
                         "y", 1),
             "\xC3\xBC"
             "ber.txt"},
        });
#if !defined(_WIN32)
    // Code page 866: two Russian names that a best fit from 437 to 1252 made one.
    HostSetCodePage(1251);
    CheckNames(*this, {{"\xA9\xAE\xA4.txt", 0, {}, "\xD0\xB9\xD0\xBE\xD0\xB4.txt"},
                       {"\xAA\xAE\xA4.txt", 0, {}, "\xD0\xBA\xD0\xBE\xD0\xB4.txt"}});
#endif
}

TEST_F(ZipDirectory, NamesInADoubleByteCodePage)
{
#if !defined(_WIN32)
    HostSetCodePage(932);
#endif
    ASSERT_EQ(GetSystemMetrics(SM_DBCSENABLED) != 0, true) << "run these under code page 932";
    CheckNames(*this, {
                          {UTF8_NIHON "/f.txt", 0x800, {}, UTF8_NIHON "\\f.txt"},
                          {UTF8_GRUSSE "e", 0x800, {}, UTF8_GRUSSE "e"},
                          // OEM: the trail byte 0x5C of a double-byte character is no separator.
                          {"\x95\x5C/\x93\xFA.txt", 0, {}, "\xE8\xA1\xA8\\\xE6\x97\xA5.txt"},
                      });
}

TEST_F(ZipDirectory, RecordLargerThanTheSlidingWindowFailsTheWalk)
{
    ZipBuilder zip;
    zip.Prefix = StandInStub(64);
    zip.Add("first");
    zip.Add("huge").Comment.assign(64000, 'c');  // legal, but no window of 64000 holds it
    zip.Add("after");
    ASSERT_EQ(Open(zip.Build()), ArchiveEntryReady);
    EXPECT_EQ(Reader.WindowLength, ArchiveSlidingWindow);
    EXPECT_STREQ(Reader.Entry.Name, "first");
    EXPECT_EQ(ArchiveNextEntry(Reader), ArchiveRecordTooLarge);
    EXPECT_EQ(Reader.Window, nullptr);
    // Up to the window's size it is read whole.
    zip.Entries[1].Comment.assign(64000 - 46 - 4, 'c');
    EXPECT_EQ(Walk(Write(zip.Build())), (std::vector<std::string>{"first", "huge", "after"}));
}

namespace {

// A program file's first bytes: a DOS header pointing at a PE32 header whose security
// directory (the certificate table) is at the given file offset.
Bytes PeHeader(uint32_t tableOffset, uint32_t tableSize, uint16_t magic = 0x10B)
{
    Bytes head(0x200, 0);
    head[0] = 'M';
    head[1] = 'Z';
    head[0x3C] = 0x80;
    const char pe[4] = {'P', 'E', 0, 0};
    std::copy(pe, pe + 4, head.begin() + 0x80);
    head[0x80 + 24] = static_cast<unsigned char>(magic);
    head[0x80 + 25] = static_cast<unsigned char>(magic >> 8);
    Bytes directory;
    Put32(directory, tableOffset);
    Put32(directory, tableSize);
    std::copy(directory.begin(), directory.end(), head.begin() + 0x80 + 24 + 96 + 32);
    return head;
}

}  // namespace

TEST_F(ZipDirectory, SignedProgramsEndTheirArchiveAtTheCertificateTable)
{
    ZipBuilder zip;
    zip.Prefix = PeHeader(0, 0);
    zip.Add("signed.txt", "packed");
    uint32_t end = static_cast<uint32_t>(zip.Build().size());
    // What a signature's padding might hide: a whole archive of its own, with offsets that
    // count from the file's start.
    ZipBuilder hidden;
    hidden.Prefix = Bytes(end + 100, 0);
    hidden.Add("hidden.txt", "planted");
    Bytes planted = hidden.Build();
    Bytes table(planted.begin() + end, planted.end());
    zip.Prefix = PeHeader(end, static_cast<uint32_t>(table.size()));
    Bytes file = zip.Build();
    file.insert(file.end(), table.begin(), table.end());
    std::string path = Write(file);
    EXPECT_EQ(ArchiveLengthBeforeSignature(path.c_str()), static_cast<i32>(end));
    ASSERT_EQ(ArchiveOpen(path.c_str(), Reader, 0, ArchiveLengthBeforeSignature(path.c_str())),
              ArchiveEntryReady);
    EXPECT_STREQ(Reader.Entry.Name, "signed.txt");
    EXPECT_NE(ArchiveNextEntry(Reader), ArchiveEntryReady);
    EXPECT_EQ(Walk(path), std::vector<std::string>{"hidden.txt"}) << "what the whole file shows";

    struct Case
    {
        const char* What;
        Bytes Head;
    } const cases[] = {
        {"unsigned", PeHeader(0, 0)},         {"a table past the end", PeHeader(1u << 30, 100)},
        {"an empty table", PeHeader(end, 0)}, {"PE32+", PeHeader(end, 100, 0x20B)},
        {"no program", Bytes(0x200, 'x')},
    };

    for (const Case& c : cases) {
        Bytes other = c.Head;
        other.insert(other.end(), file.begin() + 0x200, file.end());
        EXPECT_EQ(ArchiveLengthBeforeSignature(Write(other).c_str()), 0) << c.What;
    }
    EXPECT_EQ(ArchiveLengthBeforeSignature((Dir / "missing.exe").c_str()), 0);
}
