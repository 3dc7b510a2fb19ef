// The resources of the built stub, read back from the file as Windows reads them: the stub is
// opened as data, each template, string, icon and the manifest are checked field by field
// against tables written here, and both dialogs are created for real.
// Usage: resource_tests [gtest options] PATH-TO-sfx.exe
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Resource.h"
#include "support/StubTexts.h"

namespace {

std::string StubPath;

HMODULE Stub()
{
    static HMODULE module = LoadLibraryExA(StubPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

#define ASSERT_STUB_OPEN()                                                                         \
    ASSERT_NE(Stub(), nullptr) << "cannot open " << StubPath << " as data, error " << GetLastError()

struct Blob
{
    const unsigned char* Data = nullptr;
    DWORD Size = 0;
};

Blob FindBlob(LPCSTR name, LPCSTR type)
{
    HRSRC info = FindResourceA(Stub(), name, type);
    if (!info)
        return {};
    return {static_cast<const unsigned char*>(LockResource(LoadResource(Stub(), info))),
            SizeofResource(Stub(), info)};
}

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// A failure names where the field sits, the field, the expected and the actual value.
void CheckText(const std::string& where, const char* field, const std::string& expected,
               const std::string& actual)
{
    if (expected != actual)
        ADD_FAILURE() << where << ", " << field << ": expected " << Quoted(expected) << ", actual "
                      << Quoted(actual);
}

template <typename Expected, typename Actual>
void CheckNumber(const std::string& where, const char* field, Expected expected, Actual actual,
                 bool hex = false)
{
    auto e = static_cast<long long>(expected);
    auto a = static_cast<long long>(actual);
    if (e == a)
        return;
    auto show = [hex](long long value) {
        return hex ? Hex(static_cast<DWORD>(value)) : std::to_string(value);
    };
    ADD_FAILURE() << where << ", " << field << ": expected " << show(e) << ", actual " << show(a);
}

TEST(Resources, StringTableHoldsTheTextsOfIdsOneToTen)
{
    ASSERT_STUB_OPEN();
    // The first block of the table: ids 0 to 15.
    for (UINT id = 0; id < 16; ++id) {
        const char* expected = id < StubStringCount ? StubStrings[id] : "";
        char text[260];
        std::memset(text, 'x', sizeof text);
        text[0] = 0;  // as the program's loader leaves it for an id without text
        int length = LoadStringA(Stub(), id, text, 259);
        std::string where = "string " + std::to_string(id);
        CheckNumber(where, "length", std::strlen(expected), length);
        CheckText(where, "text", expected, std::string(text, length > 0 ? length : 0));
        CheckNumber(where, "terminator", 0,
                    static_cast<unsigned char>(text[length > 0 ? length : 0]));
    }
    EXPECT_EQ(FindResourceA(Stub(), MAKEINTRESOURCEA(2), RT_STRING), nullptr)
        << "strings beyond id 15";
}

// A classic dialog template read within the resource's bytes; a short template sets Overrun.
struct TemplateReader
{
    Blob Bytes;
    DWORD Pos = 0;
    bool Overrun = false;

    unsigned Word()
    {
        if (Pos + 2 > Bytes.Size) {
            Overrun = true;
            return 0;
        }
        unsigned value = Bytes.Data[Pos] | Bytes.Data[Pos + 1] << 8;
        Pos += 2;
        return value;
    }

    DWORD Dword()
    {
        DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }

    short Short()
    {
        return static_cast<short>(Word());
    }

    std::string Text()
    {
        std::string text;
        for (unsigned c = Word(); c != 0 && !Overrun; c = Word()) {
            if (c < 0x80) {
                text += static_cast<char>(c);
            } else {
                char escaped[12];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
                text += escaped;
            }
        }
        return text;
    }

    // Empty for none, "#n" for an ordinal, else the text.
    std::string NameOrOrdinal()
    {
        if (Pos + 2 <= Bytes.Size && Bytes.Data[Pos] == 0xFF && Bytes.Data[Pos + 1] == 0xFF) {
            Pos += 2;
            return "#" + std::to_string(Word());
        }
        return Text();
    }

    void AlignDword()
    {
        Pos = (Pos + 3) & ~3u;
    }
};

struct ExpectedControl
{
    int Id;
    const char* Class;
    const char* Text;
    DWORD Style;
    short X, Y, Cx, Cy;
};

struct ExpectedDialog
{
    const char* Name;  // as the code loads it
    DWORD Style;
    short X, Y, Cx, Cy;
    const char* Caption;
    std::vector<ExpectedControl> Controls;
};

constexpr DWORD Child = WS_CHILD | WS_VISIBLE;

// clang-format off
const ExpectedDialog Dialogs[] = {
    {"InputDialog", WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
     40, 77, 225, 65, DialogCaption, {
        {-1,  "STATIC", "&Unpack all files to:", Child | WS_GROUP | SS_LEFT,          7,  5, 214,  9},
        {101, "EDIT",   "",                      Child | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL,
                                                                                         6, 18, 204, 12},
        {102, "BUTTON", "...",                   Child | WS_TABSTOP | BS_PUSHBUTTON, 211, 18,  11, 12},
        {103, "BUTTON", "&Confirm overwrites",   Child | WS_TABSTOP | BS_AUTOCHECKBOX, 6, 33, 214,  9},
        {1,   "BUTTON", "OK",                    Child | WS_TABSTOP | BS_DEFPUSHBUTTON, 69, 46, 40, 14},
        {2,   "BUTTON", "Cancel",                Child | WS_TABSTOP | BS_PUSHBUTTON, 116, 46,  40, 14},
    }},
    {"DLG2FILEACTIONMIN", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
     78, 20, 252, 85, ProgressCaption, {
        {120, "STATIC", "Unzip:",  Child | SS_CENTER,                    62,  4, 128, 10},
        {130, "STATIC", "",        Child | SS_LEFT | SS_NOPREFIX,         5, 18, 242, 19},
        {2,   "BUTTON", "&Cancel", Child | WS_TABSTOP | BS_DEFPUSHBUTTON, 95, 69,  61, 14},
        {200, "STATIC", "",        Child | SS_BLACKFRAME,                18, 39, 216, 13},
        {210, "STATIC", "",        Child | SS_BLACKFRAME,                18, 54, 216, 13},
    }},
};

// clang-format on

// The dialog manager reads these ordinals as the system's control classes.
std::string ClassName(const std::string& nameOrOrdinal)
{
    static const std::map<std::string, std::string> ordinals = {
        {"#128", "BUTTON"},  {"#129", "EDIT"},      {"#130", "STATIC"},
        {"#131", "LISTBOX"}, {"#132", "SCROLLBAR"}, {"#133", "COMBOBOX"}};
    auto found = ordinals.find(nameOrOrdinal);
    if (found != ordinals.end())
        return found->second;
    std::string upper = nameOrOrdinal;
    for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return upper;
}

void CheckControl(TemplateReader& in, const std::string& where, const ExpectedControl& want)
{
    in.AlignDword();
    CheckNumber(where, "style", want.Style, in.Dword(), true);
    CheckNumber(where, "extended style", 0, in.Dword(), true);
    CheckNumber(where, "x", want.X, in.Short());
    CheckNumber(where, "y", want.Y, in.Short());
    CheckNumber(where, "width", want.Cx, in.Short());
    CheckNumber(where, "height", want.Cy, in.Short());
    CheckNumber(where, "id", static_cast<WORD>(want.Id), in.Word());
    CheckText(where, "class", want.Class, ClassName(in.NameOrOrdinal()));
    CheckText(where, "text", want.Text, in.NameOrOrdinal());
    CheckNumber(where, "creation data bytes", 0, in.Word());
}

TEST(Resources, DialogTemplatesMatchTheTables)
{
    ASSERT_STUB_OPEN();
    for (const ExpectedDialog& want : Dialogs) {
        std::string where = want.Name;
        TemplateReader in{FindBlob(want.Name, RT_DIALOG)};
        if (!in.Bytes.Data) {
            ADD_FAILURE() << where << ": no such dialog template";
            continue;
        }
        if (in.Bytes.Size >= 4 && in.Bytes.Data[2] == 0xFF && in.Bytes.Data[3] == 0xFF) {
            ADD_FAILURE() << where << ": an extended template, expected a classic one";
            continue;
        }
        CheckNumber(where, "style", want.Style, in.Dword(), true);
        CheckNumber(where, "extended style", 0, in.Dword(), true);
        unsigned count = in.Word();
        CheckNumber(where, "control count", want.Controls.size(), count);
        CheckNumber(where, "x", want.X, in.Short());
        CheckNumber(where, "y", want.Y, in.Short());
        CheckNumber(where, "width", want.Cx, in.Short());
        CheckNumber(where, "height", want.Cy, in.Short());
        CheckText(where, "menu", "", in.NameOrOrdinal());
        CheckText(where, "window class", "", in.NameOrOrdinal());
        CheckText(where, "caption", want.Caption, in.Text());
        CheckNumber(where, "font size", 8, in.Word());
        CheckText(where, "font", "MS Shell Dlg", in.Text());
        for (size_t i = 0; i < want.Controls.size() && i < count && !in.Overrun; ++i)
            CheckControl(in,
                         where + " control " + std::to_string(i) + " (id " +
                             std::to_string(want.Controls[i].Id) + ")",
                         want.Controls[i]);
        EXPECT_FALSE(in.Overrun) << where << ": template ends early, at byte " << in.Bytes.Size;
        EXPECT_EQ(in.Pos, in.Bytes.Size) << where << ": bytes after the last control";
    }
}

// GRPICONDIRENTRY, as the group holds it.
#pragma pack(push, 2)

struct GroupEntry
{
    BYTE Width, Height, Colours, Reserved;
    WORD Planes, BitCount;
    DWORD Bytes;
    WORD Id;
};

#pragma pack(pop)

TEST(Resources, IconGroupHoldsA32And16Pixel16ColourImage)
{
    ASSERT_STUB_OPEN();
    Blob group = FindBlob(MAKEINTRESOURCEA(IDI_PROGRAM), RT_GROUP_ICON);
    ASSERT_NE(group.Data, nullptr) << "no icon group " << IDI_PROGRAM;
    ASSERT_GE(group.Size, 6u);
    WORD header[3];
    std::memcpy(header, group.Data, sizeof header);
    CheckNumber("icon group", "reserved", 0, header[0]);
    CheckNumber("icon group", "type", 1, header[1]);
    CheckNumber("icon group", "image count", 2, header[2]);
    ASSERT_EQ(group.Size, 6 + header[2] * sizeof(GroupEntry)) << "icon group size";
    const int sizes[2] = {32, 16};
    for (int i = 0; i < header[2] && i < 2; ++i) {
        GroupEntry entry;
        std::memcpy(&entry, group.Data + 6 + i * sizeof entry, sizeof entry);
        int size = sizes[i];
        std::string where = "icon group entry " + std::to_string(i);
        CheckNumber(where, "width", size, entry.Width);
        CheckNumber(where, "height", size, entry.Height);
        CheckNumber(where, "colour count", 16, entry.Colours);
        CheckNumber(where, "planes", 1, entry.Planes);
        CheckNumber(where, "bits per pixel", 4, entry.BitCount);

        where = "icon " + std::to_string(entry.Id);
        Blob image = FindBlob(MAKEINTRESOURCEA(entry.Id), RT_ICON);
        if (!image.Data) {
            ADD_FAILURE() << where << ": named by the group, missing";
            continue;
        }
        CheckNumber(where, "bytes (the group's count)", entry.Bytes, image.Size);
        // Header, 16 palette entries, colour rows, mask rows (rows padded to 32 bits).
        long colourRow = (size * 4 + 31) / 32 * 4;
        long maskRow = (size + 31) / 32 * 4;
        long expectedBytes = 40 + 16 * 4 + size * (colourRow + maskRow);
        CheckNumber(where, "bytes", expectedBytes, image.Size);
        if (static_cast<long>(image.Size) < expectedBytes)
            continue;
        BITMAPINFOHEADER info;
        std::memcpy(&info, image.Data, sizeof info);
        CheckNumber(where, "header size", 40, info.biSize);
        CheckNumber(where, "width", size, info.biWidth);
        CheckNumber(where, "height (colours and mask)", 2 * size, info.biHeight);
        CheckNumber(where, "planes", 1, info.biPlanes);
        CheckNumber(where, "bits per pixel", 4, info.biBitCount);
        CheckNumber(where, "compression", BI_RGB, info.biCompression);

        // A drawing, not a blank: enough opaque pixels in several colours.
        const unsigned char* colours = image.Data + 40 + 64;
        const unsigned char* mask = colours + size * colourRow;
        int opaque = 0;
        unsigned used = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                if (mask[y * maskRow + x / 8] & 0x80 >> x % 8)
                    continue;
                ++opaque;
                used |= 1u << (colours[y * colourRow + x / 2] >> (x % 2 ? 0 : 4) & 15);
            }
        int colourCount = 0;
        for (; used; used &= used - 1)
            ++colourCount;
        EXPECT_GE(opaque, size * size / 3) << where << ": opaque pixels";
        EXPECT_GE(colourCount, 4) << where << ": colours in use";

        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.Data), image.Size, TRUE,
                                              0x00030000, size, size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << where << ": the system does not take it as an icon";
        if (icon)
            DestroyIcon(icon);
    }
}

// Enough XML for a manifest: declaration, comments, elements, double-quoted attributes and
// text. Each element is recorded with its path from the root.
struct Element
{
    std::string Path;
    std::map<std::string, std::string> Attributes;
    std::string Text;
};

bool ParseXml(const std::string& xml, std::string& declaration, std::vector<Element>& elements,
              std::string& error)
{
    std::vector<size_t> open;
    size_t pos = 0;
    auto fail = [&](const std::string& what) {
        error = what + " at byte " + std::to_string(pos);
        return false;
    };
    while (pos < xml.size()) {
        size_t tag = xml.find('<', pos);
        std::string text = xml.substr(pos, tag == std::string::npos ? tag : tag - pos);
        if (!open.empty())
            elements[open.back()].Text += text;
        else if (text.find_first_not_of(" \t\r\n") != std::string::npos)
            return fail("text outside the root");
        if (tag == std::string::npos)
            break;
        pos = tag;
        if (xml.compare(pos, 2, "<?") == 0 || xml.compare(pos, 4, "<!--") == 0) {
            bool pi = xml[pos + 1] == '?';
            size_t end = xml.find(pi ? "?>" : "-->", pos);
            if (end == std::string::npos)
                return fail("unclosed declaration or comment");
            if (pi && elements.empty())
                declaration = xml.substr(pos, end + 2 - pos);
            pos = end + (pi ? 2 : 3);
            continue;
        }
        bool closing = xml.compare(pos, 2, "</") == 0;
        pos += closing ? 2 : 1;
        size_t nameEnd = xml.find_first_of(" \t\r\n/>", pos);
        if (nameEnd == std::string::npos || nameEnd == pos)
            return fail("bad tag");
        std::string name = xml.substr(pos, nameEnd - pos);
        pos = nameEnd;
        if (closing) {
            std::string path = open.empty() ? "" : elements[open.back()].Path;
            if (open.empty() || path.substr(path.rfind('/') + 1) != name || xml[pos] != '>')
                return fail("unmatched </" + name + ">");
            open.pop_back();
            ++pos;
            continue;
        }
        Element element;
        element.Path = open.empty() ? name : elements[open.back()].Path + "/" + name;
        bool empty = false;
        for (;;) {
            pos = xml.find_first_not_of(" \t\r\n", pos);
            if (pos == std::string::npos)
                return fail("unclosed tag <" + name + ">");
            if (xml.compare(pos, 2, "/>") == 0 || xml[pos] == '>') {
                empty = xml[pos] == '/';
                pos += empty ? 2 : 1;
                break;
            }
            size_t equals = xml.find('=', pos);
            if (equals == std::string::npos || equals + 1 >= xml.size() || xml[equals + 1] != '"')
                return fail("bad attribute in <" + name + ">");
            size_t valueEnd = xml.find('"', equals + 2);
            if (valueEnd == std::string::npos)
                return fail("unclosed attribute value in <" + name + ">");
            element.Attributes[xml.substr(pos, equals - pos)] =
                xml.substr(equals + 2, valueEnd - equals - 2);
            pos = valueEnd + 1;
        }
        elements.push_back(element);
        if (!empty)
            open.push_back(elements.size() - 1);
    }
    if (!open.empty())
        return fail("unclosed <" + elements[open.back()].Path + ">");
    return true;
}

TEST(Resources, ManifestAsksForCommonControlsSixAndNoElevation)
{
    ASSERT_STUB_OPEN();
    Blob blob = FindBlob(MAKEINTRESOURCEA(ID_MANIFEST), MAKEINTRESOURCEA(24));
    ASSERT_NE(blob.Data, nullptr) << "no manifest " << ID_MANIFEST;
    std::string xml(reinterpret_cast<const char*>(blob.Data), blob.Size);
    for (size_t i = 0; i < xml.size(); ++i)
        ASSERT_LT(static_cast<unsigned char>(xml[i]), 0x80) << "manifest byte " << i;

    std::string declaration, error;
    std::vector<Element> elements;
    ASSERT_TRUE(ParseXml(xml, declaration, elements, error)) << "manifest: " << error;
    CheckText("manifest", "declaration",
              R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)", declaration);

    const std::string root = "assembly";
    const std::string program = root + "/assemblyIdentity";
    const std::string trust = root + "/trustInfo";
    const std::string level = trust + "/security/requestedPrivileges/requestedExecutionLevel";
    const std::string controls = root + "/dependency/dependentAssembly/assemblyIdentity";

    struct Expected
    {
        std::string Path;
        const char* Attribute;  // null: the element's text
        const char* Value;
    };

    // clang-format off
    const Expected expected[] = {
        {root,                "xmlns",                 "urn:schemas-microsoft-com:asm.v1"},
        {root,                "manifestVersion",       "1.0"},
        {program,             "processorArchitecture", "x86"},
        {program,             "version",               "5.1.0.0"},
        {program,             "type",                  "win32"},
        {program,             "name",                  "Morwick.sfx.exe"},
        {root + "/description", nullptr,               "Self-extracting installer"},
        {trust,               "xmlns",                 "urn:schemas-microsoft-com:asm.v3"},
        {level,               "level",                 "asInvoker"},
        {level,               "uiAccess",              "false"},
        {root + "/application/windowsSettings/dpiAware", nullptr, "true"},
        {controls,            "type",                  "win32"},
        {controls,            "name",                  "Microsoft.Windows.Common-Controls"},
        {controls,            "version",               "6.0.0.0"},
        {controls,            "processorArchitecture", "x86"},
        {controls,            "publicKeyToken",        "6595b64144ccf1df"},
        {controls,            "language",              "*"},
    };
    // clang-format on
    for (const Expected& e : expected) {
        std::vector<const Element*> found;
        for (const Element& element : elements)
            if (element.Path == e.Path)
                found.push_back(&element);
        if (found.size() != 1) {
            ADD_FAILURE() << "manifest <" << e.Path << ">: expected once, found " << found.size()
                          << " times";
            continue;
        }
        std::string where = "manifest <" + e.Path + ">";
        if (!e.Attribute) {
            CheckText(where, "text", e.Value, found[0]->Text);
            continue;
        }
        auto value = found[0]->Attributes.find(e.Attribute);
        if (value == found[0]->Attributes.end())
            ADD_FAILURE() << where << ", " << e.Attribute << ": expected " << Quoted(e.Value)
                          << ", missing";
        else
            CheckText(where, e.Attribute, e.Value, value->second);
    }
}

struct TypeNames
{
    std::string Type;
    std::vector<std::string> Names;
};

std::string ResourceName(LPCSTR name)
{
    return IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)) : name;
}

