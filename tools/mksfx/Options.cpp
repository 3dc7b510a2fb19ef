// The options, checked one by one in order: the first help, version or error ends the parse.
#include "Options.h"

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <utility>

#include "Names.h"

namespace {

constexpr const char* Version = "mksfx 1.0";
constexpr int DefaultLevel = 9;
constexpr int LevelLimit = 12;

const char* const UsageLines = R"(Usage:
  mksfx [options] -o OUT.exe INPUT...      pack folders and files into a self-extractor
  mksfx [options] -o OUT.exe --zip IN.zip  wrap an existing ZIP archive
  mksfx --test FILE.exe                    check an existing self-extractor
)";

const char* const HelpRest = R"(
Where inputs land: a folder goes in under its own last name (mksfx -o x.exe some/dir packs
dir/...); end it in /. to put its contents at the archive's root (some/dir/.), which is
what a self-extractor usually wants. A file goes in under its last name. Folders are packed
with everything in them, empty folders included; the output file itself is never packed.
Symbolic links are followed; a link to a folder that contains it is refused.

Options:
  -o, --output OUT.exe  the self-extractor to write; written beside as a temporary file
                        and renamed at the end, so an error leaves an existing OUT.exe as
                        it was
  -0 ... -12            compression level: 0 stores, 12 is smallest (default -9); an entry
                        is stored when deflating would not make it smaller
      --zopfli          zopfli's deflate: smallest output, many times slower
  -j, --jobs N          files compressed at once (default: the number of cores); the
                        output does not depend on it
      --zip IN.zip      copy the entries of IN.zip unchanged, with fresh offsets
      --stub PATH       put this stub in front instead of the built-in one
      --test FILE.exe   decode every entry of FILE.exe with the stub's reader and
                        decoder and check CRC-32 and sizes
      --no-test         skip that check of the new self-extractor before it is renamed
  -q                    print errors only (mksfx itself; --quiet is the self-extractor's)
  -v, --verbose         one line per entry: name, size, stored or deflated, ratio
  -h, --help            this text
  -V, --version         the version

The program's icon and version information, as Windows shows them for the file (without
any of them, the stub's bytes are as they always were):
      --icon FILE.ico   its icon: every image of FILE.ico, PNG or bitmap; at most 1 MiB
                        and 64 images
      --product TEXT    the product's name
      --product-version N[.N[.N[.N]]]  up to four numbers of 0 to 65535, for the
                        product and the file
      --company TEXT, --description TEXT, --copyright TEXT  the company's name, the
                        file's description, the copyright line; each text UTF-8, at
                        most 1024 bytes

Self-extractor options, carried inside it for every run (without any of them, it holds
no settings and its bytes are as they always were):
      --title TEXT      the caption of its windows
      --destination PATH  the default destination; %NAME% is an environment
                        variable, %% a percent sign; relative to the program's folder
                        unless absolute
      --overwrite ask|always|never  existing files: ask (default), replace, keep
      --quiet           every run as with /Q: no window at all
      --run "PROGRAM ARGUMENTS"  start PROGRAM, a file of the archive, after extracting;
                        quote a PROGRAM that holds blanks
      --temp            extract to a new temporary folder for --run, removed after it;
                        not with --destination
      --admin           ask for administrator rights at start (the second built-in stub);
                        not with --stub

Archive entries: names with '/' separators, UTF-8 (flagged) where not ASCII; refused are
names Windows cannot hold or would change (':', '\', < > " | ? *, control characters,
device names such as CON or LPT1, a part ending in a dot or a blank, a part over 255
characters), names over 32,000 characters, and two names that differ only in ASCII case. Times are the local time (as TZ
says) in 2-second steps, odd seconds rounded down, plus the exact UTC time for other
unzippers; SOURCE_DATE_EPOCH caps every time. Attributes: folder, archive, and read-only
for files without the owner's write permission. Identical input gives identical bytes.

Limits: a self-extractor under 4 GiB, as Windows starts no larger program, and at least
one entry that is not empty. Entries of any size and number go in: ZIP64 records hold what
the plain ones cannot (an entry of 4 GiB or more, over 65535 entries), and only those. A
stored self-extractor that would pass 4 GiB is refused before anything is written; a
compressed one once its size is known. Each file is held in memory whole while packed.

Exit codes:
  0  success
  1  the check of the self-extractor failed (--test, or the check after packing)
  2  usage: unknown option, missing argument
  3  input: a file unreadable or with no archive, a name or entry that cannot be packed
  4  limit: a self-extractor of 4 GiB or more, or nothing to extract
  5  output: the self-extractor cannot be written
)";

}  // namespace

