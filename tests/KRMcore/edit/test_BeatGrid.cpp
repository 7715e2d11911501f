// Beat grid: conversions, beat indices and addresses, bar lines, bar
// length, tempo range, point compensation and the rendered-section buffers.
#include "EditFixture.h"

#include <gtest/gtest.h>

using namespace edit_test;

TEST(BeatGridConversion, SecondsToSamplesRoundsUpAndClamps)
{
    EXPECT_EQ(secondsToSamples(1.0f), 44100u);
    EXPECT_EQ(secondsToSamples(0.5f), 22050u);
    EXPECT_EQ(secondsToSamples(1.0f / 44100.0f), 1u);  // any fraction of a frame counts as one
    EXPECT_EQ(secondsToSamples(0.0f), 0u);
    EXPECT_EQ(secondsToSamples(-3.0f), 0u);
    EXPECT_EQ(secondsToSamples(std::nanf("")), 0u);
    EXPECT_EQ(secondsToSamples(1.0e6f), 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(samplesToSeconds(88200), 2.0f);
}

namespace {

// Five entries 1000 frames apart: toggle 0 has beats at entries 0, 2, 4,
// toggle 1 at entries 1, 3.
class GridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        core.addWave(makeWave({1000, 2000, 3000, 4000, 5000}));
        core.addWave(makeWave({1000}));                 // toggle 1 has no beat
        core.addWave(makeWave({1000, 2000, 3000}, 2));  // step 2: toggle 1 beat 0 is entry 2
    }
    TestCore core;
};

}  // namespace

TEST_F(GridTest, BeatIndexAtAddress)
{
    struct Case {
        uint8_t w, toggle;
        uint32_t address;
        uint32_t code, index;
    } cases[] = {
        {0, 0, 3000, 0, 1},                    // exact hit
        {0, 0, 2000, 0, 1},                    // midpoint: the later beat
        {0, 0, 1999, 0, 0},                    // nearer the earlier beat
        {0, 0, 500, 0, 0},                     // before the first beat
        {0, 0, 9000, 0, 2},                    // after the last beat
        {0, 1, 3000, 0, 1},                    // odd grid, midpoint
        {0, 1, 9999, 0, 1},                    // odd grid, after its last beat
        {1, 1, 1000, 0x80000002, 0xFFFFFFFF},  // toggle-1 grid of one entry has no beats
        {1, 0, 800, 0, 0},
        {2, 1, 5000, 0, 0},                 // step 2: entry 2 is the odd grid's only beat
        {9, 0, 0, 0x80000011, 0xFFFFFFFF},  // no such wave
    };
    for (const Case& c : cases) {
        uint32_t index = 7;
        EXPECT_EQ(core.beatIndexAtAddress(c.w, c.toggle, c.address, index), c.code)
            << int(c.w) << "/" << int(c.toggle) << "/" << c.address;
        EXPECT_EQ(index, c.index) << int(c.w) << "/" << int(c.toggle) << "/" << c.address;
    }
}

TEST_F(GridTest, BeatAddressAndSnap)
{
    struct Case {
        uint8_t w, toggle;
        uint32_t beat, code, address;
    } cases[] = {
        {0, 0, 0, 0, 1000},       {0, 0, 2, 0, 5000},
        {0, 0, 3, 0x80000003, 0}, {0, 1, 1, 0, 4000},
        {0, 1, 2, 0x80000003, 0}, {2, 1, 0, 0, 3000},
        {1, 1, 0, 0x80000003, 0}, {0, 0, 0xFFFFFFFF, 0x80000003, 0},
    };
    for (const Case& c : cases) {
        uint32_t a = 9;
        EXPECT_EQ(core.getBeatAdrs(c.w, c.toggle, c.beat, a), c.code) << c.beat;
        EXPECT_EQ(a, c.address) << c.beat;
    }
    uint32_t snapped = 0;
    EXPECT_EQ(core.snapToBeat(0, 1, 2600, snapped), 0u);
    EXPECT_EQ(snapped, 2000u);
    EXPECT_EQ(core.snapToBeat(1, 1, 2600, snapped), 0x80000021u);  // index failure nested at step 1

    std::vector<SegmentMark> marks = {{secAt(1400), 3}, {secAt(4100), 5}};
    EXPECT_EQ(core.snapSegMarksToBeats(marks, 0, 0), 0u);
    EXPECT_EQ(marks[0].time, samplesToSeconds(1000));
    EXPECT_EQ(marks[1].time, samplesToSeconds(5000));
    EXPECT_EQ(marks[1].label, 5);
    std::vector<SegmentMark> none = {{secAt(1400), 1}};
    EXPECT_EQ(core.snapSegMarksToBeats(none, 1, 1), 0x80000022u);  // a grid without beats
    EXPECT_EQ(none[0].time, secAt(1400));
}

