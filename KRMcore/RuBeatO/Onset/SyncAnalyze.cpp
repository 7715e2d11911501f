#include "SyncAnalyze.h"

#include "fft/rdft.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <vector>

namespace {

constexpr int kFrameLength = 2048;
constexpr int kHop = 64;
constexpr int kBins = kFrameLength / 2;

// Windowed 2048-point magnitude spectra of frame t, centred on sample t * 64
// (samples outside the signal count as 0).
class Spectra {
public:
    Spectra(const int16_t* samples, int64_t n)
        : m_x(samples), m_n(n), m_window(kFrameLength), m_a(kFrameLength), m_ip(2 + 32, 0), m_w(kBins)
    {
        const double twoPi = 6.28318;
        for (int i = 0; i < kFrameLength; ++i) {
            const double r = static_cast<double>(i) / (kFrameLength - 1) - 0.5;
            m_window[i] = 0.62 - 0.48 * std::fabs(r) + 0.38 * std::cos(twoPi * r);
        }
    }

    // Writes the 1024 magnitudes of frame t; bin 0 holds the zero and the
    // Nyquist values together.
    void frame(int64_t t, double* magnitudes)
    {
        const int64_t start = t * kHop - kFrameLength / 2;
        for (int i = 0; i < kFrameLength; ++i) {
            const int64_t s = start + i;
            m_a[i] = s >= 0 && s < m_n ? m_window[i] * m_x[s] : 0.0;
        }
        rdft(kFrameLength, 1, m_a.data(), m_ip.data(), m_w.data());
        for (int k = 0; k < kBins; ++k)
            magnitudes[k] = std::sqrt(m_a[2 * k] * m_a[2 * k] + m_a[2 * k + 1] * m_a[2 * k + 1]);
    }

private:
    const int16_t* m_x;
    int64_t m_n;
    std::vector<double> m_window, m_a;
    std::vector<int> m_ip;
    std::vector<double> m_w;
};

// Population standard deviation of one frame's magnitudes, with a running
// mean so that one pass suffices.
double spread(const double* v)
{
    double mean = 0.0, sumSq = 0.0;
    for (int k = 0; k < kBins; ++k) {
        const double d = v[k] - mean;
        mean += d / (k + 1);
        sumSq += d * (v[k] - mean);
    }
    return std::sqrt(std::max(sumSq / kBins, 0.0));
}

// Sum over the bins of each bin's variance over `frames` frames (ring rows),
// divided by its mean unless that is 0.
double binVariation(const std::vector<double>& ring, int64_t frames)
{
    double sum = 0.0;
    for (int k = 0; k < kBins; ++k) {
        double mean = 0.0, sumSq = 0.0;
        for (int64_t u = 0; u < frames; ++u) {
            const double v = ring[static_cast<size_t>(u * kBins + k)];
            const double d = v - mean;
            mean += d / static_cast<double>(u + 1);
            sumSq += d * (v - mean);
        }
        const double variance = std::max(sumSq / static_cast<double>(frames), 0.0);
        sum += mean != 0.0 ? variance / mean : variance;
    }
    return sum;
}

// The activity of every frame from E to T - E - 1; -1 elsewhere. Only the
// frames these need are transformed, and only one spread per frame (mode 1)
// or the 2W newest frames (other modes) are kept.
std::vector<double> activity(const int16_t* x, int64_t n, int mode, const SyncAnalyzeSettings& s)
{
    const int64_t T = (n + kHop - 1) / kHop;
    const int64_t W = s.halfWindow, E = s.edge;
    std::vector<double> curve(static_cast<size_t>(T), -1.0);
    const int64_t lastInner = T - E - 1;
    if (lastInner < E)
        return curve;
    Spectra spectra(x, n);
    const int64_t firstFrame = E - W, lastFrame = lastInner + W - 1;
    if (mode == 1) {
        std::vector<double> spreads(static_cast<size_t>(T), 0.0);
        std::vector<double> mags(kBins);
        for (int64_t u = firstFrame; u <= lastFrame; ++u) {
            spectra.frame(u, mags.data());
            spreads[static_cast<size_t>(u)] = spread(mags.data());
        }
        for (int64_t t = E; t <= lastInner; ++t) {
            double sum = 0.0;
            for (int64_t u = t - W; u < t + W; ++u)
                sum += spreads[static_cast<size_t>(u)];
            curve[static_cast<size_t>(t)] = sum;
        }
        return curve;
    }
    std::vector<double> ring(static_cast<size_t>(2 * W * kBins));
    for (int64_t u = firstFrame; u <= lastFrame; ++u) {
        spectra.frame(u, ring.data() + static_cast<size_t>((u % (2 * W)) * kBins));
        const int64_t t = u - W + 1;
        if (t >= E)
            curve[static_cast<size_t>(t)] = binVariation(ring, 2 * W);
    }
    return curve;
}

// Edges above every inner value, then scaled to 0..1 (the minima stay).
void flattenEdges(std::vector<double>& curve, const SyncAnalyzeSettings& s)
{
    const int64_t T = static_cast<int64_t>(curve.size());
    double largest = -1.0;
    for (int64_t t = s.edge; t <= T - s.edge - 1; ++t)
        largest = std::max(largest, curve[static_cast<size_t>(t)]);
    for (int64_t t = 0; t < T; ++t)
        if (t < s.edge || t > T - s.edge - 1)
            curve[static_cast<size_t>(t)] = largest + 1.0;
    const auto [lo, hi] = std::minmax_element(curve.begin(), curve.end());
    const double smallest = *lo, top = *hi;
    // With no inner frame every value is equal (0): leave them, no 0 / 0.
    if (!(top > 0.0))
        return;
    for (double& v : curve)
        v = (v - smallest) / top;
}

// The curve at sample i, linearly interpolated between frames.
class PerSample {
public:
    PerSample(const std::vector<double>& curve, int64_t n) : m_c(curve), m_n(n) { }
    double operator()(int64_t i) const
    {
        const int64_t T = static_cast<int64_t>(m_c.size());
        const double p = static_cast<double>(i) * static_cast<double>(T - 1) / static_cast<double>(m_n - 1);
        const int64_t lo = std::min(static_cast<int64_t>(std::floor(p)), T - 1);
        const int64_t hi = std::min(static_cast<int64_t>(std::ceil(p)), T - 1);
        const double f = p - static_cast<double>(lo);
        return (1.0 - f) * m_c[static_cast<size_t>(lo)] + f * m_c[static_cast<size_t>(hi)];
    }

private:
    const std::vector<double>& m_c;
    int64_t m_n;
};

uint32_t leastActive(const PerSample& value, int64_t n, int64_t from, int64_t to)
{
    from = std::clamp<int64_t>(from, 0, n - 1);
    to = std::clamp<int64_t>(to, 0, n);
    int64_t best = from;
    if (to > from) {
        double bestValue = value(from);
        for (int64_t i = from + 1; i < to; ++i) {
            const double v = value(i);
            if (v < bestValue) {
                bestValue = v;
                best = i;
            }
        }
    }
    return static_cast<uint32_t>(best);
}

}  // namespace

