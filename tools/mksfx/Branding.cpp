// Rewrites the stub's resource section: the tree is read whole, the icon and version types are
// replaced, and the section is written anew at its own address. Only .reloc, which follows
// it, moves; its bytes hold the RVAs of code, which stays where it was.
#include "Branding.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "text/Text.h"

namespace {

constexpr u32 TypeIcon = 3;
constexpr u32 TypeGroupIcon = 14;
constexpr u32 TypeVersion = 16;
constexpr u32 SectionEntrySize = 40;
constexpr u32 DirectoryResource = 2;
constexpr u32 DirectoryRelocation = 5;
constexpr u32 Subdirectory = 0x80000000u;  // also marks a named entry
constexpr u16 LanguageNeutral = 0;
constexpr u16 CodePageUnicode = 1200;

struct ResourceKey
{
    std::u16string Name;  // empty: the id names it
    u32 Id = 0;
};

// A type, a name under a type, or a language under a name, which holds the data.
struct ResourceNode
{
    ResourceKey Key;
    std::vector<ResourceNode> Children;
    ByteBuffer Data;
    u32 CodePage = 0;
};

struct Bytes
{
    const u8* Data;
    u64 Size;
};

u32 Get16(const u8* p)
{
    return static_cast<u32>(p[0] | p[1] << 8);
}

u32 Get32(const u8* p)
{
    return Get16(p) | Get16(p + 2) << 16;
}

void Put32(ByteBuffer& b, std::size_t at, u32 value)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<u8>(value >> (8 * i));
}

void Add16(ByteBuffer& b, u32 value)
{
    b.push_back(static_cast<u8>(value));
    b.push_back(static_cast<u8>(value >> 8));
}

void Add32(ByteBuffer& b, u32 value)
{
    Add16(b, value & 0xFFFF);
    Add16(b, value >> 16);
}

void Pad(ByteBuffer& b, std::size_t alignment)
{
    while (b.size() % alignment != 0)
        b.push_back(0);
}

