// The packer's rules as tables: its command line, names, times, limits, extra fields, where
// inputs land and when an entry is stored.
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <string>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif
#include <vector>

#include "DosTime.h"
#include "Limits.h"
#include "Names.h"
#include "Options.h"
#include "Pack.h"
#include "Scan.h"
#include "SettingsBlock.h"
#include "ZipWrite.h"
#include "inflate/Crc32.h"
#include "support/LocalZone.h"

// The parsed values as blank-separated tokens, inputs joined by commas, blanks in the
// self-extractor's texts as '_'.
static std::set<std::string> Fields(const Options& o)
{
    std::string inputs;
    for (const std::string& input : o.Inputs)
        inputs += (inputs.empty() ? "" : ",") + input;
    const SfxOptions& x = o.Sfx;
    std::string texts =
        "title=" + x.Title + "\tdest=" + x.Destination + "\trun=" + x.RunProgram +
        "\targs=" + x.RunArguments + "\ticon=" + o.Brand.IconPath + "\tproduct=" + o.Brand.Product +
        "\tpver=" + o.Brand.ProductVersion + "\tcompany=" + o.Brand.Company +
        "\tdesc=" + o.Brand.Description + "\tcopy=" + o.Brand.Copyright +
        "\tv=" + std::to_string(o.Brand.Version[0]) + "." + std::to_string(o.Brand.Version[1]) +
        "." + std::to_string(o.Brand.Version[2]) + "." + std::to_string(o.Brand.Version[3]);
    std::replace(texts.begin(), texts.end(), ' ', '_');
    std::istringstream all(
        "out=" + o.Output + " zip=" + o.Zip + " test=" + o.Test + " stub=" + o.Stub + " in=" +
        inputs + " level=" + std::to_string(o.Pack.Level) + " jobs=" + std::to_string(o.Pack.Jobs) +
        " zopfli=" + std::to_string(o.Pack.Zopfli) + " selftest=" + std::to_string(o.SelfTest) +
        " quiet=" + std::to_string(o.Quiet) + " verbose=" + std::to_string(o.Verbose) + " " +
        texts + " given=" + std::to_string(x.Given) + " overwrite=" + std::to_string(x.Overwrite) +
        " sfxquiet=" + std::to_string(x.Quiet) + " temp=" + std::to_string(x.Temp) +
        " admin=" + std::to_string(x.Admin));
    std::set<std::string> tokens;
    for (std::string token; all >> token;)
        tokens.insert(token);
    return tokens;
}

