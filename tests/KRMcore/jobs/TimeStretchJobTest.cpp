#include "timeStretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

// Records what the job feeds the plan; renders by copying the input (or
// nothing, or by throwing) as the test asks.
struct PlanLog {
    enum class Render { Copy, Nothing, Throw };
    Render render = Render::Copy;
    int appendThrowsAt = -1;
    uint32_t feedFrames = 0;
    double feedTempo = 0.0;
    int clears = 0;
    std::vector<int16_t> samples;  // interleaved, as appended
    int32_t numerator = 0, denominator = 0;
    std::vector<int32_t> positions;
    int32_t bars = -1;
    uint8_t flag = 0;
    std::vector<double> ratios;
};

class FakePlan : public IStretchPlan {
public:
    explicit FakePlan(PlanLog& log) : m_log(log) { }
    void setFeed(uint32_t frames, double tempo) override
    {
        m_log.feedFrames = frames;
        m_log.feedTempo = tempo;
    }
    void ClearSamples() override
    {
        ++m_log.clears;
        m_log.samples.clear();
        m_out.clear();
    }
    void AppendFrame(const uint8_t* f) override
    {
        if (int(m_log.samples.size() / 2) == m_log.appendThrowsAt)
            throw std::bad_alloc();
        m_log.samples.push_back(static_cast<int16_t>(f[0] | f[1] << 8));
        m_log.samples.push_back(static_cast<int16_t>(f[2] | f[3] << 8));
    }
    void setTimeSignature(int32_t n, int32_t d) override
    {
        m_log.numerator = n;
        m_log.denominator = d;
    }
    void render(const std::vector<int32_t>& positions, int32_t bars) override
    {
        m_log.positions = positions;
        m_log.bars = bars;
        if (m_log.render == PlanLog::Render::Throw)
            throw std::runtime_error("engine failed");
        if (m_log.render == PlanLog::Render::Copy)
            m_out = m_log.samples;
    }
    size_t outputFrames() const override { return m_out.size() / 2; }
    int32_t GetOutputSample(int8_t channel, int32_t i) const override
    {
        const size_t at = 2 * static_cast<size_t>(i) + static_cast<size_t>(channel);
        return channel < 2 && at < m_out.size() ? m_out[at] : 0;
    }
    uint32_t GetRatios(uint8_t& flag, std::vector<double>& ratios) override
    {
        flag = m_log.flag;
        ratios = m_log.ratios;
        return static_cast<uint32_t>(ratios.size());
    }

private:
    PlanLog& m_log;
    std::vector<int16_t> m_out;
};

std::vector<uint8_t> frameBytes(const std::vector<int16_t>& interleaved)
{
    std::vector<uint8_t> b;
    for (int16_t v : interleaved) {
        b.push_back(static_cast<uint8_t>(v & 0xFF));
        b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    }
    return b;
}

}  // namespace

TEST(TimeStretchJob, FeedsThePlanAndWritesLittleEndianFrames)
{
    PlanLog log;
    timeStretch job(std::make_unique<FakePlan>(log));
    EXPECT_EQ(job.setInfo({100, 3, 4, 2}), 0u);

    const std::vector<int16_t> samples {-2, 1, 32767, -32768, 256, -257};
    std::vector<uint8_t> in = frameBytes(samples);
    in.push_back(0x55);  // a partial frame is not fed
    std::vector<uint8_t> out {9};
    EXPECT_EQ(job.stretch(in, out), 0u);
    EXPECT_EQ(log.feedFrames, 3u);
    EXPECT_EQ(log.feedTempo, 100.0);
    EXPECT_EQ(log.samples, samples);
    EXPECT_EQ(log.numerator, 3);
    EXPECT_EQ(log.denominator, 4);
    EXPECT_EQ(log.positions, (std::vector<int32_t> {0, 3}));
    EXPECT_EQ(log.bars, 2);
    ASSERT_EQ(out.size(), 12u);
    EXPECT_EQ(out[0], 0xFE);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out, frameBytes(samples));

    // A ranged stretch hands its positions on as signed frames; one the
    // plan could not hold makes the list unusable.
    EXPECT_EQ(job.stretchRange(in, out, {1000, 89200, 177400}), 0u);
    EXPECT_EQ(log.positions, (std::vector<int32_t> {1000, 89200, 177400}));
    EXPECT_EQ(log.bars, 2);
    job.stretchRange(in, out, {0, 0x80000000u});
    EXPECT_TRUE(log.positions.empty());
    EXPECT_FALSE(job.hasError());
}

TEST(TimeStretchJob, FailuresOfEachStep)
{
    struct Case {
        const char* name;
        PlanLog::Render render;
        int appendThrowsAt;
        uint32_t code;
        bool flag;
        bool outputKept;
    };
    const Case cases[] = {
        {"frame cannot be appended", PlanLog::Render::Copy, 1, 0x80000011u, true, true},
        {"engine throws", PlanLog::Render::Throw, -1, 0x80000002u, true, true},
        {"nothing rendered", PlanLog::Render::Nothing, -1, 0x80000003u, false, true},
    };
    const std::vector<uint8_t> in = frameBytes({1, 2, 3, 4});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlanLog log;
        log.render = c.render;
        log.appendThrowsAt = c.appendThrowsAt;
        timeStretch job(std::make_unique<FakePlan>(log));
        std::vector<uint8_t> out {7, 7};
        EXPECT_EQ(job.stretch(in, out), c.code);
        EXPECT_EQ(job.hasError(), c.flag);
        EXPECT_TRUE(job.errorText().isEmpty());
        EXPECT_EQ(out, (std::vector<uint8_t> {7, 7}));
    }
}