u32 Align(u32 value, u32 alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// The engine's own converters; the option parser has checked the texts as UTF-8, and a text
// read from a file that is not valid UTF-16 comes back empty.
std::u16string Utf16(const std::string& text)
{
    std::u16string out(text.size() + 1, u'\0');
    // WCHAR is char16_t on the host and wchar_t on Windows, both of 16 bits.
    i32 units = WideFromText(reinterpret_cast<WCHAR*>(out.data()), text.c_str(),
                             static_cast<u32>(out.size()));
    out.resize(units < 0 ? 0 : static_cast<std::size_t>(units));
    return out;
}

std::string Utf8(const std::u16string& text)
{
    std::string out(3 * text.size() + 1, '\0');
    i32 bytes = TextFromWide(out.data(), reinterpret_cast<const WCHAR*>(text.c_str()),
                             static_cast<u32>(out.size()));
    out.resize(bytes < 0 ? 0 : static_cast<std::size_t>(bytes));
    return out;
}

bool ReadKey(Bytes section, u32 field, ResourceKey& key)
{
    if ((field & Subdirectory) == 0) {
        key.Id = field;
        return true;
    }
    u64 at = field & ~Subdirectory;
    if (at + 2 > section.Size)
        return false;
    u32 length = Get16(section.Data + at);
    if (length == 0 || at + 2 + 2 * u64{length} > section.Size)
        return false;
    for (u32 i = 0; i < length; ++i)
        key.Name.push_back(static_cast<char16_t>(Get16(section.Data + at + 2 + 2 * u64{i})));
    return true;
}

// Types, names and languages: three levels, the last pointing at data entries.
bool ReadDirectory(Bytes section, u32 address, u64 at, int level, std::vector<ResourceNode>& nodes)
{
    if (at + 16 > section.Size)
        return false;
    u64 count = Get16(section.Data + at + 12) + Get16(section.Data + at + 14);
    if (at + 16 + 8 * count > section.Size)
        return false;
    for (u64 i = 0; i < count; ++i) {
        const u8* entry = section.Data + at + 16 + 8 * i;
        ResourceNode node;
        u32 target = Get32(entry + 4);
        if (!ReadKey(section, Get32(entry), node.Key) ||
            ((target & Subdirectory) != 0) != (level < 2))
            return false;
        if (level < 2) {
            if (!ReadDirectory(section, address, target & ~Subdirectory, level + 1, node.Children))
                return false;
        } else {
            if (u64{target} + 16 > section.Size)
                return false;
            u32 rva = Get32(section.Data + target);
            u64 size = Get32(section.Data + target + 4);
            if (rva < address || rva - address + size > section.Size)
                return false;
            const u8* data = section.Data + (rva - address);
            node.Data.assign(data, data + size);
            node.CodePage = Get32(section.Data + target + 8);
        }
        nodes.push_back(std::move(node));
    }
    return true;
}

// Named entries first, by name, then ids ascending: the loader searches them in that order.
void SortTree(std::vector<ResourceNode>& nodes)
{
    std::sort(nodes.begin(), nodes.end(), [](const ResourceNode& a, const ResourceNode& b) {
        if (a.Key.Name.empty() != b.Key.Name.empty())
            return !a.Key.Name.empty();
        return a.Key.Name.empty() ? a.Key.Id < b.Key.Id : a.Key.Name < b.Key.Name;
    });
    for (ResourceNode& node : nodes)
        SortTree(node.Children);
}

// The section's bytes for the sorted tree at address: directories, names, data entries, data.
ByteBuffer WriteTree(const std::vector<ResourceNode>& types, u32 address)
{
    // Breadth first: the types, each type's names, each name's languages.
    std::vector<const std::vector<ResourceNode>*> tables = {&types};
    for (const ResourceNode& type : types)
        tables.push_back(&type.Children);
    for (const ResourceNode& type : types)
        for (const ResourceNode& name : type.Children)
            tables.push_back(&name.Children);
    std::size_t firstLeafTable = 1 + types.size();
    std::map<const void*, u32> tableAt;
    std::map<const void*, u32> nameAt;
    std::map<const void*, u32> entryAt;
    std::vector<const ResourceNode*> named;
    std::vector<const ResourceNode*> leaves;
    u32 end = 0;
    for (const auto* table : tables) {
        tableAt[table] = end;
        end += 16 + 8 * static_cast<u32>(table->size());
        for (const ResourceNode& node : *table)
            if (!node.Key.Name.empty())
                named.push_back(&node);
    }
    for (const ResourceNode* node : named) {
        nameAt[node] = end;
        end += 2 + 2 * static_cast<u32>(node->Key.Name.size());
    }
    end = Align(end, 4);
    for (std::size_t t = firstLeafTable; t < tables.size(); ++t)
        for (const ResourceNode& node : *tables[t]) {
            entryAt[&node] = end;
            leaves.push_back(&node);
            end += 16;
        }
    ByteBuffer out;
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const std::vector<ResourceNode>& table = *tables[t];
        auto names = static_cast<u32>(std::count_if(
            table.begin(), table.end(), [](const ResourceNode& n) { return !n.Key.Name.empty(); }));
        out.resize(out.size() + 12);
        Add16(out, names);
        Add16(out, static_cast<u32>(table.size()) - names);
        for (const ResourceNode& node : table) {
            Add32(out, node.Key.Name.empty() ? node.Key.Id : Subdirectory | nameAt[&node]);
            Add32(out,
                  t >= firstLeafTable ? entryAt[&node] : Subdirectory | tableAt[&node.Children]);
        }
    }
    for (const ResourceNode* node : named) {
        Add16(out, static_cast<u32>(node->Key.Name.size()));
        for (char16_t c : node->Key.Name)
            Add16(out, c);
    }
    Pad(out, 4);
    u32 data = Align(end, 8);
    for (const ResourceNode* leaf : leaves) {
        Add32(out, address + data);
        Add32(out, static_cast<u32>(leaf->Data.size()));
        Add32(out, leaf->CodePage);
        Add32(out, 0);
        data = Align(data + static_cast<u32>(leaf->Data.size()), 8);
    }
    for (const ResourceNode* leaf : leaves) {
        Pad(out, 8);
        out.insert(out.end(), leaf->Data.begin(), leaf->Data.end());
    }
    return out;
}

void AddText(ByteBuffer& b, const std::u16string& text)
{
    for (char16_t c : text)
        Add16(b, c);
    Add16(b, 0);
}

