#include "CSpectrum.h"

#include "StretchTestUtil.h"
#include "TimeScaleParameterBlock.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

namespace {

using stretchtest::kPi;

// The spectrum window with its protected buffers left alone; Setup is public.
struct Window {
    explicit Window(const TimeScaleParameterBlock* block = nullptr) : spectrum(fft, block) { }
    SharedFft fft;
    CSpectrum spectrum;
};

TEST(CSpectrum, GeometryFollowsHopAndFactor)
{
    struct Case {
        int hop;
        float factor;
        int expectHop, length, fftSize, offset;
        double ratio;
    };
    const Case cases[] = {
        {256, 8, 256, 2048, 2048, 0, 1.0},
        {64, 16, 64, 1024, 1024, 0, 1.0},
        {128, 6, 128, 768, 512, 128, 1.5},
        {300, 2, 256, 512, 512, 0, 1.0},
        {2, 2, 4, 8, 8, 0, 1.0},
        {4096, 64, 4096, 16383, 8192, 4095, 16383.0 / 8192},
        {200000, 1, 131072, 16383, 8192, 4095, 16383.0 / 8192},
    };
    Window w;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hop << " x " << c.factor);
        w.spectrum.Setup(c.hop, 4, c.factor, 50);
        EXPECT_EQ(w.spectrum.Hop(), c.expectHop);
        EXPECT_EQ(w.spectrum.WindowLength(), c.length);
        EXPECT_EQ(w.spectrum.FftSize(), c.fftSize);
        EXPECT_EQ(w.spectrum.WindowOffset(), c.offset);
        EXPECT_DOUBLE_EQ(w.spectrum.LengthRatio(), c.ratio);
        EXPECT_EQ(w.spectrum.WindowPoints(), c.length + 1);
    }
    w.spectrum.Setup(256, 8, 8, 0);
    EXPECT_EQ(w.spectrum.WindowPoints(), 1025);

    // Built from a band's block.
    TimeScaleParameterBlock block;
    block.SetParameter(TimeScaleParameterBlock::Hop, 64);
    block.SetParameter(TimeScaleParameterBlock::WindowFactor, 16);
    Window fromBlock(&block);
    EXPECT_EQ(fromBlock.spectrum.FftSize(), 1024);
    EXPECT_EQ(fromBlock.spectrum.WindowType(), 11);
    Window plain;
    EXPECT_EQ(plain.spectrum.Hop(), 128);
    EXPECT_EQ(plain.spectrum.FftSize(), 256);
}

TEST(CSpectrum, WindowsMatchTheirFormulasAndGainFactors)
{
    const int n = 2049;
    const double half = (n - 1) / 2.0;
    std::vector<float> w(n), w8(n);
    for (int type = 0; type <= 13; ++type) {
        SCOPED_TRACE(type);
        CSpectrum::MakeWindow(n, type, w.data());
        double sum = 0.0;
        for (int i = 0; i < n; ++i) {
            sum += w[i];
            ASSERT_FLOAT_EQ(w[i], w[n - 1 - i]) << i;
        }
        EXPECT_NEAR(sum, 2.0, 1e-4);
        // The raw window peaks at 1 in the middle, so length / raw sum is
        // n * w[centre] / 2.
        EXPECT_NEAR(n * w[n / 2] / 2.0 / CSpectrum::GainFactor(type), 1.0, 1e-3);
    }
    CSpectrum::MakeWindow(n, 8, w8.data());
    CSpectrum::MakeWindow(n, 13, w.data());
    EXPECT_EQ(w, w8);

    // Hamming and a Kaiser window from their textbook formulas.
    struct Reference {
        int type;
        double (*value)(int i, double half);
    };
    const Reference refs[] = {
        {0, [](int i, double h) { return 0.54 - 0.46 * std::cos(kPi * i / h); }},
        {6,
         [](int i, double h) {
             const double k = (i - h) / h;
             return std::cyl_bessel_i(0.0, 3.0 * kPi * std::sqrt(1.0 - k * k)) /
                    std::cyl_bessel_i(0.0, 3.0 * kPi);
         }},
        {12, [](int i, double h) { return 1.0 - std::fabs(i - h) / h; }},
    };
    for (const Reference& r : refs) {
        SCOPED_TRACE(r.type);
        CSpectrum::MakeWindow(n, r.type, w.data());
        double sum = 0.0;
        for (int i = 0; i < n; ++i)
            sum += r.value(i, half);
        for (int i = 0; i < n; i += 7)
            ASSERT_NEAR(w[i], r.value(i, half) * 2.0 / sum, 1e-7) << i;
    }
}