TEST(BeatGridOffset, NearestBeatOffsetCountsHalfBeatsForAnyStep)
{
    TestCore core;
    core.addWave(makeWave(evenAdrs(5, 1000, 1000)));    // step 1
    core.addWave(makeWave(evenAdrs(9, 1000, 500), 2));  // step 2: same half beats
    struct Case {
        uint32_t k, address, code;
        uint8_t back;
        int32_t distance;
    } cases[] = {
        {2, 3000, 0, 2, 0},     // on a half beat
        {2, 3300, 0, 2, -300},  // nearer the lower entry
        {2, 3500, 0, 2, -500},  // tie: the lower entry
        {2, 3700, 0, 1, 300},   // nearer the upper entry
        {2, 500, 0, 4, 500},    // before every entry: back to the first
        {0, 800, 0, 0, 200},
        {2, 6000, 0, 255, 0},  // beat k already lies before the address: -1, no distance
        {1, 3000, 0, 0, 0},    // on beat k itself
        {3, 3000, 0x80000002, 0, 0},
    };
    for (uint8_t w = 0; w < 2; ++w) {
        for (const Case& c : cases) {
            uint8_t back = 99;
            int32_t distance = 99;
            EXPECT_EQ(core.nearestBeatOffset(w, 0, c.k, c.address, back, distance), c.code)
                << int(w) << " " << c.k << " " << c.address;
            EXPECT_EQ(back, c.back) << int(w) << " " << c.k << " " << c.address;
            EXPECT_EQ(distance, c.distance) << int(w) << " " << c.k << " " << c.address;
        }
    }
    // Odd grid: beat 2 would be entry 5 of a 5-entry list.
    uint8_t back = 0;
    int32_t distance = 0;
    EXPECT_EQ(core.nearestBeatOffset(0, 1, 2, 3000, back, distance), 0x80000002u);
    EXPECT_EQ(core.nearestBeatOffset(0, 1, 1, 3300, back, distance), 0u);
    EXPECT_EQ(back, 1);
    EXPECT_EQ(distance, -300);
}

TEST(BeatGridMeter, ADamagedTimeSignatureFailsInsteadOfLoopingOrDividing)
{
    TestCore core;
    core.addWave(makeWave(evenAdrs(40, 1000, 1000)));
    ASSERT_EQ(core.updateSecInfo(3, section(0, 5000, 25000)), 0u);
    CommonInfo bad;
    bad.beatsPerBar = 0;
    bad.beatUnit = 0;
    core.getProjectInfo()->setCommonInfo(bad);
    uint32_t r = 0;
    EXPECT_EQ(core.prevBarBeat(3, 8, r), 0x80000002u);
    EXPECT_EQ(core.nextBarBeat(3, 8, r), 0x80000002u);
    uint8_t verdict = 0;
    EXPECT_EQ(core.checkBeatRange(1, {1.0f}, verdict), 0x80000001u);
    uint32_t tempo = 0;
    EXPECT_EQ(core.calcSecTempo(3, tempo), 0x80000006u);
    SectionRecord s = section(0, 5000, 25000);
    EXPECT_EQ(core.setPickup(3, s), 0x80000007u);
}

TEST(BeatGridBars, PrevAndNextBarBeat)
{
    // Beat k at 1000 + 2000k (20 beats); section 3 starts on beat 2, so its
    // bar lines are beats 2, 6, 10, 14, 18.
    TestCore core;
    core.addWave(makeWave(evenAdrs(40, 1000, 1000)));
    SectionRecord s = section(0, 5000, 25000);
    ASSERT_EQ(core.updateSecInfo(3, s), 0u);
    struct Case {
        uint32_t k, prevCode, prev, nextCode, next;
    } cases[] = {
        {8, 0, 6, 0, 10},
        {10, 0, 6, 0, 14},   // a bar line's previous is the one before
        {1, 0, 1, 0, 2},     // before the first bar line: prev stays k
        {19, 0, 18, 0, 19},  // no bar line after: next stays k
    };
    for (const Case& c : cases) {
        uint32_t r = 0;
        EXPECT_EQ(core.prevBarBeat(3, c.k, r), c.prevCode) << c.k;
        EXPECT_EQ(r, c.prev) << c.k;
        EXPECT_EQ(core.nextBarBeat(3, c.k, r), c.nextCode) << c.k;
        EXPECT_EQ(r, c.next) << c.k;
    }
    uint32_t r = 0;
    EXPECT_EQ(core.prevBarBeat(4, 8, r), 0x80000121u);   // section without a wave
    EXPECT_EQ(core.nextBarBeat(3, 25, r), 0x80000034u);  // beat beyond the list
}

