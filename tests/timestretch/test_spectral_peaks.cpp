#include "SpectralPeaks.h"

#include "SMSFrame.h"
#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using stretchtest::kPi;

// Magnitudes in dB of a Hann-windowed sine of n samples at `bin` (may be
// fractional) by the naive DFT: n / 2 + 1 bins.
std::vector<float> sineSpectrumDb(int n, double bin)
{
    std::vector<double> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        x[static_cast<size_t>(i)] = (0.5 - 0.5 * std::cos(2 * kPi * i / n)) * std::cos(2 * kPi * bin * i / n);
    const std::vector<double> a = stretchtest::naivePackedDft(x);
    std::vector<float> m(static_cast<size_t>(n / 2 + 1));
    m[0] = static_cast<float>(20 * std::log10(std::fabs(a[0]) + 1e-12));
    m[static_cast<size_t>(n / 2)] = static_cast<float>(20 * std::log10(std::fabs(a[1]) + 1e-12));
    for (int k = 1; k < n / 2; ++k)
        m[static_cast<size_t>(k)] =
            static_cast<float>(10 * std::log10(a[2 * k] * a[2 * k] + a[2 * k + 1] * a[2 * k + 1] + 1e-24));
    return m;
}

std::vector<double> peaksOf(const std::vector<float>& m, float fmax, double threshold, int halfWidth)
{
    std::vector<double> peaks(kMaxPeaks);
    int32_t count = 0;
    EXPECT_EQ(FindSpectralPeaks(m.data(), static_cast<int32_t>(m.size()), fmax, threshold, halfWidth, count,
                                peaks.data()),
              0);
    peaks.resize(static_cast<size_t>(count));
    return peaks;
}

TEST(FindSpectralPeaks, PicksTheMaximaAboveTheThreshold)
{
    const int n = 64;
    const float fmax = 32.0f;  // one hertz per bin
    {
        SCOPED_TRACE("below the threshold");
        EXPECT_TRUE(peaksOf(sineSpectrumDb(n, 10.0), fmax, 60.0, 1).empty());
    }
    {
        SCOPED_TRACE("two equal neighbouring maxima, w = 1: both, at their midpoint");
        std::vector<float> m(33, -80.0f);
        m[9] = -20.0f;
        m[10] = m[11] = -6.0f;
        m[12] = -20.0f;
        const std::vector<double> p = peaksOf(m, fmax, -100.0, 1);
        ASSERT_EQ(p.size(), 2u);
        EXPECT_DOUBLE_EQ(p[0], 10.5);
        EXPECT_DOUBLE_EQ(p[1], 10.5);
    }
    {
        SCOPED_TRACE("a sine midway between bins 12 and 13: two peaks at 12.5 bins");
        // Its spectrum is symmetric about 12.5 bins; rounding of the sums is
        // evened out so that the two bins are exactly equal.
        std::vector<float> m = sineSpectrumDb(n, 12.5);
        for (int k = 0; k <= 12; ++k)
            m[static_cast<size_t>(k)] = m[static_cast<size_t>(25 - k)];
        const std::vector<double> p = peaksOf(m, fmax, -40.0, 1);
        ASSERT_EQ(p.size(), 2u);
        EXPECT_NEAR(p[0], 12.5 * fmax / (n / 2), 1e-6);
        EXPECT_NEAR(p[1], 12.5 * fmax / (n / 2), 1e-6);
    }
    {
        SCOPED_TRACE("a sine between bins: one peak near its frequency");
        const std::vector<double> p = peaksOf(sineSpectrumDb(n, 20.3), fmax, 0.0, 2);
        ASSERT_EQ(p.size(), 1u);
        EXPECT_NEAR(p[0], 20.3, 0.05);
    }
    {
        SCOPED_TRACE("a flat top three bins wide (w = 2): its middle, not a NaN");
        std::vector<float> m(33, -80.0f);
        m[14] = m[15] = m[16] = -10.0f;
        const std::vector<double> p = peaksOf(m, fmax, -100.0, 2);
        ASSERT_FALSE(p.empty());
        for (double f : p)
            EXPECT_TRUE(std::isfinite(f));
        EXPECT_NE(std::find(p.begin(), p.end(), 15.0), p.end());
    }
}

