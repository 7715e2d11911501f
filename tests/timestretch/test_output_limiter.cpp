#include "OutputLimiter.h"

#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using stretchtest::kPi;
constexpr double kHigh = 32767.0, kLow = -32768.0;

TEST(LimitPeaks, ClipsShortBuffersAndShortRuns)
{
    std::vector<float> five {100.0f, 40000.0f, -5.0f, 7.0f, -40000.0f};
    EXPECT_EQ(LimitPeaks(five.data(), 0, 5, kHigh, kLow), 1);
    EXPECT_EQ(five, (std::vector<float> {100.0f, 32767.0f, -5.0f, 7.0f, -32768.0f}));

    std::vector<float> calm {1.0f, 2.0f, 3.0f};
    EXPECT_EQ(LimitPeaks(calm.data(), 0, 3, kHigh, kLow), 0);

    // A run of two samples above the limit inside a long sine: only those
    // two change.
    std::vector<float> x = stretchtest::sine(400, 100.0, 44100.0, 30000.0);
    const size_t at = 100;
    x[at] = 33000.0f;
    x[at + 1] = 33500.0f;
    std::vector<float> expected = x;
    expected[at] = expected[at + 1] = 32767.0f;
    EXPECT_EQ(LimitPeaks(x.data(), 0, 400, kHigh, kLow), 1);
    EXPECT_EQ(x, expected);

    // The last five samples are left to the caller's final clamp.
    std::vector<float> tail(20, 0.0f);
    tail[17] = 40000.0f;
    EXPECT_EQ(LimitPeaks(tail.data(), 0, 20, kHigh, kLow), 0);
    EXPECT_EQ(tail[17], 40000.0f);
}

// A half-wave of 40 samples, a sine arch of peak 37500 clipped flat at
// 36000 over its 7 top samples, between samples of the opposite sign.
std::vector<float> clippedArch(double sign)
{
    std::vector<float> x(50, static_cast<float>(-sign * 1000.0));
    for (int k = 0; k < 40; ++k)
        x[static_cast<size_t>(5 + k)] =
            static_cast<float>(sign * std::min(37500.0 * std::sin(kPi * k / 40.0), 36000.0));
    return x;
}

TEST(LimitPeaks, ReshapesAClippedHalfWaveIntoASmoothTop)
{
    for (double sign : {1.0, -1.0}) {
        SCOPED_TRACE(sign > 0 ? "positive" : "negative");
        std::vector<float> x = clippedArch(sign);
        const std::vector<float> before = x;
        EXPECT_EQ(LimitPeaks(x.data(), 0, static_cast<int32_t>(x.size()), kHigh, kLow), 1);
        const double limit = sign > 0 ? kHigh : -kLow;
        // The region reaches from the first sample under 90 % of the limit
        // on each side of the crest; outside it nothing changes.
        int rs = 5 + 20, re = 5 + 20;
        while (sign * before[static_cast<size_t>(rs)] >= 0.9 * limit)
            --rs;
        while (sign * before[static_cast<size_t>(re)] >= 0.9 * limit)
            ++re;
        for (int i = 0; i < static_cast<int>(x.size()); ++i) {
            SCOPED_TRACE(i);
            const double v = sign * x[static_cast<size_t>(i)];
            EXPECT_LE(v, limit);
            if (i < rs || i > re) {
                EXPECT_EQ(x[static_cast<size_t>(i)], before[static_cast<size_t>(i)]);
            }
        }
        // Smooth: rising to the crest and falling after it, without kinks.
        const int crest = 5 + 20;
        for (int i = rs + 1; i <= re; ++i) {
            SCOPED_TRACE(i);
            const double step = sign * (x[static_cast<size_t>(i)] - x[static_cast<size_t>(i - 1)]);
            if (i <= crest) {
                EXPECT_GE(step, 0.0);
            }
            if (i >= crest + 1) {
                EXPECT_LE(step, 0.0);
            }
            if (i < re) {
                const double bend = sign * (x[static_cast<size_t>(i + 1)] - 2.0 * x[static_cast<size_t>(i)] +
                                            x[static_cast<size_t>(i - 1)]);
                EXPECT_LT(std::fabs(bend), 0.1 * limit);
            }
        }
        EXPECT_GT(sign * x[static_cast<size_t>(crest)], 0.97 * limit);
    }
}

TEST(RepairClippedHalfWave, ClipsShortHalfWavesFlatAndStaysBounded)
{
    // A half-wave of 5 samples: clipped flat.
    std::vector<float> shortWave {-100.0f,  20000.0f, 34000.0f, 35000.0f,
                                  34000.0f, 20000.0f, -100.0f,  -200.0f};
    RepairClippedHalfWave(shortWave.data(), 0, 8, 3, 3, kHigh, kLow);
    EXPECT_EQ(shortWave, (std::vector<float> {-100.0f, 20000.0f, 32767.0f, 32767.0f, 32767.0f, 20000.0f,
                                              -100.0f, -200.0f}));

    // A run sitting right on a steep rise: the fit's points coincide, the
    // system is singular; the result must still be finite and bounded.
    std::vector<float> steep(40, -500.0f);
    for (int k = 0; k < 24; ++k)
        steep[static_cast<size_t>(8 + k)] =
            k < 3 ? 1000.0f * (k + 1) : (k < 6 ? 34000.0f : 30000.0f - 900.0f * k);
    EXPECT_EQ(LimitPeaks(steep.data(), 0, 40, kHigh, kLow), 1);
    for (float v : steep) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_LE(v, kHigh);
        EXPECT_GE(v, kLow);
    }
}

TEST(PolyFit, SolvesItsSystemExactlyAndReportsASingularOne)
{
    // y = 2x^5 - x^3 + 0.5x - 1, through five points with its slope at 0.3.
    const auto f = [](double x) { return 2 * std::pow(x, 5) - std::pow(x, 3) + 0.5 * x - 1; };
    const auto df = [](double x) { return 10 * std::pow(x, 4) - 3 * x * x + 0.5; };
    const double xs[5] = {0.0, 0.2, 0.5, 0.8, 1.0};
    double ys[5];
    for (int i = 0; i < 5; ++i)
        ys[i] = f(xs[i]);
    // The zero-slope row asks for a slope of 0 at x0; pick x0 where the
    // polynomial has one: none on [0, 1] for this f, so fit f - df(x0) x.
    const double x0 = 0.3;
    double shifted[5];
    for (int i = 0; i < 5; ++i)
        shifted[i] = ys[i] - df(x0) * xs[i];
    PolyFit fit(5);
    ASSERT_TRUE(fit.Usable());
    fit.AddPoints(xs, shifted, 5);
    fit.AddZeroSlope(x0);
    EXPECT_TRUE(fit.Solve());
    const std::vector<double> expected {2.0, 0.0, -1.0, 0.0, 0.5 - df(x0), -1.0};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(fit.Coefficients()[i], expected[i], 1e-9) << i;
    EXPECT_NEAR(fit.Evaluate(0.7), f(0.7) - df(x0) * 0.7, 1e-9);

    PolyFit singular(5);
    const double same[5] = {0.5, 0.5, 0.5, 0.5, 0.5};
    singular.AddPoints(same, ys, 5);
    singular.AddZeroSlope(0.5);
    EXPECT_FALSE(singular.Solve());
}

}  // namespace
