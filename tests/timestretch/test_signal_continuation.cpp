#include "SignalContinuation.h"

#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using stretchtest::kPi;

// A sum of sinusoids sampled over [from, from + n).
std::vector<float> partials(int64_t from, int n, const std::vector<double>& hz,
                            const std::vector<double>& level)
{
    std::vector<float> x(static_cast<size_t>(n), 0.0f);
    for (size_t p = 0; p < hz.size(); ++p) {
        for (int i = 0; i < n; ++i)
            x[static_cast<size_t>(i)] += static_cast<float>(
                level[p] * std::sin(2.0 * kPi * hz[p] * static_cast<double>(from + i) / 44100.0 + 0.7 * p));
    }
    return x;
}

// The predictor of a known second-order resonance driven by faint noise
// comes back: x[i] = 1.6 x[i-1] - 0.9 x[i-2] + e[i] has a = {1, -1.6, 0.9}.
TEST(SignalContinuation, BurgFindsAKnownPredictor)
{
    std::mt19937 rng(7);
    std::normal_distribution<double> e(0.0, 100.0);
    std::vector<float> x(20000, 0.0f);
    for (size_t i = 2; i < x.size(); ++i)
        x[i] = static_cast<float>(1.6 * x[i - 1] - 0.9 * x[i - 2] + e(rng));
    const std::vector<double> a = stretch::BurgCoefficients(x.data(), static_cast<int32_t>(x.size()), 2);
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0], 1.0);
    EXPECT_NEAR(a[1], -1.6, 0.01);
    EXPECT_NEAR(a[2], 0.9, 0.01);
    // Asked for more stages, the later ones find nothing more to predict.
    const std::vector<double> more = stretch::BurgCoefficients(x.data(), static_cast<int32_t>(x.size()), 6);
    EXPECT_NEAR(more[1], -1.6, 0.02);
    EXPECT_NEAR(more[2], 0.9, 0.02);
    for (size_t k = 3; k < more.size(); ++k)
        EXPECT_NEAR(more[k], 0.0, 0.02) << k;
}

// 16-bit samples of x.
std::vector<float> quantised(std::vector<float> x)
{
    for (float& v : x)
        v = std::round(v);
    return x;
}

// Steady tones go on as they would have, over the half window (2048
// samples) the engine's frames read past an input's end, and were
// predictable for at least as long.
TEST(SignalContinuation, TonesGoOnAsTheyWould)
{
    struct Case {
        const char* name;
        double hz, level;
        bool sixteenBit;
    } cases[] = {
        {"220 Hz", 220.0, 10000.0, false},
        {"440 Hz", 440.0, 10000.0, false},
        {"7 kHz", 7000.0, 8000.0, false},
        {"440 Hz in 16 bits", 440.0, 10000.0, true},
    };
    const int n = 30000, count = 8192, reach = 2048;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> x = partials(0, n, {c.hz}, {c.level});
        if (c.sixteenBit)
            x = quantised(x);
        const std::vector<float> truth = partials(n, reach, {c.hz}, {c.level});
        std::vector<float> out(count);
        stretch::ContinueSignal(x.data(), n, 4096, 32, out.data(), count);
        double error = 0.0;
        for (int i = 0; i < reach; ++i)
            error +=
                std::pow(static_cast<double>(out[static_cast<size_t>(i)]) - truth[static_cast<size_t>(i)], 2);
        EXPECT_LT(std::sqrt(error / reach) / stretchtest::rms(truth, 0, truth.size()), 0.1);
        EXPECT_GE(stretch::PredictableLength(x.data(), n, 4096, 32, count, 0.1), reach);
    }
}