TEST(MksfxOptions, EachCommandLineGivesOneActionWithItsValuesOrOneUsageError)
{
    struct Case
    {
        std::vector<std::string> Args;
        Action Do;
        int Exit;
        const char* Message;  // a part of it; empty: no message
        const char* Fields;   // tokens as Fields() makes them
    };

    using enum Action;
    const std::string longText(SettingTextLimit + 1, 'a');
    const Case cases[] = {
        {{}, Usage, 2, "self-extractor\nmksfx --help lists the options\n", ""},
        {{"-h"}, Help, 0, "\nExit codes:\n", ""},
        {{"--help", "--fast"}, Help, 0, "Usage:\n  mksfx [options]", ""},
        {{"-q", "--version"}, Version, 0, "mksfx ", ""},
        {{"--fast", "--help"}, Usage, 2, "mksfx: unknown option '--fast' (mksfx --help", ""},
        {{"-o", "x", "--zopfli=yes", "d"}, Usage, 2, "unknown option '--zopfli=yes'", ""},
        {{"-o", "x", "-1x", "d"}, Usage, 2, "unknown option '-1x'", ""},
        {{"dir"}, Usage, 2, "no output named (-o OUT.exe)", ""},
        {{"-o", "x"}, Usage, 2, "nothing to pack: name folders or files", ""},
        {{"-13", "-o", "x", "d"}, Usage, 2, "level '-13' is out of range: -0 to -12", ""},
        {{"-99999999999999999999", "d"}, Usage, 2, "'-99999999999999999999' is out", ""},
        {{"-o", "x", "-j", "0", "d"}, Usage, 2, "'0' is not a number of jobs from 1 to 256", ""},
        {{"-o", "x", "--jobs=257", "d"}, Usage, 2, "'257' is not a number of jobs", ""},
        {{"-o", "x", "-j4x", "d"}, Usage, 2, "'4x' is not a number of jobs", ""},
        {{"-o", "x", "-j"}, Usage, 2, "'-j' needs a number", ""},
        {{"d", "-o"}, Usage, 2, "'-o' needs a file name", ""},
        {{"--output=", "d"}, Usage, 2, "'--output=' needs a file name", ""},
        {{"-o", "x", "--stub", "", "d"}, Usage, 2, "'--stub' needs a file name", ""},
        {{"--zip", "a.zip", "-o", "x", "d"}, Usage, 2, "--zip takes the archive alone", ""},
        {{"--test", "a.exe", "-o", "x"}, Usage, 2, "--test takes one file and nothing", ""},
        {{"--test=a.exe", "-v"}, Test, 0, "", "test=a.exe verbose=1 in="},
        {{"-o", "x", "d1", "d2"}, Pack, 0, "", "out=x in=d1,d2 zip= level=9 zopfli=0 selftest=1"},
        {{"-o", "x", "d"}, Pack, 0, "", "quiet=0 verbose=0"},
        {{"-ox", "-0", "-q", "--no-test", "d"}, Pack, 0, "", "level=0 quiet=1 sfxquiet=0 given=0"},
        {{"--output=x", "-12", "--zopfli", "-j", "3", "d"},
         Pack,
         0,
         "",
         "level=12 zopfli=1 jobs=3"},
        {{"--output", "x", "--jobs", "256", "-09", "-2", "d"}, Pack, 0, "", "jobs=256 level=2"},
        {{"-j2", "-o", "x", "-", "--verbose"}, Pack, 0, "", "jobs=2 in=- verbose=1"},
        {{"-o", "x", "--", "-v", "--zip=z"}, Pack, 0, "", "in=-v,--zip=z verbose=0"},
        {{"-o", "x", "--zip=a.zip", "--stub", "s.exe"}, Wrap, 0, "", "zip=a.zip stub=s.exe in="},
        // What the self-extractor is told.
        {{"-ox", "--title=Grüße 日本", "--quiet", "d"},
         Pack,
         0,
         "",
         "title=Grüße_日本 sfxquiet=1 quiet=0"},
        {{"-ox", "--overwrite", "never", "d"}, Pack, 0, "", "overwrite=2 given=1 dest= run="},
        {{"-ox", "--destination=%A%/B C/%%", "d"}, Pack, 0, "", "dest=%A%\\B_C\\%% given=1"},
        {{"-ox", "--run=\"a b/c.exe\"  /S /D", "--zip=z"},
         Wrap,
         0,
         "",
         "run=a_b\\c.exe args=/S_/D"},
        {{"-ox", "--run=a", "--temp", "--admin", "d"}, Pack, 0, "", "temp=1 admin=1 args="},
        {{"-ox", "--run", "bin/setup.exe\t-q", "d"}, Pack, 0, "", "run=bin\\setup.exe args=-q"},
        {{"-ox", "d", "--run=\"..a\""}, Pack, 0, "", "run=..a args="},
        {{"-ox", "--title=", "d"}, Usage, 2, "the --title value is empty", ""},
        {{"-ox", "--title", std::string(778, 't'), "d"}, Usage, 2, "value is over 777 bytes", ""},
        {{"-ox", "--title", "bad\xff", "d"}, Usage, 2, "value is not valid UTF-8", ""},
        {{"-ox", "--destination", "a%b", "d"}, Usage, 2, "'%' without its pair", ""},
        {{"-ox", "--overwrite", "Always", "d"}, Usage, 2, "ask, always or never, not 'Always'", ""},
        {{"-ox", "--run", "\"a b", "d"}, Usage, 2, "has no closing '\"'", ""},
        {{"-ox", "--run", "\"a\"b", "d"}, Usage, 2, "no blank after the closing", ""},
        {{"-ox", "--run", "a.exe \x07", "d"}, Usage, 2, "argument text that holds a control", ""},
        {{"-ox", "--run", "a " + longText, "d"}, Usage, 2, "argument text that is over", ""},
        {{"-ox", "--run", "c:a.exe", "d"}, Usage, 2, "names no file under the destination", ""},
        {{"-ox", "--run", "/a.exe", "d"}, Usage, 2, "names no file under the destination", ""},
        {{"-ox", "--temp", "d"}, Usage, 2, "--temp needs --run", ""},
        {{"-ox", "--temp", "--run=a", "--destination=b", "d"}, Usage, 2, "no --destination", ""},
        {{"-ox", "--admin", "--stub=s.exe", "d"}, Usage, 2, "--admin picks the built-in stub", ""},
        {{"--test=a.exe", "--quiet"}, Usage, 2, "--test takes one file and nothing", ""},
        {{"-ox", "--icon", "a.ico", "--product=Grüße Tool", "--product-version", "1.2.65535.0",
          "--company=C", "--description=D", "--copyright=© 2026", "d"},
         Pack,
         0,
         "",
         "icon=a.ico product=Grüße_Tool pver=1.2.65535.0 v=1.2.65535.0 company=C desc=D "
         "copy=©_2026 given=0"},
        {{"-ox", "--product-version=7", "d"}, Pack, 0, "", "pver=7 v=7.0.0.0 product="},
        {{"-ox", "--product-version=1.2.3.4.5", "d"},
         Usage,
         2,
         "'1.2.3.4.5' is not one to four",
         ""},
        {{"-ox", "--product-version=65536", "d"}, Usage, 2, "'65536' is not one to four", ""},
        {{"-ox", "--product-version=1..2", "d"}, Usage, 2, "'1..2' is not one to four", ""},
        {{"-ox", "--product-version=1.-2", "d"}, Usage, 2, "'1.-2' is not one to four", ""},
        {{"-ox", "--company", "bad\xff", "d"},
         Usage,
         2,
         "the --company value is not valid UTF-8",
         ""},
        {{"-ox", "--copyright", "a\nb", "d"}, Usage, 2, "--copyright value holds a control", ""},
        {{"-ox", "--description", std::string(1025, 'd'), "d"}, Usage, 2, "is over 1024 bytes", ""},
        {{"-ox", "d", "--icon"}, Usage, 2, "'--icon' needs a value", ""},
        {{"-ox", "--product=", "d"}, Usage, 2, "'--product=' needs a value", ""},
        {{"--test=a.exe", "--product=x"}, Usage, 2, "--test takes one file and nothing", ""},
    };
    for (const Case& c : cases) {
        std::string args;
        for (const std::string& arg : c.Args)
            args += " '" + arg + "'";
        Options options = ParseOptions(c.Args);
        EXPECT_EQ(static_cast<int>(options.Do), static_cast<int>(c.Do)) << args;
        EXPECT_EQ(options.Exit, c.Exit) << args;
        if (*c.Message == '\0')
            EXPECT_EQ(options.Message, "") << args;
        else
            EXPECT_NE(options.Message.find(c.Message), std::string::npos)
                << args << " gave '" << options.Message << "'";
        std::set<std::string> fields = Fields(options);
        std::istringstream want(c.Fields);
        for (std::string token; want >> token;)
            EXPECT_EQ(fields.count(token), 1u) << args << " lacks " << token;
    }
}

