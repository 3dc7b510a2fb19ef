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

// Reads one argument from p: its length, its first bytes into out (as many as it holds), and
// where the text goes on after it.
static const char* ReadArgument(const char* p, u32& length, String* out)
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
        if (out != nullptr && length < sizeof out->Chars)
            out->Chars[length] = *p;
        ++length;
    }
    if (out != nullptr)
        out->Length = length < sizeof out->Chars ? length : sizeof out->Chars;
    return p;
}

CommandArguments SplitCommandLine(const char* text)
{
    CommandArguments arguments{};
    u32 length = 0;
    const char* p = ReadArgument(SkipToArgument(text), length, nullptr);
    for (;;) {
        p = SkipToArgument(p);
        String* out = arguments.Count == 0 ? &arguments.First : nullptr;
        p = ReadArgument(p, length, out);
        if (length == 0)
            break;
        if (arguments.Count == 0)
            arguments.FirstLength = length;
        ++arguments.Count;
    }
    if (arguments.Count == 0)
        arguments.First.Length = 0;
    return arguments;
}

static char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

i32 CommandForm(const CommandArguments& arguments)
{
    if (arguments.Count != 1)
        return FormDialog;
    const char* first = arguments.First.Chars;
    if (arguments.FirstLength == 2 && (first[0] == '/' || first[0] == '-')) {
        if (UpperAscii(first[1]) == 'S')
            return FormSwitchConfirm;
        if (UpperAscii(first[1]) == 'O')
            return FormSwitchOverwrite;
    }
    if (arguments.FirstLength >= 3 && arguments.FirstLength <= CommandPathLimit && first[1] == ':')
        return FormPath;
    return FormDialog;
}
