#include "AllocationCounter.h"
#include "Onset/SyncAnalyze.h"
#include "Signals.h"
#include "fft/rdft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr int kRate = 44100;
constexpr int64_t kMargin = 661;

std::vector<int16_t> toShort(const std::vector<float>& x)
{
    std::vector<int16_t> s(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        s[i] = static_cast<int16_t>(std::lround(std::clamp(x[i], -1.0f, 1.0f) * 32767.0f));
    return s;
}

// Noise with a slowly changing level and a few tones, so that the activity
// has real minima.
std::vector<int16_t> busySignal(size_t n, unsigned seed = 11)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double level = 0.05 + 0.3 * std::pow(std::sin(3.1 * t) * std::sin(1.3 * t + 0.4), 2.0);
        x[i] = static_cast<float>(level * u(rng) +
                                  0.2 * std::sin(2.0 * M_PI * 440.0 * t) * (std::sin(2.2 * t) > 0));
    }
    return toShort(x);
}

struct Result {
    std::vector<uint32_t> indices;
    bool nullArray = true;
};

Result analyse(const std::vector<int16_t>& x, const std::vector<uint32_t>& markers, int mode = 1,
               int64_t n = -1, int rate = kRate)
{
    uint32_t* out = nullptr;
    uint32_t count = 12345;
    syncAnalyze(&out, &count, x.data(), static_cast<uint32_t>(n < 0 ? static_cast<int64_t>(x.size()) : n),
                markers.data(), static_cast<uint32_t>(markers.size()), rate, mode);
    Result r;
    r.nullArray = out == nullptr;
    if (out)
        r.indices.assign(out, out + count);
    else
        EXPECT_EQ(count, 0u);
    syncAnalyzeRelease(&out);
    return r;
}

// Frame t of x, windowed and transformed in double precision into a (2048
// values in the packed layout of rdft; ip and w are its work areas).
void doubleFrame(const std::vector<int16_t>& x, int64_t t, std::vector<double>& a, std::vector<int>& ip,
                 std::vector<double>& w)
{
    const int N = 2048, H = 64;
    const int64_t n = static_cast<int64_t>(x.size());
    for (int i = 0; i < N; ++i) {
        const double r = i / double(N - 1) - 0.5;
        const int64_t s = t * H - N / 2 + i;
        a[i] = (s >= 0 && s < n ? x[static_cast<size_t>(s)] : 0.0) *
               (0.62 - 0.48 * std::fabs(r) + 0.38 * std::cos(6.28318 * r));
    }
    rdft(N, 1, a.data(), ip.data(), w.data());
}

// The straightforward reading: every frame's magnitudes kept, two-pass
// statistics, the whole curve interpolated to every sample.
std::vector<double> referenceCurve(const std::vector<int16_t>& x, int mode)
{
    const int N = 2048, H = 64, B = N / 2;
    const int64_t n = static_cast<int64_t>(x.size());
    const int64_t T = (n + H - 1) / H;
    const int W = static_cast<int>(static_cast<int>(kRate * 0.03) / static_cast<double>(N) + 1.5);
    const int E = std::max(W, static_cast<int>(static_cast<int>(kRate * 0.2) / static_cast<double>(H) + 1.5));
    std::vector<std::vector<double>> mag(static_cast<size_t>(T), std::vector<double>(B));
    std::vector<double> a(N), w(N / 2);
    std::vector<int> ip(40, 0);
    for (int64_t t = 0; t < T; ++t) {
        doubleFrame(x, t, a, ip, w);
        for (int k = 0; k < B; ++k)
            mag[t][k] = std::sqrt(a[2 * k] * a[2 * k] + a[2 * k + 1] * a[2 * k + 1]);
    }
    auto meanVar = [](const std::vector<double>& v) {
        double m = 0.0, q = 0.0;
        for (double e : v)
            m += e;
        m /= v.size();
        for (double e : v)
            q += (e - m) * (e - m);
        return std::make_pair(m, q / v.size());
    };
    std::vector<double> c(static_cast<size_t>(T), -1.0);
    double top = -1.0;
    for (int64_t t = E; t <= T - E - 1; ++t) {
        double act = 0.0;
        if (mode == 1) {
            for (int64_t u = t - W; u < t + W; ++u)
                act += std::sqrt(meanVar(mag[u]).second);
        } else {
            for (int k = 0; k < B; ++k) {
                std::vector<double> bin;
                for (int64_t u = t - W; u < t + W; ++u)
                    bin.push_back(mag[u][k]);
                const auto [m, v] = meanVar(bin);
                act += m != 0.0 ? v / m : v;
            }
        }
        c[t] = act;
        top = std::max(top, act);
    }
    for (int64_t t = 0; t < T; ++t)
        if (t < E || t > T - E - 1)
            c[t] = top + 1.0;
    std::vector<double> perSample(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        const double p = double(i) * double(T - 1) / double(n - 1);
        const double f = p - std::floor(p);
        perSample[i] =
            (1 - f) * c[static_cast<size_t>(std::floor(p))] + f * c[static_cast<size_t>(std::ceil(p))];
    }
    return perSample;
}