// One block of a version resource: its length, its value's length (in characters for text),
// its type (1: text), its key, then the value and the children, each at a 4-byte boundary.
// Returns where the block starts, for EndBlock to fill in its length.
std::size_t StartBlock(ByteBuffer& b, const char* key, u32 valueLength, u32 type)
{
    Pad(b, 4);
    std::size_t start = b.size();
    Add16(b, 0);
    Add16(b, valueLength);
    Add16(b, type);
    AddText(b, Utf16(key));
    Pad(b, 4);
    return start;
}

void EndBlock(ByteBuffer& b, std::size_t start)
{
    auto length = static_cast<u32>(b.size() - start);
    b[start] = static_cast<u8>(length);
    b[start + 1] = static_cast<u8>(length >> 8);
}

ByteBuffer VersionResource(const Branding& brand)
{
    const std::pair<const char*, const std::string*> texts[] = {
        {"CompanyName", &brand.Company},        {"FileDescription", &brand.Description},
        {"FileVersion", &brand.ProductVersion}, {"LegalCopyright", &brand.Copyright},
        {"ProductName", &brand.Product},        {"ProductVersion", &brand.ProductVersion}};
    u32 high = brand.Version[0] << 16 | brand.Version[1];
    u32 low = brand.Version[2] << 16 | brand.Version[3];
    ByteBuffer b;
    std::size_t root = StartBlock(b, "VS_VERSION_INFO", 52, 0);
    // VS_FIXEDFILEINFO: signature, structure version, file and product versions, flags mask,
    // flags, VOS_NT_WINDOWS32, VFT_APP, subtype, date.
    for (u32 field :
         {0xFEEF04BDu, 0x10000u, high, low, high, low, 0x3Fu, 0u, 0x40004u, 1u, 0u, 0u, 0u})
        Add32(b, field);
    std::size_t fileInfo = StartBlock(b, "StringFileInfo", 0, 1);
    std::size_t table = StartBlock(b, "000004b0", 0, 1);
    for (const auto& [key, value] : texts) {
        if (value->empty())
            continue;
        std::u16string text = Utf16(*value);
        std::size_t block = StartBlock(b, key, static_cast<u32>(text.size() + 1), 1);
        AddText(b, text);
        EndBlock(b, block);
    }
    EndBlock(b, table);
    EndBlock(b, fileInfo);
    std::size_t varInfo = StartBlock(b, "VarFileInfo", 0, 1);
    std::size_t translation = StartBlock(b, "Translation", 4, 0);
    Add16(b, LanguageNeutral);
    Add16(b, CodePageUnicode);
    EndBlock(b, translation);
    EndBlock(b, varInfo);
    EndBlock(b, root);
    return b;
}

ResourceNode* FindType(std::vector<ResourceNode>& types, u32 id)
{
    for (ResourceNode& type : types)
        if (type.Key.Name.empty() && type.Key.Id == id)
            return &type;
    return nullptr;
}

ResourceNode Leaf(u32 language, ByteBuffer data)
{
    ResourceNode leaf;
    leaf.Key.Id = language;
    leaf.Data = std::move(data);
    return leaf;
}

// Replaces every image and group by one group under the first group's name and language,
// whose images take the ids 1 to n.
void ReplaceIcon(std::vector<ResourceNode>& types, const std::vector<IconImage>& icon)
{
    ResourceNode group;
    group.Key.Id = 1;
    u32 language = LanguageNeutral;
    ResourceNode* old = FindType(types, TypeGroupIcon);
    if (old != nullptr && !old->Children.empty()) {
        group.Key = old->Children.front().Key;
        if (!old->Children.front().Children.empty())
            language = old->Children.front().Children.front().Key.Id;
    }
    std::erase_if(types, [](const ResourceNode& t) {
        return t.Key.Name.empty() && (t.Key.Id == TypeIcon || t.Key.Id == TypeGroupIcon);
    });
    ResourceNode images;
    images.Key.Id = TypeIcon;
    ByteBuffer directory;
    Add16(directory, 0);
    Add16(directory, 1);
    Add16(directory, static_cast<u32>(icon.size()));
    for (std::size_t i = 0; i < icon.size(); ++i) {
        ResourceNode image;
        image.Key.Id = static_cast<u32>(i + 1);
        image.Children.push_back(Leaf(language, icon[i].Data));
        images.Children.push_back(std::move(image));
        directory.insert(directory.end(), icon[i].Entry, icon[i].Entry + 12);
        Add16(directory, static_cast<u32>(i + 1));
    }
    group.Children.push_back(Leaf(language, std::move(directory)));
    ResourceNode groups;
    groups.Key.Id = TypeGroupIcon;
    groups.Children.push_back(std::move(group));
    types.push_back(std::move(images));
    types.push_back(std::move(groups));
}

