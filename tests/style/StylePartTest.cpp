#include "CSmfStyle.h"
#include "StyleBytes.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

// Reads one table chunk (tag included) into a fresh section.
uint32_t readTableChunk(const Bytes& chunk, CSection& section, uint32_t* posOut = nullptr)
{
    uint32_t pos = 0;
    uint8_t id = 0;
    const uint32_t size = uint32_t(chunk.size());
    EXPECT_EQ(CChunkBase::readChunkTag(chunk.data(), size, &pos, &id), 0u);
    const uint32_t r = id == kChunkCtab ? CSmfStyle::readCtab(chunk.data(), size, &pos, &section)
                                        : CSmfStyle::readCtb2(chunk.data(), size, &pos, &section);
    if (posOut)
        *posOut = pos;
    return r;
}

Bytes writeTableChunk(const CCtabData& t)
{
    Bytes out;
    const uint32_t r = t.isTag("Ctab") ? CSmfStyle::writeCtab(out, &t) : CSmfStyle::writeCtb2(out, &t);
    EXPECT_EQ(r, 0u);
    return out;
}

uint8_t rangeValue(const CCtabData& t, uint8_t r, uint8_t g)
{
    uint8_t v = 0;
    EXPECT_EQ(t.getRangeValue(r, g, &v), 0u);
    return v;
}

}  // namespace

TEST(StylePart, Ctb2RoundTripsAndDropsATailItsFlagDoesNotCover)
{
    CSection s;
    const Bytes plain = sb::chunk("Ctb2", sb::ctb2Body(5));
    ASSERT_EQ(readTableChunk(plain, s), 0u);
    ASSERT_EQ(s.ctabs.size(), 1u);
    uint8_t pairs = 9;
    s.ctabs[0]->getPairCount(&pairs);
    EXPECT_EQ(pairs, 0);
    // Range-major in the body: value g of range r sits at 22 + 6r + g (numbered k + 1).
    EXPECT_EQ(rangeValue(*s.ctabs[0], 0, 0), 23);
    EXPECT_EQ(rangeValue(*s.ctabs[0], 2, 5), 23 + 17);
    EXPECT_EQ(rangeValue(*s.ctabs[0], 1, 1), 23 + 7);
    EXPECT_EQ(writeTableChunk(*s.ctabs[0]), plain);

    // Flag 0 with a tail word and two pairs: read, then no longer written.
    const Bytes tailed = sb::chunk("Ctb2", sb::cat({sb::ctb2Body(5), {0xA1, 0xA2, 1, 2, 3, 4}}));
    CSection s2;
    uint32_t pos = 0;
    ASSERT_EQ(readTableChunk(tailed, s2, &pos), 0u);
    EXPECT_EQ(pos, tailed.size());
    s2.ctabs[0]->getPairCount(&pairs);
    EXPECT_EQ(pairs, 2);
    uint8_t a = 0, b = 0;
    s2.ctabs[0]->getPair(1, &a, &b);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 4);
    EXPECT_EQ(writeTableChunk(*s2.ctabs[0]), plain);

    // With the flag set the tail is written: 49 + 2 x pairCount bytes.
    s2.ctabs[0]->setTailFlag(1);
    const Bytes withTail = writeTableChunk(*s2.ctabs[0]);
    Bytes body = sb::cat({sb::ctb2Body(5, 1), {0xA1, 0xA2, 1, 2, 3, 4}});
    EXPECT_EQ(withTail, sb::chunk("Ctb2", body));
}

TEST(StylePart, CtabIsReadIntoAllRangesAndWrittenWithTheMiddleOne)
{
    CSection s;
    const Bytes ctab = sb::chunk("Ctab", sb::ctabBody(3));
    ASSERT_EQ(readTableChunk(ctab, s), 0u);
    const CCtabData& t = *s.ctabs[0];
    EXPECT_TRUE(t.isTag("Ctab"));
    for (uint8_t r = 0; r < 3; ++r)
        for (uint8_t g = 0; g < 6; ++g)
            EXPECT_EQ(rangeValue(t, r, g), 21 + g);
    EXPECT_EQ(writeTableChunk(t), ctab);

    CCtabData changed = t;
    changed.setRangeValue(0, 2, 0x70);  // ranges 0 and 2 are not written
    changed.setRangeValue(1, 3, 0x71);
    Bytes expect = sb::ctabBody(3);
    expect[20 + 3] = 0x71;
    EXPECT_EQ(writeTableChunk(changed), sb::chunk("Ctab", expect));
}