TEST(TimeStretchJob, EngineOutputIsThePlansFlagAndRatios)
{
    PlanLog log;
    log.flag = 1;
    log.ratios = {0.882, 2.94};
    timeStretch job(std::make_unique<FakePlan>(log));
    uint8_t flag = 0;
    std::vector<double> ratios {5.0};
    EXPECT_EQ(job.getEngineOutput(flag, ratios), 2u);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(ratios, log.ratios);
}

// ------------------------------------------------------------ the engine's plan

namespace {

// `frames` stereo frames of a 440 Hz tone (left) and a 660 Hz tone (right)
// at a quarter of full scale, starting on the sample value -2.
std::vector<uint8_t> toneFrames(size_t frames)
{
    std::vector<int16_t> s(2 * frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = 2.0 * 3.14159265358979323846 * static_cast<double>(i) / 44100.0;
        s[2 * i] = static_cast<int16_t>(std::lround(8000.0 * std::sin(440.0 * t)));
        s[2 * i + 1] = static_cast<int16_t>(std::lround(8000.0 * std::sin(660.0 * t)));
    }
    s[0] = -2;
    return frameBytes(s);
}

// Largest sample of one channel of interleaved little-endian frames, up to
// 10 ms before their end (where the tone is cut off).
int maxAbsSample(const std::vector<uint8_t>& bytes, int channel)
{
    int m = 0;
    const size_t end = bytes.size() > 441 * 4 ? bytes.size() - 441 * 4 : 0;
    for (size_t i = 2 * static_cast<size_t>(channel); i + 1 < end; i += 4)
        m = std::max(m, std::abs(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8)));
    return m;
}

}  // namespace

// One bar at 4/4 and 120 beats per minute lasts 88200 frames: a section that
// long, or longer or shorter, through the engine's own plan.
TEST(TimeStretchJobOnThePlan, OneBarAtFourFourAndOneHundredTwenty)
{
    struct Case {
        size_t frames;
        uint32_t code;
        size_t outFrames;  // 0: the output is left as it was
        uint8_t flag;
        double ratio;
    };
    const Case cases[] = {
        {88200, 0u, 88200, 0, 1.0},        // no change: the input is copied
        {100000, 0u, 88200, 0, 0.882},     // shortened to the bar
        {30000, 0x80000003u, 0, 1, 2.94},  // beyond the engine's range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        std::unique_ptr<IF_timeStretch> job(createTimeStretch());
        EXPECT_EQ(job->setInfo({120, 4, 4, 1}), 0u);
        const std::vector<uint8_t> in = toneFrames(c.frames);
        std::vector<uint8_t> out {7, 7};
        EXPECT_EQ(job->stretch(in, out), c.code);
        EXPECT_FALSE(job->hasError());
        if (c.outFrames == 0) {
            EXPECT_EQ(out, (std::vector<uint8_t> {7, 7}));
        } else {
            ASSERT_EQ(out.size(), c.outFrames * 4);
            if (c.frames == c.outFrames) {
                EXPECT_TRUE(out == in);
                EXPECT_EQ(out[0], 0xFE);
                EXPECT_EQ(out[1], 0xFF);
            } else {
                // Stretched, not silenced or blown up.
                EXPECT_GT(maxAbsSample(out, 0), 6000);
                EXPECT_LT(maxAbsSample(out, 0), 10000);
                EXPECT_GT(maxAbsSample(out, 1), 6000);
                EXPECT_LT(maxAbsSample(out, 1), 10000);
            }
        }
        uint8_t flag = 9;
        std::vector<double> ratios {5.0, 6.0};
        EXPECT_EQ(job->getEngineOutput(flag, ratios), 1u);
        EXPECT_EQ(flag, c.flag);
        ASSERT_EQ(ratios.size(), 1u);
        EXPECT_NEAR(ratios[0], c.ratio, 1e-9);
    }
}

// Ranged stretches: the buffer starts at the first position; bars that
// already last their length are copied; positions reaching past the frames
// fed (a short read) give no output, never a read past them.
TEST(TimeStretchJobOnThePlan, RangesFromTheFirstPosition)
{
    std::unique_ptr<IF_timeStretch> job(createTimeStretch());
    job->setInfo({120, 4, 4, 2});
    const std::vector<uint8_t> in = toneFrames(176400);
    std::vector<uint8_t> out;
    EXPECT_EQ(job->stretchRange(in, out, {1000, 89200, 177400}), 0u);
    EXPECT_TRUE(out == in);
    uint8_t flag = 9;
    std::vector<double> ratios;
    EXPECT_EQ(job->getEngineOutput(flag, ratios), 2u);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(ratios, (std::vector<double> {1.0, 1.0}));

    out = {7};
    EXPECT_EQ(job->stretchRange(toneFrames(50000), out, {0, 100000}), 0x80000003u);
    EXPECT_EQ(out, (std::vector<uint8_t> {7}));
    EXPECT_FALSE(job->hasError());

    // A stretch run twice gives the same output.
    std::vector<uint8_t> first, second;
    job->setInfo({120, 4, 4, 1});
    const std::vector<uint8_t> longer = toneFrames(100000);
    ASSERT_EQ(job->stretch(longer, first), 0u);
    ASSERT_EQ(job->stretch(longer, second), 0u);
    EXPECT_TRUE(first == second);
}