void ReplaceVersion(std::vector<ResourceNode>& types, const Branding& brand)
{
    std::erase_if(
        types, [](const ResourceNode& t) { return t.Key.Name.empty() && t.Key.Id == TypeVersion; });
    ResourceNode version;
    version.Key.Id = TypeVersion;
    ResourceNode one;
    one.Key.Id = 1;
    one.Children.push_back(Leaf(LanguageNeutral, VersionResource(brand)));
    version.Children.push_back(std::move(one));
    types.push_back(std::move(version));
}

// The headers a rewrite touches, at their offsets in the file.
struct PeLayout
{
    u32 Optional = 0;  // the optional header
    u32 Table = 0;     // the section table
    u32 Sections = 0;
    u32 Directories = 0;
};

bool ReadLayout(const ByteBuffer& image, PeLayout& pe)
{
    if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z')
        return false;
    u64 at = Get32(image.data() + 0x3C);
    if (at + 24 > image.size() || Get32(image.data() + at) != 0x00004550)
        return false;
    pe.Sections = Get16(image.data() + at + 6);
    pe.Optional = static_cast<u32>(at + 24);
    u64 table = pe.Optional + u64{Get16(image.data() + at + 20)};
    if (table + u64{SectionEntrySize} * pe.Sections > image.size() || pe.Optional + 96 > table ||
        Get16(image.data() + pe.Optional) != 0x10B)
        return false;
    pe.Table = static_cast<u32>(table);
    pe.Directories = std::min(Get32(image.data() + pe.Optional + 92),
                              static_cast<u32>((table - pe.Optional - 96) / 8));
    return true;
}

u32 Directory(const ByteBuffer& image, const PeLayout& pe, u32 index, u32 field)
{
    return index < pe.Directories
               ? Get32(image.data() + pe.Optional + 96 + 8 * std::size_t{index} + field)
               : 0;
}

// The section whose file data holds the resource tree, or false.
bool ResourceBytes(const ByteBuffer& image, const PeLayout& pe, u32& section, Bytes& bytes)
{
    u32 rva = Directory(image, pe, DirectoryResource, 0);
    for (section = 0; section < pe.Sections; ++section) {
        const u8* header = image.data() + pe.Table + std::size_t{SectionEntrySize} * section;
        u32 address = Get32(header + 12);
        u64 size = std::min(Get32(header + 8), Get32(header + 16));
        u64 pointer = Get32(header + 20);
        if (rva == 0 || rva != address)
            continue;
        if (pointer + size > image.size())
            return false;
        bytes = {image.data() + pointer, size};
        return true;
    }
    return false;
}

// The image checksum: 16-bit words added with end-around carry, plus the file's length; the
// field itself counts as zero.
u32 Checksum(const ByteBuffer& image, std::size_t field)
{
    u32 total = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        u32 word = image[i] | (i + 1 < image.size() ? image[i + 1] << 8 : 0);
        if (i >= field && i < field + 4)
            word = 0;
        total += word;
        total = (total & 0xFFFF) + (total >> 16);
    }
    return (total & 0xFFFF) + static_cast<u32>(image.size());
}

}  // namespace

static bool VersionGiven(const Branding& brand)
{
    return !brand.Product.empty() || !brand.ProductVersion.empty() || !brand.Company.empty() ||
           !brand.Description.empty() || !brand.Copyright.empty();
}

bool BrandGiven(const Branding& brand)
{
    return !brand.IconPath.empty() || VersionGiven(brand);
}