// The block as the packer writes it reads back whole with the stub's reader, and each kind of
// damage makes that reader refuse it.
TEST(MksfxSettings, BlockReadsBackAsWrittenAndDamageIsRefused)
{
    static SfxSettings read;
    InitCrcTable();
    auto parse = [](const ByteBuffer& block) {
        return ParseSettings(block.data(), static_cast<u32>(block.size()), read);
    };
    const SfxOptions all{true, "Grüße", "%TEMP%\\x", OverwriteNever, true, "bin\\a.exe",
                         "/S", true,    true};
    ByteBuffer block = SettingsBlock(all);
    ASSERT_EQ(parse(block), SettingsRead);
    EXPECT_EQ(std::string(read.Title) + "|" + read.Destination + "|" + read.RunProgram + "|" +
                  read.RunArguments,
              "Grüße|%TEMP%\\x|bin\\a.exe|/S");
    EXPECT_TRUE(read.Quiet && read.Temp && read.Admin && read.Overwrite == OverwriteNever);
    SfxOptions given, longTitle, tempAlone;
    EXPECT_TRUE(SettingsBlock(given).empty());
    given.Given = longTitle.Given = tempAlone.Given = true;
    longTitle.Title.assign(SettingTitleLimit + 1, 't');
    tempAlone.Temp = true;
    ASSERT_EQ(parse(SettingsBlock(given)), SettingsRead);  // --overwrite ask alone
    EXPECT_TRUE(read.Present && read.Title[0] == 0 && read.Overwrite == OverwriteAsk);

    // Damage under a fresh length and CRC-32, which the reader must catch by its records.
    auto resealed = [](ByteBuffer b) {
        u32 fields[] = {static_cast<u32>(b.size() - SettingsHeaderSize),
                        static_cast<u32>(libdeflate_crc32(0, b.data() + 16, b.size() - 16))};
        for (int i = 0; i < 8; ++i)
            b[8 + i] = static_cast<u8>(fields[i / 4] >> (i % 4 * 8));
        return b;
    };
    ByteBuffer flipped = block, unknown = block, twice = block;
    flipped.back() ^= 1;
    unknown[SettingsHeaderSize] = SettingAdmin + 1;
    twice.insert(twice.end(), block.begin() + 16, block.begin() + 19 + block[17]);  // the title
    const std::pair<const char*, ByteBuffer> damaged[] = {
        {"cut short", ByteBuffer(block.begin(), block.end() - 1)},
        {"a flipped byte", flipped},
        {"an unknown tag", resealed(unknown)},
        {"a record twice", resealed(twice)},
        {"a title over its limit", SettingsBlock(longTitle)},
        {"--temp without a program", SettingsBlock(tempAlone)},
    };
    for (const auto& [what, bytes] : damaged)
        EXPECT_EQ(parse(bytes), SettingsDamaged) << what;
}

