// Command-line splitting and forms.
#include "app/CommandLine.h"

static bool IsSeparator(char c)
{
    auto code = static_cast<u8>(c);
    return code >= 1 && code <= 32;
}

// Skips separators and empty quote pairs; returns the start of the next argument.
static const char* SkipToArgument(const char* p)
{
    for (;;) {
        if (IsSeparator(*p))
            ++p;
        else if (p[0] == '"' && p[1] == '"')
            p += 2;
        else
            return p;
    }
}

static char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// "/X" or "-X", either case, and nothing more.
static bool IsSwitch(const char* argument, u32 length, char letter)
{
    return length == 2 && (argument[0] == '/' || argument[0] == '-') &&
           UpperAscii(argument[1]) == letter;
}

// Reads one argument from p: its length, its first bytes into out (as many as capacity), and
// where the text goes on after it.
static const char* ReadArgument(const char* p, u32& length, char* out, u32 capacity)
{
    length = 0;
    bool quoted = false;
    for (; *p != 0; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && static_cast<u8>(*p) <= 32)
            break;
        if (length < capacity)
            out[length] = *p;
        ++length;
    }
    return p;
}

CommandArguments SplitCommandLine(const char* text)
{
    CommandArguments arguments{};
    u32 length = 0;
    char head[2];
    const char* p = ReadArgument(SkipToArgument(text), length, head, 0);
    for (;;) {
        const char* start = SkipToArgument(p);
        p = ReadArgument(start, length, head, sizeof head);
        if (length == 0)
            break;
        ++arguments.Count;
        // The first quiet switch stands aside, so that the argument beside it comes first.
        if (!arguments.Quiet && IsSwitch(head, length, 'Q')) {
            arguments.Quiet = true;
        } else if (arguments.FirstLength == 0) {
            ReadArgument(start, arguments.FirstLength, arguments.First.Chars, PathLimit);
            arguments.First.Length = length < PathLimit ? length : PathLimit;
        }
    }
    return arguments;
}

i32 CommandForm(const CommandArguments& arguments)
{
    if (arguments.Quiet && arguments.Count == 1)
        return FormQuiet;
    if (arguments.Count != (arguments.Quiet ? 2 : 1))
        return FormDialog;
    const char* first = arguments.First.Chars;
    u32 length = arguments.FirstLength;
    if (length >= 3 && length <= CommandPathLimit && first[1] == ':')
        return arguments.Quiet ? FormQuietPath : FormPath;
    if (arguments.Quiet)
        return FormDialog;
    if (IsSwitch(first, length, 'S'))
        return FormSwitchConfirm;
    return IsSwitch(first, length, 'O') ? FormSwitchOverwrite : FormDialog;
}
