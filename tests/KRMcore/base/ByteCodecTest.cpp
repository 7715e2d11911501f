// The bulk float reader and writer of the byte codec against the value-by-
// value calls they replace in the project files.
#include "ByteCodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using krm::ByteReader;
using krm::ByteWriter;
using krm::Endian;

namespace {

std::vector<float> awkwardFloats()
{
    return {0.0f,
            -0.0f,
            1.0f,
            -2.5f,
            1e-40f /* subnormal */,
            std::numeric_limits<float>::max(),
            std::numeric_limits<float>::infinity(),
            std::numeric_limits<float>::quiet_NaN(),
            123.456f};
}

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(ByteCodec, BulkFloatsAreTheBytesOfSingleFloatsInBothOrders)
{
    const std::vector<float> values = awkwardFloats();
    for (Endian order : {Endian::Big, Endian::Little}) {
        SCOPED_TRACE(order == Endian::Big ? "big-endian" : "little-endian");
        std::vector<uint8_t> single, bulk;
        ByteWriter one(single, order), all(bulk, order);
        one.u8(7);
        all.u8(7);
        for (float v : values)
            one.f32(v);
        all.f32Array(values.data(), values.size());
        ASSERT_EQ(bulk, single);

        ByteReader in(bulk, order);
        uint8_t lead = 0;
        ASSERT_TRUE(in.u8(lead));
        std::vector<float> back(values.size());
        ASSERT_TRUE(in.f32Array(back.data(), back.size()));
        EXPECT_TRUE(in.atEnd());
        for (size_t k = 0; k < values.size(); ++k)
            EXPECT_TRUE(sameBits(back[k], values[k])) << "value " << k;
    }
}

TEST(ByteCodec, BulkFloatsThatDoNotFitReadNothing)
{
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    w.f32Array(awkwardFloats().data(), 3);
    bytes.push_back(0xAB);  // 13 bytes: three floats and one byte over
    struct Row {
        const char* what;
        uint64_t count;
        bool fits;
    };
    const Row rows[] = {
        {"nothing", 0, true},
        {"all three", 3, true},
        {"one more than the bytes hold", 4, false},
        {"a count whose byte size wraps in 64 bits", (uint64_t(1) << 62) + 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ByteReader in(bytes);
        ASSERT_TRUE(in.skip(1));
        float out[4] = {9.0f, 9.0f, 9.0f, 9.0f};
        EXPECT_EQ(in.f32Array(out, row.count), row.fits);
        if (row.fits) {
            EXPECT_EQ(in.pos(), 1 + 4 * row.count);
        } else {
            EXPECT_EQ(in.pos(), 1u);
            EXPECT_EQ(out[0], 9.0f);
        }
    }
}

}  // namespace
