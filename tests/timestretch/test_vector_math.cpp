#include "VectorMath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// The fast functions stand in for the library's expf and sincosf in the
// output-frame building; these sweeps hold them to float rounding over the
// whole range the callers hand them (the callers take the library outside).
TEST(VectorMath, ExpStaysWithinTwoUlpOverItsRange)
{
    double worst = 0.0;
    for (float x = stretch::kFastExpLow; x <= stretch::kFastExpHigh; x += 0.000731f) {
        const double exact = std::exp(static_cast<double>(x));
        const double ulp = std::ldexp(1.0, std::ilogb(exact) - 23);
        worst = std::max(worst, std::fabs(stretch::fastExp(x) - exact) / ulp);
    }
    EXPECT_LE(worst, 2.0);
    EXPECT_EQ(stretch::fastExp(0.0f), 1.0f);
}

TEST(VectorMath, SineAndCosineStayWithinFloatRoundingOverTheirRange)
{
    struct Span {
        float from, to, step;
    };
    // Phases in [0, 2 pi) are what the engine holds; the rest reaches out to
    // the limit and into negative values.
    const Span spans[] = {{0.0f, 6.2831853f, 1.3e-6f}, {-60.0f, 60.0f, 3.1e-5f}, {8000.0f, 8192.0f, 1.7e-3f}};
    for (const Span& span : spans) {
        double worstSine = 0.0, worstCosine = 0.0, worstAgainstLibrary = 0.0;
        for (float x = span.from; x < span.to; x += span.step) {
            float s = 0.0f, c = 0.0f;
            stretch::fastSinCos(x, s, c);
            worstSine = std::max(worstSine, std::fabs(s - std::sin(static_cast<double>(x))));
            worstCosine = std::max(worstCosine, std::fabs(c - std::cos(static_cast<double>(x))));
            worstAgainstLibrary =
                std::max({worstAgainstLibrary, std::fabs(static_cast<double>(s) - std::sin(x)),
                          std::fabs(static_cast<double>(c) - std::cos(x))});
        }
        SCOPED_TRACE(span.from);
        EXPECT_LE(worstSine, 1.2e-7);
        EXPECT_LE(worstCosine, 1.2e-7);
        EXPECT_LE(worstAgainstLibrary, 1.2e-7);
    }
    // Exact where the library is exact, and odd and even as they must be.
    float s = 1.0f, c = 0.0f;
    stretch::fastSinCos(0.0f, s, c);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(c, 1.0f);
    for (float x : {0.3f, 1.9f, 2.5f, 4.0f, 5.9f}) {
        float sp = 0.0f, cp = 0.0f, sn = 0.0f, cn = 0.0f;
        stretch::fastSinCos(x, sp, cp);
        stretch::fastSinCos(-x, sn, cn);
        EXPECT_EQ(sn, -sp) << x;
        EXPECT_EQ(cn, cp) << x;
    }
}

TEST(VectorMath, LogAndArctangentStayNearTheExactValues)
{
    // The spectrum analysis takes powers from 1e-30 up to the largest
    // floats, and phases of bins all round the circle.
    double worstLog = 0.0;
    for (float x = 1e-30f; x < 3e38f; x *= 1.0007f)
        worstLog = std::max(worstLog, std::fabs(stretch::fastLog(x) - std::log(static_cast<double>(x))) /
                                          std::max(1.0, std::fabs(std::log(static_cast<double>(x)))));
    EXPECT_LE(worstLog, 2e-7);
    EXPECT_EQ(stretch::fastLog(1.0f), 0.0f);
    double worstAngle = 0.0;
    for (int step = 0; step < 100000; ++step) {
        const double angle = -3.14159265 + step * (2 * 3.14159265 / 100000);
        for (float radius : {1e-20f, 1.0f, 3e30f}) {
            const auto re = static_cast<float>(radius * std::cos(angle));
            const auto im = static_cast<float>(radius * std::sin(angle));
            worstAngle =
                std::max(worstAngle, std::fabs(stretch::fastAtan2(im, re) -
                                               std::atan2(static_cast<double>(im), static_cast<double>(re))));
        }
    }
    EXPECT_LE(worstAngle, 2e-6);
    EXPECT_EQ(stretch::fastAtan2(0.0f, 0.0f), 0.0f);
}

TEST(VectorMath, FloorBySelectIsTheLibrarysFloor)
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> values {
        0.0f,    0.5f,      -0.5f,      0.9999999f, -0.9999999f, 1.0f,       -1.0f,       2.5f,
        -2.5f,   123456.7f, -123456.7f, 8388607.5f, -8388607.5f, 8388608.0f, -8388608.0f, 1.0e9f,
        -1.0e9f, 3.0e38f,   -3.0e38f,   inf,        -inf,        1.0e-30f,   -1.0e-30f};
    for (float v : values)
        EXPECT_EQ(stretch::floorBySelect(v), std::floor(v)) << v;
    EXPECT_TRUE(std::isnan(stretch::floorBySelect(std::numeric_limits<float>::quiet_NaN())));
}

}  // namespace