TEST(FindSpectralPeaks, FindsEveryStrictMaximumOfLongNoisySpectra)
{
    // Long spectra in which most bins sit on a slope (the search skips
    // those quickly): every bin above the threshold and above all its
    // neighbours within the half-width is found, within half a bin, and
    // every peak found lies on a bin below neither neighbour.
    std::mt19937 random(7);
    std::normal_distribution<float> step(0.0f, 3.0f);
    for (int halfWidth : {1, 2, 3}) {
        for (int trial = 0; trial < 20; ++trial) {
            const int n = 2049;
            std::vector<float> m(static_cast<size_t>(n));
            float level = -60.0f;
            for (float& v : m) {
                level = std::min(0.0f, std::max(-120.0f, level + step(random)));
                v = level;
            }
            const double threshold = -70.0;
            const std::vector<double> p = peaksOf(m, static_cast<float>(n - 1), threshold, halfWidth);
            const auto at = [&](int k) { return m[static_cast<size_t>(k)]; };
            for (int k = 2; k <= n - 4; ++k) {
                bool strict = at(k) > threshold;
                for (int j = std::max(k - halfWidth, 1); j <= std::min(k + halfWidth, n - 2) && strict; ++j)
                    strict = j == k || at(j) < at(k);
                if (!strict)
                    continue;
                const bool found =
                    std::any_of(p.begin(), p.end(), [&](double f) { return std::fabs(f - k) <= 0.5; });
                EXPECT_TRUE(found) << "bin " << k << ", half-width " << halfWidth << ", trial " << trial;
            }
            for (double f : p) {
                const int k = static_cast<int>(std::lround(f));
                if (k == 0)
                    continue;  // the DC bin follows its own rule
                ASSERT_LE(k, n - 2);
                EXPECT_TRUE(at(k) >= at(k - 1) || at(k) >= at(k + 1)) << f;
            }
        }
    }
}

TEST(FindSpectralPeaks, StopsAtTheListsRoomAndIgnoresShortSpectra)
{
    std::vector<float> comb(4001);
    for (size_t k = 0; k < comb.size(); ++k)
        comb[k] = k % 2 ? -10.0f : -30.0f;
    EXPECT_EQ(peaksOf(comb, 4000.0f, -100.0, 1).size(), static_cast<size_t>(kMaxPeaks));

    std::vector<double> peaks(4, -1.0);
    int32_t count = 0;
    const float three[3] = {0.0f, -10.0f, -20.0f};
    FindSpectralPeaks(three, 3, 100.0f, -100.0, 1, count, peaks.data());
    FindSpectralPeaks(nullptr, 64, 100.0f, -100.0, 1, count, peaks.data());
    EXPECT_EQ(count, 0);
}

// Two ranges as the engine has them: range 0 up to 5512.5 Hz, range 1 up to
// 22050 Hz, nominal edge 1500 Hz.
struct Ranges {
    std::vector<double> lists[2][2];  // [earlier/later][range]
    int32_t counts[2][2] = {{0, 0}, {0, 0}};
    double edges[2][2] = {{1500.0, 22050.0}, {1500.0, 22050.0}};
    float maxima[2] = {5512.5f, 22050.0f};
    PeakPairTable pairs;

    Ranges()
    {
        for (auto& frame : lists)
            for (auto& list : frame)
                list.assign(kMaxPeaks, 0.0);
    }
    void set(int frame, int range, const std::vector<double>& peaks)
    {
        std::copy(peaks.begin(), peaks.end(), lists[frame][range].begin());
        counts[frame][range] = static_cast<int32_t>(peaks.size());
    }
    void pair(double maxDeviation, int32_t rangeCount = 2)
    {
        double* earlier[2] = {lists[0][0].data(), lists[0][1].data()};
        double* later[2] = {lists[1][0].data(), lists[1][1].data()};
        ASSERT_EQ(TSBandContinuePeaks(earlier, counts[0], later, counts[1], edges[0], edges[1], maxDeviation,
                                      rangeCount, pairs, maxima),
                  0);
    }
};

