#include "TimeScaleParameterBlock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Block = TimeScaleParameterBlock;

TEST(TimeScaleParameterBlock, ScalarsAreClampedAndConverted)
{
    struct Case {
        int code;
        double value;
        double stored;
    };
    const Case cases[] = {
        {Block::Hop, 300, 256},
        {Block::Hop, 3, 4},
        {Block::Hop, 100000, 65536},
        {Block::Hop, 512, 512},
        {Block::WindowType, -1, 0},
        {Block::WindowType, 13, 12},
        {Block::WindowType, 7.9, 7},
        {Block::WindowFactor, 0.5, 1},
        {Block::WindowFactor, 100, 64},
        {Block::SampleRate, 8000, 10000},
        {Block::SampleRate, 48000, 44100},
        {Block::CrossFade, 70, 50},
        {Block::OutputFlags, -3, 0},
        {Block::OutputFlags, 2.9, 2},
        {Block::RangeCount, 40, 32},
        {Block::RangeCount, -2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << " = " << c.value);
        Block b;
        EXPECT_EQ(b.SetParameter(c.code, c.value), 0);
        EXPECT_EQ(b.GetParameter(c.code), c.stored);
        // A NaN leaves the scalar as it was.
        EXPECT_EQ(b.SetParameter(c.code, std::numeric_limits<double>::quiet_NaN()), 0);
        EXPECT_EQ(b.GetParameter(c.code), c.stored);
    }
    Block b;
    for (int code : {-1, 147, 150, 163, 178}) {
        EXPECT_EQ(b.SetParameter(code, 5.0), 1) << code;
        EXPECT_EQ(b.GetParameter(code), 1.0) << code;
    }
}

TEST(TimeScaleParameterBlock, DefaultsAndLimitsOfTheEnvelopeCodes)
{
    Block b;
    struct Case {
        int code;
        double at;  // time or band index
        double value;
    };
    const Case defaults[] = {
        {Block::BandFlags, 0.5, 7},
        {Block::StretchFactor, 0.5, 1},
        {Block::PeakThreshold, 0.5, -100},
        {Block::PeakWidth, 0.5, 2},
        {Block::MaxDeviation, 0.5, 40},
        {Block::AttackMarksOn, 0.5, 1},
        {Block::AttackHandling, 0.5, 0},
        {Block::PhaseResetFrequency, 0.5, 2500},
        {Block::ContinuityTest, 0.5, 1},
        {Block::ContinuitySetting, 0.5, 4},
        {Block::ContinuityLevel, 0.5, -5},
        {Block::ContinuityFrequency, 0.5, 20},
        {Block::BandUpperEdge, 0, 600},
        {Block::BandUpperEdge, 1, 1800},
        {Block::BandUpperEdge, 2, 22050},
        {Block::BandWindowType, 2, 6},
        {Block::BandWindowFactor, 1, 6},
        {Block::StereoLink, 0.5, 1},
        {Block::StereoLinkWeight, 0.5, 1},
        {Block::SampleRate, 0, 22050},
        {Block::WindowType, 0, 11},
        {Block::WindowFactor, 0, 2},
        {Block::Hop, 0, 128},
        {Block::CrossFade, 0, 50},
        {Block::OutputFlags, 0, 1},
        {Block::RangeCount, 0, 3},
        {5, 0.5, 0},  // no definition
    };
    for (const Case& c : defaults)
        EXPECT_FLOAT_EQ(b.GetParameter(c.code, c.at), c.value) << c.code << " at " << c.at;
    EXPECT_FLOAT_EQ(b.GetParameter(Block::ContinuityPhase, 0.5), static_cast<float>(M_PI / 3));

    const Case sets[] = {
        {Block::PeakWidth, 2.7, 2},         {Block::StretchFactor, 0.0, 0.0001f},
        {Block::StretchFactor, 5000, 1000}, {Block::BandFlags, 9, 7},
        {Block::PeakThreshold, -300, -200}, {Block::BandUpperEdge, 50000, 44100},
    };
    for (const Case& c : sets) {
        Block fresh;
        EXPECT_EQ(fresh.SetParameter(c.code, c.at, CEnvelope::kWholeEnvelope), 0);
        EXPECT_FLOAT_EQ(fresh.GetParameter(c.code, 0.3), c.value) << c.code;
    }
    EXPECT_EQ(b.SetParameter(5, 3.0, 0.5), 0);  // accepted, no effect
    EXPECT_EQ(b.GetParameter(5, 0.5), 0.0);
}

TEST(TimeScaleParameterBlock, TimeModesReadBreakpointTimes)
{
    Block b;
    b.SetParameter(Block::StretchFactor, 1.5, 0.4);  // normalised
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 0.3), 1.0f);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 0.5), 1.5f);
    b.SetTimeMode(Block::Seconds);
    b.SetDuration(10.0);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 5.0), 1.5f);
    b.SetParameter(Block::StretchFactor, 0.7, 8.0);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 9.0), 0.7f);
    b.SetTimeMode(Block::TimeIgnored);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 9.0), 1.0f);
    // Arrays take the time as the band index in every mode.
    EXPECT_FLOAT_EQ(b.GetParameter(Block::BandUpperEdge, 1.0), 1800.0f);
}

