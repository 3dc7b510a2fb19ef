#include "support/ZlibOracle.h"

#include <gtest/gtest.h>
#include <zlib.h>

Bytes ZlibDeflate(const Bytes& data, int level, int strategy)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

u32 ZlibCrc(const Bytes& data)
{
    return static_cast<u32>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}
