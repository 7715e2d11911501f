#include "CPolyphaseMultiRateProcessing.h"

#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using Filter = CPolyphaseMultiRateProcessing;
using stretchtest::kPi;

std::vector<float> noise(int n, unsigned seed)
{
    return stretchtest::noise(n, seed, 10000.0f);
}

// Magnitude response in dB of a tap list at f cycles per sample.
double responseDb(const double* h, int taps, double f)
{
    double re = 0.0, im = 0.0;
    for (int i = 0; i < taps; ++i) {
        re += h[i] * std::cos(2.0 * kPi * f * i);
        im += h[i] * std::sin(2.0 * kPi * f * i);
    }
    return 20.0 * std::log10(std::hypot(re, im));
}

struct TableCase {
    uint32_t direction;
    int factor;
    double rate;
    int taps, phaseLength;
    double dcGain, middle;
    std::vector<double> first;
};

const std::vector<TableCase>& tableCases()
{
    static const std::vector<double> first50 = {-1.34633278e-07, -1.46370936e-06, -7.52764285e-06,
                                                -2.34901699e-05};
    static const std::vector<double> first70 = {6.62584095e-06, 1.16198914e-05, 1.13702605e-05,
                                                -8.33435919e-06};
    static const std::vector<TableCase> cases = {
        {Filter::Decimation, 2, 44100, 50, 0, 0.99999996, 0.262732068, first50},
        {Filter::Interpolation, 2, 22050, 50, 25, 0.99999996, 0.262732068, first50},
        {Filter::Decimation, 2, 11025, 70, 0, 1.00007893, 0.335128468, {}},
        {Filter::Interpolation, 2, 11025, 70, 35, 1.00007893, 0.335128468, {}},
        {Filter::Decimation, 4, 44100, 70, 0, 0.999197376, 0.136491974, first70},
        {Filter::Interpolation, 4, 44100, 70, 17, 0.999197376, 0.136491974, first70},
        {Filter::Interpolation, 4, 22050, 70, 17, 1.014227662, 0.170314058, {}},
        {Filter::Decimation, 4, 11025, 110, 0, 0.992435123, 0.180266209, {}},
        {Filter::Interpolation, 8, 48000, 170, 21, 0.966323746, 0.0895702554, {}},
    };
    return cases;
}

TEST(CPolyphaseMultiRateProcessing, TablesAreLinearPhaseLowPassesOfTheirGain)
{
    for (const TableCase& c : tableCases()) {
        SCOPED_TRACE(testing::Message()
                     << "direction " << c.direction << " factor " << c.factor << " at " << c.rate);
        Filter f(c.direction, c.factor, c.rate);
        ASSERT_TRUE(f.HasTable());
        ASSERT_EQ(f.Taps(), c.taps);
        EXPECT_EQ(Filter::TapsFor(c.direction, c.factor, c.rate), c.taps);
        EXPECT_EQ(f.PhaseLength(), c.phaseLength);
        EXPECT_EQ(f.GetDelay(), c.taps / 2 - 1);
        const double* h = f.Coefficients();
        double sum = 0.0;
        for (int i = 0; i < c.taps; ++i) {
            sum += h[i];
            ASSERT_EQ(h[i], h[c.taps - 1 - i]) << i;
        }
        EXPECT_NEAR(sum, c.dcGain, 1e-9);
        EXPECT_EQ(h[c.taps / 2], c.middle);
        for (size_t i = 0; i < c.first.size(); ++i)
            EXPECT_EQ(h[i], c.first[i]) << i;

        const double dc = 20.0 * std::log10(c.dcGain);
        const double nyquist = 0.5 / c.factor;
        for (int j = 0; j <= 200; ++j) {
            ASSERT_NEAR(responseDb(h, c.taps, nyquist / 4 * j / 200), dc, 0.05) << j;
            ASSERT_LT(responseDb(h, c.taps, nyquist + (0.5 - nyquist) * j / 200) - dc, -60.0) << j;
        }
    }
    EXPECT_EQ(Filter(Filter::Decimation, 4, 44100).GetDelay(), 34);
}

TEST(CPolyphaseMultiRateProcessing, CombinationsWithoutATableProduceNothing)
{
    struct Case {
        uint32_t direction;
        int factor;
        double rate;
    };
    const Case cases[] = {{Filter::Decimation, 1, 44100},    {Filter::Interpolation, 1, 44100},
                          {Filter::Interpolation, 4, 11025}, {Filter::Decimation, 2, 48000},
                          {Filter::Decimation, 4, 44100.5},  {3, 2, 44100}};
    const std::vector<float> x = noise(64, 1);
    std::vector<float> out(64 * 8, 1.0f);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.direction << " " << c.factor << " " << c.rate);
        Filter f(c.direction, c.factor, c.rate);
        EXPECT_FALSE(f.HasTable());
        EXPECT_EQ(Filter::TapsFor(c.direction, c.factor, c.rate), 0);
        int32_t produced = -1;
        f.Decimate(64, x.data(), out.data(), produced);
        EXPECT_EQ(produced, 0);
        f.Interpolate(64, x.data(), out.data(), produced);
        EXPECT_EQ(produced, 0);
    }
    // An interpolator's table does not make a decimator of it the other way.
    Filter decimator(Filter::Decimation, 2, 44100);
    int32_t produced = -1;
    decimator.Interpolate(64, x.data(), out.data(), produced);
    EXPECT_EQ(produced, 0);
}