TEST(TimeScaleParameterBlock, CopyToCopiesAllButTheRangeCount)
{
    Block a;
    a.SetTimeMode(Block::Seconds);
    a.SetDuration(4.0);
    a.SetParameter(Block::Hop, 512);
    a.SetParameter(Block::WindowFactor, 8);
    a.SetParameter(Block::RangeCount, 2);
    a.SetParameter(Block::StretchFactor, 1.25, 2.0);
    a.SetParameter(Block::BandUpperEdge, 1500, 0);
    Block b;
    b.SetParameter(Block::RangeCount, 0);
    a.CopyTo(b);
    EXPECT_EQ(b.GetTimeMode(), Block::Seconds);
    EXPECT_EQ(b.Duration(), 4.0);
    EXPECT_EQ(b.GetParameter(Block::Hop), 512);
    EXPECT_EQ(b.GetParameter(Block::WindowFactor), 8);
    EXPECT_EQ(b.GetParameter(Block::RangeCount), 0);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 3.0), 1.25f);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 1.0), 1.0f);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::BandUpperEdge, 0), 1500.0f);
}

struct Preset {
    uint32_t mode = 0;
    std::vector<double> ratios {1.0};
    std::vector<double> starts {0.0};
    int32_t bands = 2;
    double rate = 44100.0;
    double seconds = 10.0;
    int apply(Block& b) const
    {
        return b.ApplyPreset(mode, static_cast<int32_t>(ratios.size()), ratios.data(), starts.data(), bands,
                             rate, seconds);
    }
};

TEST(TimeScaleParameterBlock, ApplyPresetRefusesBadMapsAndLeavesTheBlock)
{
    std::vector<Preset> bad(6);
    bad[0].mode = 6;
    bad[1].ratios.clear();
    bad[2].ratios = {2.1};
    bad[3].ratios = {1.0, 1.0, 1.0};
    bad[3].starts = {0.0, 0.5, 0.5};
    bad[4].bands = 3;
    bad[5].ratios = {1.0, 0.4};
    bad[5].starts = {0.0, 0.5};
    for (size_t i = 0; i < bad.size(); ++i) {
        Block b;
        EXPECT_EQ(bad[i].apply(b), 2) << i;
        EXPECT_EQ(b.GetParameter(Block::Hop), 128) << i;
        EXPECT_EQ(b.GetTimeMode(), Block::Normalised) << i;
        EXPECT_FLOAT_EQ(b.GetParameter(Block::BandWindowFactor, 0), 8.0f) << i;
    }
}

TEST(TimeScaleParameterBlock, ApplyPresetSetsTheModesTable)
{
    struct Case {
        uint32_t mode;
        int32_t bands;
        double rate;
        int hop;
        float factor0, factor1;
        float edge0, edge1;
        float width;
    };
    const Case cases[] = {
        {0, 2, 44100, 256, 16, 8, 1500, 22050, 4}, {1, 1, 44100, 256, 16, 8, 22050, 1800, 4},
        {2, 2, 44100, 512, 8, 4, 1500, 22050, 2},  {3, 1, 44100, 512, 4, 6, 22050, 1800, 2},
        {4, 2, 22050, 128, 16, 8, 1500, 11025, 2}, {5, 1, 11025, 64, 8, 6, 5512.5f, 1800, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Preset p;
        p.mode = c.mode;
        p.bands = c.bands;
        p.rate = c.rate;
        Block b;
        ASSERT_EQ(p.apply(b), 0);
        EXPECT_EQ(b.GetParameter(Block::Hop), c.hop);
        EXPECT_FLOAT_EQ(b.GetParameter(Block::BandWindowFactor, 0), c.factor0);
        EXPECT_FLOAT_EQ(b.GetParameter(Block::BandWindowFactor, 1), c.factor1);
        EXPECT_FLOAT_EQ(b.GetParameter(Block::BandUpperEdge, 0), c.edge0);
        EXPECT_FLOAT_EQ(b.GetParameter(Block::BandUpperEdge, 1), c.edge1);
        EXPECT_FLOAT_EQ(b.GetParameter(Block::BandWindowType, 0), 4.0f);
        EXPECT_FLOAT_EQ(b.GetParameter(Block::BandWindowType, 2), 6.0f);
        EXPECT_FLOAT_EQ(b.GetParameter(Block::PeakWidth, 1.0), c.width);
        EXPECT_EQ(b.GetParameter(Block::RangeCount), c.bands);
        EXPECT_EQ(b.GetParameter(Block::SampleRate), c.rate);
        EXPECT_EQ(b.GetParameter(Block::BandFlags, 1.0), 2);
        EXPECT_EQ(b.GetParameter(Block::AttackMarksOn, 1.0), 1);
        EXPECT_EQ(b.GetTimeMode(), Block::Seconds);
        EXPECT_EQ(b.Duration(), 10.0);
    }
}

TEST(TimeScaleParameterBlock, SegmentRatiosBecomeStretchFactorBreakpoints)
{
    Preset p;
    p.ratios = {1.5, 0.8};
    p.starts = {0.0, 0.25};
    Block b;
    ASSERT_EQ(p.apply(b), 0);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 2.0), 1.5f);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 3.0), 0.8f);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 9.9), 0.8f);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 10.0), 1.0f);  // the breakpoint at the end

    Preset one;
    one.ratios = {0.5};
    ASSERT_EQ(one.apply(b), 0);
    EXPECT_EQ(b.Envelope(Block::StretchFactor).BreakpointCount(), 2);
    EXPECT_FLOAT_EQ(b.GetParameter(Block::StretchFactor, 3.0), 0.5f);

    // A NaN ratio is passed on for the engine to report.
    one.ratios = {std::numeric_limits<double>::quiet_NaN()};
    ASSERT_EQ(one.apply(b), 0);
    EXPECT_TRUE(std::isnan(b.GetParameter(Block::StretchFactor, 3.0)));
}

}  // namespace
