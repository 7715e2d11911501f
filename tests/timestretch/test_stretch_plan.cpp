#include "StretchPlan.h"

#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// Feeds the plan as the time-stretch job does: frame counts, tempos and the
// format, then every 16-bit stereo frame.
void feed(StretchPlan& plan, const std::vector<int16_t>& left, const std::vector<int16_t>& right,
          double tempo, int numerator = 4, int denominator = 4)
{
    const auto frames = static_cast<uint32_t>(left.size());
    plan.m_format = PcmFormat();
    plan.m_reserved0 = 0;
    plan.m_inputFrames = plan.m_framesForRatios = plan.m_framesCopy = frames;
    plan.m_sourceTempo = plan.m_targetTempo = tempo;
    plan.ClearSamples();
    for (size_t i = 0; i < left.size(); ++i) {
        const auto l = static_cast<uint16_t>(left[i]), r = static_cast<uint16_t>(right[i]);
        const uint8_t frame[4] = {static_cast<uint8_t>(l & 0xFF), static_cast<uint8_t>(l >> 8),
                                  static_cast<uint8_t>(r & 0xFF), static_cast<uint8_t>(r >> 8)};
        plan.AppendFrame(frame);
    }
    plan.m_numerator = numerator;
    plan.m_denominator = denominator;
}

std::vector<int16_t> toneSamples(int n, double frequency, double amplitude)
{
    std::vector<int16_t> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        x[static_cast<size_t>(i)] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * stretchtest::kPi * frequency * i / 44100.0)));
    return x;
}

// Segments owned for the length of a test.
struct OwnedSegments {
    std::vector<StretchSegment*> list;
    ~OwnedSegments()
    {
        for (StretchSegment* s : list)
            delete s;
    }
};

// ComputeSegments then Render, as the job runs one stretch.
void stretchPlan(StretchPlan& plan, const std::vector<int32_t>& positions, int32_t bars,
                 OwnedSegments& segments)
{
    StretchInputView view;
    plan.GetInputView(&view);
    plan.ComputeSegments(&segments.list, &positions, bars);
    plan.Render(view, &segments.list);
}

TEST(StretchPlan, BarsLastTheirSamplesAtTheTargetTempo)
{
    struct Case {
        int numerator, denominator;
        double tempo;
        int32_t samples;
    } cases[] = {{4, 4, 120.0, 88200}, {3, 4, 100.0, 79380}, {6, 8, 120.0, 66150}, {4, 4, 90.0, 117600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.samples);
        StretchPlan plan;
        plan.m_numerator = c.numerator;
        plan.m_denominator = c.denominator;
        plan.m_targetTempo = c.tempo;
        EXPECT_EQ(plan.SamplesPerBar(), c.samples);
        double tempo = 0.0;
        plan.ComputeSegmentTempo(0, c.samples, &tempo, 1);
        EXPECT_DOUBLE_EQ(tempo, c.tempo);
    }
}