TEST(BeatGridBars, EstimateBarLen)
{
    TestCore core;
    core.addWave(makeWave(evenAdrs(9, 22050, 22050)));  // 0.5 s half beats: beats 1 s apart
    core.addWave(makeWave(evenAdrs(9, 22050, 22050), 2));
    core.addWave(makeWave({44100, 66150, 88200, 110250, 132300, 154350, 176400, 198450, 264600}));
    core.addWave(makeWave({44100}));
    EXPECT_EQ(core.estimateBarLen(0), 0u);
    EXPECT_FLOAT_EQ(core.wave(0).barLength, 4.0f);
    EXPECT_EQ(core.estimateBarLen(1), 0u);
    EXPECT_FLOAT_EQ(core.wave(1).barLength, 8.0f);
    // Intervals 1, 1, 1, 3 seconds: the outlier is left out of the mean.
    EXPECT_EQ(core.estimateBarLen(2), 0u);
    EXPECT_FLOAT_EQ(core.wave(2).barLength, 4.0f);
    EXPECT_EQ(core.estimateBarLen(3), 0x80000002u);
    EXPECT_EQ(core.estimateBarLen(4), 0x80000011u);

    ASSERT_EQ(core.setTimeSignature(3, 4), 0u);
    EXPECT_EQ(core.estimateBarLen(0), 0u);
    EXPECT_FLOAT_EQ(core.wave(0).barLength, 3.0f);
}

TEST(BeatGridRange, CheckBeatRangeLimits)
{
    TestCore core;
    // Samples per beat = (last address / entries) * step * 2, so they come
    // in even counts: 5292 is the fastest beat at 4/4, the next below fails.
    struct Case {
        std::vector<uint32_t> adrs;
        uint16_t step;
        uint8_t verdict;
    } cases[] = {
        {{2646}, 1, 0},   {{2645}, 1, 1},   {{1000, 5292}, 1, 0},
        {{1323}, 2, 0},   {{264600}, 1, 0},  // 529200 per beat: the slowest
        {{264601}, 1, 2}, {{132301}, 2, 2},
    };
    for (const Case& c : cases) {
        uint8_t verdict = 9;
        EXPECT_EQ(core.checkBeatRange(c.step, timesAt(c.adrs), verdict), 0u) << c.adrs.back();
        EXPECT_EQ(verdict, c.verdict) << c.adrs.back();
    }
    uint8_t verdict = 9;
    EXPECT_EQ(core.checkBeatRange(1, {}, verdict), 0x80000002u);  // no beats: no tempo to check
    EXPECT_EQ(verdict, 0);

    ASSERT_EQ(core.setTimeSignature(6, 8), 0u);  // limits halve with an eighth-note beat
    EXPECT_EQ(core.checkBeatRange(1, timesAt({1323}), verdict), 0u);
    EXPECT_EQ(verdict, 0);
    EXPECT_EQ(core.checkBeatRange(1, timesAt({1322}), verdict), 0u);
    EXPECT_EQ(verdict, 1);
}