TEST(TSBandContinuePeaks, PairsNearestPeaksWithinTheDeviationInRisingOrder)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> shift(-60.0, 60.0);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::vector<double> earlier, later;
        for (double f = 100.0; f < 1400.0; f += 97.0) {
            earlier.push_back(f);
            later.push_back(f + shift(rng) * (round % 2 ? 1.0 : 0.3));
        }
        std::sort(later.begin(), later.end());
        Ranges r;
        r.set(0, 0, earlier);
        r.set(1, 0, later);
        r.pair(40.0);
        ASSERT_GT(r.pairs.count, 0u);
        for (uint32_t i = 0; i < r.pairs.count; ++i) {
            EXPECT_LT(std::fabs(r.pairs.later[i] - r.pairs.earlier[i]), 40.0);
            if (i > 0) {
                EXPECT_GT(r.pairs.later[i], r.pairs.later[i - 1]);
                EXPECT_NE(r.pairs.earlier[i], r.pairs.earlier[i - 1]);
            }
        }
    }
}

TEST(TSBandContinuePeaks, MovesTheEdgeBetweenPeaksAndKeepsEachPartialOnce)
{
    {
        SCOPED_TRACE("partials at 1480 and 1700 Hz seen by both ranges");
        Ranges r;
        for (int frame = 0; frame < 2; ++frame) {
            r.set(frame, 0, {700.0, 1480.0, 1700.2});
            r.set(frame, 1, {700.3, 1480.4, 1700.0, 3000.0});
        }
        r.pair(40.0);
        ASSERT_EQ(r.pairs.count, 4u);
        EXPECT_DOUBLE_EQ(r.pairs.later[0], 700.0);
        EXPECT_DOUBLE_EQ(r.pairs.later[1], 1480.0);
        EXPECT_DOUBLE_EQ(r.pairs.later[2], 1700.0);
        EXPECT_DOUBLE_EQ(r.pairs.later[3], 3000.0);
        EXPECT_GT(r.edges[1][0], 1480.0);
        EXPECT_LT(r.edges[1][0], 1700.0);
    }
    {
        SCOPED_TRACE("a lone partial above the nominal edge is paired once");
        Ranges r;
        for (int frame = 0; frame < 2; ++frame) {
            r.set(frame, 0, {1599.9});
            r.set(frame, 1, {1600.25});
        }
        r.pair(40.0);
        ASSERT_EQ(r.pairs.count, 1u);
        EXPECT_DOUBLE_EQ(r.pairs.later[0], 1600.25);
    }
    {
        // As at the start of a steady tone: the earlier frame (the first,
        // half of its window before the input) holds the tone alone, the
        // later one also the weak peaks of its own window's edge. The one
        // pair stays in its range: an edge below it would hand it to the
        // range above, whose band does not sound it.
        SCOPED_TRACE("one pair below the edge and none above it");
        Ranges r;
        r.set(0, 0, {440.0});
        r.set(1, 0, {440.1, 1741.5, 1838.6, 1935.7});
        r.set(1, 1, {1741.4, 1838.5, 1935.8, 3000.0});
        r.pair(40.0);
        ASSERT_EQ(r.pairs.count, 1u);
        EXPECT_DOUBLE_EQ(r.pairs.later[0], 440.1);
        EXPECT_GT(r.edges[1][0], 440.1);
        EXPECT_GT(r.edges[0][0], 440.0);
    }
    {
        SCOPED_TRACE("no peak of the range above: the edge is the range's maximum");
        Ranges r;
        r.set(0, 0, {500.0, 2500.0});
        r.set(1, 0, {502.0, 2501.0});
        r.pair(40.0);
        EXPECT_EQ(r.counts[1][1], 0);
        EXPECT_EQ(r.pairs.count, 2u);
    }
}