// Whatever the sound, its continuation never outgrows it: no 512-sample
// stretch of it is louder than the sound's last 4096 samples. What cannot
// be predicted (noise, a tone that stopped before the end) fades to
// silence well within the span.
TEST(SignalContinuation, NeverOutgrowsTheSound)
{
    const int n = 30000, count = 8192;
    std::vector<float> stopped = partials(0, n, {330.0}, {10000.0});
    std::fill(stopped.end() - 3000, stopped.end(), 0.0f);
    struct Case {
        const char* name;
        std::vector<float> x;
        bool fades;
    } cases[] = {
        {"220 Hz", partials(0, n, {220.0}, {10000.0}), false},
        {"note", partials(0, n, {220.0, 440.0, 660.0}, {5500.0, 2800.0, 1800.0}), false},
        {"note in 16 bits", quantised(partials(0, n, {220.0, 440.0, 660.0}, {5500.0, 2800.0, 1800.0})),
         false},
        {"chord",
         partials(0, n, {146.8, 185.0, 220.0, 293.7, 370.0, 440.0}, {3000, 2500, 2500, 1500, 1200, 1000}),
         false},
        {"noise", stretchtest::noise(n, 3, 10000.0f), true},
        {"a tone that stopped", stopped, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> out(count, 5.0f);
        stretch::ContinueSignal(c.x.data(), n, 4096, 32, out.data(), count);
        const double level = std::max(stretchtest::rms(c.x, n - 4096, n), 1.0);
        for (int at = 0; at + 512 <= count; at += 512)
            EXPECT_LE(stretchtest::rms(out, at, at + 512), 1.1 * level) << at;
        if (c.fades) {
            EXPECT_LT(stretchtest::rms(out, 0, 100), 0.5 * level);
            EXPECT_EQ(stretchtest::rms(out, count / 2, count), 0.0);
        }
    }
}

TEST(SignalContinuation, Edges)
{
    std::vector<float> out(1000, 5.0f);
    const std::vector<float> silence(5000, 0.0f);
    stretch::ContinueSignal(silence.data(), 5000, 4096, 32, out.data(), 1000);
    for (float v : out)
        ASSERT_EQ(v, 0.0f);

    // No samples, one sample only, or no order: silence.
    const float one = 1000.0f;
    for (const int32_t n : {0, 1}) {
        std::fill(out.begin(), out.end(), 5.0f);
        stretch::ContinueSignal(&one, n, 4096, 32, out.data(), 10);
        EXPECT_EQ(out[0], 0.0f) << n;
        EXPECT_EQ(out[9], 0.0f) << n;
    }
    const std::vector<float> tone = partials(0, 3000, {300.0}, {9000.0});
    stretch::ContinueSignal(tone.data(), 3000, 4096, 0, out.data(), 10);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(stretch::PredictableLength(tone.data(), 3000, 4096, 0, 1000, 0.1), 0);
    EXPECT_EQ(stretch::PredictableLength(tone.data(), 3, 4096, 32, 1000, 0.1), 0);

    // Fewer samples than the order: the order comes down, the output stays
    // finite and within the 16-bit range.
    const float few[5] = {100.0f, -3000.0f, 32000.0f, -32000.0f, 500.0f};
    std::fill(out.begin(), out.end(), 5.0f);
    stretch::ContinueSignal(few, 5, 4096, 32, out.data(), 1000);
    for (float v : out)
        ASSERT_TRUE(std::isfinite(v) && v >= -32768.0f && v <= 32767.0f);
}

// A sample that is not a number, or an infinity, among those the
// continuation fits or tries makes no prediction: silence, not a full-scale
// predictor run wild.
TEST(SignalContinuation, RefusesSamplesThatAreNotFinite)
{
    const float bad[] = {std::nanf(""), INFINITY, -INFINITY};
    for (const float b : bad) {
        for (const int32_t at : {2999, 2500, 1200}) {
            SCOPED_TRACE(testing::Message() << b << " at " << at);
            std::vector<float> tone = partials(0, 3000, {300.0}, {9000.0});
            tone[static_cast<size_t>(at)] = b;
            std::vector<float> out(1000, 5.0f);
            stretch::ContinueSignal(tone.data(), 3000, 4096, 32, out.data(), 1000);
            for (float v : out)
                ASSERT_EQ(v, 0.0f);
            EXPECT_EQ(stretch::PredictableLength(tone.data(), 3000, 4096, 32, 1000, 0.1), 0);
        }
    }
}

// A tone in whole 16-bit samples goes on within the rounding wherever the
// fitted span starts: a predictor whose frequency leans with the tone's
// starting phase drifts a tenth of the level away within 1000 samples.
TEST(SignalContinuation, WholeSampleTonesGoOnWhereverTheSpanStarts)
{
    for (const double level : {10000.0, 1000.0}) {
        for (int32_t shift = 0; shift < 200; shift += 7) {
            SCOPED_TRACE(testing::Message() << "level " << level << ", start " << shift);
            const int32_t n = 20000, count = 8192;
            std::vector<float> x(static_cast<size_t>(n + count));
            for (size_t i = 0; i < x.size(); ++i)
                x[i] = static_cast<float>(std::lround(
                    level * std::sin(2.0 * kPi * 220.0 * static_cast<double>(i + shift) / 44100.0)));
            std::vector<float> out(static_cast<size_t>(count));
            stretch::ContinueSignal(x.data(), n, 4096, 32, out.data(), count);
            double worst = 0.0;
            for (int32_t i = 0; i < count / 2; ++i)
                worst = std::max(worst, std::fabs(static_cast<double>(out[static_cast<size_t>(i)]) -
                                                  x[static_cast<size_t>(n + i)]));
            EXPECT_LT(worst, 3.0) << "largest error over the first half, 16-bit units";
            EXPECT_EQ(stretch::PredictableLength(x.data(), n, 4096, 32, count, 0.1), count);
        }
    }
}

}  // namespace
