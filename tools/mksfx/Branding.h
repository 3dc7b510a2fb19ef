// The program's icon and version information, written into the stub's resource section before
// anything follows the stub, so that a signature made afterwards covers them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ZipWrite.h"

constexpr std::size_t BrandTextLimit = 1024;     // UTF-8 bytes per version text
constexpr std::size_t IconFileLimit = 1u << 20;  // 1 MiB for the whole .ico file
constexpr std::size_t IconImageLimit = 64;

struct Branding
{
    std::string IconPath;
    std::string Product;
    std::string ProductVersion;  // as given: up to four numbers
    u16 Version[4] = {};
    std::string Company;
    std::string Description;
    std::string Copyright;
};

// One image of an icon: its directory entry's first 12 bytes and its PNG or DIB bytes.
struct IconImage
{
    u8 Entry[12] = {};
    ByteBuffer Data;
};

// What a program's resources carry, for --test.
struct BrandInfo
{
    std::vector<std::string> IconSizes;                             // "16x16", one per image
    std::vector<std::pair<std::string, std::string>> VersionTexts;  // UTF-8 key and value
};

bool BrandGiven(const Branding& brand);
// Up to four dot-separated numbers of 0 to 65535 into version; false for anything else.
bool ParseProductVersion(const std::string& text, u16 version[4]);
// The images of an .ico file, or false with why it cannot be one.
bool ParseIcon(const ByteBuffer& file, std::vector<IconImage>& images, std::string& problem);
// The stub with its icon and version information replaced, or false with why it cannot be.
bool BrandStub(ByteBuffer& stub, const Branding& brand, const std::vector<IconImage>& icon,
               std::string& problem);
// The icon and version texts a program carries; false when its resources cannot be read.
bool ReadBrand(const ByteBuffer& image, BrandInfo& info);
