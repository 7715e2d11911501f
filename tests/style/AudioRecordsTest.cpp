#include "CAudioRecords.h"
#include "StyleBytes.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

Bytes atabBody(const CAtabData& t)
{
    Bytes b;
    t.encodeAtabBody(b);
    return b;
}

// An "Atab" body by hand: channel, blank name, outChannel, the text, the
// masks, bytes 18 to 21, the ranges (value 4 = 127), zeros, tail flag 0.
Bytes atabByHand(uint8_t channel, uint8_t outChannel, uint8_t byte10, Bytes mask11, Bytes mask13,
                 const std::string& text = "")
{
    Bytes text50(50, 0);
    std::copy(text.begin(), text.end(), text50.begin());
    const Bytes range = {0, 0, 0, 0, 127, 0};
    return sb::cat({{channel},
                    sb::text("        "),
                    {outChannel},
                    text50,
                    {byte10},
                    mask11,
                    mask13,
                    {0, 0, 0, 127},
                    range,
                    range,
                    range,
                    Bytes(7, 0)});
}

std::vector<std::pair<uint8_t, Bytes>> controllers(const CTrk& t)
{
    std::vector<std::pair<uint8_t, Bytes>> out;
    for (const auto& e : t.events) {
        uint8_t status = 0, b[4];
        e->getStatus(&status);
        e->getBytes(b);
        if (status == kStatusController)
            out.emplace_back(status, Bytes(b, b + 2));
    }
    return out;
}

}  // namespace

TEST(AudioRecords, AtabDefaults)
{
    CAtabData constructed;
    EXPECT_EQ(atabBody(constructed), atabByHand(0, 0, 0, {0, 0}, {0, 0, 0, 0, 0}));
    EXPECT_TRUE(constructed.isTag("Atab"));
    EXPECT_EQ(atabBody(constructed).size(), 97u);

    for (uint8_t n : {0, 5, 15}) {
        SCOPED_TRACE(int(n));
        CAtabData t;
        ASSERT_EQ(t.initDefault(n), 0u);
        EXPECT_EQ(atabBody(t), atabByHand(n, 0x29, 1, {0x0F, 0xFF}, {0x07, 0xFF, 0xFF, 0xFF, 0xFF}));
    }
    CAtabData t;
    t.initDefault(3);
    EXPECT_EQ(t.initDefault(16), 0x80000002u);
    EXPECT_EQ(atabBody(t), atabBody(constructed));

    // The text, and the tail once its flag is set: 99 + 2 x pairs bytes.
    ASSERT_EQ(t.setText50("take one", 8), 0u);
    EXPECT_TRUE(t.text50Equals("take one", 8));
    EXPECT_FALSE(t.text50Equals("take on", 7));
    EXPECT_EQ(t.setText50(nullptr, 3), 0x80000001u);
    t.setTailFlag(1);
    t.setPair(1, 0xA0, 0xB0);
    const Bytes tailed = atabBody(t);
    ASSERT_EQ(tailed.size(), 103u);
    EXPECT_EQ(Bytes(tailed.begin() + 96, tailed.end()), (Bytes {1, 0, 0, 0, 0, 0xA0, 0xB0}));
}

TEST(AudioRecords, MixerTrack)
{
    CAMixData mix;
    EXPECT_EQ(mix.setVolume(100), 0x80000021u);  // no track yet
    EXPECT_EQ(mix.ensureEndOfTrack(), 0x80000001u);
    const uint8_t ts4[4] = {4, 2, 24, 8};
    EXPECT_EQ(mix.setTimeSignature(ts4, 4), 0x80000002u);
    EXPECT_EQ(mix.setTimeSignature(ts4, 3), 0x80000001u);

    ASSERT_EQ(mix.resetTrack(), 0u);
    ASSERT_EQ(mix.setVolume(100), 0u);
    ASSERT_EQ(mix.setVolume(100), 0u);
    EXPECT_EQ(controllers(*mix.getTrack()), (std::vector<std::pair<uint8_t, Bytes>> {{0xB0, {7, 100}}}));
    ASSERT_EQ(mix.setPan(64), 0u);
    ASSERT_EQ(mix.setReverb(10), 0u);
    ASSERT_EQ(mix.setVolume(90), 0u);
    EXPECT_EQ(controllers(*mix.getTrack()),
              (std::vector<std::pair<uint8_t, Bytes>> {{0xB0, {7, 90}}, {0xB0, {10, 64}}, {0xB0, {91, 10}}}));

    // A time signature of another length is not replaced but joined.
    CAMixData other;
    other.resetTrack();
    const uint8_t ts3[3] = {3, 2, 24};
    other.getTrack()->addEvent(makeDataEvent(kStatusMeta, kMetaTimeSignature, 0, ts3, 3));
    ASSERT_EQ(other.setTimeSignature(ts4, 4), 0u);
    ASSERT_EQ(other.getTrack()->events.size(), 2u);
    const uint8_t ts4b[4] = {3, 3, 24, 8};
    ASSERT_EQ(other.setTimeSignature(ts4b, 4), 0u);
    ASSERT_EQ(other.getTrack()->events.size(), 2u);
    EXPECT_EQ(
        Bytes(other.getTrack()->events.back()->dataBytes(), other.getTrack()->events.back()->dataBytes() + 4),
        Bytes(ts4b, ts4b + 4));

    ASSERT_EQ(other.ensureEndOfTrack(), 0u);
    ASSERT_EQ(other.ensureEndOfTrack(), 0u);
    EXPECT_EQ(other.getTrack()->events.size(), 3u);
    EXPECT_TRUE(other.getTrack()->lastEvent()->isMeta(kMetaEndOfTrack));
}
