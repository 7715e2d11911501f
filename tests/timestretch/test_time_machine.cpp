#include "CTimeMachineInterface1.h"

#include "ChannelThreads.h"

#include "../KRMcore/DebugCapture.h"
#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// One engine run over the given channels (right empty: mono).
struct EngineRun {
    std::vector<double> ratios, fractions;
    StretchMap map;
    StretchIo io;
    CTimeMachineInterface1 engine;

    EngineRun(std::vector<float>& left, std::vector<float>* right, std::vector<double> r,
              std::vector<double> f, double rate = 44100.0, uint32_t mode = 0)
        : ratios(std::move(r)), fractions(std::move(f))
    {
        map.segmentCount = static_cast<uint32_t>(ratios.size());
        map.ratios = ratios.data();
        map.startFractions = fractions.data();
        map.mono = right ? 0 : 1;
        map.mode = mode;
        io.inputLeft = left.data();
        io.inputRight = right ? right->data() : left.data();
        io.inputFrames = static_cast<int32_t>(left.size());
        io.bitsPerSample = 16;
        io.sampleRate = rate;
    }
    ~EngineRun()
    {
        std::free(io.outputLeft);
        std::free(io.outputRight);
    }
    void process() { engine.Process(&map, &io); }
    std::vector<float> left() const { return {io.outputLeft, io.outputLeft + io.outputFrames}; }
    std::vector<float> right() const
    {
        if (!io.outputRight)
            return {};
        return {io.outputRight, io.outputRight + io.outputFrames};
    }
};

std::vector<float> tone(int n, double rate = 44100.0)
{
    return stretchtest::sine(n, 440.0, rate, 8000.0);
}