TEST(MksfxNames, AcceptsWhatWindowsKeepsAndRefusesTheRest)
{
    struct Case
    {
        std::string Name;
        const char* Problem;  // a part of the message; empty: accepted
    };

    const std::string longPart = std::string(255, 'a');
    const std::string deep = longPart + "/" + longPart + "/";
    const Case cases[] = {
        {"readme.txt", ""},
        {"dir/", ""},
        {"dir/sub/file.c", ""},
        {"Grüße mit Leerzeichen.txt", ""},
        {"日本語/ファイル", ""},
        {"console.txt", ""},  // starts like CON, is not CON
        {"COM10", ""},
        {"LPT0.x", ""},
        {".hidden", ""},
        {"a..b", ""},
        {deep + "f", ""},                                     // past 259 characters
        {deep + "\xE6\x97\xA5" + std::string(254, 'c'), ""},  // 255 characters, not bytes
        {deep + longPart + "c", "longer than 255 characters"},
        {[] {
             std::string n;
             while (n.size() <= NameLimit)
                 n += std::string(200, 'n') + "/";
             return n + "f";
         }(),
         "longer than 32,000"},
        {"COM\xC2\xB9", "device name"},
        {"", "empty name"},
        {"/etc/passwd", "absolute"},
        {"a//b", "empty path component"},
        {"a/../b", "'..'"},
        {"./a", "'.'"},
        {"c:evil", "':'"},
        {"stream.txt:alt", "':'"},
        {"back\\slash", "'\\'"},
        {"less<than", "'<'"},
        {"more>than", "'>'"},
        {"say\"hi\"", "'\"'"},
        {"pi|pe", "'|'"},
        {"what?", "'?'"},
        {"star*", "'*'"},
        {"tab\there", "control character"},
        {"bell\x07", "control character"},
        {"CON", "device name"},
        {"con.txt", "device name"},
        {"dir/nul", "device name"},
        {"Aux.tar.gz", "device name"},
        {"com1", "device name"},
        {"LPT9.log", "device name"},
        {"prn /x", "ends in a dot or a blank"},
        {"prn .txt", "device name"},
        {"trailing.", "ends in a dot or a blank"},
        {"trailing /x", "ends in a dot or a blank"},
        {"dir./", "ends in a dot or a blank"},
        {"bad\xff.txt", "not valid UTF-8"},
        {"overlong\xc0\xaf", "not valid UTF-8"},
        {"surrogate\xed\xa0\x80", "not valid UTF-8"},
        {"past\xf4\x90\x80\x80", "not valid UTF-8"},
        {"cut\xe6\x97", "not valid UTF-8"},
    };
    for (const Case& c : cases) {
        std::string problem = NameProblem(c.Name);
        if (*c.Problem == '\0')
            EXPECT_EQ(problem, "") << c.Name;
        else
            EXPECT_NE(problem.find(c.Problem), std::string::npos)
                << c.Name << " gave '" << problem << "'";
    }
}

TEST(MksfxNames, FindsNamesThatDifferOnlyInCase)
{
    std::size_t first = 99;
    std::size_t second = 99;
    EXPECT_FALSE(FindCaseClash({"a/", "a/b", "b", "Grüße", "GRÜSSE"}, first, second));
    // Only ASCII letters fold, as on Windows' default volumes for the names we let through.
    EXPECT_FALSE(FindCaseClash({"é", "É"}, first, second));
    ASSERT_TRUE(FindCaseClash({"docs/", "x", "Docs/"}, first, second));
    EXPECT_EQ(first + second, 2u);
    // A folder and a file of one name would land on one path.
    ASSERT_TRUE(FindCaseClash({"readme", "b", "README/"}, first, second));
    EXPECT_EQ(first + second, 2u);
}

TEST(MksfxNames, MessagesShowPathsWithoutDotPartsAndBytesThatAreNotUtf8Escaped)
{
    const std::pair<const char*, const char*> cases[] = {
        {"big/./z.img", "big/z.img"},
        {"./a/././b", "a/b"},
        {"a//b///c", "a/b/c"},
        {"//abs/./x", "/abs/x"},
        {"/", "/"},
        {"dir/", "dir/"},
        {"dir/./", "dir/"},
        {"dir/.", "dir/."},  // as typed: the folder's contents
        {".", "."},
        {"./", "./"},
        {"../up", "../up"},
        {"a/.b/..c", "a/.b/..c"},
        {"Grüße/日本語", "Grüße/日本語"},
        {"bad\xff/./x", "bad\\xFF/x"},
        {"cut\xe6\x97", "cut\\xE6\\x97"},
        {"surrogate\xed\xa0\x80", "surrogate\\xED\\xA0\\x80"},
        {"tab\there\x1b[2J\x7f", "tab\\x09here\\x1B[2J\\x7F"},
        {"csi\xc2\x9b"
         "2J\xc2\xa0nbsp",
         "csi\\xC2\\x9B2J\xc2\xa0nbsp"},
        {"back\\slash", "back\\slash"},
    };
    for (const auto& [path, shown] : cases)
        EXPECT_EQ(ShownPath(path), shown) << path;
    EXPECT_EQ(ShownName("a/./b\xe9"), "a/./b\\xE9");
}

static u32 Dos(int year, int month, int day, int hour, int minute, int second)
{
    return static_cast<u32>((year - 1980) << 25 | month << 21 | day << 16 | hour << 11 |
                            minute << 5 | second / 2);
}

