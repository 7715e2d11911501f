#include "RkMir/FrameFeatureMaker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using RkMir::FrameFeatureMaker;

namespace {

std::vector<double> sine(int n, double hz, double fs, double phase0 = 0)
{
    std::vector<double> s(n);
    for (int i = 0; i < n; ++i)
        s[i] = 0.5 * std::sin(2 * M_PI * hz * i / fs + phase0);
    return s;
}

TEST(FrameFeatureMaker, BankLayoutAt44100With8192Points)
{
    FrameFeatureMaker maker(8192);
    maker.buildFilterBank(44100.0f);
    const auto& bands = maker.filterBank().bands();
    ASSERT_EQ(bands.size(), 34u);
    EXPECT_EQ(maker.filterBank().windowLength(), 4097);

    struct Case {
        int band, first, last;
    };
    for (const Case& c : {Case {0, 19, 54}, Case {21, 981, 1292}}) {
        EXPECT_EQ(bands[c.band].firstBin, c.first) << c.band;
        EXPECT_EQ(bands[c.band].firstBin + bands[c.band].count - 1, c.last) << c.band;
    }
    // Each pitch-class window is seven unit-norm octave kernels that do not
    // overlap, so its squared weights sum to 7.
    const auto& w = maker.filterBank().weights();
    for (int c = 22; c < 34; ++c) {
        double sq = 0;
        for (int j = 0; j < bands[c].count; ++j)
            sq += double(w[bands[c].weightOffset + j]) * w[bands[c].weightOffset + j];
        EXPECT_NEAR(sq, 7.0, 1e-3) << c;
    }
}

TEST(FrameFeatureMaker, SineLandsInItsBandAndPitchClass)
{
    const int n = 8192;
    const double fs = 44100;
    FrameFeatureMaker maker(n);
    maker.buildFilterBank(static_cast<float>(fs));
    struct Case {
        double hz;
        int pitchClass;
        int bandLo, bandHi;
    };
    const Case cases[] = {
        {440.0, 9, 2, 3},   // A4 between band peaks 400 and 500 Hz
        {261.63, 0, 1, 1},  // C4, near the peak of band 1 (300 Hz)
        {1046.5, 0, 8, 9},  // C6
        {207.65, 8, 0, 0},  // G#3
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hz);
        const std::vector<double> out = maker.processFrame(sine(n, c.hz, fs));
        ASSERT_EQ(out.size(), 34u);
        const auto bandMax = std::max_element(out.begin(), out.begin() + 22) - out.begin();
        const auto chromaMax = std::max_element(out.begin() + 22, out.end()) - out.begin() - 22;
        EXPECT_GE(bandMax, c.bandLo);
        EXPECT_LE(bandMax, c.bandHi);
        EXPECT_EQ(chromaMax, c.pitchClass);
        for (double v : out)
            EXPECT_GE(v, 0.0);
    }
}

TEST(FrameFeatureMaker, FrameSlidesByTheHop)
{
    const int n = 1024;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> d(-1, 1);
    std::vector<double> audio(3000);
    for (double& v : audio)
        v = d(rng);

    auto make = [&] {
        auto m = std::make_unique<FrameFeatureMaker>(n);
        m->buildFilterBank(44100.0f);
        return m;
    };
    // Reference: the last n samples in one call.
    auto ref = make();
    const std::vector<double> expected = ref->processFrame(std::vector<double>(audio.end() - n, audio.end()));

    // More than n samples: only the last n count.
    auto longer = make();
    EXPECT_EQ(longer->processFrame(std::vector<double>(audio.end() - n - 10, audio.end())), expected);

    // Hops of 256 samples carry the frame over from call to call.
    auto hopped = make();
    std::vector<double> out;
    for (size_t pos = audio.size() - 2 * n; pos < audio.size(); pos += 256)
        out = hopped->processFrame(std::vector<double>(audio.begin() + pos, audio.begin() + pos + 256));
    EXPECT_EQ(out, expected);

    // Before the hops fill it, the frame starts with zeros.
    auto fresh = make();
    const std::vector<double> tail(audio.end() - 256, audio.end());
    std::vector<double> padded(n, 0.0);
    std::copy(tail.begin(), tail.end(), padded.end() - 256);
    EXPECT_EQ(fresh->processFrame(tail), make()->processFrame(padded));
}

TEST(FrameFeatureMaker, NoBankGivesEmptyOutput)
{
    FrameFeatureMaker maker(512);
    EXPECT_TRUE(maker.processFrame(std::vector<double>(512, 0.3)).empty());
}

TEST(FrameFeatureMaker, LowSampleRateClipsBandsToTheSpectrum)
{
    // At 8 kHz the upper band edges lie above the highest bin.
    FrameFeatureMaker maker(1024);
    maker.buildFilterBank(8000.0f);
    const auto& bands = maker.filterBank().bands();
    ASSERT_EQ(bands.size(), 34u);
    for (const auto& b : bands)
        EXPECT_LE(b.firstBin + b.count, 513);
    EXPECT_EQ(maker.processFrame(sine(1024, 3900, 8000)).size(), 34u);
}

TEST(FrameFeatureMaker, CosineTableRowsAreOrthogonal)
{
    FrameFeatureMaker maker(256);
    const std::vector<double>& c = maker.cosineTable();
    ASSERT_EQ(c.size(), 22u * 22u);
    EXPECT_DOUBLE_EQ(c[0], 2.0);
    EXPECT_NEAR(c[22 * 1 + 0], 2 * std::cos(M_PI / 44), 1e-5);
    EXPECT_NEAR(c[22 * 21 + 21], 2 * std::cos(M_PI * 21 * 43 / 44), 1e-3);
    for (int i = 0; i < 22; ++i)
        for (int k = 0; k < 22; ++k) {
            double dot = 0;
            for (int j = 0; j < 22; ++j)
                dot += c[22 * i + j] * c[22 * k + j];
            const double expect = i != k ? 0.0 : (i == 0 ? 88.0 : 44.0);
            EXPECT_NEAR(dot, expect, 2e-3) << i << "," << k;
        }
}

}  // namespace
