#include <gtest/gtest.h>

#include "files/FileInfo.h"
#include "files/FileSystem.h"
#include "support/Fixtures.h"
#include "support/LocalZone.h"
#include "text/Text.h"

#include <cstdlib>
#include <ctime>
#include <set>
#include <string>

#if !defined(_WIN32)
#include "support/HostControl.h"
#endif

namespace {

using FileInfo = InTempDir;

DosDateTime Dos(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                unsigned second)
{
    DateTimeParts parts{static_cast<u16>(year), static_cast<u16>(month),  static_cast<u16>(day),
                        static_cast<u16>(hour), static_cast<u16>(minute), static_cast<u16>(second)};
    return DosPack(parts);
}

// Fields as stored, without the spill of DosPack: years since 1980 and seconds halved.
DosDateTime RawDos(unsigned years, unsigned month, unsigned day, unsigned hour, unsigned minute,
                   unsigned halfSeconds)
{
    return (years & 127) << 25 | (month & 15) << 21 | (day & 31) << 16 | (hour & 31) << 11 |
           (minute & 63) << 5 | (halfSeconds & 31);
}

long long Ticks(const FILETIME& time)
{
    return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                  time.dwLowDateTime);
}

// The DOS value read as UTC, without any zone.
long long UtcTicks(DosDateTime value)
{
    DateTimeParts p = DosUnpack(value);
    SYSTEMTIME system{p.Year, p.Month, 0, p.Day, p.Hour, p.Minute, p.Second, 0};
    FILETIME time{};
    EXPECT_TRUE(SystemTimeToFileTime(&system, &time));
    return Ticks(time);
}

// Names found by a search, taken through the record until the search ends.
std::set<std::string> FindAll(const std::string& pattern, u16 mask)
{
    std::set<std::string> names;
    SearchRecord record;
    FsFindFirst(pattern.c_str(), mask, record);
    while (FsLastError == 0) {
        names.insert(record.Name);
        FsFindNext(record);
    }
    EXPECT_EQ(record.FindHandle, INVALID_HANDLE_VALUE);
    return names;
}

}  // namespace

TEST(DosDateTimeFields, UnpackAndPackAtTheEdges)
{
    DateTimeParts first = DosUnpack(0x00210000);
    EXPECT_EQ(first.Year, 1980);
    EXPECT_EQ(first.Month, 1);
    EXPECT_EQ(first.Day, 1);
    EXPECT_EQ(first.Hour + first.Minute + first.Second, 0);

    DateTimeParts last = DosUnpack(0xBF7D);
    EXPECT_EQ(last.Hour, 23);
    EXPECT_EQ(last.Minute, 59);
    EXPECT_EQ(last.Second, 58);

    EXPECT_EQ(Dos(2107, 12, 31, 23, 59, 58), 0xFF9FBF7Du);
    EXPECT_EQ(Dos(2108, 1, 1, 0, 0, 0), 0x00210000u) << "the year wraps after 2107";
    EXPECT_EQ(Dos(2020, 5, 6, 7, 8, 59), Dos(2020, 5, 6, 7, 8, 58)) << "odd seconds round down";
    EXPECT_EQ(Dos(2020, 5, 6, 7, 64, 0), Dos(2020, 5, 6, 8, 0, 0)) << "minutes spill into hours";
    EXPECT_EQ(Dos(2020, 16, 1, 0, 0, 0), Dos(2021, 0, 1, 0, 0, 0)) << "months spill into years";

    for (DosDateTime value : {0x00210000u, 0xFF9FBF7Du, 0x5A8B6C2Eu})
        EXPECT_EQ(DosPack(DosUnpack(value)), value) << std::hex << value;
}

TEST(DosDateTimeConversion, RoundTripsThroughLocalTimeWithTheCurrentBias)
{
    LocalZone zone(CentralEuropeanZone);
    DosDateTime winter = Dos(2021, 1, 15, 10, 20, 30);
    DosDateTime summer = Dos(2021, 7, 15, 10, 20, 30);
    for (DosDateTime value :
         {winter, summer, Dos(1980, 1, 1, 0, 0, 0), Dos(2107, 12, 31, 23, 59, 58)})
        EXPECT_EQ(DosFromFileTime(DosToFileTime(value)), value) << std::hex << value;

    // Windows shifts every date by the bias in force now, daylight saving or not.
    long long winterShift = Ticks(DosToFileTime(winter)) - UtcTicks(winter);
    long long summerShift = Ticks(DosToFileTime(summer)) - UtcTicks(summer);
    EXPECT_EQ(winterShift, summerShift);
    // Central European time runs one hour ahead of UTC, two in summer.
    const char* zoneName = std::getenv("TZ");
    if (zoneName != nullptr && std::string(zoneName).rfind("CET-1CEST", 0) == 0) {
        const long long hour = 3600 * 10000000LL;
        EXPECT_TRUE(winterShift == -hour || winterShift == -2 * hour) << winterShift;
    }
#if !defined(_WIN32)
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    EXPECT_NE(local.tm_gmtoff, 0);
    EXPECT_EQ(winterShift, -static_cast<long long>(local.tm_gmtoff) * 10000000LL);
#endif
}

