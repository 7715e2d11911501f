#include "Hpcp/FFTSemitone.h"

#include "Hpcp/PitchNames.h"
#include "fft/CFft.h"
#include "fft/rdftPath.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Hpcp {

namespace {

constexpr float kTopFrequency = 2640.0f;  // peaks are searched below it
constexpr int kHalfKernel = 32;
constexpr int kTaps = 2 * kHalfKernel + 1;
constexpr int kSmoothBlock = 32;  // outputs of the smoothing per pass

// The interpolated spectrum of k * (frameSize / 8) values must fit an int.
void checkInterpolatedLength(int frameSize, int k)
{
    if (static_cast<long long>(k) * (frameSize / 4 / 2) > INT_MAX)
        throw std::invalid_argument("Oversample Ratio is too large for the frame size");
}

bool isPowerOfTwo(int n)
{
    return n >= 2 && (n & (n - 1)) == 0;
}

// trunc(v) for a non-negative float, limited to `hi` before any conversion.
int truncAtMost(float v, int hi)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= static_cast<float>(hi))
        return hi;
    return std::min(static_cast<int>(v), hi);
}

// kSmoothBlock neighbouring outputs of the smoothing, out[l] = the sum over
// j of kernel[j] * in[j + l], each added up in tap order like the sums at
// the edges. The outputs are independent, so the compiler runs them side by
// side in vector lanes while every lane keeps the order of its own sum: the
// result is the same to the bit whatever the vector width.
inline void smoothBlock(const float* in, const float* kernel, float* out)
{
    // Four vectors of 8 lanes (two 4-lane halves each without AVX), held in
    // four variables so that they stay in registers.
    typedef float Lanes __attribute__((vector_size(32)));
    static_assert(kSmoothBlock == 4 * sizeof(Lanes) / sizeof(float), "four vectors per block");
    Lanes a0 = {}, a1 = {}, a2 = {}, a3 = {};
    for (int j = 0; j < kTaps; ++j) {
        const float w = kernel[j];
        const Lanes wv = {w, w, w, w, w, w, w, w};
        Lanes x0, x1, x2, x3;
        std::memcpy(&x0, in + j, sizeof x0);
        std::memcpy(&x1, in + j + 8, sizeof x1);
        std::memcpy(&x2, in + j + 16, sizeof x2);
        std::memcpy(&x3, in + j + 24, sizeof x3);
        a0 += wv * x0;
        a1 += wv * x1;
        a2 += wv * x2;
        a3 += wv * x3;
    }
    std::memcpy(out, &a0, sizeof a0);
    std::memcpy(out + 8, &a1, sizeof a1);
    std::memcpy(out + 16, &a2, sizeof a2);
    std::memcpy(out + 24, &a3, sizeof a3);
}

// Smooths whole blocks of outputs from `from` on while a block ends at or
// before `to`; returns where it stopped. x is read from from - kHalfKernel.
inline int smoothBlocks(const float* x, const float* kernel, float* bg, int from, int to)
{
    int b = from;
    for (; b + kSmoothBlock <= to; b += kSmoothBlock)
        smoothBlock(x + b - kHalfKernel, kernel, bg + b);
    return b;
}

#if defined(__GNUC__) && defined(__x86_64__)
// The same with 8-float vectors, on processors that have them.
__attribute__((target("avx2"))) int smoothBlocksAvx2(const float* x, const float* kernel, float* bg, int from,
                                                     int to)
{
    return smoothBlocks(x, kernel, bg, from, to);
}
#endif

int smoothInside(const float* x, const float* kernel, float* bg, int from, int to)
{
#if defined(__GNUC__) && defined(__x86_64__)
    if (cpuHasAvx2())
        return smoothBlocksAvx2(x, kernel, bg, from, to);
#endif
    return smoothBlocks(x, kernel, bg, from, to);
}

}  // namespace

FFTSemitone::FFTSemitone() : m_ratio(static_cast<float>(std::pow(2.0, static_cast<double>(1.0f / 24.0f))))
{
    std::fill(std::begin(m_spectrum), std::end(m_spectrum), 0.0f);
    std::fill(std::begin(m_kernel), std::end(m_kernel), 0.0f);
}

FFTSemitone::~FFTSemitone() = default;

void FFTSemitone::configure(const HpcpParams& params)
{
    m_reference = params.referenceFrequency;
    int lowest = 0;
    int highest = 0;
    rangeOf(params, lowest, highest);
    allocateRange(lowest, highest);
    reconfigure(lowest, highest, params.frameSize, params.sampleRate, params.oversampleRatio);
}

void FFTSemitone::reconfigure(int lowest, int highest, int frameSize, float sampleRate, int oversample)
{
    allocateRange(lowest, highest);
    setSampleRate(sampleRate);
    setFrameSize(frameSize);
    setOversampleRatio(oversample);
}

