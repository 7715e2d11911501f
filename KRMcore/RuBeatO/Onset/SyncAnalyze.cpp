#include "SyncAnalyze.h"

#include "fft/rdft.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KRM_SYNC_SSE2 1
#endif

namespace {

constexpr int kFrameLength = 2048;
constexpr int kHop = 64;
constexpr int kBins = kFrameLength / 2;

// The analysis window: Bartlett-Hann, with 2 pi taken as 6.28318.
template <typename T> std::vector<T> analysisWindow()
{
    std::vector<T> window(kFrameLength);
    const double twoPi = 6.28318;
    for (int i = 0; i < kFrameLength; ++i) {
        const double r = static_cast<double>(i) / (kFrameLength - 1) - 0.5;
        window[i] = static_cast<T>(0.62 - 0.48 * std::fabs(r) + 0.38 * std::cos(twoPi * r));
    }
    return window;
}

inline void realTransform(double* a, int* ip, double* w)
{
    rdft(kFrameLength, 1, a, ip, w);
}

inline void realTransform(float* a, int* ip, float* w)
{
    rdftf(kFrameLength, 1, a, ip, w);
}

// The windowed 2048-point transform of frame t, centred on sample t * 64
// (samples outside the signal count as 0), in the packed layout of the
// real transform: a[2k], a[2k + 1] for bin k, bin 0 holding the zero and
// the Nyquist values together.
template <typename T> class Spectra {
public:
    Spectra(const int16_t* samples, int64_t n)
        : m_x(samples), m_n(n), m_window(analysisWindow<T>()), m_a(kFrameLength), m_ip(2 + 32, 0), m_w(kBins)
    { }

    const T* transform(int64_t t)
    {
        const int64_t start = t * kHop - kFrameLength / 2;
        T* a = m_a.data();
        const T* window = m_window.data();
        if (start >= 0 && start + kFrameLength <= m_n) {
            const int16_t* x = m_x + start;  // inside the signal: no test per sample
            for (int i = 0; i < kFrameLength; ++i)
                a[i] = window[i] * static_cast<T>(x[i]);
        } else {
            for (int i = 0; i < kFrameLength; ++i) {
                const int64_t s = start + i;
                a[i] = s >= 0 && s < m_n ? window[i] * static_cast<T>(m_x[s]) : T(0);
            }
        }
        realTransform(a, m_ip.data(), m_w.data());
        return a;
    }

    // The 1024 magnitudes of frame t.
    void magnitudes(int64_t t, T* out)
    {
        const T* a = transform(t);
        for (int k = 0; k < kBins; ++k)
            out[k] = std::sqrt(a[2 * k] * a[2 * k] + a[2 * k + 1] * a[2 * k + 1]);
    }

private:
    const int16_t* m_x;
    int64_t m_n;
    std::vector<T> m_window, m_a;
    std::vector<int> m_ip;
    std::vector<T> m_w;
};

// Sums over the 1024 bins of a transformed frame of the magnitudes and of
// their squares. Four bins at a time: power and magnitude in single
// precision, each of the four lanes summed in double, the lanes added
// last, so that the loop runs on vectors without a division per bin.
void binSums(const float* a, double& sumMagnitude, double& sumPower)
{
#ifdef KRM_SYNC_SSE2
    __m128d m01 = _mm_setzero_pd(), m23 = _mm_setzero_pd();
    __m128d p01 = _mm_setzero_pd(), p23 = _mm_setzero_pd();
    for (int k = 0; k < kBins; k += 4) {
        const __m128 lo = _mm_loadu_ps(a + 2 * k);      // re0 im0 re1 im1
        const __m128 hi = _mm_loadu_ps(a + 2 * k + 4);  // re2 im2 re3 im3
        const __m128 re = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 im = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 power = _mm_add_ps(_mm_mul_ps(re, re), _mm_mul_ps(im, im));
        const __m128 magnitude = _mm_sqrt_ps(power);
        m01 = _mm_add_pd(m01, _mm_cvtps_pd(magnitude));
        m23 = _mm_add_pd(m23, _mm_cvtps_pd(_mm_movehl_ps(magnitude, magnitude)));
        p01 = _mm_add_pd(p01, _mm_cvtps_pd(power));
        p23 = _mm_add_pd(p23, _mm_cvtps_pd(_mm_movehl_ps(power, power)));
    }
    double m[4], p[4];
    _mm_storeu_pd(m, m01);
    _mm_storeu_pd(m + 2, m23);
    _mm_storeu_pd(p, p01);
    _mm_storeu_pd(p + 2, p23);
#else
    double m[4] = {0.0, 0.0, 0.0, 0.0}, p[4] = {0.0, 0.0, 0.0, 0.0};
    for (int k = 0; k < kBins; k += 4) {
        for (int j = 0; j < 4; ++j) {
            const float re = a[2 * (k + j)], im = a[2 * (k + j) + 1];
            const float power = re * re + im * im;
            m[j] += static_cast<double>(std::sqrt(power));
            p[j] += static_cast<double>(power);
        }
    }
#endif
    sumMagnitude = (m[0] + m[1]) + (m[2] + m[3]);
    sumPower = (p[0] + p[1]) + (p[2] + p[3]);
}

// Population standard deviation of the magnitudes of one transformed frame.
double spread(const float* transformed)
{
    double sumMagnitude = 0.0, sumPower = 0.0;
    binSums(transformed, sumMagnitude, sumPower);
    const double mean = sumMagnitude / kBins;
    return std::sqrt(std::max(sumPower / kBins - mean * mean, 0.0));
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
// or the 2W newest frames (other modes) are kept. Mode 1, the export's,
// runs on the single-precision transform; the other modes keep double.
std::vector<double> activity(const int16_t* x, int64_t n, int mode, const SyncAnalyzeSettings& s)
{
    const int64_t T = (n + kHop - 1) / kHop;
    const int64_t W = s.halfWindow, E = s.edge;
    std::vector<double> curve(static_cast<size_t>(T), -1.0);
    const int64_t lastInner = T - E - 1;
    if (lastInner < E)
        return curve;
    const int64_t firstFrame = E - W, lastFrame = lastInner + W - 1;
    if (mode == 1) {
        Spectra<float> spectra(x, n);
        std::vector<double> spreads(static_cast<size_t>(T), 0.0);
        for (int64_t u = firstFrame; u <= lastFrame; ++u)
            spreads[static_cast<size_t>(u)] = spread(spectra.transform(u));
        for (int64_t t = E; t <= lastInner; ++t) {
            double sum = 0.0;
            for (int64_t u = t - W; u < t + W; ++u)
                sum += spreads[static_cast<size_t>(u)];
            curve[static_cast<size_t>(t)] = sum;
        }
        return curve;
    }
    Spectra<double> spectra(x, n);
    std::vector<double> ring(static_cast<size_t>(2 * W * kBins));
    for (int64_t u = firstFrame; u <= lastFrame; ++u) {
        spectra.magnitudes(u, ring.data() + static_cast<size_t>((u % (2 * W)) * kBins));
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
        // p is not negative: truncation is its floor, one more its ceiling
        // unless p is whole (no library call per sample).
        const int64_t whole = static_cast<int64_t>(p);
        const int64_t lo = std::min(whole, T - 1);
        const int64_t hi = std::min(static_cast<double>(whole) < p ? whole + 1 : whole, T - 1);
        const double a = m_c[static_cast<size_t>(lo)], b = m_c[static_cast<size_t>(hi)];
        // Between equal frames (the flattened edges, silence) the value is
        // theirs exactly: the weighted sum could round a hair below it and
        // move the least active sample off the start of a flat stretch.
        if (a == b)
            return a;
        const double f = p - static_cast<double>(lo);
        return (1.0 - f) * a + f * b;
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