bool ParseProductVersion(const std::string& text, u16 version[4])
{
    std::size_t part = 0;
    std::size_t digits = 0;
    u32 value = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || part == 4)
                return false;
            version[part++] = static_cast<u16>(value);
            digits = 0;
            value = 0;
        } else if (text[i] >= '0' && text[i] <= '9' && digits < 5) {
            value = value * 10 + static_cast<u32>(text[i] - '0');
            ++digits;
            if (value > 0xFFFF)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool ParseIcon(const ByteBuffer& file, std::vector<IconImage>& images, std::string& problem)
{
    images.clear();
    const u8* data = file.data();
    if (file.size() > IconFileLimit) {
        problem = "is over 1 MiB";
        return false;
    }
    if (file.size() < 6 || Get16(data) != 0 || Get16(data + 2) != 1) {
        problem = "is not an icon file (.ico)";
        return false;
    }
    u32 count = Get16(data + 4);
    if (count == 0 || count > IconImageLimit || 6 + 16 * count > file.size()) {
        problem = count == 0 ? "holds no image"
                  : count > IconImageLimit
                      ? "holds more than " + std::to_string(IconImageLimit) + " images"
                      : "is cut short in its directory";
        return false;
    }
    static const u8 pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (u32 i = 0; i < count; ++i) {
        const u8* entry = data + 6 + 16 * std::size_t{i};
        u64 size = Get32(entry + 8);
        u64 offset = Get32(entry + 12);
        std::string which = "image " + std::to_string(i + 1);
        if (size < 8 || offset + size > file.size()) {
            problem = "has " + which + " outside the file";
            return false;
        }
        const u8* image = data + offset;
        bool png = std::memcmp(image, pngSignature, 8) == 0;
        // A DIB starts with BITMAPINFOHEADER, whose first field is its own size.
        bool dib = size >= 40 && Get32(image) == 40;
        if (!png && !dib) {
            problem = "has " + which + " that is neither PNG nor a bitmap";
            return false;
        }
        IconImage read;
        std::memcpy(read.Entry, entry, 12);
        read.Data.assign(image, image + size);
        images.push_back(std::move(read));
    }
    return true;
}

bool BrandStub(ByteBuffer& stub, const Branding& brand, const std::vector<IconImage>& icon,
               std::string& problem)
{
    PeLayout pe;
    u32 section = 0;
    Bytes old{};
    problem = "its resources cannot be rewritten";
    if (!ReadLayout(stub, pe) || !ResourceBytes(stub, pe, section, old) ||
        section + 2 != pe.Sections)
        return false;
    u8* rsrc = stub.data() + pe.Table + std::size_t{SectionEntrySize} * section;
    u8* reloc = rsrc + SectionEntrySize;
    u32 address = Get32(rsrc + 12);
    u32 oldRaw = Get32(rsrc + 16);
    u32 pointer = Get32(rsrc + 20);
    u32 relocAddress = Get32(reloc + 12);
    u32 relocRaw = Get32(reloc + 16);
    u32 relocRva = Directory(stub, pe, DirectoryRelocation, 0);
    // Nothing but .reloc follows, in the file and in memory, and no other directory points
    // into what moves.
    bool movable = Get32(reloc + 20) == pointer + oldRaw && relocRaw != 0 &&
                   u64{Get32(reloc + 20)} + relocRaw == stub.size() && relocRva >= relocAddress &&
                   relocRva < relocAddress + Get32(reloc + 8);
    for (u32 i = 0; i < pe.Directories; ++i)
        movable = movable && (i == DirectoryResource || i == DirectoryRelocation ||
                              Directory(stub, pe, i, 0) < address);
    std::vector<ResourceNode> types;
    if (!movable || !ReadDirectory(old, address, 0, 0, types))
        return false;
    if (!brand.IconPath.empty())
        ReplaceIcon(types, icon);
    if (VersionGiven(brand))
        ReplaceVersion(types, brand);
    SortTree(types);
    ByteBuffer tree = WriteTree(types, address);
    u32 fileAlignment = Get32(stub.data() + pe.Optional + 36);
    u32 sectionAlignment = Get32(stub.data() + pe.Optional + 32);
    if (fileAlignment == 0 || sectionAlignment == 0)
        return false;
    auto size = static_cast<u32>(tree.size());
    u32 raw = Align(size, fileAlignment);
    u32 newRelocAddress = Align(address + size, sectionAlignment);
    // The headers first, while the pointers into the old bytes hold.
    Put32(stub, pe.Table + SectionEntrySize * section + 8, size);
    Put32(stub, pe.Table + SectionEntrySize * section + 16, raw);
    Put32(stub, pe.Table + SectionEntrySize * (section + 1) + 12, newRelocAddress);
    Put32(stub, pe.Table + SectionEntrySize * (section + 1) + 20, pointer + raw);
    Put32(stub, pe.Optional + 96 + 8 * DirectoryResource + 4, size);
    Put32(stub, pe.Optional + 96 + 8 * DirectoryRelocation,
          relocRva - relocAddress + newRelocAddress);
    u32 initialized = Get32(stub.data() + pe.Optional + 8);
    Put32(stub, pe.Optional + 8, initialized - oldRaw + raw);
    Put32(stub, pe.Optional + 56, Align(newRelocAddress + Get32(reloc + 8), sectionAlignment));
    ByteBuffer relocation(stub.begin() + pointer + oldRaw, stub.end());
    stub.resize(pointer);
    stub.insert(stub.end(), tree.begin(), tree.end());
    stub.resize(pointer + raw);
    stub.insert(stub.end(), relocation.begin(), relocation.end());
    Put32(stub, pe.Optional + 64, Checksum(stub, pe.Optional + 64));
    problem.clear();
    return true;
}

// Walks a version resource's blocks, collecting the texts under StringFileInfo.
static void ReadVersionBlock(const ByteBuffer& data, std::size_t at, std::size_t end, int level,
                             bool strings, BrandInfo& info)
{
    while (at + 6 <= end) {
        std::size_t length = Get16(data.data() + at);
        std::size_t valueLength = Get16(data.data() + at + 2);
        std::size_t blockEnd = at + length;
        if (length < 6 || blockEnd > end)
            return;
        std::u16string key;
        std::size_t p = at + 6;
        for (; p + 2 <= blockEnd && Get16(data.data() + p) != 0; p += 2)
            key.push_back(static_cast<char16_t>(Get16(data.data() + p)));
        p = Align(static_cast<u32>(p + 2), 4);
        if (level == 3 && strings) {
            std::u16string value;
            for (std::size_t i = 0; i < valueLength && p + 2 * i + 2 <= blockEnd; ++i)
                if (char16_t c = static_cast<char16_t>(Get16(data.data() + p + 2 * i)); c != 0)
                    value.push_back(c);
            info.VersionTexts.emplace_back(Utf8(key), Utf8(value));
        } else if (level < 3) {
            std::size_t children = Align(static_cast<u32>(p + valueLength), 4);
            ReadVersionBlock(data, children, blockEnd, level + 1,
                             strings || key == u"StringFileInfo", info);
        }
        at = Align(static_cast<u32>(blockEnd), 4);
    }
}

bool ReadBrand(const ByteBuffer& image, BrandInfo& info)
{
    PeLayout pe;
    u32 section = 0;
    Bytes bytes{};
    std::vector<ResourceNode> types;
    if (!ReadLayout(image, pe) || !ResourceBytes(image, pe, section, bytes) ||
        !ReadDirectory(
            bytes, Get32(image.data() + pe.Table + std::size_t{SectionEntrySize} * section + 12), 0,
            0, types))
        return false;
    ResourceNode* groups = FindType(types, TypeGroupIcon);
    if (groups != nullptr && !groups->Children.empty() && !groups->Children[0].Children.empty()) {
        const ByteBuffer& group = groups->Children[0].Children[0].Data;
        std::size_t count = group.size() >= 6 ? Get16(group.data() + 4) : 0;
        for (std::size_t i = 0; i < count && 6 + 14 * i + 14 <= group.size(); ++i) {
            const u8* entry = group.data() + 6 + 14 * i;
            // A width or height of 0 stands for 256.
            info.IconSizes.push_back(std::to_string(entry[0] == 0 ? 256 : entry[0]) + "x" +
                                     std::to_string(entry[1] == 0 ? 256 : entry[1]));
        }
    }
    ResourceNode* version = FindType(types, TypeVersion);
    if (version != nullptr && !version->Children.empty() &&
        !version->Children[0].Children.empty()) {
        const ByteBuffer& data = version->Children[0].Children[0].Data;
        ReadVersionBlock(data, 0, data.size(), 0, false, info);
    }
    return true;
}
