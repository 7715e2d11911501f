#include "CChunkBase.h"
#include "StyleBytes.h"

#include <gtest/gtest.h>

using sb::Bytes;

TEST(ChunkCodec, VarLenWritesTheShortestFormAndReadsItBack)
{
    const struct {
        uint32_t value;
        Bytes bytes;
    } cases[] = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x81, 0x00}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
        {0x10000000, {0x81, 0x80, 0x80, 0x80, 0x00}},
        {0xFFFFFFFF, {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Bytes out;
        CChunkBase::appendVarLen(out, c.value);
        EXPECT_EQ(out, c.bytes);
        uint32_t pos = 0, v = 1;
        EXPECT_EQ(CChunkBase::readVarLen(out.data(), uint32_t(out.size()), &pos, &v), 0u);
        EXPECT_EQ(v, c.value);
        EXPECT_EQ(pos, out.size());
    }
}

TEST(ChunkCodec, VarLenReadEdges)
{
    const Bytes b = {0x81, 0x80, 0x00, 0x55};
    uint32_t pos = 0, v = 0;
    EXPECT_EQ(CChunkBase::readVarLen(b.data(), 4, &pos, &v), 0u);
    EXPECT_EQ(v, 0x4000u);
    EXPECT_EQ(pos, 3u);

    // Ends before the byte with a clear top bit: fails, cursor after what it read.
    pos = 0;
    EXPECT_EQ(CChunkBase::readVarLen(b.data(), 2, &pos, &v), 0x80000002u);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(pos, 2u);
    EXPECT_EQ(CChunkBase::readVarLen(b.data(), 2, &pos, &v), 0x80000002u);  // already at the end

    // Longer than 32 bits keeps the low 32 bits.
    const Bytes longer = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
    pos = 0;
    EXPECT_EQ(CChunkBase::readVarLen(longer.data(), 6, &pos, &v), 0u);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_EQ(CChunkBase::readVarLen(nullptr, 6, &pos, &v), 0x80000001u);
}

TEST(ChunkCodec, TagReads)
{
    const struct {
        Bytes bytes;
        uint32_t result;
        uint8_t id;
        uint32_t posAfter;
    } cases[] = {
        {sb::text("MThd"), 0, 1, 4},
        {sb::text("fmt "), 0, 40, 4},
        {sb::text("data"), 0, 41, 4},
        {sb::text("APt2"), 0, 38, 4},
        {{0x4D, 0x54, 0x68, 0x44}, 0x80000003, 255, 0},  // "MThD"
        {sb::text("MTh"), 0x80000002, 255, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bytes.begin(), c.bytes.end()));
        uint32_t pos = 0;
        uint8_t id = 7;
        EXPECT_EQ(CChunkBase::readChunkTag(c.bytes.data(), uint32_t(c.bytes.size()), &pos, &id), c.result);
        EXPECT_EQ(id, c.id);
        EXPECT_EQ(pos, c.posAfter);
    }
}

TEST(ChunkCodec, EveryTagRoundTripsAndUnknownBytesAreNoTag)
{
    int known = 0;
    for (int id = 0; id < 256; ++id) {
        Bytes out;
        const uint32_t r = CChunkBase::appendChunkTag(out, uint8_t(id));
        if (r) {
            EXPECT_EQ(r, id == 255 ? 0x80000001u : 0x80000002u);
            EXPECT_TRUE(out.empty());
            continue;
        }
        ++known;
        uint32_t pos = 0;
        uint8_t back = 0;
        EXPECT_EQ(CChunkBase::readChunkTag(out.data(), 4, &pos, &back), 0u);
        EXPECT_EQ(back, id);
        EXPECT_TRUE(CChunkBase::isChunkTag(out.data(), 4, uint8_t(id)));
        EXPECT_FALSE(CChunkBase::isChunkTag(out.data(), 4, uint8_t(id == 1 ? 2 : 1)));
    }
    EXPECT_EQ(known, 40);
    const Bytes unknown = sb::text("XYZW");
    EXPECT_FALSE(CChunkBase::isChunkTag(unknown.data(), 4, 1));
    EXPECT_FALSE(CChunkBase::isChunkTag(unknown.data(), 4, 255));
    EXPECT_FALSE(CChunkBase::isChunkTag(unknown.data(), 3, 1));
}