// The cut points as the analysis found them on the double-precision
// transform: running-mean spread of every frame's magnitudes, the curve
// flattened at the edges and normalised, interpolated per sample, the first
// least value of each window. The export now runs on the single-precision
// transform; its cut points must not move.
std::vector<uint32_t> doublePrecisionCuts(const std::vector<int16_t>& x, const std::vector<uint32_t>& markers)
{
    const int N = 2048, H = 64, B = N / 2;
    const int64_t n = static_cast<int64_t>(x.size());
    const int64_t T = (n + H - 1) / H;
    const int64_t W = 2, E = 139;
    std::vector<double> spreads(static_cast<size_t>(T), 0.0), a(N), w(N / 2);
    std::vector<int> ip(40, 0);
    for (int64_t t = E - W; t <= T - E - 2 + W; ++t) {
        doubleFrame(x, t, a, ip, w);
        double mean = 0.0, sumSq = 0.0;
        for (int k = 0; k < B; ++k) {
            const double v = std::sqrt(a[2 * k] * a[2 * k] + a[2 * k + 1] * a[2 * k + 1]);
            const double d = v - mean;
            mean += d / (k + 1);
            sumSq += d * (v - mean);
        }
        spreads[static_cast<size_t>(t)] = std::sqrt(std::max(sumSq / B, 0.0));
    }
    std::vector<double> c(static_cast<size_t>(T), -1.0);
    double largest = -1.0;
    for (int64_t t = E; t <= T - E - 1; ++t) {
        c[t] = spreads[t - 2] + spreads[t - 1] + spreads[t] + spreads[t + 1];
        largest = std::max(largest, c[t]);
    }
    for (int64_t t = 0; t < T; ++t)
        if (t < E || t > T - E - 1)
            c[t] = largest + 1.0;
    const double smallest = *std::min_element(c.begin(), c.end());
    const double top = *std::max_element(c.begin(), c.end());
    for (double& v : c)
        v = (v - smallest) / top;
    auto value = [&](int64_t i) {
        const double p = double(i) * double(T - 1) / double(n - 1);
        const double f = p - std::floor(p);
        return (1 - f) * c[static_cast<size_t>(std::floor(p))] + f * c[static_cast<size_t>(std::ceil(p))];
    };
    std::vector<uint32_t> cuts;
    for (size_t k = 0; k + 1 < markers.size(); ++k) {
        const int64_t from = markers[k] + kMargin, to = markers[k + 1] - kMargin;
        int64_t best = from;
        for (int64_t i = from + 1; i < to; ++i)
            if (value(i) < value(best))
                best = i;
        cuts.push_back(static_cast<uint32_t>(best));
    }
    return cuts;
}

// Mono 16-bit samples of a song of our own making and its beats, with the
// section's start and end, as the export marks a section.
struct MarkedSignal {
    std::string what;
    std::vector<int16_t> samples;
    std::vector<uint32_t> markers;
};

MarkedSignal markedSong(const std::string& what, const testsig::SongSpec& spec)
{
    const testsig::Song song = testsig::makeSong(spec);
    MarkedSignal m {what, toShort(song.mono()), {0}};
    for (int64_t b : song.beats)
        if (b - int64_t(m.markers.back()) >= 2 * kMargin + 2 &&
            b + 2 * kMargin + 2 <= int64_t(m.samples.size()))
            m.markers.push_back(static_cast<uint32_t>(b));
    m.markers.push_back(static_cast<uint32_t>(m.samples.size() - 1));
    return m;
}

TEST(SyncAnalyze, SettingsAt44100)
{
    const SyncAnalyzeSettings s = syncAnalyzeSettings(44100);
    EXPECT_EQ(s.margin, 661);
    EXPECT_EQ(s.halfWindow, 2);
    EXPECT_EQ(s.edge, 139);
}