BOOL CALLBACK AddName(HMODULE, LPCSTR, LPSTR name, LONG_PTR list)
{
    reinterpret_cast<TypeNames*>(list)->Names.push_back(ResourceName(name));
    return TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPSTR type, LONG_PTR list)
{
    auto& types = *reinterpret_cast<std::vector<TypeNames>*>(list);
    types.push_back({ResourceName(type), {}});
    EnumResourceNamesA(module, type, AddName, reinterpret_cast<LONG_PTR>(&types.back()));
    return TRUE;
}

BOOL CALLBACK CountLanguage(HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Icon images are named by their group, so only counted.
std::string Describe(const std::vector<TypeNames>& types)
{
    std::string text;
    for (const TypeNames& t : types) {
        text += t.Type + " (";
        if (t.Type == "#3") {
            text += std::to_string(t.Names.size()) + " images";
        } else {
            for (size_t i = 0; i < t.Names.size(); ++i)
                text += (i ? " " : "") + t.Names[i];
        }
        text += ") ";
    }
    return text;
}

LPCSTR AsResourceName(const std::string& name)
{
    return name[0] == '#' ? MAKEINTRESOURCEA(std::stoi(name.substr(1))) : name.c_str();
}

TEST(Resources, NothingElseIsCarried)
{
    ASSERT_STUB_OPEN();
    std::vector<TypeNames> types;
    EnumResourceTypesA(Stub(), AddType, reinterpret_cast<LONG_PTR>(&types));
    const std::vector<TypeNames> expected = {
        {"#3", {"", ""}},
        {"#5", {"DLG2FILEACTIONMIN", "INPUTDIALOG"}},
        {"#6", {"#1"}},
        {"#14", {"#" + std::to_string(IDI_PROGRAM)}},
        {"#24", {"#" + std::to_string(ID_MANIFEST)}},
    };
    CheckText("resources", "types (names)", Describe(expected), Describe(types));
    for (const TypeNames& t : types)
        for (const std::string& name : t.Names) {
            int languages = 0;
            EnumResourceLanguagesA(Stub(), AsResourceName(t.Type), AsResourceName(name),
                                   CountLanguage, reinterpret_cast<LONG_PTR>(&languages));
            CheckNumber("resource " + t.Type + " " + name, "languages", 1, languages);
        }
}

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Styles the dialog manager keeps as the template gives them: it adds others, and may turn
// an edit's border into a sunken edge.
constexpr DWORD KeptStyles = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | 0xFFFF;

TEST(Resources, DialogsCreateUnderTheStubsManifest)
{
    ASSERT_STUB_OPEN();
    if (UnderWine() && GetEnvironmentVariableA("DISPLAY", nullptr, 0) == 0) {
        GTEST_SKIP() << "DISPLAY is unset, and Wine creates no window without a display";
    }

    // The stub runs with its manifest's activation context: the same controls here.
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = StubPath.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(ID_MANIFEST);
    HANDLE activation = CreateActCtxA(&context);
    ASSERT_NE(activation, INVALID_HANDLE_VALUE)
        << "the system rejects the manifest, error " << GetLastError();
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(activation, &cookie));

    for (const ExpectedDialog& want : Dialogs) {
        HWND dialog = CreateDialogParamA(Stub(), want.Name, nullptr, IgnoreAll, 0);
        if (!dialog) {
            ADD_FAILURE() << want.Name << ": not created, error " << GetLastError();
            continue;
        }
        char text[260];
        GetWindowTextA(dialog, text, sizeof text);
        CheckText(want.Name, "caption", want.Caption, text);
        CheckNumber(want.Name, "visible", (want.Style & WS_VISIBLE) != 0,
                    IsWindowVisible(dialog) != 0);
        DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
        DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU;
        CheckNumber(want.Name, "frame style", frame, style & frame, true);

        // Created in template order, which is the order of the children.
        size_t index = 0;
        for (HWND control = GetWindow(dialog, GW_CHILD); control;
             control = GetWindow(control, GW_HWNDNEXT), ++index) {
            if (index >= want.Controls.size())
                continue;
            const ExpectedControl& c = want.Controls[index];
            std::string where = std::string(want.Name) + " window " + std::to_string(index) +
                                " (id " + std::to_string(c.Id) + ")";
            CheckNumber(where, "id", static_cast<WORD>(c.Id),
                        static_cast<WORD>(GetDlgCtrlID(control)));
            if (c.Id != -1) {
                EXPECT_EQ(GetDlgItem(dialog, c.Id), control) << where << ": GetDlgItem";
            }
            GetClassNameA(control, text, sizeof text);
            CheckText(where, "class", c.Class, ClassName(text));
            GetWindowTextA(control, text, sizeof text);
            CheckText(where, "text", c.Text, text);
            CheckNumber(where, "style", c.Style & KeptStyles,
                        static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)) & KeptStyles, true);
        }
        CheckNumber(want.Name, "child windows", want.Controls.size(), index);
        EXPECT_TRUE(DestroyWindow(dialog)) << want.Name;
    }
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(activation);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::printf("usage: resource_tests [gtest options] PATH-TO-sfx.exe\n");
        return 2;
    }
    StubPath = argv[1];
    return RUN_ALL_TESTS();
}