TEST(MksfxTimes, DosTimeIsLocalRoundedDownAndClamped)
{
    struct Case
    {
        const char* Zone;
        i64 Unix;
        u32 Dos;
    };

    const Case cases[] = {
        {"UTC0", 1700000000, Dos(2023, 11, 14, 22, 13, 20)},
        {"UTC0", 1700000001, Dos(2023, 11, 14, 22, 13, 20)},  // odd second: down
        {"UTC0", 1700000039, Dos(2023, 11, 14, 22, 13, 58)},
        {"UTC0", 315532800, Dos(1980, 1, 1, 0, 0, 0)},  // the first DOS second
        {"UTC0", 315532799, DosEarliest},               // before it
        {"UTC0", -86400, DosEarliest},
        {"UTC0", 0, DosEarliest},
        {"UTC0", 4354819199, Dos(2107, 12, 31, 23, 59, 58)},  // the last DOS second
        {"UTC0", 4354819200, Dos(2107, 12, 31, 23, 59, 58)},  // after it
        {"UTC0", 951782400, Dos(2000, 2, 29, 0, 0, 0)},
        // Central Europe: one hour ahead in winter, two in summer.
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1700000000, Dos(2023, 11, 14, 23, 13, 20)},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1690000001, Dos(2023, 7, 22, 6, 26, 40)},
        // A zone west of UTC moves the date back.
        {"EST5", 1700000000, Dos(2023, 11, 14, 17, 13, 20)},
        {"EST5", 1704085200 - 1, Dos(2023, 12, 31, 23, 59, 58)},
    };
    for (const Case& c : cases) {
#if defined(_WIN32)
        // Windows' C runtime takes only the offset from TZ; daylight saving is the system's.
        if (c.Unix == 1690000001)
            continue;
#endif
        LocalZone zone(c.Zone);
        EXPECT_EQ(DosDateTimeOf(c.Unix), c.Dos)
            << c.Zone << " " << c.Unix << " gave " << std::hex << DosDateTimeOf(c.Unix);
    }
    LocalZone zone(CentralEuropeanZone);
    for (i64 t = 1600000000; t < 1700000000; t += 9876543) {
        i64 back = UnixTimeOfDos(DosDateTimeOf(t));
        EXPECT_TRUE(back == t || back == t - 1) << t << " came back as " << back;
    }
}

TEST(MksfxTimes, ExtendedTimeAndEpoch)
{
    EXPECT_EQ(ExtendedTimeOf(1700000001), 1700000001u);
    EXPECT_EQ(ExtendedTimeOf(-5), 0u);
    EXPECT_EQ(ExtendedTimeOf(i64{1} << 33), 0x7FFFFFFFu);
    i64 epoch = 0;
    EXPECT_TRUE(ParseEpoch("1700000000", epoch));
    EXPECT_EQ(epoch, 1700000000);
    for (const char* bad : {"", "-1", "12x", " 5", "1e9", "99999999999999999999999"})
        EXPECT_FALSE(ParseEpoch(bad, epoch)) << bad;
}

TEST(MksfxLimits, RefusesWhatWindowsCannotStart)
{
    constexpr u64 G4 = u64{1} << 32;
    const std::tuple<u64, u64, bool, const char*> cases[] = {
        {70000, G4 - 1, false, ""},
        {2, G4, false, "would reach 4 GiB; Windows does not start a program of that size"},
        {3, 100, true, "extract nothing"},
        {0, 22, true, "nothing to pack"},
    };
    for (const auto& [entries, output, allEmpty, expected] : cases) {
        std::string problem = LimitProblem({entries, output, allEmpty});
        EXPECT_EQ(problem.empty(), *expected == '\0') << problem;
        EXPECT_NE(problem.find(expected), std::string::npos) << problem;
    }
    // 5 GiB stored cannot go in; deflated it may, as zeros do.
    ZipRecord big;
    big.UncompressedSize = 5 * G4 / 4;
    for (u64 compressed : {big.UncompressedSize, DeflatedFloor(big.UncompressedSize)}) {
        PackTotals totals;
        big.CompressedSize = compressed;
        CountEntry(totals, big);
        EXPECT_EQ(totals.OutputBound >= G4, compressed >= G4) << compressed;
    }
}

TEST(MksfxInputs, FolderGoesInUnderItsLastNameAndDotMeansContents)
{
    const std::pair<const char*, const char*> cases[] = {
        {"some/dir", "dir"},
        {"some/dir/", "dir"},
        {"dir", "dir"},
        {"./dir", "dir"},
        {"../x/file.txt", "file.txt"},
        {"some/dir/.", ""},
        {"some/dir/./", ""},
        {".", ""},
        {"..", ""},
        {"/", ""},
        {"/abs/name", "name"},
#if defined(_WIN32)
        {"some\\dir\\", "dir"},
        {"dir\\.", ""},
        {"C:\\", ""},
        {"C:name", "name"},
        {"\\\\server\\share\\dir", "dir"},
#endif
    };
    for (const auto& [argument, name] : cases)
        EXPECT_EQ(InputArchiveName(argument), name) << argument;
}

