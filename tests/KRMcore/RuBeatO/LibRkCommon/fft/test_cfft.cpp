#include "fft/CFft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

// Derived front ends see the work buffers; so does the test.
class Probe : public CFft {
public:
    using CFft::CFft;
    const float* frameData() const { return data(); }
    const float* windowData() const { return window(); }
};

// 2 * |DFT| of a frame, bins 0 .. n/2-1, in double.
std::vector<double> twiceDftMagnitude(const std::vector<double>& f)
{
    const int n = static_cast<int>(f.size());
    std::vector<double> out(n / 2);
    for (int k = 0; k < n / 2; ++k) {
        double re = 0, im = 0;
        for (int j = 0; j < n; ++j) {
            const double ang = 2.0 * M_PI * static_cast<double>((static_cast<long long>(j) * k) % n) / n;
            re += f[j] * std::cos(ang);
            im += f[j] * std::sin(ang);
        }
        out[k] = 2.0 * std::hypot(re, im);
    }
    return out;
}

TEST(CFft, ConstantInputWithoutWindowFillsOnlyDc)
{
    struct Case {
        int size;
        float v;
    };
    for (const Case& c : {Case {2, 3.0f}, Case {8, -0.5f}, Case {1024, 0.25f}, Case {4096, -1.5f}}) {
        SCOPED_TRACE(c.size);
        CFft fft(c.size, 0);
        EXPECT_EQ(fft.size(), c.size);
        std::vector<float> in(c.size, c.v);
        std::vector<float> out(c.size / 2, -1.0f);
        fft.magnitude(out.data(), in.data(), c.size, -1, false, 1);
        EXPECT_FLOAT_EQ(out[0], 2.0f * c.size * std::fabs(c.v));
        for (int k = 1; k < c.size / 2; ++k)
            ASSERT_NEAR(out[k], 0.0f, 1e-3f) << k;
    }
}

// Which input samples make the frame: a full frame, a short one zero-padded at
// its end, none, a negative count (a full frame) and a strided read.
TEST(CFft, FrameCopyRulesAndMagnitudes)
{
    const int n = 256;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> in(4 * n);
    for (float& v : in)
        v = d(rng);

    struct Case {
        int nIn;
        unsigned stride;
        int taken;
        bool window;
    };
    const Case cases[] = {
        {n, 1, n, false},
        {n + 100, 1, n, true},
        {-1, 1, n, false},  // counts as a huge unsigned number
        {0, 1, 0, true},
        {n / 2 + 3, 1, n / 2 + 3, false},
        {4 * n, 4, n, false},        // every fourth sample from the first
        {4 * n - 5, 4, n - 1, true}  // the last strided sample is missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "nIn " << c.nIn << " stride " << c.stride);
        Probe fft(n, 1);
        ASSERT_EQ(fft.setWindow(n, CFft::Hann), 0);
        std::vector<double> frame(n, 0.0);
        for (int j = 0; j < c.taken; ++j)
            frame[j] = in[static_cast<size_t>(j) * c.stride] * (c.window ? fft.windowData()[j] : 1.0f);
        const std::vector<double> ref = twiceDftMagnitude(frame);

        std::vector<float> out(n / 2, -1.0f);
        fft.magnitude(out.data(), in.data(), c.nIn, -1, c.window, c.stride);
        for (int k = 0; k < n / 2; ++k)
            ASSERT_NEAR(out[k], ref[k], 1e-4) << k;
    }
}

TEST(CFft, NullOutputStillTransforms)
{
    const int n = 64;
    Probe fft(n, 0);
    std::vector<float> in(n, 1.0f);
    fft.magnitude(nullptr, in.data(), n, -1, false, 1);
    EXPECT_FLOAT_EQ(fft.frameData()[0], 2.0f * n);  // DC of the doubled frame
    fft.magnitude(nullptr, in.data(), 0, -1, false, 1);
    for (int i = 0; i < 2 * n; ++i)
        ASSERT_EQ(fft.frameData()[i], 0.0f) << i;
}

TEST(CFft, WindowCoefficients)
{
    const unsigned N = 1024;
    const double L = N - 1;
    auto hamming = [&](double i) { return 0.54 - 0.46 * std::cos(2 * M_PI * i / L); };
    auto hann = [&](double i) { return 0.5 - 0.5 * std::cos(2 * M_PI * i / L); };
    auto blackman = [&](double i) {
        return 0.42 - 0.5 * std::cos(2 * M_PI * i / L) + 0.08 * std::cos(4 * M_PI * i / L);
    };
    auto bartlettHann = [&](double i) {
        const double x = i / L - 0.5;
        return 0.62 - 0.48 * std::fabs(x) + 0.38 * std::cos(6.28318 * x);
    };
    struct Case {
        int type;
        std::function<double(double)> f;
    };
    const Case cases[] = {{CFft::Hamming, hamming},
                          {CFft::Hann, hann},
                          {CFft::Blackman, blackman},
                          {CFft::BartlettHann, bartlettHann}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Probe fft(static_cast<int>(N), 0);
        ASSERT_EQ(fft.setWindow(N, c.type), 0);
        for (unsigned i : {0u, N / 2, N - 1})
            EXPECT_NEAR(fft.windowData()[i], c.f(i), 1e-6) << i;
    }
    // A one-point window passes its sample whatever the type.
    for (int type = CFft::Hamming; type <= CFft::BartlettHann; ++type) {
        Probe one(2, 0);
        ASSERT_EQ(one.setWindow(1, type), 0);
        EXPECT_EQ(one.windowData()[0], 1.0f) << type;
    }
    // Spot values that do not depend on the test's own formulas.
    Probe fft(static_cast<int>(N), 0);
    fft.setWindow(N, CFft::Hamming);
    EXPECT_NEAR(fft.windowData()[0], 0.08f, 1e-7f);
    EXPECT_NEAR(fft.windowData()[N - 1], 0.08f, 1e-6f);
    fft.setWindow(N, CFft::BartlettHann);
    EXPECT_NEAR(fft.windowData()[0], 0.0f, 1e-6f);
}

TEST(CFft, UnknownWindowTypeKeepsPreviousWindow)
{
    const int n = 128;
    Probe fft(n, 256);
    EXPECT_EQ(fft.mode(), 256);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(fft.windowData()[i], 1.0f);  // all ones until set
    ASSERT_EQ(fft.setWindow(n, CFft::Blackman), 0);
    const std::vector<float> before(fft.windowData(), fft.windowData() + 2 * n);

    EXPECT_EQ(fft.setWindow(n, 4), -1);
    EXPECT_EQ(fft.setWindow(n, -1), -1);
    EXPECT_EQ(fft.setWindow(0, CFft::Hann), 0);  // writes nothing
    EXPECT_EQ(std::vector<float>(fft.windowData(), fft.windowData() + 2 * n), before);

    // The next transform still uses the Blackman window.
    std::vector<float> in(n, 1.0f), out(n / 2), ref(n / 2);
    fft.magnitude(out.data(), in.data(), n, -1, true, 1);
    Probe fresh(n, 0);
    fresh.setWindow(n, CFft::Blackman);
    fresh.magnitude(ref.data(), in.data(), n, -1, true, 1);
    EXPECT_EQ(out, ref);
}

}  // namespace