TEST(StylePart, ShortOrDamagedTableChunks)
{
    const struct {
        const char* what;
        Bytes chunk;
        uint32_t code;
    } cases[] = {
        {"length 0", sb::chunk("Ctb2", {}), 0x80000003},
        {"body past the buffer", sb::cat({sb::text("Ctb2"), sb::be32(47), Bytes(10)}), 0x80000004},
        {"Ctb2 cut in the range values", sb::chunk("Ctb2", Bytes(30)), 0x8000002B},
        {"Ctb2 without a tail flag", sb::chunk("Ctb2", Bytes(46)), 0x8000002E},
        {"Ctab cut in the first fields", sb::chunk("Ctab", Bytes(5)), 0x80000027},
        {"Ctab without a tail flag", sb::chunk("Ctab", Bytes(26)), 0x80000029},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSection s;
        // What follows the chunk must never be taken into its fields.
        const Bytes withNext = sb::cat({c.chunk, sb::cntt(1, 2)});
        EXPECT_EQ(readTableChunk(withNext, s), c.code);
        EXPECT_TRUE(s.ctabs.empty());
    }
}

TEST(StylePart, SdecNamesAndCnttRecords)
{
    CSection s;
    const Bytes sdec = sb::sdec("Main A,,Fill In AA,");
    uint32_t pos = 4;
    ASSERT_EQ(CSmfStyle::readSdec(sdec.data(), uint32_t(sdec.size()), &pos, &s), 0u);
    EXPECT_EQ(s.names, (std::vector<std::string> {"Main A", "Fill In AA"}));
    EXPECT_EQ(pos, sdec.size());

    Bytes out;
    ASSERT_EQ(CSmfStyle::writeSdec(out, &s), 0u);
    EXPECT_EQ(out, sb::sdec("Main A,Fill In AA"));
    EXPECT_EQ(out.size() - 8, 17u);

    const Bytes empty = sb::sdec("");
    pos = 4;
    EXPECT_EQ(CSmfStyle::readSdec(empty.data(), uint32_t(empty.size()), &pos, &s), 0x80000003u);

    const Bytes cntt = sb::cntt(2, 0x81);
    pos = 4;
    ASSERT_EQ(CSmfStyle::readCntt(cntt.data(), uint32_t(cntt.size()), &pos, &s), 0u);
    out.clear();
    ASSERT_EQ(CSmfStyle::writeCntt(out, s.cntts[0].get()), 0u);
    EXPECT_EQ(out, cntt);
    // A one-byte record does not borrow its value from the next chunk.
    const Bytes shortCntt = sb::cat({sb::chunk("Cntt", {2}), sb::sdec("X")});
    pos = 4;
    EXPECT_EQ(CSmfStyle::readCntt(shortCntt.data(), uint32_t(shortCntt.size()), &pos, &s), 0x80000026u);
}