TEST(MksfxRecords, ExtraFieldsAndHeaders)
{
    std::string time = ExtendedTimeField(0x01020304);
    EXPECT_EQ(time, std::string("UT\x05\x00\x01\x04\x03\x02\x01", 9));
    std::string zip64("\x01\x00\x04\x00"
                      "abcd",
                      8);
    EXPECT_EQ(ExtraWithout(zip64 + time, ExtraZip64), time);
    EXPECT_EQ(ExtraWithout(time + zip64 + time, ExtraZip64), time + time);
    EXPECT_EQ(ExtraWithout(time + "\x01", ExtraZip64), "");  // a damaged field goes whole
    EXPECT_EQ(ExtraWithout("", ExtraZip64), "");

    InputEntry file;
    file.Name = "ä.txt";
    file.ModifiedTime = 1700000000;
    file.ReadOnly = true;
    ZipRecord record = RecordOf(file);
    EXPECT_EQ(record.Flags, ZipFlagUtf8);
    EXPECT_EQ(record.ExternalAttributes, 0x21u);
    EXPECT_EQ(record.VersionMadeBy >> 8, ZipHostDos);
    InputEntry folder;
    folder.Name = "dir/";
    folder.Folder = true;
    folder.ReadOnly = true;
    EXPECT_EQ(RecordOf(folder).ExternalAttributes, 0x10u);
    EXPECT_EQ(RecordOf(folder).Flags, 0);

    ByteBuffer bytes;
    AppendLocalHeader(bytes, record);
    EXPECT_EQ(bytes.size(), LocalHeaderLength(record));
    bytes.clear();
    record.Comment = "note";
    AppendCentralHeader(bytes, record);
    EXPECT_EQ(bytes.size(), CentralHeaderLength(record));
    EXPECT_EQ(ZipRead32(bytes.data() + CentralExternalAttributes), 0x21u);

    // ZIP64 from 0xFFFFFFFF on: both sizes saturated, the field first with both, version 45.
    for (u64 size : {u64{0xFFFFFFFE}, u64{0xFFFFFFFF}}) {
        record.UncompressedSize = size;
        record.CompressedSize = 7;
        bool wide = size >= 0xFFFFFFFF;
        for (bool central : {false, true}) {
            bytes.clear();
            (central ? AppendCentralHeader : AppendLocalHeader)(bytes, record);
            const u8* h = bytes.data() + (central ? 2 : 0);
            const u8* f = h + (central ? CentralHeaderSize - 2 : LocalHeaderSize) + 6;
            EXPECT_EQ(bytes.size(), (central ? CentralHeaderLength : LocalHeaderLength)(record));
            EXPECT_EQ(ZipRead16(h + 4), wide ? 45 : ZipVersionStored);
            EXPECT_EQ(ZipRead32(h + 18), wide ? 0xFFFFFFFF : 7);
            EXPECT_EQ(ZipRead32(h + 22), wide ? 0xFFFFFFFF : size);
            EXPECT_EQ(ByteBuffer(f, f + (wide ? 20 : 2)),
                      (wide ? ByteBuffer{1, 0, 16, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0,
                                         0, 0, 7,  0, 0,    0,    0,    0,    0, 0}
                            : ByteBuffer{'U', 'T'}));
        }
    }
    // The ZIP64 end record and locator past 65535 entries only.
    for (u64 entries : {65535, 65536}) {
        bytes.clear();
        AppendDirectoryEnd(bytes, entries, 1000, 2000, "c");
        EXPECT_EQ(bytes.size(), entries > 65535 ? 99u : 23u);
        EXPECT_EQ(DirectoryEndLength(entries, "c"), bytes.size());
        EXPECT_EQ(ZipRead32(bytes.data() + bytes.size() - 23 + EndDiskEntries), 0xFFFFFFFF);
        EXPECT_EQ(ZipRead32(bytes.data()), entries > 65535 ? Zip64EndSignature : ZipEndSignature);
    }
}

TEST(MksfxCompression, StoresWhatDeflateDoesNotShrink)
{
    ByteBuffer text;
    for (int i = 0; i < 5000; ++i)
        text.push_back(static_cast<u8>("the quick brown fox "[i % 20]));
    ByteBuffer noise(5000);
    u32 state = 12345;
    for (u8& b : noise) {
        state = state * 1103515245 + 12345;
        b = static_cast<u8>(state >> 24);
    }
    ByteBuffer out;
    for (int level : {1, 6, 9, 12}) {
        PackOptions options;
        options.Level = level;
        EXPECT_TRUE(DeflateSmaller(options, text.data(), text.size(), out)) << level;
        EXPECT_LT(out.size(), 200u) << level;
        EXPECT_FALSE(DeflateSmaller(options, noise.data(), noise.size(), out)) << level;
        EXPECT_FALSE(DeflateSmaller(options, text.data(), 1, out)) << level;
    }
    PackOptions store;
    store.Level = 0;
    EXPECT_FALSE(DeflateSmaller(store, text.data(), text.size(), out));
    PackOptions zopfli;
    zopfli.Zopfli = true;
    ByteBuffer best;
    EXPECT_TRUE(DeflateSmaller(zopfli, text.data(), text.size(), best));
    EXPECT_FALSE(DeflateSmaller(zopfli, noise.data(), noise.size(), out));
}