TEST(DosDateTimeConversion, OddSecondsOfAFileTimeBecomeTheEvenOneBelow)
{
    SYSTEMTIME system{2020, 6, 0, 15, 12, 34, 59, 999};
    FILETIME local{};
    FILETIME utc{};
    ASSERT_TRUE(SystemTimeToFileTime(&system, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    EXPECT_EQ(DosFromFileTime(utc), Dos(2020, 6, 15, 12, 34, 58));
}

TEST(DosDateTimeConversion, InvalidValuesGiveTheZeroTime)
{
    const DosDateTime invalid[] = {
        RawDos(40, 0, 1, 0, 0, 0),   // month 0
        RawDos(40, 13, 1, 0, 0, 0),  // month 13
        RawDos(40, 1, 0, 0, 0, 0),   // day 0
        RawDos(40, 1, 1, 24, 0, 0),  // hour 24
        RawDos(40, 1, 1, 0, 60, 0),  // minute 60
        RawDos(40, 1, 1, 0, 0, 30),  // second 60
    };
    for (DosDateTime value : invalid) {
        FILETIME time = DosToFileTime(value);
        EXPECT_EQ(Ticks(time), 0) << std::hex << value;
    }
#if !defined(_WIN32)
    // Windows rejects a day the month lacks; Wine rolls it over into the next month.
    EXPECT_EQ(Ticks(DosToFileTime(RawDos(41, 2, 29, 0, 0, 0))), 0);
#endif
}

TEST_F(FileInfo, SetTimeChangesTheLastWriteTimeOnlyForValidValues)
{
    std::string name = Dir / "timed.txt";
    HANDLE file = FsCreate(name.c_str(), 0);
    ASSERT_EQ(FsLastError, 0);
    DosDateTime value = Dos(2001, 2, 3, 4, 5, 6);
    FsSetTime(file, value);
    EXPECT_EQ(FsLastError, 0);
    EXPECT_EQ(FsGetTime(file), value);
    EXPECT_EQ(FsLastError, 0);

    FsSetTime(file, RawDos(21, 0, 3, 4, 5, 3));  // month 0
    EXPECT_EQ(FsLastError, 0);
    EXPECT_EQ(FsGetTime(file), value) << "an invalid value leaves the time unchanged";
    FsClose(file);

    file = FsOpenRead(name.c_str(), FsModeRead);
    EXPECT_EQ(FsGetTime(file), value) << "the time survives closing the file";
    FsClose(file);

    FsSetTime(nullptr, value);
    EXPECT_EQ(FsLastError, ERROR_INVALID_HANDLE);
    FsSetTime(nullptr, RawDos(21, 0, 3, 4, 5, 3));
    EXPECT_EQ(FsLastError, ERROR_INVALID_HANDLE) << "an invalid value still reports the handle";

    EXPECT_EQ(FsGetTime(nullptr), 0u);
    EXPECT_NE(FsLastError, 0);
}

TEST_F(FileInfo, AttributesKeepWhatWasSetAndZeroMeansNormal)
{
    std::string name = Dir / "flags.txt";
    WriteBytes(name, {1, 2, 3});
    FsSetAttributes(name.c_str(), 0x27);  // read-only, hidden, system, archive
    EXPECT_EQ(FsLastError, 0);
    EXPECT_EQ(FsGetAttributes(name.c_str()), 0x27u);
    FsSetAttributes(name.c_str(), 0);
    EXPECT_EQ(FsLastError, 0);
    // Windows then reports FILE_ATTRIBUTE_NORMAL; Wine goes on reporting the archive bit.
    EXPECT_EQ(FsGetAttributes(name.c_str()) & 0x07u, 0u);
    EXPECT_EQ(FsLastError, 0);

    EXPECT_EQ(FsGetAttributes(Dir.Path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0x10u);

    FsLastError = 0;
    EXPECT_EQ(FsGetAttributes((Dir / "missing.txt").c_str()), 0u);
    EXPECT_EQ(FsLastError, ERROR_FILE_NOT_FOUND);
    FsSetAttributes((Dir / "missing.txt").c_str(), 0);
    EXPECT_EQ(FsLastError, ERROR_FILE_NOT_FOUND);
}

TEST_F(FileInfo, SearchMatchesWildcardsAndFillsTheRecord)
{
    WriteBytes(Dir / "a.txt", {1, 2, 3, 4, 5});
    WriteBytes(Dir / "ab.txt", {1});
    WriteBytes(Dir / "c.dat", {});
    CreateDirectoryA((Dir / "sub.txt").c_str(), nullptr);
    EXPECT_EQ(FindAll(Dir / "*.txt", 0x3F), (std::set<std::string>{"a.txt", "ab.txt", "sub.txt"}));
    EXPECT_EQ(FindAll(Dir / "?.txt", 0x3F), (std::set<std::string>{"a.txt"}));
    EXPECT_EQ(FindAll(Dir / "*", 0x3F),
              (std::set<std::string>{".", "..", "a.txt", "ab.txt", "c.dat", "sub.txt"}));

    std::string name = Dir / "a.txt";
    HANDLE file = FsOpenHandle(name.c_str(), 0, OPEN_EXISTING, 2);
    FsSetTime(file, Dos(1999, 12, 31, 23, 59, 58));
    FILETIME written{};
    GetFileTime(file, nullptr, nullptr, &written);
    FsClose(file);
    SearchRecord record;
    FsFindFirst(name.c_str(), 0x3F, record);
    ASSERT_EQ(FsLastError, 0);
    EXPECT_NE(record.FindHandle, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(record.Name, "a.txt");
    EXPECT_STREQ(record.ShortName, "") << "an 8.3 name has no other short name";
    EXPECT_EQ(record.SizeLow, 5u);
    EXPECT_EQ(record.SizeHigh, 0u);
    EXPECT_EQ(record.Attributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(record.Time, Dos(1999, 12, 31, 23, 59, 58));
    EXPECT_EQ(Ticks(record.WriteTime), Ticks(written));
    FsFindNext(record);
    EXPECT_EQ(FsLastError, ERROR_NO_MORE_FILES);
    EXPECT_EQ(record.FindHandle, INVALID_HANDLE_VALUE);
    FsLastError = 12345;
    FsFindClose(record);
    EXPECT_EQ(FsLastError, 12345) << "closing no open search leaves FsLastError alone";
}

TEST_F(FileInfo, SearchPatternsOfManyStarsMatchAnyCaseAndFinish)
{
    WriteBytes(Dir / "abcabc.txt", {});
    WriteBytes(Dir / "abc.dat", {});
    WriteBytes(Dir / "xaxbxc.txt", {});
    EXPECT_EQ(FindAll(Dir / "*a*b*c*.txt", 0x3F),
              (std::set<std::string>{"abcabc.txt", "xaxbxc.txt"}));
    EXPECT_EQ(FindAll(Dir / "a*c.*", 0x3F), (std::set<std::string>{"abcabc.txt", "abc.dat"}));
    EXPECT_EQ(FindAll(Dir / "*b?c*", 0x3F), (std::set<std::string>{"xaxbxc.txt"}));
    EXPECT_EQ(FindAll(Dir / "*A*B*C*", 0x3F),
              (std::set<std::string>{"abcabc.txt", "abc.dat", "xaxbxc.txt"}));
#if !defined(_WIN32)
    // An entry name the fuzzer found: the stand-in once tried every split at every star.
    WriteBytes(Dir / (std::string(40, 'a') + ".txt"), {});
    std::string stars;
    for (int i = 0; i < 20; ++i)
        stars += "*a";
    EXPECT_EQ(FindAll(Dir / (stars + "*b"), 0x3F), std::set<std::string>{});
    EXPECT_EQ(FindAll(Dir / (stars + "*.txt"), 0x3F),
              std::set<std::string>{std::string(40, 'a') + ".txt"});
#endif
}

TEST_F(FileInfo, SearchOfNothingFailsAndLeavesNoHandle)
{
    SearchRecord record;
    FsFindFirst((Dir / "*.none").c_str(), 0x3F, record);
    EXPECT_EQ(FsLastError, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(record.FindHandle, INVALID_HANDLE_VALUE);
    FsFindFirst((Dir / "nodir\\*").c_str(), 0x3F, record);
    EXPECT_EQ(FsLastError, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(record.FindHandle, INVALID_HANDLE_VALUE);
    FsFindNext(record);
    EXPECT_NE(FsLastError, 0) << "no search is open";
}

TEST_F(FileInfo, FilterSkipsEntriesWithBitsOutsideTheMask)
{
    WriteBytes(Dir / "shown.txt", {});
    WriteBytes(Dir / "hidden.txt", {});
    SetFileAttributesA((Dir / "shown.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA((Dir / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(FindAll(Dir / "*.txt", 0x3F), (std::set<std::string>{"hidden.txt", "shown.txt"}));
    EXPECT_EQ(FindAll(Dir / "*.txt", 0x3F & ~FILE_ATTRIBUTE_HIDDEN),
              (std::set<std::string>{"shown.txt"}));
    EXPECT_EQ(FindAll(Dir / "hidden.txt", 0x10).size(), 0u) << "skipping to the end fails";
}

TEST_F(FileInfo, LongNamesCarryADistinctShortName)
{
    std::string longName = "a rather long file name.text";
    WriteBytes(Dir / longName, {});
    SearchRecord record;
    FsFindFirst((Dir / longName).c_str(), 0x3F, record);
    ASSERT_EQ(FsLastError, 0);
    EXPECT_STREQ(record.Name, longName.c_str());
    EXPECT_NE(record.ShortName[0], 0);
    EXPECT_LE(TextLength(record.ShortName), 12u);
    EXPECT_STRNE(record.ShortName, record.Name);
    FsFindClose(record);
    EXPECT_EQ(FsLastError, 0);
    EXPECT_EQ(record.FindHandle, INVALID_HANDLE_VALUE);
}

#if !defined(_WIN32)
TEST_F(FileInfo, DirectoryRecordHasNoSizeHighWhateverTheSystemSays)
{
    HostSetDirectorySize(0x500000123ULL);
    CreateDirectoryA((Dir / "big").c_str(), nullptr);
    SearchRecord record;
    FsFindFirst((Dir / "big").c_str(), 0x3F, record);
    ASSERT_EQ(FsLastError, 0);
    EXPECT_EQ(record.SizeHigh, 0u);
    EXPECT_EQ(record.SizeLow, 0x123u);
    EXPECT_EQ(record.AllAttributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    FsFindClose(record);
}
#endif

TEST_F(FileInfo, PathKindTellsFileDirectoryAndNothing)
{
    WriteBytes(Dir / "file.txt", {});
    CreateDirectoryA((Dir / "Data").c_str(), nullptr);
    EXPECT_EQ(FsPathKind((Dir / "file.txt").c_str()), PathIsFile);
    EXPECT_EQ(FsPathKind((Dir / "Data").c_str()), PathIsDirectory);
    EXPECT_EQ(FsPathKind((Dir / "Data\\").c_str()), PathIsDirectory);
    EXPECT_EQ(FsPathKind((Dir / "missing").c_str()), PathMissing);
    EXPECT_EQ(FsPathKind((Dir / "missing\\deeper\\").c_str()), PathMissing);
    EXPECT_EQ(FsPathKind(nullptr), PathMissing);
    EXPECT_EQ(FsPathKind(""), PathMissing);
    EXPECT_TRUE(FsDirExists(Dir.Path.c_str()));
    EXPECT_FALSE(FsDirExists((Dir / "file.txt").c_str()));
}

TEST_F(FileInfo, PathKindOfARootChangesTheCurrentDirectory)
{
    TestRoots roots;
    if (roots.Missing())
        GTEST_SKIP() << "no drive or share root of the test's own";
    const std::string& drive = roots.Drive;
    const std::string& share = roots.Share;
    TempDir inDrive(drive);
    TempDir inShare(share);
    WriteBytes(inDrive / "marker.txt", {});

    FsLastError = 777;
    EXPECT_EQ(FsPathKind(drive.c_str()), PathIsDirectory);
    EXPECT_EQ(FsLastError, 777) << "a root leaves FsLastError alone";
    std::string relative = inDrive.Path.substr(drive.size()) + "marker.txt";
    EXPECT_EQ(FsGetAttributes(relative.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u)
        << "relative names now resolve in the root";
    EXPECT_EQ(FsLastError, 0);

    EXPECT_EQ(FsPathKind(share.c_str()), PathIsDirectory);
    std::string shareWithoutBackslash = share.substr(0, share.size() - 1);
    EXPECT_EQ(FsPathKind(shareWithoutBackslash.c_str()), PathIsDirectory);
    EXPECT_EQ(FsPathKind(inShare.Path.c_str()), PathIsDirectory) << "below a root it searches";
    EXPECT_EQ(FsPathKind("\\\\sfxsrv\\noshare\\"), PathMissing);
    SetCurrentDirectoryA(SavedDirectory);
}

#if !defined(_WIN32)
TEST_F(FileInfo, PathKindOfAnUnmappedRootIsMissing)
{
    EXPECT_EQ(FsPathKind("Q:\\"), PathMissing);
    EXPECT_EQ(HostCalls().SetCurrentDirectory, 1u);
    EXPECT_EQ(HostCalls().FindFirstFile, 0u) << "a root is never searched";
}
#endif