void FFTSemitone::setSampleRate(float fs)
{
    if (!(fs >= 0.0f && fs <= 192000.0f))
        throw std::invalid_argument("Fs should be between 0 and 192kHz");
    m_reducedRate = fs * 0.25f;
    initialize();
}

void FFTSemitone::setFrameSize(int frameSize)
{
    if (static_cast<unsigned>(frameSize) - 1u > 65534u)
        throw std::invalid_argument("Framesize should be positive and less than 65535");
    checkInterpolatedLength(frameSize, m_oversample);
    m_frameSize = frameSize;
    initialize();
}

void FFTSemitone::setOversampleRatio(int k)
{
    if (k < 1)
        throw std::invalid_argument("Oversample Ratio should be positive");
    checkInterpolatedLength(m_frameSize, k);
    m_oversample = k;
    initialize();
}

int FFTSemitone::interpolatedLength() const
{
    return m_oversample * (fftSize() / 2);
}

int FFTSemitone::bandLimit(int bins) const
{
    const float nyquist = m_reducedRate * 0.5f;
    const float v = static_cast<float>(bins) * kTopFrequency / nyquist;
    return truncAtMost(v, bins);
}

void FFTSemitone::initialize()
{
    const int n = fftSize();
    m_fft.reset();
    if (isPowerOfTwo(n)) {
        m_fft.reset(new CFft(n, 256));
        m_fft->setWindow(static_cast<unsigned>(n), CFft::Hann);
    }

    m_magnitudes.assign(static_cast<size_t>(m_frameSize), 0.0f);

    const size_t M = static_cast<size_t>(interpolatedLength());
    if (m_interpolated.size() != M)
        m_interpolated.assign(M, 0.0f);
    m_background.assign(M, 0.0f);

    m_semitoneFreqs.resize(static_cast<size_t>(m_count));
    if (!m_output)
        m_output.reset(new float[static_cast<size_t>(m_count)]());
    m_tTable.assign(static_cast<size_t>(3) * static_cast<size_t>(m_oversample), 0.0f);

    // A 65-point Hann curve over 64 intervals, normalised to sum 1.
    float sum = 0.0f;
    for (int j = 0; j <= 2 * kHalfKernel; ++j) {
        m_kernel[j] = static_cast<float>(0.5 - 0.5 * std::cos(j * 6.28318 * 0.015625));
        sum += m_kernel[j];
    }
    for (float& w : m_kernel)
        w /= sum;

    std::fill(std::begin(m_spectrum), std::end(m_spectrum), 0.0f);
    buildSemitoneBinMap();
}

void FFTSemitone::buildSemitoneBinMap()
{
    if (m_reducedRate == 0.0f || m_frameSize == 0) {
        m_binMap.clear();  // parameters not complete yet
        return;
    }
    const float nyquist = m_reducedRate * 0.5f;
    const int M = interpolatedLength();
    m_binMap.assign(static_cast<size_t>(M), -1);
    const float fM = static_cast<float>(M);

    for (int s = 0; s < m_count; ++s) {
        const float f = noteToFrequency(static_cast<float>(m_lowest + s), m_reference);
        m_semitoneFreqs[s] = f;

        // The semitone spans a quarter tone on either side of its frequency.
        const double loPos = static_cast<double>(f / m_ratio * fM / nyquist) + 0.5;
        if (!(loPos < static_cast<double>(M)))
            break;  // this and every higher semitone lie above the spectrum
        const int lo = static_cast<int>(loPos);
        const double hiPos = static_cast<double>(f * m_ratio * fM / nyquist) + 0.5;
        const int hi = hiPos >= static_cast<double>(M) ? M : std::min(M, static_cast<int>(hiPos) + 1);
        // Written in increasing s, so a shared boundary bin goes to the higher semitone.
        for (int b = lo; b < hi; ++b)
            m_binMap[b] = s;
    }
}

void FFTSemitone::process(const float* signal, int length)
{
    const int n = fftSize();
    if (length != 4 * n) {
        std::printf("Warning: Invalid len_signal\n");
        std::fflush(stdout);
    }
    if (!m_fft)
        throw std::logic_error("Framesize / 4 should be a power of two");
    // A negative length would let the transform read a whole frame from a
    // buffer of unknown size.
    m_fft->magnitude(m_magnitudes.data(), signal, std::max(length, 0), -1, true, 4);
    compute(m_magnitudes.data(), n);
}