// Decimator output m is sum c[k] x[f m + f - 1 - k]; interpolator output
// f m + p is f sum c[p + f k] y[m - k]; both against a direct convolution.
TEST(CPolyphaseMultiRateProcessing, OutputsMatchDirectConvolution)
{
    for (int factor : {2, 4, 8}) {
        SCOPED_TRACE(factor);
        const std::vector<float> x = noise(1003, static_cast<unsigned>(factor));
        Filter dec(Filter::Decimation, factor, 44100);
        std::vector<float> y(x.size() / factor + 1);
        int32_t produced = 0;
        dec.Decimate(static_cast<int32_t>(x.size()), x.data(), y.data(), produced);
        ASSERT_EQ(produced, static_cast<int32_t>(x.size()) / factor);
        const double* c = dec.Coefficients();
        for (int m = 0; m < produced; ++m) {
            double ref = 0.0;
            for (int k = 0; k < dec.Taps(); ++k) {
                const int i = factor * m + factor - 1 - k;
                ref += i >= 0 ? c[k] * x[i] : 0.0;
            }
            ASSERT_NEAR(y[m], ref, 1e-3) << m;
        }

        Filter inter(Filter::Interpolation, factor, 44100);
        std::vector<float> z(static_cast<size_t>(produced * factor));
        int32_t up = 0;
        inter.Interpolate(produced, y.data(), z.data(), up);
        ASSERT_EQ(up, produced * factor);
        for (int m = 0; m < produced; ++m) {
            for (int p = 0; p < factor; ++p) {
                double ref = 0.0;
                for (int k = 0; k < inter.PhaseLength(); ++k)
                    ref += m - k >= 0 ? c[p + factor * k] * y[m - k] : 0.0;
                ASSERT_NEAR(z[factor * m + p], factor * ref, 1e-2) << m << " " << p;
            }
        }
    }
}

TEST(CPolyphaseMultiRateProcessing, ShortBlocksAndConstantInput)
{
    Filter four(Filter::Decimation, 4, 44100);
    const std::vector<float> seven = noise(7, 3);
    float out[2] = {0.0f, 0.0f};
    int32_t produced = -1;
    four.Decimate(3, seven.data(), out, produced);
    EXPECT_EQ(produced, 0);
    four.Decimate(7, seven.data(), out, produced);
    EXPECT_EQ(produced, 1);
    const double* c = four.Coefficients();
    EXPECT_NEAR(out[0], c[0] * seven[3] + c[1] * seven[2] + c[2] * seven[1] + c[3] * seven[0], 1e-3);

    Filter two(Filter::Decimation, 2, 44100);
    const std::vector<float> ones(200, 1.0f);
    std::vector<float> y(100);
    two.Decimate(200, ones.data(), y.data(), produced);
    ASSERT_EQ(produced, 100);
    EXPECT_EQ(y[99], 0.99999996f);
    EXPECT_EQ(y[25], 0.99999996f);
}

TEST(CPolyphaseMultiRateProcessing, BlocksFedOneAfterAnotherEqualOneBlock)
{
    const std::vector<float> x = noise(4096, 8);
    for (uint32_t direction : {Filter::Decimation, Filter::Interpolation}) {
        SCOPED_TRACE(direction);
        auto run = [&](const std::vector<int>& blocks) {
            Filter f(direction, 4, 44100);
            std::vector<float> out(x.size() * 4);
            int32_t at = 0, in = 0;
            for (int n : blocks) {
                int32_t produced = 0;
                if (direction == Filter::Decimation)
                    f.Decimate(n, x.data() + in, out.data() + at, produced);
                else
                    f.Interpolate(n, x.data() + in, out.data() + at, produced);
                in += n;
                at += produced;
            }
            out.resize(static_cast<size_t>(at));
            return out;
        };
        const std::vector<float> whole = run({4096});
        EXPECT_EQ(run({512, 1024, 4, 2556}), whole);
        EXPECT_EQ(run({4000, 96}), whole);
    }
}

TEST(CPolyphaseMultiRateProcessing, DecimatedAndInterpolatedSineComesBack)
{
    const int n = 44100;
    const std::vector<float> x = stretchtest::sine(n, 1000.0, 44100.0, 10000.0);
    Filter dec(Filter::Decimation, 4, 44100), inter(Filter::Interpolation, 4, 44100);
    std::vector<float> low(n / 4), back(n);
    int32_t produced = 0, up = 0;
    dec.Decimate(n, x.data(), low.data(), produced);
    inter.Interpolate(produced, low.data(), back.data(), up);
    ASSERT_EQ(up, n);
    const int shift = 2 * inter.GetDelay();
    std::vector<float> aligned(back.begin() + shift, back.end());
    // The best lag, within 2 samples, and the level at it.
    int bestLag = 99;
    double bestError = 1e300;
    for (int lag = -3; lag <= 3; ++lag) {
        double e = 0.0;
        for (size_t i = 1000; i < 40000; ++i)
            e += std::pow(aligned[i] - x[i + lag], 2.0);
        if (e < bestError) {
            bestError = e;
            bestLag = lag;
        }
    }
    EXPECT_LE(std::abs(bestLag), 2);
    std::vector<float> ref(x.begin() + bestLag + 1000, x.begin() + bestLag + 40000);
    std::vector<float> got(aligned.begin() + 1000, aligned.begin() + 40000);
    const double db =
        20.0 * std::log10(stretchtest::rms(got, 0, got.size()) / stretchtest::rms(ref, 0, ref.size()));
    EXPECT_NEAR(db, 0.0, 0.1);
    EXPECT_LT(std::sqrt(bestError / 39000.0), 10000.0 * 0.02);
}

}  // namespace