// A second, independent reading of a branded program: the headers, and the first data of a
// resource by type and id.
// It drives the built tool through a POSIX shell; on Windows the peers' script packs with
// branding and compares the bytes with the Linux packer's.
#if !defined(_WIN32)
static u32 Le(const ByteBuffer& b, std::size_t at, int bytes = 4)
{
    u32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | b.at(at + static_cast<std::size_t>(i));
    return value;
}

static ByteBuffer Resource(const ByteBuffer& image, u32 rsrcPointer, u32 rsrcAddress, u32 type,
                           u32 id)
{
    u32 at = 0;
    for (u32 key : {type, id, 0u}) {
        u32 dir = rsrcPointer + at;
        u32 count = Le(image, dir + 12, 2) + Le(image, dir + 14, 2);
        at = ~0u;
        for (u32 i = 0; i < count; ++i)
            if (key == 0 || Le(image, dir + 16 + 8 * i) == key)
                at = Le(image, dir + 20 + 8 * i) & 0x7FFFFFFF;
        if (at == ~0u)
            return {};
    }
    u32 data = Le(image, rsrcPointer + at) - rsrcAddress + rsrcPointer;
    return ByteBuffer(image.begin() + data, image.begin() + data + Le(image, rsrcPointer + at + 4));
}

// A version text: the value after its UTF-16 key, past the key's padding.
static std::string VersionText(const ByteBuffer& version, const std::string& key)
{
    ByteBuffer wanted;
    for (char c : key + '\0')
        wanted.insert(wanted.end(), {static_cast<u8>(c), 0});
    auto found = std::search(version.begin(), version.end(), wanted.begin(), wanted.end());
    if (found == version.end())
        return "(none)";
    std::size_t at = (static_cast<std::size_t>(found - version.begin()) + wanted.size() + 3) & ~3u;
    std::u16string text;
    for (; Le(version, at, 2) != 0; at += 2)
        text.push_back(static_cast<char16_t>(Le(version, at, 2)));
    return std::string(text.begin(), text.end());  // ASCII texts only here
}

static ByteBuffer FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return ByteBuffer(std::istreambuf_iterator<char>(in), {});
}