// Indices are the least active samples of the full curve in every window,
// in both activity modes, although only per-frame summaries are kept.
TEST(SyncAnalyze, MatchesTheStraightforwardComputation)
{
    const std::vector<int16_t> x = busySignal(kRate);
    std::vector<uint32_t> markers;
    std::mt19937 rng(4);
    for (uint32_t m = 0; m < x.size(); m += 1324 + rng() % 6000)
        markers.push_back(m);
    for (int mode : {1, 0}) {
        SCOPED_TRACE(mode);
        const Result r = analyse(x, markers, mode);
        const std::vector<double> ref = referenceCurve(x, mode);
        ASSERT_EQ(r.indices.size(), markers.size() - 1);
        for (size_t k = 0; k + 1 < markers.size(); ++k) {
            const int64_t from = markers[k] + kMargin, to = markers[k + 1] - kMargin;
            const uint32_t idx = r.indices[k];
            ASSERT_TRUE(idx >= from && idx < to) << "interval " << k;
            const double least = *std::min_element(ref.begin() + from, ref.begin() + to);
            EXPECT_NEAR(ref[idx], least, 1e-9) << "interval " << k;
        }
    }
}

TEST(SyncAnalyze, CutsFallIntoTheSilentGaps)
{
    // Bursts of 0.4 s with 0.1 s gaps; markers in the middle of each burst.
    const testsig::Signal bursts = testsig::noiseBursts(10, 0.4, 0.1);
    const std::vector<int16_t> x = toShort(bursts.samples);
    std::vector<uint32_t> markers;
    for (int b = 0; b < 10; ++b)
        markers.push_back(static_cast<uint32_t>(std::lround((0.2 + 0.5 * b) * kRate)));
    const Result r = analyse(x, markers);
    ASSERT_EQ(r.indices.size(), 9u);
    for (size_t k = 0; k < 9; ++k) {
        const int64_t gap = bursts.events[k];
        EXPECT_TRUE(r.indices[k] >= gap && r.indices[k] < gap + 4410) << "gap " << k << " at " << gap;
    }
}

TEST(SyncAnalyze, WindowsAtTheEdgesGiveTheirFirstSample)
{
    const std::vector<int16_t> x = busySignal(3 * kRate);
    const uint32_t n = static_cast<uint32_t>(x.size());
    const Result r = analyse(x, {0, 4000, n / 2, n - 4000, n - 1});
    ASSERT_EQ(r.indices.size(), 4u);
    EXPECT_EQ(r.indices[0], kMargin);
    EXPECT_EQ(r.indices[3], n - 4000 + kMargin);
}