TEST(TSBandContinuePeaks, RefusesMoreThanEightRangesAndStopsAtThePairTablesRoom)
{
    Ranges few;
    few.set(0, 0, {100.0});
    few.set(1, 0, {101.0});
    few.pairs.count = 7;
    few.pair(40.0, 9);
    EXPECT_EQ(few.pairs.count, 0u);

    // 1500 peaks in each range, every one with a partner: 3000 candidates.
    Ranges many;
    std::vector<double> low, high;
    for (int i = 0; i < kMaxPeaks; ++i) {
        low.push_back(i * 0.99);
        high.push_back(1500.0 + i * 10.0);
    }
    for (int frame = 0; frame < 2; ++frame) {
        many.set(frame, 0, low);
        many.set(frame, 1, high);
    }
    many.pair(0.5);
    EXPECT_EQ(many.pairs.count, static_cast<uint32_t>(kMaxPeaks));
}

SMSFrame frameOf(int32_t bins, double time,
                 const std::vector<std::pair<int, std::pair<float, float>>>& values)
{
    SMSFrame f;
    f.Allocate(SMSFrame::kSpectrum, bins, true);
    f.SetTime(time);
    for (int32_t k = 0; k < bins; ++k)
        f.MagnitudeData()[k] = -120.0f;
    for (const auto& v : values) {
        f.MagnitudeData()[v.first] = v.second.first;
        f.PhaseData()[v.first] = v.second.second;
    }
    return f;
}

TEST(IsPeakContinuous, AcceptsASteadyPartialOnly)
{
    // 1025 bins up to 22050 Hz: 21.53 Hz per bin. A 1000 Hz partial
    // advances 2 pi 1000 T between frames T apart.
    const double fmax = 22050.0, T = 256.0 / 44100.0;
    const int bin = static_cast<int>(std::lround(1000.0 / fmax * 1024));
    const float phase1 = 0.3f;
    const auto steady = static_cast<float>(std::fmod(phase1 + 2 * kPi * 1000.0 * T, 2 * kPi));
    const SMSFrame e = frameOf(1025, 0.0, {{bin, {-20.0f, phase1}}});
    struct Case {
        const char* what;
        double f2;
        float level, phase;
        int expected;
    } cases[] = {
        {"steady", 1000.0, -20.0f, steady, 1},
        {"1000 then 1030 Hz", 1030.0, -20.0f, steady, 0},
        {"5 dB louder", 1000.0, -15.0f, steady, 0},
        {"5 dB quieter", 1000.0, -25.0f, steady, 0},
        {"phase off by pi / 2", 1000.0, -20.0f, static_cast<float>(steady + kPi / 2), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int bin2 = static_cast<int>(std::lround(c.f2 / fmax * 1024));
        const SMSFrame l = frameOf(1025, T, {{bin2, {c.level, c.phase}}});
        EXPECT_EQ(IsPeakContinuous(1000.0, e, c.f2, l, fmax, T), c.expected);
    }
    // Frequencies beyond the spectrum read its last bin instead of past it.
    const SMSFrame l = frameOf(1025, T, {});
    EXPECT_EQ(IsPeakContinuous(30000.0, e, 40000.0, l, fmax, T), 0);
}

TEST(InterpolatePhase, ReadsBetweenBinsTheShortWay)
{
    const float phases[4] = {0.1f, static_cast<float>(2 * kPi - 0.1), 1.0f, 2.0f};
    double offset = -1.0;
    // Midway between bins 0 and 1 (four bins up to 3 Hz: 1 Hz per bin).
    const double mid = InterpolatePhase(phases, 4, 0.5, 3.0, &offset);
    EXPECT_NEAR(std::remainder(mid, 2 * kPi), 0.0, 1e-6);
    // At a quarter bin past bin 2: the nearer bin is 2, offset = phase(2) -
    // result.
    const double quarter = InterpolatePhase(phases, 4, 2.25, 3.0, &offset);
    EXPECT_NEAR(quarter, 1.25, 1e-6);
    EXPECT_NEAR(std::remainder(offset, 2 * kPi), -0.25, 1e-6);
    // Outside the spectrum: the first or the last bin, no read past it.
    EXPECT_NEAR(InterpolatePhase(phases, 4, -5.0, 3.0), 0.1, 1e-6);
    EXPECT_NEAR(InterpolatePhase(phases, 4, 1e9, 3.0), 2.0, 1e-6);
    EXPECT_DOUBLE_EQ(InterpolatePhase(phases, 0, 1.0, 3.0), 0.0);
}

}  // namespace