TEST(BeatGridCompensation, ToleranceFollowsTempo)
{
    struct Case {
        uint32_t tempo;
        float tolerance;
    } cases[] = {{0, 0.05f},   {39, 0.05f},  {40, 0.05f},  {50, 0.0325f},
                 {60, 0.015f}, {61, 0.015f}, {300, 0.015f}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(pointTolerance(c.tempo), c.tolerance) << c.tempo;

    // The same point moves at tempo 50 and stays at tempo 120.
    std::vector<float> slow = {1.03f}, fast = {1.03f};
    compensatePoints(slow, {1.0f, 2.0f}, 50);
    compensatePoints(fast, {1.0f, 2.0f}, 120);
    EXPECT_EQ(slow[0], 1.0f);
    EXPECT_EQ(fast[0], 1.03f);
}

TEST(BeatGridCompensation, OnlyTheNearestPointOfARunMoves)
{
    const std::vector<float> ref = {1.0f, 2.0f, 3.0f};
    struct Case {
        std::vector<float> points, expected;
    } cases[] = {
        {{1.010f, 1.012f}, {1.0f, 1.012f}},           // after an entry: the first moves back
        {{1.988f, 1.990f}, {1.988f, 2.0f}},           // before an entry: the last moves forward
        {{0.995f, 2.01f, 3.5f}, {1.0f, 2.0f, 3.5f}},  // before the first, after, past the last
        {{3.01f}, {3.0f}},                            // past the last entry: back onto it
        {{1.5f}, {1.5f}},                             // out of reach of both
    };
    for (const Case& c : cases) {
        std::vector<float> p = c.points;
        compensatePoints(p, ref, 120);
        EXPECT_EQ(p, c.expected) << c.points[0];
    }
    std::vector<float> p = {1.0f, 2.0f};
    compensatePoints(p, {}, 120);  // nothing to move onto
    EXPECT_EQ(p, (std::vector<float> {1.0f, 2.0f}));
}

TEST(BeatGridBuffers, PadLastBeat)
{
    TestCore core;
    struct Case {
        std::vector<uint32_t> adrs;
        uint32_t k, x, code;
        std::vector<uint32_t> expected;
        size_t bytes;
    } cases[] = {
        {{0, 1000, 2000, 2500}, 3, 0, 0, {0, 1000, 2000, 3000}, 2000},  // last interval made full
        {{0, 1000, 2000, 3500}, 3, 0, 0, {0, 1000, 2000, 3500}, 0},     // already long enough
        {{0, 700}, 1, 1000, 0, {0, 1000}, 1200},
        {{0, 1500}, 1, 1000, 0, {0, 1500}, 0},
        {{5}, 0, 0, 0, {5}, 0},
        {{0, 0, 5}, 2, 0, 0x80000001, {0, 0, 5}, 0},  // no interval to copy
        {{0, 1000}, 2, 0, 0x80000003, {0, 1000}, 0},  // beat outside the list
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> a = c.adrs;
        std::vector<uint8_t> buffer(4, 7);
        EXPECT_EQ(core.padLastBeat(c.k, c.x, a, buffer), c.code) << c.k;
        EXPECT_EQ(a, c.expected) << c.k;
        ASSERT_EQ(buffer.size(), 4 + c.bytes) << c.k;
        for (size_t i = 4; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0);
    }
}

TEST(BeatGridBuffers, RebaseBeatAdrs)
{
    TestCore core;
    struct Case {
        uint32_t k, count;
        bool insert;
        uint32_t x, y, code;
        std::vector<uint32_t> expected;
        size_t bytes;
    } cases[] = {
        {2, 50, false, 0, 0, 0, {0, 250, 550}, 200},  // later points keep their distance, shifted by count
        {2, 50, true, 10, 40, 0, {0, 40, 240, 540}, 200},  // second point lands on y
        {0, 8, false, 0, 0, 0, {0, 300, 600}, 32},
        {3, 50, false, 0, 0, 0x80000002, {100, 300, 600}, 0},
        {3, 50, true, 0, 0, 0x80000002, {100, 300, 600}, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> a = {100, 300, 600};
        std::vector<uint8_t> buffer;
        EXPECT_EQ(core.rebaseBeatAdrs(c.k, c.count, c.insert, c.x, c.y, a, buffer), c.code) << c.k;
        EXPECT_EQ(a, c.expected) << c.k << c.insert;
        EXPECT_EQ(buffer.size(), c.bytes);
    }
}

TEST(BeatGridLists, UpdateBeatAndOnset)
{
    TestCore core;
    core.addWave(makeWave({1000}));
    EXPECT_EQ(core.updateBeat(0, {0.5f, 1.0f}), 0u);
    EXPECT_EQ(core.wave(0).beats, (std::vector<float> {0.5f, 1.0f}));
    EXPECT_EQ(core.updateOnset(0, {0.25f}), 0u);
    EXPECT_EQ(core.wave(0).onsets, (std::vector<float> {0.25f}));
    EXPECT_EQ(core.updateBeat(1, {}), 0x80000001u);
    EXPECT_FALSE(core.canUndo());  // analysis results are no undo step
}