TEST(SyncAnalyze, DegenerateInputsGiveClampedResultsOrNothing)
{
    const std::vector<int16_t> x = busySignal(20000);
    const std::vector<int16_t> shortSection = busySignal(15000);  // under 0.4 s: no inner frame
    struct Row {
        const char* what;
        const std::vector<int16_t>* samples;
        int64_t n;
        std::vector<uint32_t> markers;
        int rate;
        bool none;
        std::vector<uint32_t> forced;  // the leading indices, where the window forces them
    };
    const std::vector<Row> rows = {
        {"no samples", &x, 0, {0, 5000}, kRate, true, {}},
        {"one sample", &x, 1, {0, 5000}, kRate, true, {}},
        {"no markers", &x, -1, {}, kRate, true, {}},
        {"one marker", &x, -1, {3000}, kRate, true, {}},
        {"no sample rate", &x, -1, {0, 5000}, 0, true, {}},
        {"markers 10 apart", &x, -1, {5000, 5010}, kRate, false, {5661}},
        {"a first window that ends before it starts", &x, -1, {0, 500, 10000}, kRate, false, {661}},
        {"markers past the end", &x, -1, {50000, 90000}, kRate, false, {19999}},
        {"a section under 0.4 s", &shortSection, -1, {0, 7000, 14999}, kRate, false, {661, 7661}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Result r = analyse(*row.samples, row.markers, 1, row.n, row.rate);
        if (row.none) {
            EXPECT_TRUE(r.nullArray);
            continue;
        }
        ASSERT_EQ(r.indices.size(), row.markers.size() - 1);
        EXPECT_TRUE(std::equal(row.forced.begin(), row.forced.end(), r.indices.begin()));
        for (uint32_t i : r.indices)
            EXPECT_LT(i, row.samples->size());
    }

    // A marker past the end counts as the end; indices stay inside.
    const Result r = analyse(x, {1000, 50000});
    ASSERT_EQ(r.indices.size(), 1u);
    EXPECT_TRUE(r.indices[0] >= 1000 + kMargin && r.indices[0] < 20000 - kMargin);
}

TEST(SyncAnalyze, AnEarlierArrayIsReleasedAndReplaced)
{
    const std::vector<int16_t> x = busySignal(kRate);
    const std::vector<uint32_t> markers {2000, 10000, 20000, 30000};
    const uint32_t n = static_cast<uint32_t>(x.size());
    uint32_t* out = nullptr;
    uint32_t count = 0;
    syncAnalyze(&out, &count, x.data(), n, markers.data(), 4u, kRate, 1);
    ASSERT_NE(out, nullptr);
    const std::vector<uint32_t> first(out, out + count);
    int64_t afterReplacing = 0, afterNone = 0;
    {
        testalloc::Scope scope;
        syncAnalyze(&out, &count, x.data(), n, markers.data(), 4u, kRate, 1);
        afterReplacing = scope.liveBytes();  // the new array less the old one
        syncAnalyze(&out, &count, x.data(), n, markers.data(), 1u, kRate, 1);
        afterNone = scope.liveBytes();
    }
    EXPECT_EQ(afterReplacing, 0);
    EXPECT_LT(afterNone, 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(count, 0u);
}

TEST(SyncAnalyze, SixtySecondSectionStaysWellUnder32MB)
{
    const std::vector<int16_t> x = busySignal(60 * kRate);
    std::vector<uint32_t> markers;
    for (uint32_t m = 0; m < x.size(); m += kRate / 2)
        markers.push_back(m);
    uint32_t* out = nullptr;
    uint32_t count = 0;
    int64_t peak = 0;
    {
        testalloc::Scope scope;
        syncAnalyze(&out, &count, x.data(), static_cast<uint32_t>(x.size()), markers.data(),
                    static_cast<uint32_t>(markers.size()), kRate, 1);
        peak = scope.peakBytes();
    }
    std::printf("syncAnalyze peak allocation for 60 s: %.2f MB\n", peak / 1048576.0);
    EXPECT_LT(peak, 32 * 1024 * 1024);
    EXPECT_EQ(count, markers.size() - 1);
    syncAnalyzeRelease(&out);
}

// The single-precision transform moves no cut point of songs with drums,
// bass and chords, of a drifting song with silence before it, of noise whose
// level wanders, or of bursts with gaps.
TEST(SyncAnalyze, CutPointsOfRealisticSignalsMatchTheDoublePrecisionAnalysis)
{
    std::vector<MarkedSignal> signals;
    {
        testsig::SongSpec spec;
        spec.bpm = 120.0;
        for (int k = 0; k < 4; ++k) {
            testsig::SongPart part;
            part.bars = 2;
            part.chords = {{k * 2, k % 2 == 1, false}, {(k * 2 + 5) % 12, false, true}};
            part.stabs = k % 2 == 0;
            part.pad = k != 3;
            spec.parts.push_back(part);
        }
        signals.push_back(markedSong("song at 120 bpm", spec));
        spec.bpm = 97.0;
        spec.tempoDriftPercent = 3.0;
        spec.leadInSeconds = 1.5;
        spec.seed = 21;
        for (auto& part : spec.parts)
            part.drums = !part.drums;
        signals.push_back(markedSong("drifting song at 97 bpm after silence", spec));
    }
    {
        MarkedSignal busy {"wandering noise with tones", busySignal(6 * kRate, 5), {}};
        std::mt19937 rng(9);
        for (uint32_t m = 0; m < busy.samples.size(); m += 1324 + rng() % 20000)
            busy.markers.push_back(m);
        signals.push_back(busy);
        const testsig::Signal bursts = testsig::noiseBursts(12, 0.3, 0.15, 0.4f, 3);
        MarkedSignal gaps {"bursts with gaps", toShort(bursts.samples), {}};
        for (int b = 0; b < 12; ++b)
            gaps.markers.push_back(static_cast<uint32_t>(std::lround((0.1 + 0.45 * b) * kRate)));
        signals.push_back(gaps);
    }
    for (const MarkedSignal& m : signals) {
        SCOPED_TRACE(m.what);
        ASSERT_GE(m.markers.size(), 8u);
        const Result r = analyse(m.samples, m.markers);
        const std::vector<uint32_t> expected = doublePrecisionCuts(m.samples, m.markers);
        ASSERT_EQ(r.indices.size(), expected.size());
        for (size_t k = 0; k < expected.size(); ++k)
            EXPECT_EQ(r.indices[k], expected[k]) << "interval " << k << " of " << expected.size();
    }
}

}  // namespace