TEST(ChunkCodec, FixedWidthReadsAndWrites)
{
    const Bytes b = {0x12, 0x34, 0x56, 0x78, 0x9A};
    uint32_t pos = 0, v32 = 0;
    EXPECT_EQ(CChunkBase::readUInt32BE(b.data(), 5, &pos, &v32), 0u);
    EXPECT_EQ(v32, 0x12345678u);
    EXPECT_EQ(CChunkBase::readUInt32BE(b.data(), 5, &pos, &v32), 0x80000002u);
    EXPECT_EQ(v32, 0u);
    EXPECT_EQ(pos, 4u);
    pos = 1;
    EXPECT_EQ(CChunkBase::readUInt32LE(b.data(), 5, &pos, &v32), 0u);
    EXPECT_EQ(v32, 0x9A785634u);
    uint16_t v16 = 0;
    pos = 0;
    EXPECT_EQ(CChunkBase::readUInt16BE(b.data(), 5, &pos, &v16), 0u);
    EXPECT_EQ(v16, 0x1234u);
    EXPECT_EQ(CChunkBase::readUInt16LE(b.data(), 5, &pos, &v16), 0u);
    EXPECT_EQ(v16, 0x7856u);
    uint8_t v8 = 0;
    EXPECT_EQ(CChunkBase::readUInt8(b.data(), 5, &pos, &v8), 0u);
    EXPECT_EQ(v8, 0x9Au);
    EXPECT_EQ(CChunkBase::readUInt8(b.data(), 5, &pos, &v8), 0x80000002u);
    EXPECT_EQ(CChunkBase::readUInt8(nullptr, 5, &pos, &v8), 0x80000001u);
    // A cursor beyond the size is refused, not wrapped.
    pos = 0xFFFFFFFE;
    EXPECT_EQ(CChunkBase::readUInt32BE(b.data(), 5, &pos, &v32), 0x80000002u);

    Bytes out;
    CChunkBase::appendUInt32BE(out, 0x01020304);
    CChunkBase::appendUInt16BE(out, 0x0506);
    CChunkBase::appendUInt8(out, 7);
    EXPECT_EQ(out, (Bytes {1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(CChunkBase::putUInt32BE(out.data(), out.size(), 3, 0xAABBCCDD), 0u);
    EXPECT_EQ(out, (Bytes {1, 2, 3, 0xAA, 0xBB, 0xCC, 0xDD}));
    EXPECT_EQ(CChunkBase::putUInt32BE(out.data(), out.size(), 4, 0), 0x80000002u);
    EXPECT_EQ(CChunkBase::putUInt32BE(nullptr, 8, 0, 0), 0x80000001u);
}

TEST(ChunkCodec, ChunkFraming)
{
    Bytes c;
    ASSERT_EQ(CChunkBase::beginChunk(c, kChunkAdat), 0u);
    ASSERT_EQ(CChunkBase::finishChunk(c), 0u);
    EXPECT_EQ(c, sb::chunk("Adat", {}));

    ASSERT_EQ(CChunkBase::beginChunk(c, kChunkSdec), 0u);
    const Bytes body = sb::text("Main A");
    c.insert(c.end(), body.begin(), body.end());
    ASSERT_EQ(CChunkBase::finishChunk(c), 0u);
    EXPECT_EQ(c, sb::chunk("Sdec", body));

    // Body bounds are checked in 64 bits: a huge length cannot wrap.
    const Bytes huge = sb::cat({sb::be32(0xFFFFFFFC), {1, 2, 3, 4}});
    uint32_t pos = 0, end = 0;
    EXPECT_EQ(CChunkBase::readBodyBounds(huge.data(), uint32_t(huge.size()), &pos, &end, true), 0x80000004u);
    EXPECT_EQ(pos, 0u);
    const Bytes empty = sb::be32(0);
    EXPECT_EQ(CChunkBase::readBodyBounds(empty.data(), 4, &pos, &end, true), 0x80000003u);
    EXPECT_EQ(CChunkBase::readBodyBounds(empty.data(), 4, &pos, &end, false), 0u);
    EXPECT_EQ(end, 4u);
}