TEST(StylePart, DefaultSectionAndTheOlderFormConversions)
{
    CSection s;
    ASSERT_EQ(s.initDefault(), 0u);
    EXPECT_EQ(s.names, std::vector<std::string> {"Dummy"});
    ASSERT_EQ(s.ctabs.size(), 16u);
    ASSERT_EQ(s.cntts.size(), 16u);
    for (uint8_t n = 0; n < 16; ++n) {
        SCOPED_TRACE(int(n));
        const CCtabData& t = *s.ctabs[n];
        uint8_t channel = 0, out = 0, pairs = 0, value = 0;
        t.getChannel(&channel);
        t.getOutChannel(&out);
        t.getPairCount(&pairs);
        EXPECT_EQ(channel, n);
        EXPECT_EQ(out, 8 + n % 8);
        EXPECT_EQ(pairs, 4);
        EXPECT_TRUE(t.isTag("Ctb2"));
        s.cntts[n]->getChannel(&channel);
        s.cntts[n]->getValue(&value);
        EXPECT_EQ(channel, n);
        EXPECT_EQ(value, rangeValue(t, 1, 1));
        // The written table is the default image's chunk, tail flag 0.
        EXPECT_EQ(writeTableChunk(t), Bytes(defaultCtabRecord(n), defaultCtabRecord(n) + 55));
    }
    uint8_t bass = 0;
    s.cntts[2]->getValue(&bass);
    EXPECT_EQ(bass, 0x81);
    // The Bass table by hand: name, masks and its range values.
    const Bytes bassBody = {2,    'B',  'a',  's',  's',  ' ',  ' ',  ' ',  ' ',  10,   0,    0x0F,
                            0xFF, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0x00, 0x7F, 0x00, 0x81,
                            0x03, 0x1C, 0x7F, 0x04, 0x00, 0x81, 0x03, 0x1C, 0x7F, 0x04, 0x00, 0x81,
                            0x03, 0x1C, 0x7F, 0x04, 0,    0,    0,    0,    0,    0,    0};
    EXPECT_EQ(writeTableChunk(*s.ctabs[2]), sb::chunk("Ctb2", bassBody));
    EXPECT_EQ(defaultCtabRecord(16), nullptr);
    CCtabData t;
    EXPECT_EQ(t.initDefault(16), 0x80000002u);

    // Post-load: a record's value goes to value 1 of all three ranges of its table.
    s.cntts[3]->setValue(0x42);
    s.cntts[4]->setChannel(40);  // no table of that channel: passed over
    ASSERT_EQ(s.sff1PostLoad(), 0u);
    for (uint8_t r = 0; r < 3; ++r)
        EXPECT_EQ(rangeValue(*s.ctabs[3], r, 1), 0x42);

    // Pre-save: one record per table, from the middle range.
    CSection three;
    for (uint8_t n = 0; n < 3; ++n) {
        auto table = std::make_unique<CCtabData>();
        table->initDefault(n);
        table->setRangeValue(1, 1, uint8_t(0x60 + n));
        three.addCtabData(table.release());
    }
    for (uint8_t n = 0; n < 5; ++n)
        three.addCnttData(new CCnttData);
    ASSERT_EQ(three.sff1PreSave(), 0u);
    ASSERT_EQ(three.cntts.size(), 3u);
    for (uint8_t n = 0; n < 3; ++n) {
        uint8_t channel = 0, value = 0;
        three.cntts[n]->getChannel(&channel);
        three.cntts[n]->getValue(&value);
        EXPECT_EQ(channel, n);
        EXPECT_EQ(value, 0x60 + n);
    }
}

TEST(StylePart, TableAccessors)
{
    CCtabData t;
    uint8_t buf[8];
    uint32_t size = 8;
    ASSERT_EQ(t.getName(buf, &size), 0u);
    EXPECT_EQ(Bytes(buf, buf + 8), sb::text("        "));
    ASSERT_EQ(t.setName("Bass", 4), 0u);
    size = 3;
    ASSERT_EQ(t.getName(buf, &size), 0u);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(Bytes(buf, buf + 3), sb::text("Bas"));
    size = 100;
    ASSERT_EQ(t.getName(buf, &size), 0u);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(Bytes(buf, buf + 8), sb::text("Bass    "));
    size = 0;
    EXPECT_EQ(t.getMask13(buf, &size), 0x80000001u);
    EXPECT_EQ(t.setMask11(nullptr, 2), 0x80000001u);
    EXPECT_EQ(t.setRangeValue(3, 0, 1), 0x80000001u);
    EXPECT_EQ(t.setPair(4, 1, 1), 0x80000001u);
    ASSERT_EQ(t.setPair(2, 7, 8), 0u);
    uint8_t pairs = 0;
    t.getPairCount(&pairs);
    EXPECT_EQ(pairs, 3);
}

TEST(StylePart, SectionIdFromName)
{
    const struct {
        std::string text;
        uint32_t result;
        uint8_t id;
    } cases[] = {
        {"Main A", 0, 0},
        {"MA", 0, 0},
        {"Main B and more", 0, 6},
        {"Fill In AA", 0, 1},
        {"Fill In BA", 0, 8},
        {"FBA", 0, 8},
        {"Fill In DC", 0, 20},
        {"Intro A", 0, 3},
        {"Ending C", 0, 16},
        {"Intro D", 0, 21},
        {"Break D", 0, 23},
        {"Break Fill", 0, 8},
        {"Break", 0, 5},
        {"Break A", 0, 5},
        {"Ma", 0x80000002, 24},
        {"Main", 0x80000002, 24},
        {"main A", 0x80000002, 24},
        {"", 0x80000001, 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        uint8_t id = 99;
        EXPECT_EQ(CSmfStyle::sectionIdFromName(c.text.data(), uint32_t(c.text.size()), &id), c.result);
        EXPECT_EQ(id, c.id);
    }
    // Only the given length counts, not what follows it in memory.
    uint8_t id = 0;
    EXPECT_EQ(CSmfStyle::sectionIdFromName("Main A", 4, &id), 0x80000002u);
    EXPECT_EQ(CSmfStyle::sectionIdFromName(nullptr, 4, &id), 0x80000001u);
}