static Options Done(Options options, Action action, int exit, const std::string& message)
{
    options.Do = action;
    options.Exit = exit;
    options.Message = message;
    return options;
}

static Options Usage(Options options, const std::string& message)
{
    return Done(std::move(options), Action::Usage, ExitUsage,
                "mksfx: " + message + " (mksfx --help lists the options)\n");
}

// A level is "-" and digits; true with a level for one, and out of range past -12.
static bool IsLevel(const std::string& arg, int& level, bool& inRange)
{
    if (arg.size() < 2 || arg[0] != '-' ||
        !std::all_of(arg.begin() + 1, arg.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    inRange = arg.size() <= 3 && std::atoi(arg.c_str() + 1) <= LevelLimit;
    if (inRange)
        level = std::atoi(arg.c_str() + 1);
    return true;
}

// An option's value: the rest of this argument (-j4, --jobs=4, and --jobs= is empty) or the
// next one.
static bool TakeValue(const std::vector<std::string>& args, std::size_t& i, std::size_t inlineAt,
                      std::string& value)
{
    const std::string& arg = args[i];
    if (inlineAt <= arg.size()) {
        value = arg.substr(inlineAt);
        return true;
    }
    if (i + 1 >= args.size())
        return false;
    value = args[++i];
    return true;
}

static bool ParseJobs(const std::string& value, unsigned& jobs)
{
    char* end = nullptr;
    long parsed = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || parsed < 1 || parsed > 256)
        return false;
    jobs = static_cast<unsigned>(parsed);
    return true;
}

// Why a text cannot go into the block, or empty: the stub takes UTF-8 within a limit, and a
// control character would garble a caption or a command line.
static std::string TextProblem(const std::string& text, std::size_t limit)
{
    if (text.empty())
        return "is empty";
    if (text.size() > limit)
        return "is over " + std::to_string(limit) + " bytes";
    if (!NameIsUtf8(text))
        return "is not valid UTF-8";
    if (ShownName(text) != text)
        return "holds a control character";
    return "";
}

static std::string Backslashed(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

static std::string DestinationProblem(const std::string& path)
{
    for (std::size_t at = path.find('%'); at != std::string::npos; at = path.find('%', at + 1)) {
        at = path.find('%', at + 1);
        if (at == std::string::npos)
            return "has a '%' without its pair (%NAME%, or %% for a percent sign)";
    }
    return TextProblem(path, SettingTextLimit);
}

// The program runs to the closing quote or to the first blank; the arguments follow the blanks.
static std::string SplitRun(const std::string& command, SfxOptions& sfx)
{
    if (command.empty())
        return "is empty";
    std::size_t quoted = command[0] == '"' ? 1 : 0;
    std::size_t end = quoted ? command.find('"', 1) : command.find_first_of(" \t");
    if (quoted && end == std::string::npos)
        return "has no closing '\"'";
    end = std::min(end, command.size());
    std::size_t rest = end + quoted;
    if (rest < command.size() && command[rest] != ' ' && command[rest] != '\t')
        return "has no blank after the closing '\"'";
    std::string program = command.substr(quoted, end - quoted);
    std::size_t arguments = std::min(command.find_first_not_of(" \t", rest), command.size());
    sfx.RunProgram = Backslashed(program);
    sfx.RunArguments = command.substr(arguments);
    std::string problem = TextProblem(program, SettingTextLimit);
    if (!problem.empty())
        return "has a program name that " + problem;
    if (!sfx.RunArguments.empty() &&
        !(problem = TextProblem(sfx.RunArguments, SettingTextLimit)).empty())
        return "has an argument text that " + problem;
    // The stub's own rule, so that nothing packed is refused when it runs.
    return StaysUnderDestination(sfx.RunProgram.c_str())
               ? ""
               : "names no file under the destination (no drive, no leading '\\', "
                 "no empty part, none of dots only)";
}

// The value of an option for the self-extractor into its field: empty, or why it cannot go.
static std::string TakeSfxValue(SfxOptions& sfx, const std::string& name, const std::string& value)
{
    std::string problem;
    if (name == "--title") {
        sfx.Title = value;
        problem = TextProblem(value, SettingTitleLimit);
    } else if (name == "--destination") {
        sfx.Destination = Backslashed(value);
        problem = DestinationProblem(value);
    } else if (name == "--overwrite") {
        sfx.Overwrite = value == "always"  ? OverwriteAlways
                        : value == "never" ? OverwriteNever
                                           : OverwriteAsk;
        if (value != "ask" && sfx.Overwrite == OverwriteAsk)
            return "--overwrite takes ask, always or never, not '" + ShownName(value) + "'";
    } else {
        problem = SplitRun(value, sfx);
    }
    return problem.empty() ? "" : "the " + name + " value " + problem;
}

// An option that brands the program, with its value checked; false for none.
static bool RecogniseBrand(Branding& brand, const std::vector<std::string>& args, std::size_t& i,
                           std::size_t inlineAt, const std::string& name, std::string& problem)
{
    const std::pair<const char*, std::string*> texts[] = {{"--product", &brand.Product},
                                                          {"--company", &brand.Company},
                                                          {"--description", &brand.Description},
                                                          {"--copyright", &brand.Copyright}};
    const std::string arg = args[i];
    std::string* target = name == "--icon"              ? &brand.IconPath
                          : name == "--product-version" ? &brand.ProductVersion
                                                        : nullptr;
    for (const auto& [option, field] : texts)
        if (name == option)
            target = field;
    if (target == nullptr)
        return false;
    if (!TakeValue(args, i, inlineAt, *target) || target->empty())
        problem = "'" + ShownName(arg) + "' needs a value";
    else if (target == &brand.ProductVersion && !ParseProductVersion(*target, brand.Version))
        problem = "the --product-version value '" + ShownName(*target) +
                  "' is not one to four numbers of 0 to 65535 with dots between";
    else if (target != &brand.IconPath && target != &brand.ProductVersion &&
             !(problem = TextProblem(*target, BrandTextLimit)).empty())
        problem = "the " + name + " value " + problem;
    return true;
}

// An option for the self-extractor, with its value checked; false for none.
static bool RecogniseSfx(SfxOptions& sfx, const std::vector<std::string>& args, std::size_t& i,
                         std::size_t inlineAt, const std::string& name, std::string& problem)
{
    const std::string& arg = args[i];
    bool valued =
        name == "--title" || name == "--destination" || name == "--overwrite" || name == "--run";
    if (arg == "--quiet")
        sfx.Quiet = true;
    else if (arg == "--temp")
        sfx.Temp = true;
    else if (arg == "--admin")
        sfx.Admin = true;
    else if (!valued)
        return false;
    sfx.Given = true;
    std::string value;
    if (valued && !TakeValue(args, i, inlineAt, value))
        problem = "'" + ShownName(arg) + "' needs a value";
    else if (valued)
        problem = TakeSfxValue(sfx, name, value);
    return true;
}

// The option's switch, or the field its value goes to; false for an unknown option.
static bool Recognise(Options& options, const std::string& arg, const std::string& name,
                      std::string*& target)
{
    target = nullptr;
    if (arg == "--zopfli")
        options.Pack.Zopfli = true;
    else if (arg == "--no-test")
        options.SelfTest = false;
    else if (arg == "-q")
        options.Quiet = true;
    else if (arg == "-v" || arg == "--verbose")
        options.Verbose = true;
    else if (arg.compare(0, 2, "-o") == 0 || name == "--output")
        target = &options.Output;
    else if (name == "--zip")
        target = &options.Zip;
    else if (name == "--test")
        target = &options.Test;
    else if (name == "--stub")
        target = &options.Stub;
    else
        return false;
    return true;
}

// What the parsed options ask for, or the usage error of a combination that makes no sense.
static Options Decide(Options options)
{
    if (!options.Test.empty()) {
        if (!options.Output.empty() || !options.Zip.empty() || !options.Inputs.empty() ||
            options.Sfx.Given || BrandGiven(options.Brand))
            return Usage(std::move(options), "--test takes one file and nothing to pack");
        options.Do = Action::Test;
        return options;
    }
    if (options.Output.empty())
        return Usage(std::move(options), "no output named (-o OUT.exe)");
    if (!options.Zip.empty() && !options.Inputs.empty())
        return Usage(std::move(options), "--zip takes the archive alone, no other inputs");
    if (options.Zip.empty() && options.Inputs.empty())
        return Usage(std::move(options), "nothing to pack: name folders or files, or --zip IN.zip");
    const SfxOptions& sfx = options.Sfx;
    if (sfx.Temp && sfx.RunProgram.empty())
        return Usage(std::move(options), "--temp needs --run: the temporary folder is for it");
    if (sfx.Temp && !sfx.Destination.empty())
        return Usage(std::move(options),
                     "--temp takes no --destination: the temporary folder is the destination");
    if (sfx.Admin && !options.Stub.empty())
        return Usage(std::move(options), "--admin picks the built-in stub, so it takes no --stub");
    options.Do = options.Zip.empty() ? Action::Pack : Action::Wrap;
    return options;
}

Options ParseOptions(const std::vector<std::string>& args)
{
    Options options;
    options.Pack.Level = DefaultLevel;
    unsigned cores = std::thread::hardware_concurrency();
    options.Pack.Jobs = cores == 0 ? 1 : cores;
    if (args.empty())
        return Done(std::move(options), Action::Usage, ExitUsage,
                    std::string(UsageLines) + "mksfx --help lists the options\n");
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            options.Inputs.push_back(arg);
            continue;
        }
        std::string name = arg.substr(0, arg.find('='));
        bool isLong = arg.compare(0, 2, "--") == 0;
        std::size_t inlineAt = isLong ? name.size() + 1 : arg.size() > 2 ? 2 : std::string::npos;
        bool inRange = false;
        std::string* target = nullptr;
        if (arg == "--") {
            optionsDone = true;
        } else if (IsLevel(arg, options.Pack.Level, inRange)) {
            if (!inRange)
                return Usage(std::move(options),
                             "compression level '" + arg + "' is out of range: -0 to -12");
        } else if (arg == "-h" || arg == "--help") {
            return Done(std::move(options), Action::Help, ExitOk,
                        std::string(UsageLines) + HelpRest);
        } else if (arg == "-V" || arg == "--version") {
            return Done(std::move(options), Action::Version, ExitOk, std::string(Version) + "\n");
        } else if (arg.compare(0, 2, "-j") == 0 || name == "--jobs") {
            std::string value;
            if (!TakeValue(args, i, inlineAt, value))
                return Usage(std::move(options), "'" + ShownName(arg) + "' needs a number");
            if (!ParseJobs(value, options.Pack.Jobs))
                return Usage(std::move(options),
                             "'" + ShownName(value) + "' is not a number of jobs from 1 to 256");
        } else if (std::string problem;
                   RecogniseSfx(options.Sfx, args, i, inlineAt, name, problem)) {
            if (!problem.empty())
                return Usage(std::move(options), problem);
        } else if (std::string brandProblem;
                   RecogniseBrand(options.Brand, args, i, inlineAt, name, brandProblem)) {
            if (!brandProblem.empty())
                return Usage(std::move(options), brandProblem);
        } else if (!Recognise(options, arg, name, target)) {
            return Usage(std::move(options), "unknown option '" + ShownName(arg) + "'");
        }
        if (target != nullptr && (!TakeValue(args, i, inlineAt, *target) || target->empty()))
            return Usage(std::move(options), "'" + ShownName(arg) + "' needs a file name");
    }
    return Decide(std::move(options));
}