// Synthesis weights (synthesis window x gain / inverse window) overlap-added
// at the hop: one everywhere for a cross-fade of 50 % and 25 %, within one
// ramp step for 10 %.
TEST(CSpectrum, SynthesisWeightsCrossFadeAtTheHop)
{
    for (float x : {50.0f, 25.0f, 10.0f}) {
        SCOPED_TRACE(x);
        Window w;
        w.spectrum.Setup(256, 11, 8, x);
        const int length = w.spectrum.WindowLength();
        const int hop = w.spectrum.Hop();
        std::vector<double> sum(static_cast<size_t>(length + 8 * hop), 0.0);
        for (int frame = 0; frame < 8; ++frame) {
            for (int i = 1; i < length; ++i) {
                const double weight =
                    w.spectrum.SynthesisWindow()[i] * w.spectrum.Gain() / w.spectrum.InverseWindow()[i];
                sum[static_cast<size_t>(frame * hop + i)] += weight;
            }
        }
        const double ramp = std::floor(hop * x / 50.0 + 0.5);
        const double tolerance = x == 10.0f ? 1.0 / ramp + 1e-5 : 1e-5;
        for (int i = length; i < 8 * hop; ++i)
            ASSERT_NEAR(sum[static_cast<size_t>(i)], 1.0, tolerance) << i;
    }
}

// A steady sine framed zero-phase with the type's window over 2049 points,
// transformed, back through InverseSpectrum and overlap-added at hop 256
// comes back at its own level.
TEST(CSpectrum, ZeroPhaseFramesComeBackThroughInverseSpectrum)
{
    const int hop = 256, n = 2048, points = 2049;
    const std::vector<float> x = stretchtest::sine(40000, 1234.5, 44100.0, 10000.0, 0.3);
    for (int type : {0, 4, 8, 11}) {
        SCOPED_TRACE(type);
        Window w;
        w.spectrum.Setup(hop, type, 8, 50);
        ASSERT_EQ(w.spectrum.FftSize(), n);
        std::vector<float> window(points);
        CSpectrum::MakeWindow(points, type, window.data());
        std::vector<float> y(x.size(), 0.0f), frame(n), out(n);
        for (int centre = n; centre + n < static_cast<int>(x.size()); centre += hop) {
            std::fill(frame.begin(), frame.end(), 0.0f);
            for (int j = -points / 2; j <= points / 2; ++j)
                frame[static_cast<size_t>((j + n) % n)] += x[centre + j] * window[j + points / 2];
            w.fft.Transform(n, 1, frame.data());
            for (int k = 1; k < n / 2; ++k)
                frame[2 * k + 1] = -frame[2 * k + 1];
            ASSERT_EQ(w.spectrum.InverseSpectrum(frame.data(), out.data()), 0);
            for (int k = 0; k < n; ++k)
                y[static_cast<size_t>(centre - n / 2 + k)] += out[k];
            ASSERT_EQ(frame, out);
        }
        const size_t from = 3 * n, to = x.size() - 3 * n;
        const double db = 20.0 * std::log10(stretchtest::rms(y, from, to) / stretchtest::rms(x, from, to));
        EXPECT_NEAR(db, 0.0, 0.05);
        for (size_t i = from; i < to; ++i)
            ASSERT_NEAR(y[i], x[i], 10000.0 * 0.006) << i;
    }
}

TEST(CSpectrum, PowerSpectrumMatchesTheNaiveDft)
{
    Window w;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    const int n = 100, size = 128;
    std::vector<float> x(n), window(n);
    std::vector<double> product(size, 0.0);
    for (int i = 0; i < n; ++i) {
        x[i] = 100.0f * d(rng);
        window[i] = 0.5f + 0.5f * d(rng);
        product[i] = static_cast<double>(x[i] * window[i]);
    }
    const std::vector<double> ref = stretchtest::naivePackedDft(product);
    std::vector<float> out(size / 2 + 1, -1.0f);
    ASSERT_EQ(w.spectrum.PowerSpectrum(x.data(), window.data(), n, out.data(), size), 0);
    EXPECT_NEAR(out[0], std::fabs(ref[0]), 1e-3);
    EXPECT_NEAR(out[size / 2], std::fabs(ref[1]), 1e-3);
    for (int k = 1; k < size / 2; ++k)
        ASSERT_NEAR(out[k], ref[2 * k] * ref[2 * k] + ref[2 * k + 1] * ref[2 * k + 1], 1.0) << k;

    testing::internal::CaptureStderr();
    const std::vector<float> before = out;
    EXPECT_EQ(w.spectrum.PowerSpectrum(x.data(), window.data(), n, out.data(), 96), 1);
    EXPECT_EQ(w.spectrum.PowerSpectrum(x.data(), window.data(), n, out.data(), 16384), 1);
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ(out, before);
}

