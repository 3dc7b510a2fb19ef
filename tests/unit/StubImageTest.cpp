// The built stub's own header, under Wine: a base address the system may choose, with the
// relocations that need, and no code run from data pages.
#include <gtest/gtest.h>

#include "support/TestFiles.h"

#if defined(_WIN32)
TEST(StubImage, AllowsAddressRandomizationAndDataExecutionPrevention)
{
    Bytes image = ReadBytes("sfx.exe");  // the tests run in the build folder
    ASSERT_GT(image.size(), 0x400u);
    auto read16 = [&](std::size_t at) { return image.at(at) | image.at(at + 1) << 8; };
    auto read32 = [&](std::size_t at) {
        return static_cast<unsigned>(read16(at)) | static_cast<unsigned>(read16(at + 2)) << 16;
    };
    std::size_t pe = read32(0x3C);
    ASSERT_EQ(read32(pe), 0x4550u);
    unsigned characteristics = static_cast<unsigned>(read16(pe + 22));
    EXPECT_EQ(characteristics & IMAGE_FILE_RELOCS_STRIPPED, 0u);
    std::size_t optional = pe + 24;
    ASSERT_EQ(read16(optional), 0x10B) << "PE32";
    unsigned dll = static_cast<unsigned>(read16(optional + 70));
    EXPECT_NE(dll & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, 0u);
    EXPECT_NE(dll & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, 0u);
    // The base relocation directory, sixth of the data directories, is there and not empty.
    std::size_t relocations = optional + 96 + 5 * 8;
    EXPECT_NE(read32(relocations), 0u);
    EXPECT_GT(read32(relocations + 4), 8u);
}
#endif
