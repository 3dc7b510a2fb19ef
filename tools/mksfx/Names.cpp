// Name checks. Windows refuses some names outright and silently changes others (trailing dots
// and blanks vanish, device names open the device), so all of those are refused here.
#include "Names.h"

#include <algorithm>
#include <cstring>

#include "Types.h"

bool NameIsAscii(const std::string& name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return static_cast<u8>(c) < 0x80; });
}

// The length of the strict UTF-8 sequence at p, or 0 when the bytes there are not one.
static std::size_t Utf8Length(const u8* p, const u8* end)
{
    u8 lead = *p;
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || static_cast<std::size_t>(end - p) < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    // The second byte's range rules out overlong forms, surrogates and values past U+10FFFF.
    if ((lead == 0xE0 && p[1] < 0xA0) || (lead == 0xED && p[1] > 0x9F) ||
        (lead == 0xF0 && p[1] < 0x90) || (lead == 0xF4 && p[1] > 0x8F))
        return 0;
    return length;
}

bool NameIsUtf8(const std::string& name)
{
    const auto* p = reinterpret_cast<const u8*>(name.data());
    const u8* end = p + name.size();
    while (p < end) {
        std::size_t length = Utf8Length(p, end);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

std::string ShownName(const std::string& name)
{
    const auto* p = reinterpret_cast<const u8*>(name.data());
    const u8* end = p + name.size();
    std::string shown;
    while (p < end) {
        std::size_t length = Utf8Length(p, end);
        // Terminals act on the C0 and C1 controls and DEL.
        bool control =
            length == 1 ? *p < 0x20 || *p == 0x7F : length == 2 && *p == 0xC2 && p[1] < 0xA0;
        if (length != 0 && !control) {
            shown.append(reinterpret_cast<const char*>(p), length);
            p += length;
            continue;
        }
        static const char hex[] = "0123456789ABCDEF";
        for (const u8* stop = p + (length == 0 ? 1 : length); p < stop; ++p)
            shown += {'\\', 'x', hex[*p >> 4], hex[*p & 15]};
    }
    return shown;
}

std::string ShownPath(const std::string& path)
{
    // Parts between slashes: a "." goes unless it is the last, an empty one unless it is the
    // first (the root) or the last (a trailing slash).
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    std::string kept;
    bool first = true;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        if ((parts[i] == "." && !last) || (parts[i].empty() && i != 0 && !last))
            continue;
        kept += (first ? "" : "/") + parts[i];
        first = false;
    }
    return ShownName(kept.empty() ? path : kept);
}

static bool IsDeviceName(const std::string& component)
{
    // The device wins whatever the extension, and blanks before the dot do not count.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : devices)
        if (base == device)
            return true;
    if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)
        return false;
    // The digits 1 to 9, and the superscript one, two and three, which Windows takes there too.
    std::string digit = base.substr(3);
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
           digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// UTF-16 units, as Windows counts a name's length: two for a character past U+FFFF.
static std::size_t WideLength(const std::string& text)
{
    std::size_t units = 0;
    for (char c : text) {
        auto byte = static_cast<u8>(c);
        units += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

static std::string ComponentProblem(const std::string& component)
{
    if (component.empty())
        return "empty path component";
    if (component == "." || component == "..")
        return "'" + component + "' as a path component";
    if (WideLength(component) > ComponentLimit)
        return "a part longer than 255 characters, which Windows cannot hold";
    for (char c : component) {
        auto byte = static_cast<u8>(c);
        if (byte < 0x20)
            return "control character in the name";
        if (c == ':')
            return "':' in the name";
        if (c == '\\')
            return "'\\' in the name (a folder separator on Windows)";
        if (std::strchr("<>\"|?*", c) != nullptr)
            return std::string("'") + c + "' in the name, not allowed on Windows";
    }
    if (component.back() == '.' || component.back() == ' ')
        return "'" + component + "' ends in a dot or a blank, which Windows drops";
    if (IsDeviceName(component))
        return "'" + component + "' is a device name on Windows";
    return "";
}

std::string NameProblem(const std::string& name)
{
    if (name.empty())
        return "empty name";
    if (name[0] == '/')
        return "absolute name";
    if (!NameIsAscii(name) && !NameIsUtf8(name))
        return "name is not valid UTF-8";
    if (WideLength(name) > NameLimit)
        return "name longer than 32,000 characters, which leaves no room for a destination";
    std::string body = name.back() == '/' ? name.substr(0, name.size() - 1) : name;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = body.find('/', start);
        std::string problem = ComponentProblem(body.substr(start, slash - start));
        if (!problem.empty())
            return problem;
        if (slash == std::string::npos)
            return "";
        start = slash + 1;
    }
}

bool FindCaseClash(const std::vector<std::string>& names, std::size_t& first, std::size_t& second)
{
    std::vector<std::pair<std::string, std::size_t>> folded;
    folded.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string key = names[i];
        if (!key.empty() && key.back() == '/')
            key.pop_back();
        for (char& c : key)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        folded.emplace_back(std::move(key), i);
    }
    std::sort(folded.begin(), folded.end());
    for (std::size_t i = 1; i < folded.size(); ++i) {
        if (folded[i].first == folded[i - 1].first) {
            first = folded[i - 1].second;
            second = folded[i].second;
            return true;
        }
    }
    return false;
}