TEST(CTimeMachineInterface1, SplitsTheLowBandByTheRate)
{
    struct Case {
        double rate;
        int32_t decimation;
    } cases[] = {{44100.0, 4}, {22050.0, 2}, {11025.0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        std::vector<float> x = tone(static_cast<int>(c.rate / 2), c.rate);
        EngineRun run(x, nullptr, {1.0}, {0.0}, c.rate);
        run.process();
        EXPECT_EQ(run.io.error, 0);
        EXPECT_EQ(run.engine.DecimationFactor(), c.decimation);
        EXPECT_EQ(run.engine.BandCount(), 2);
        EXPECT_EQ(run.io.outputFrames, static_cast<int32_t>(x.size()));
    }
    std::vector<float> x = tone(22050);
    EngineRun oneBand(x, nullptr, {1.0}, {0.0}, 44100.0, 3);
    oneBand.process();
    EXPECT_EQ(oneBand.io.error, 0);
    EXPECT_EQ(oneBand.engine.BandCount(), 1);
    EXPECT_EQ(oneBand.engine.DecimationFactor(), 1);
}

TEST(CTimeMachineInterface1, RefusesWhatItCannotStretch)
{
    struct Case {
        const char* what;
        double rate;
        uint32_t mode;
        double ratio;
        int32_t error;
    } cases[] = {
        {"48000 Hz", 48000.0, 0, 1.0, 2},
        {"mode 6", 44100.0, 6, 1.0, 2},
        {"ratio 2.1", 44100.0, 0, 2.1, 2},
        {"ratio not a number", 44100.0, 0, NAN, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> x = tone(22050);
        std::vector<float> y = x;
        EngineRun run(x, &y, {c.ratio}, {0.0}, c.rate, c.mode);
        run.process();
        EXPECT_EQ(run.io.error, c.error);
        EXPECT_EQ(run.io.outputLeft, nullptr);
        EXPECT_EQ(run.io.outputRight, nullptr);
        EXPECT_EQ(run.io.outputFrames, 0);
    }
}

TEST(CTimeMachineInterface1, GivesTheStretchedLengthExactly)
{
    struct Case {
        const char* what;
        int frames;
        std::vector<double> ratios, fractions;
        int32_t expected;
    } cases[] = {
        {"one segment at 1.0", 30000, {1.0}, {0.0}, 30000},
        {"0.5 then 2.0 from the middle", 30000, {0.5, 2.0}, {0.0, 0.5}, 37500},
        // The plan's ratio for one bar of 44149 frames at 120 BPM: 44149 x
        // ratio is a hair under 88200 in f64.
        {"a product just under a whole number", 44149, {88200.0 / 44149.0 * 120.0 / 120.0}, {0.0}, 88200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> x = tone(c.frames);
        EngineRun run(x, nullptr, c.ratios, c.fractions);
        run.process();
        ASSERT_EQ(run.io.error, 0);
        EXPECT_EQ(run.io.outputFrames, c.expected);
        EXPECT_NE(run.io.outputLeft, nullptr);
    }
}

TEST(CTimeMachineInterface1, MonoLeavesTheRightOutputUnwritten)
{
    std::vector<float> x = tone(22050);
    EngineRun run(x, nullptr, {1.25}, {0.0});
    float sentinel = 0.0f;
    run.io.outputRight = &sentinel;
    run.process();
    EXPECT_EQ(run.io.error, 0);
    EXPECT_EQ(run.io.outputRight, &sentinel);
    run.io.outputRight = nullptr;
}

// A run's bands always cover the expected frames; an output short of them
// is a fault, noted in the debug output, and keeps its length with zeros.
TEST(CTimeMachineInterface1, NotesAShortfallAndFillsItWithZeros)
{
    const QString shortfall = "Stretch data is too less rather than expect";
    {
        // Without band output streams (output flags 0) nothing is
        // synthesised: the output still has the expected length, all zeros.
        DebugCapture debug;
        std::vector<float> x = tone(20000);
        EngineRun run(x, nullptr, {1.5}, {0.0});
        run.engine.SetParameter(TimeScaleParameterBlock::OutputFlags, 0.0, 0.0);
        run.process();
        ASSERT_EQ(run.io.error, 0);
        ASSERT_EQ(run.io.outputFrames, 30000);
        for (float v : run.left())
            ASSERT_EQ(v, 0.0f);
        EXPECT_TRUE(debug.lines.contains(shortfall));
    }
    {
        // A stream that holds fewer samples than expected is padded with
        // zeros, and the shortfall noted.
        DebugCapture debug;
        SoundFileStream stream;
        ASSERT_EQ(stream.Allocate(10), 0);
        const float three[3] = {1.0f, 2.0f, 3.0f};
        stream.MixAt(three, 3, 0);
        float* out = CTimeMachineInterface1::TakeOutput(&stream, 2500000);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out[2], 3.0f);
        EXPECT_EQ(out[3], 0.0f);
        EXPECT_EQ(out[2499999], 0.0f);
        SoundFileStream::FreeSamples(out);
        EXPECT_EQ(debug.lines, QStringList {shortfall});
    }
    {
        // A run of the engine covers its length in every band: stereo, one
        // ratio and several, the low band's return to the full rate
        // included.
        DebugCapture debug;
        std::vector<float> l = stretchtest::noise(40000, 21, 3000.0f);
        std::vector<float> r = stretchtest::noise(40000, 22, 3000.0f);
        const std::vector<double> ratios[] = {{0.5}, {1.25}, {2.0}, {0.9, 1.1, 1.3}};
        const std::vector<double> fractions[] = {{0.0}, {0.0}, {0.0}, {0.0, 0.3, 0.7}};
        for (size_t i = 0; i < 4; ++i) {
            SCOPED_TRACE(ratios[i].front());
            EngineRun run(l, &r, ratios[i], fractions[i]);
            run.process();
            ASSERT_EQ(run.io.error, 0);
        }
        EXPECT_FALSE(debug.lines.contains(shortfall));
    }
}

TEST(CTimeMachineInterface1, RepeatsARunSampleForSample)
{
    std::vector<float> l = stretchtest::noise(30000, 4, 6000.0f);
    std::vector<float> r = stretchtest::noise(30000, 5, 6000.0f);
    std::vector<float> outputs[2];
    for (auto& out : outputs) {
        EngineRun run(l, &r, {1.3}, {0.0});
        run.process();
        ASSERT_EQ(run.io.error, 0);
        out = run.left();
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

// The channels' analysis and synthesis on two threads give the output of
// one thread sample for sample: inputs of several chunks of blocks with
// hits in each channel at other times, one ratio and two (whose end test
// differs).
TEST(CTimeMachineInterface1, TwoThreadsGiveTheOutputOfOne)
{
    const int n = 120000;
    std::vector<float> l = stretchtest::noise(n, 11, 2000.0f);
    std::vector<float> r = stretchtest::noise(n, 12, 2000.0f);
    for (int at = 3000; at + 400 < n; at += 9000) {
        for (int i = 0; i < 400; ++i) {
            l[static_cast<size_t>(at + i)] += 20000.0f * std::exp(-i / 60.0f);
            r[static_cast<size_t>(at + 2500 + i) % static_cast<size_t>(n)] += 15000.0f * std::exp(-i / 80.0f);
        }
    }
    struct Case {
        const char* name;
        std::vector<double> ratios, fractions;
    } cases[] = {{"one ratio", {0.7}, {0.0}}, {"two ratios", {1.6, 0.6}, {0.0, 0.45}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> outputs[2][2];
        for (int threads = 0; threads < 2; ++threads) {
            stretch::SetChannelThreads(threads == 1);
            EngineRun run(l, &r, c.ratios, c.fractions);
            run.process();
            ASSERT_EQ(run.io.error, 0);
            outputs[threads][0] = run.left();
            outputs[threads][1] = run.right();
        }
        stretch::SetChannelThreads(true);
        ASSERT_FALSE(outputs[1][1].empty());
        EXPECT_EQ(outputs[0][0], outputs[1][0]);
        EXPECT_EQ(outputs[0][1], outputs[1][1]);
    }
}

}  // namespace