SyncAnalyzeSettings syncAnalyzeSettings(int sampleRate)
{
    const int shortSpan = static_cast<int>(sampleRate * 0.03);
    const int longSpan = static_cast<int>(sampleRate * 0.2);
    SyncAnalyzeSettings s;
    s.margin = static_cast<int32_t>(sampleRate * 0.015);
    // The short span is measured in window lengths, not hops.
    s.halfWindow = static_cast<int32_t>(static_cast<double>(shortSpan) / kFrameLength + 1.5);
    s.edge = std::max(s.halfWindow, static_cast<int32_t>(static_cast<double>(longSpan) / kHop + 1.5));
    return s;
}

void syncAnalyze(uint32_t** indices, uint32_t* count, const int16_t* samples, uint32_t sampleCount,
                 const uint32_t* markers, uint32_t markerCount, ...)
{
    if (!indices || !count)
        return;
    va_list args;
    va_start(args, markerCount);
    const int rate = va_arg(args, int);
    const int mode = va_arg(args, int);
    va_end(args);

    const int64_t n = sampleCount;
    if (n < 2 || markerCount < 2 || !samples || !markers || rate < 1) {
        syncAnalyzeRelease(indices);
        *count = 0;
        return;
    }
    const SyncAnalyzeSettings s = syncAnalyzeSettings(rate);
    std::vector<double> curve = activity(samples, n, mode, s);
    flattenEdges(curve, s);
    const PerSample value(curve, n);

    const uint32_t intervals = markerCount - 1;
    uint32_t* out = new uint32_t[intervals];
    for (uint32_t k = 0; k < intervals; ++k) {
        const int64_t a = std::min<int64_t>(markers[k], n);
        const int64_t b = std::min<int64_t>(markers[k + 1], n);
        out[k] = leastActive(value, n, a + s.margin, b - s.margin);
    }
    syncAnalyzeRelease(indices);
    *indices = out;
    *count = intervals;
}

void syncAnalyzeRelease(uint32_t** indices)
{
    if (!indices)
        return;
    delete[] * indices;
    *indices = nullptr;
}