TEST(StretchPlan, CutsSegmentsBetweenSyncPositions)
{
    struct Case {
        const char* what;
        std::vector<int32_t> positions;
        int32_t bars;
        int fed;
        std::vector<double> ratios;
        std::vector<int32_t> starts, outputLengths;
        uint8_t outOfRange;
    } cases[] = {
        {"one bar exactly", {0, 88200}, 1, 88200, {1.0}, {0}, {88200}, 0},
        {"one bar too long", {0, 100000}, 1, 100000, {0.882}, {0}, {88200}, 0},
        {"one bar too short", {0, 30000}, 1, 30000, {2.94}, {0}, {88200}, 1},
        {"three positions, two bars",
         {1000, 89200, 177400},
         2,
         176400,
         {1.0, 1.0},
         {0, 88200},
         {88200, 88200},
         0},
        {"nothing fed", {0, 100000}, 1, 0, {1.0}, {0}, {100000}, 0},
        // Products a hair off a whole number still give whole bars.
        {"one bar of 44149 frames", {0, 44149}, 1, 44149, {88200.0 / 44149.0}, {0}, {88200}, 0},
        {"bars of 80002 and 95000",
         {0, 80002, 175002},
         2,
         175002,
         {88200.0 / 80002.0, 88200.0 / 95000.0},
         {0, 80002},
         {88200, 88200},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StretchPlan plan;
        const std::vector<int16_t> x(static_cast<size_t>(c.fed), 0);
        feed(plan, x, x, 120.0);
        OwnedSegments segments;
        plan.ComputeSegments(&segments.list, &c.positions, c.bars);
        ASSERT_EQ(segments.list.size(), c.ratios.size());
        for (size_t i = 0; i < c.ratios.size(); ++i) {
            EXPECT_NEAR(segments.list[i]->ratio, c.ratios[i], 1e-12);
            EXPECT_EQ(segments.list[i]->start, c.starts[i]);
            EXPECT_EQ(segments.list[i]->outputLength, c.outputLengths[i]);
        }
        uint8_t flag = 9;
        std::vector<double> ratios {7.0};
        EXPECT_EQ(plan.GetRatios(&flag, &ratios), static_cast<int32_t>(c.ratios.size()));
        EXPECT_EQ(flag, c.outOfRange);
        ASSERT_EQ(ratios.size(), c.ratios.size());
    }
}

TEST(StretchPlan, ComputesNothingForUnusablePositionsOrTimeSignatures)
{
    struct Case {
        const char* what;
        std::vector<int32_t> positions;
        int32_t bars;
        int numerator, denominator;
        double tempo;
    } cases[] = {
        {"one position", {0}, 1, 4, 4, 120.0},
        {"three positions, four bars", {0, 88200, 176400}, 4, 4, 4, 120.0},
        {"equal positions", {0, 0}, 1, 4, 4, 120.0},
        {"descending positions", {0, 88200, 44100}, 2, 4, 4, 120.0},
        {"denominator 0", {0, 88200}, 1, 4, 0, 120.0},
        {"tempo below 1", {0, 88200}, 1, 4, 4, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StretchPlan plan;
        const std::vector<int16_t> x(1000, 0);
        feed(plan, x, x, c.tempo, c.numerator, c.denominator);
        // A usable call first: its ratios and flag must not survive.
        OwnedSegments earlier;
        plan.m_targetTempo = 120.0;
        plan.m_denominator = 4;
        const std::vector<int32_t> usable {0, 30000};
        plan.ComputeSegments(&earlier.list, &usable, 1);
        plan.m_targetTempo = c.tempo;
        plan.m_denominator = c.denominator;

        OwnedSegments segments;
        plan.ComputeSegments(&segments.list, &c.positions, c.bars);
        EXPECT_TRUE(segments.list.empty());
        uint8_t flag = 9;
        std::vector<double> ratios;
        EXPECT_EQ(plan.GetRatios(&flag, &ratios), 0);
        EXPECT_EQ(flag, 0);
        EXPECT_TRUE(ratios.empty());
    }
}

TEST(StretchPlan, CopiesWhatKeepsItsLengthAndStretchesTheRest)
{
    const std::vector<int16_t> left = toneSamples(100000, 300.0, 20000.0);
    const std::vector<int16_t> right = toneSamples(100000, 450.0, -12000.0);
    {
        SCOPED_TRACE("one bar of 88200 frames: a copy");
        StretchPlan plan;
        feed(plan, {left.begin(), left.begin() + 88200}, {right.begin(), right.begin() + 88200}, 120.0);
        OwnedSegments segments;
        stretchPlan(plan, {0, 88200}, 1, segments);
        ASSERT_EQ(plan.OutputFrames(), 88200);
        for (int32_t i = 0; i < 88200; ++i) {
            ASSERT_EQ(plan.GetOutputSample(0, i), left[static_cast<size_t>(i)]) << i;
            ASSERT_EQ(plan.GetOutputSample(1, i), right[static_cast<size_t>(i)]) << i;
        }
    }
    {
        SCOPED_TRACE("one bar of 100000 frames: stretched to 88200");
        StretchPlan plan;
        feed(plan, left, right, 120.0);
        OwnedSegments segments;
        stretchPlan(plan, {0, 100000}, 1, segments);
        EXPECT_EQ(plan.OutputFrames(), 88200);
    }
    {
        SCOPED_TRACE("bars of 80002 and 95000 frames: 176400 frames");
        StretchPlan plan;
        std::vector<int16_t> l2(175002), r2(175002);
        for (size_t i = 0; i < l2.size(); ++i) {
            l2[i] = left[i % left.size()];
            r2[i] = right[i % right.size()];
        }
        feed(plan, l2, r2, 120.0);
        OwnedSegments segments;
        stretchPlan(plan, {0, 80002, 175002}, 2, segments);
        EXPECT_EQ(plan.OutputFrames(), 176400);
    }
    {
        SCOPED_TRACE("a ratio out of range: refused, nothing out");
        StretchPlan plan;
        feed(plan, {left.begin(), left.begin() + 30000}, {right.begin(), right.begin() + 30000}, 120.0);
        OwnedSegments segments;
        stretchPlan(plan, {0, 30000}, 1, segments);
        EXPECT_EQ(plan.OutputFrames(), 0);
    }
    {
        SCOPED_TRACE("positions past the frames fed: nothing out, nothing read");
        StretchPlan plan;
        feed(plan, {left.begin(), left.begin() + 50000}, {right.begin(), right.begin() + 50000}, 120.0);
        OwnedSegments segments;
        stretchPlan(plan, {0, 100000}, 1, segments);
        EXPECT_EQ(plan.OutputFrames(), 0);
    }
}

TEST(StretchPlan, ReadsOutputSamplesTruncatedTowardZero)
{
    StretchPlan plan;
    StretchOutput out;
    float left[3] = {12.9f, -12.9f, 32767.9f};
    float right[3] = {-1.5f, 0.4f, -32768.0f};
    out.left = left;
    out.right = right;
    out.frames = 3;
    plan.StoreOutput(&out);
    EXPECT_EQ(plan.GetOutputSample(0, 0), 12);
    EXPECT_EQ(plan.GetOutputSample(0, 1), -12);
    EXPECT_EQ(plan.GetOutputSample(0, 2), 32767);
    EXPECT_EQ(plan.GetOutputSample(1, 0), -1);
    EXPECT_EQ(plan.GetOutputSample(1, 2), -32768);
    EXPECT_EQ(plan.GetOutputSample(2, 0), 0);
    EXPECT_EQ(plan.GetOutputSample(0, 3), 0);
    EXPECT_EQ(plan.GetOutputSample(0, -1), 0);

    // Frames are little-endian 16-bit pairs.
    const uint8_t frame[4] = {0xFE, 0xFF, 0x01, 0x80};
    plan.ClearSamples();
    plan.AppendFrame(frame);
    ASSERT_EQ(plan.m_inputLeft.size(), 1u);
    EXPECT_EQ(plan.m_inputLeft[0], -2.0f);
    EXPECT_EQ(plan.m_inputRight[0], -32767.0f);
}

TEST(StretchSegments, LimitsAndClampsTheStretchedOutput)
{
    // A loud square wave overshoots when stretched; a burst of NaN in the
    // input must not reach the output either.
    std::vector<float> left(44100), right(44100);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = (i / 50) % 2 ? 32767.0f : -32768.0f;
        right[i] = left[i];
    }
    for (size_t i = 20000; i < 20010; ++i)
        right[i] = NAN;
    StretchInputView view;
    view.left = left.data();
    view.right = right.data();
    view.frames = 44100;
    view.sampleRate = 44100;
    view.bitsPerSample = 16;
    StretchSegment segment;
    segment.ratio = 1.3;
    segment.length = segment.end = 44100;
    segment.outputLength = 57330;
    std::vector<StretchSegment*> list {&segment};
    StretchFormat format;
    format.tag = 2;
    StretchOutput out;
    const int result = StretchSegments(&view, &list, &format, &out);
    ASSERT_EQ(result, 57330);
    for (int i = 0; i < result; ++i) {
        ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << i;
        ASSERT_LE(out.left[i], 32767.94921875f);
        ASSERT_GE(out.left[i], -32768.0f);
        ASSERT_LE(out.right[i], 32767.94921875f);
        ASSERT_GE(out.right[i], -32768.0f);
    }
    FreeStretchOutput(&out);
    EXPECT_EQ(out.left, nullptr);
    EXPECT_EQ(out.frames, 0u);
}

}  // namespace