// Magnitude and phase of bin k of a packed spectrum.
double binDb(const std::vector<float>& s, int k, int bins)
{
    const double re = k == 0 ? s[0] : (k == bins ? s[1] : s[2 * k]);
    const double im = (k == 0 || k == bins) ? 0.0 : s[2 * k + 1];
    return 20.0 * std::log10(std::hypot(re, im) / 32768.0);
}

double binPhase(const std::vector<float>& s, int k)
{
    return std::atan2(s[2 * k + 1], s[2 * k]);
}

TEST(CSpectrum, ResidualSpectrumReadsTheEnvelopeAtTheBinRatio)
{
    const int bins = 16;
    struct Case {
        const char* name;
        int count;
        double coverage;
        // Envelope position read by bins 3 and 6 (-1: past the end).
        double at3, at6;
    };
    const Case cases[] = {
        {"r = 1", bins + 1, 1.0, 3, 6},
        {"r = 2", 2 * bins + 1, 1.0, 6, 12},
        {"r = 4", 4 * bins + 1, 1.0, 12, 24},
        {"r = 1.5", bins + 1, 1.5, 4.5, 9},
        {"r = 3 past the end", bins + 1, 3.0, 9, -1},
        {"coverage 0.5", 2 * bins + 1, 0.5, 3 * 15.0 / 16, 6 * 15.0 / 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> db(c.count), phase(c.count);
        for (int i = 0; i < c.count; ++i) {
            db[i] = -0.5f * i;
            phase[i] = 0.01f * i;
        }
        Window w;
        w.spectrum.Setup(8, 11, 4, 50);
        std::vector<float> s(2 * bins, 0.0f);
        w.spectrum.SynthesizeResidualSpectrum(db.data(), phase.data(), c.count, s.data(), c.coverage, bins);
        const double ats[2] = {c.at3, c.at6};
        const int ks[2] = {3, 6};
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(ks[i]);
            if (ats[i] < 0) {
                EXPECT_NEAR(binDb(s, ks[i], bins), -100.0, 1e-3);
                continue;
            }
            EXPECT_NEAR(binDb(s, ks[i], bins), -0.5 * ats[i], 1e-4);
            EXPECT_NEAR(binPhase(s, ks[i]), 0.01 * ats[i], 1e-5);
        }
        EXPECT_NEAR(s[0], 32768.0f, 0.01f);  // 0 dB at phase 0
    }
    // Silence (the lowest float) adds nothing; DC and Nyquist are replaced.
    std::vector<float> silent(bins + 1, -FLT_MAX);
    std::vector<float> zero(bins + 1, 0.0f);
    std::vector<float> s(2 * bins, 5.0f);
    Window w;
    w.spectrum.SynthesizeResidualSpectrum(silent.data(), zero.data(), bins + 1, s.data(), 1.0, bins);
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_EQ(s[1], 0.0f);
    EXPECT_EQ(s[2], 5.0f);
}

TEST(CSpectrum, ResidualPhasesAreReproducibleAndRotateBetweenDraws)
{
    const int bins = 16, hop = 8;
    std::vector<float> db(bins + 1, -20.0f);
    auto run = [&](CSpectrum& spectrum) {
        std::vector<float> s(2 * bins, 0.0f);
        spectrum.SynthesizeResidualSpectrum(db.data(), nullptr, bins + 1, s.data(), 1.0, bins);
        return s;
    };
    Window a, b;
    a.spectrum.Setup(hop, 11, 4, 50);
    b.spectrum.Setup(hop, 11, 4, 50);
    const std::vector<float> first = run(a.spectrum);
    const std::vector<float> second = run(a.spectrum);
    EXPECT_EQ(run(b.spectrum), first);
    for (int k = 1; k <= hop - 2; ++k)
        EXPECT_NEAR(binPhase(second, k), binPhase(first, k + 1), 1e-5) << k;
    for (int k = hop; k < bins; ++k)
        EXPECT_GT(std::fabs(binPhase(second, k) - binPhase(first, k)), 1e-6) << k;
    for (int k = 1; k < bins; ++k)
        EXPECT_NEAR(binDb(second, k, bins), -20.0, 1e-4) << k;
    // Setup restarts the generator and the call count.
    a.spectrum.Setup(hop, 11, 4, 50);
    EXPECT_EQ(run(a.spectrum), first);
}

}  // namespace