void FFTSemitone::compute(const float* magnitudes, int /*length*/)
{
    const int N = fftSize() / 2;
    const int k = m_oversample;
    const int M = interpolatedLength();

    // With interpolation only the bins up to L + 2 feed it (L below); the
    // decibels of the others would never be read.
    const int L = std::min(bandLimit(N), N - 1);
    const int dbBins = k == 1 ? N : std::min(N, L + 3);

    // Decibels above a reference level of 1.
    const double refDb = 10.0 * std::log10(1.0);
    for (int i = 0; i < dbBins; ++i) {
        const float x = magnitudes[i] + 1.0f;
        m_spectrum[i] = static_cast<float>(10.0 * std::log10(static_cast<double>(x)) - refDb);
    }

    const int limit = bandLimit(M);
    float* interp = m_interpolated.data();

    if (k == 1) {
        std::copy(m_spectrum, m_spectrum + N, interp);
    } else {
        std::fill(m_interpolated.begin(), m_interpolated.end(), 0.0f);
        // (t, t^2, t^3) for the k sub-positions, built once per frame.
        float* tp = m_tTable.data();
        float* tp2 = tp + k;
        float* tp3 = tp + 2 * k;
        for (int i = 0; i < k; ++i) {
            const float ti = static_cast<float>(i) / static_cast<float>(k);
            tp[i] = ti;
            tp2[i] = ti * ti;
            tp3[i] = ti * ti * ti;
        }
        for (int j = 1; j <= L; ++j) {
            // Values beyond the N-th bin are 0 (the spectrum array is zero there).
            const float y0 = m_spectrum[j - 1];
            const float y1 = m_spectrum[j];
            const float y2 = m_spectrum[j + 1];
            const float y3 = m_spectrum[j + 2];
            // Catmull-Rom cubic through the four bins.
            const float c1 = 0.5f * y2 - 0.5f * y0;
            const float c2 = y0 - 2.5f * y1 + 2.0f * y2 - 0.5f * y3;
            const float c3 = 1.5f * y1 - 0.5f * y0 - 1.5f * y2 + 0.5f * y3;
            float* out = interp + static_cast<size_t>(j) * k;
            for (int i = 0; i < k; ++i)
                out[i] = y1 + tp[i] * c1 + tp2[i] * c2 + tp3[i] * c3;
        }
        const int clipped = k * L;
        for (int b = 0; b < clipped; ++b)
            interp[b] = interp[b] < 0.0f ? 0.0f : interp[b];
    }

    if (m_removeLocalMean)
        removeLocalMean();

    float* out = m_output.get();
    for (int s = 0; s < m_count; ++s)
        out[s] = kFloor;

    // A peak is higher than both neighbours on either side; positions whose
    // neighbours would lie beyond the spectrum are not tested. The two
    // positions after a peak are never peaks themselves (each has the peak
    // among its neighbours, and it is higher), so every position can be
    // tested on its own, four at a time.
    const int end = std::min(limit, M - 2);
    const int mapped = static_cast<int>(m_binMap.size());
    const auto isPeak = [interp](int b) {
        const float v = interp[b];
        return v > interp[b - 2] && v > interp[b - 1] && v > interp[b + 1] && v > interp[b + 2];
    };
    const auto takePeak = [&](int b) {
        const float v = interp[b];
        const int s = b < mapped ? m_binMap[b] : -1;
        if (s > 12 && v > out[s])
            out[s] = v;
    };
    int b = 2;
#if defined(__SSE2__)
    for (; b + 4 <= end; b += 4) {
        const __m128 v = _mm_loadu_ps(interp + b);
        const __m128 higher = _mm_and_ps(_mm_and_ps(_mm_cmpgt_ps(v, _mm_loadu_ps(interp + b - 2)),
                                                    _mm_cmpgt_ps(v, _mm_loadu_ps(interp + b - 1))),
                                         _mm_and_ps(_mm_cmpgt_ps(v, _mm_loadu_ps(interp + b + 1)),
                                                    _mm_cmpgt_ps(v, _mm_loadu_ps(interp + b + 2))));
        for (int mask = _mm_movemask_ps(higher); mask != 0; mask &= mask - 1)
            takePeak(b + __builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; b < end; ++b) {
        if (isPeak(b))
            takePeak(b);
    }
}

void FFTSemitone::removeLocalMean()
{
    const int limit = bandLimit(interpolatedLength());
    float* x = m_interpolated.data();
    float* bg = m_background.data();

    // Near the ends taps outside 0 .. limit-1 are left out without
    // renormalising.
    const auto edge = [&](int b) {
        const int jFirst = std::max(0, kHalfKernel - b);
        const int jLast = std::min(2 * kHalfKernel, limit - 1 - b + kHalfKernel);
        const int base = b - kHalfKernel;
        float sum = 0.0f;
        for (int j = jFirst; j <= jLast; ++j)
            sum += m_kernel[j] * x[base + j];
        bg[b] = sum;
    };
    // Inside, where every tap falls in the band, whole blocks of outputs at
    // once.
    int b = 0;
    for (; b < std::min(kHalfKernel, limit); ++b)
        edge(b);
    b = smoothInside(x, m_kernel, bg, b, limit - kHalfKernel);
    for (; b < limit; ++b)
        edge(b);
    for (int i = 0; i < limit; ++i)
        x[i] = std::max(0.0f, x[i] - bg[i]);
}

}  // namespace Hpcp