// Packs with the built tool and reads back what it wrote; each damaged or oversized icon is
// refused as input, with nothing left behind.
TEST(MksfxBranding, IconAndVersionReadBackAndBadIconsAreRefused)
{
    auto png = [](u32 side) {
        ByteBuffer b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        b.resize(8 + side * 4, static_cast<u8>(side));
        return b;
    };
    auto dib = [](u32 side) {
        ByteBuffer b(40 + side * side * 4, static_cast<u8>(side));
        b[0] = 40, b[1] = b[2] = b[3] = 0;
        return b;
    };
    // An .ico of the images; lie moves the first image's offset by that much.
    auto ico = [](const std::vector<ByteBuffer>& images, u32 lie = 0, u32 type = 1) {
        ByteBuffer b = {0,
                        0,
                        static_cast<u8>(type),
                        0,
                        static_cast<u8>(images.size()),
                        static_cast<u8>(images.size() >> 8)};
        u32 at = 6 + 16 * static_cast<u32>(images.size()) + lie;
        for (const ByteBuffer& image : images) {
            auto side = static_cast<u8>(16 << (&image - images.data()) % 2);
            auto size = static_cast<u32>(image.size());
            b.insert(b.end(), {side, side, 0, 0, 1, 0, 32, 0});
            for (u32 field : {size, at})
                for (int i = 0; i < 4; ++i)
                    b.push_back(static_cast<u8>(field >> (8 * i)));
            at += size - lie;
            lie = 0;
        }
        for (const ByteBuffer& image : images)
            b.insert(b.end(), image.begin(), image.end());
        return b;
    };
    const std::vector<ByteBuffer> good = {png(16), dib(32)};

    struct Case
    {
        const char* What;
        ByteBuffer Icon;  // empty: no --icon
        std::string Texts;
        int Exit;
    };

    const Case cases[] = {
        {"png and bitmap, all texts", ico(good),
         "--product=Tool --product-version=1.2.3 --company=ACME --description=Setup "
         "--copyright=Me",
         0},
        {"icon alone", ico(good), "", 0},
        {"version alone", {}, "--product-version=9.8.7.6 --product=Solo", 0},
        {"no branding", {}, "", 0},
        {"type 2", ico(good, 0, 2), "", 3},
        {"no images", ico({}), "", 3},
        {"an image outside", ico(good, 100000), "", 3},
        {"neither PNG nor DIB", ico({ByteBuffer(64, 'x')}), "", 3},
        {"65 images", ico(std::vector<ByteBuffer>(65, png(16))), "", 3},
        {"over 1 MiB", ico({dib(520)}), "", 3},
    };
    const ByteBuffer plain = FileBytes(SFX_STUB_FILE);
    std::string dir = testing::TempDir() + "mksfx-brand";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/in");
    std::ofstream(dir + "/in/a.txt") << "hello";
    for (const Case& c : cases) {
        std::filesystem::remove(dir + "/out.exe");
        std::ofstream(dir + "/t.ico", std::ios::binary)
            .write(reinterpret_cast<const char*>(c.Icon.data()), static_cast<long>(c.Icon.size()));
        std::string command = std::string(MKSFX_PATH) + " -q -o " + dir + "/out.exe " +
                              (c.Icon.empty() ? "" : "--icon " + dir + "/t.ico ") + c.Texts + " " +
                              dir + "/in/. 2>/dev/null";
        int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << c.What;
        EXPECT_EQ(WEXITSTATUS(status), c.Exit) << c.What;
        if (c.Exit != 0) {
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << c.What;
            continue;
        }
        ByteBuffer out = FileBytes(dir + "/out.exe");
        // Headers: sections end to end in the file, .rsrc and .reloc as the directories say.
        u32 pe = Le(out, 0x3C), optional = pe + 24, sections = Le(out, pe + 6, 2);
        u32 table = optional + Le(out, pe + 20, 2), alignment = Le(out, optional + 32);
        u32 rsrc = table + 40 * (sections - 2), reloc = rsrc + 40;
        u32 stubEnd = Le(out, reloc + 20) + Le(out, reloc + 16);
        EXPECT_EQ(Le(out, optional + 96 + 16), Le(out, rsrc + 12)) << c.What;
        EXPECT_EQ(Le(out, optional + 96 + 20), Le(out, rsrc + 8)) << c.What;
        EXPECT_EQ(Le(out, rsrc + 20) + Le(out, rsrc + 16), Le(out, reloc + 20)) << c.What;
        EXPECT_GE(Le(out, reloc + 12), Le(out, rsrc + 12) + Le(out, rsrc + 8)) << c.What;
        EXPECT_EQ(Le(out, optional + 96 + 40), Le(out, reloc + 12)) << c.What;
        EXPECT_EQ(Le(out, optional + 56),
                  (Le(out, reloc + 12) + Le(out, reloc + 8) + alignment - 1) / alignment *
                      alignment);
        ByteBuffer stub(out.begin(), out.begin() + stubEnd);
        u32 sum = 0;
        for (u32 i = 0; i < stub.size(); i += 2) {
            sum += i == optional + 64 || i == optional + 66 ? 0 : Le(stub, i, 2);
            sum = (sum & 0xFFFF) + (sum >> 16);
        }
        EXPECT_EQ(Le(out, optional + 64), sum + stubEnd) << c.What;
        EXPECT_TRUE(std::equal(stub.end() - Le(out, reloc + 16), stub.end(),
                               plain.end() - Le(plain, reloc + 16)))
            << c.What;
        if (c.Icon.empty() && c.Texts.empty()) {
            EXPECT_EQ(stub, plain);
        }
        auto resource = [&](u32 type, u32 id) {
            return Resource(stub, Le(stub, rsrc + 20), Le(stub, rsrc + 12), type, id);
        };
        ByteBuffer group = resource(14, 1);
        ASSERT_GE(group.size(), 6u) << c.What;
        for (u32 i = 0; !c.Icon.empty() && i < good.size(); ++i) {
            EXPECT_EQ(Le(group, 6 + 14 * i), Le(c.Icon, 6 + 16 * i)) << c.What;  // sizes
            EXPECT_EQ(resource(3, Le(group, 6 + 14 * i + 12, 2)), good[i]) << c.What;
        }
        ByteBuffer version = resource(16, 1);
        for (const char* key : {"ProductName", "ProductVersion", "CompanyName"}) {
            std::size_t at =
                c.Texts.find(key == std::string("CompanyName")   ? "--company="
                             : key == std::string("ProductName") ? "--product="
                                                                 : "--product-version=");
            std::string given =
                at == std::string::npos
                    ? "(none)"
                    : c.Texts.substr(c.Texts.find('=', at) + 1,
                                     c.Texts.find(' ', at) - c.Texts.find('=', at) - 1);
            EXPECT_EQ(VersionText(version, key), given) << c.What << " " << key;
        }
        command =
            std::string(MKSFX_PATH) + " --test " + dir + "/out.exe | grep -q '" +
            (c.Icon.empty() ? "icon: 2 images, 32x32, 16x16" : "icon: 2 images, 16x16, 32x32") +
            "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << c.What;
    }
}
#endif
