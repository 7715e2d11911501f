#include "Transient/TransientDetector.h"
#include "Transient/TransientDecision.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

namespace {

// 32-bit arithmetic with two's-complement wrap-around, done in unsigned so
// that no signed overflow (undefined) ever happens. Right shifts of signed
// values are arithmetic.
inline int32_t wrap(uint32_t v)
{
    return static_cast<int32_t>(v);
}
inline int32_t add(int32_t a, int32_t b)
{
    return wrap(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t sub(int32_t a, int32_t b)
{
    return wrap(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t mul(int32_t a, int32_t b)
{
    return wrap(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
// Shifting out all 32 bits leaves 0, as it does in modulo 2^32 arithmetic.
inline int32_t shl(int32_t a, int s)
{
    return static_cast<unsigned>(s) < 32u ? wrap(static_cast<uint32_t>(a) << s) : 0;
}
inline int32_t magnitude(int32_t a)
{
    return a < 0 ? wrap(0u - static_cast<uint32_t>(a)) : a;
}

// Upper word of the 32 x 32-bit product u * v, built from 16-bit halves.
inline int32_t hi(int32_t u, int32_t v)
{
    const int32_t uh = u >> 16;
    const int32_t ul = u & 0xFFFF;
    const int32_t vh = v >> 16;
    const int32_t vl = v & 0xFFFF;
    const int32_t low = mul(ul, vl) >> 16;
    return add(add(mul(vh, uh), mul(uh, vl) >> 16), add(low, mul(vh, ul)) >> 16);
}

// One-pole smoother, coefficient a in Q15.
struct Smoother {
    int32_t a = 0;
    int32_t y = 0;
    int32_t step(int32_t v)
    {
        y = add(mul(y, 32768 - a), mul(v, a)) >> 15;
        return y;
    }
};

// Coefficients from 2^29 on would need a shift of 32 or more.
constexpr float kLargestCoefficient = 536870912.0f;

// trunc(2 / (span + 1) * 32768) in single precision.
int32_t smootherCoefficient(int span)
{
    return static_cast<int32_t>(2.0f / static_cast<float>(span + 1) * 32768.0f);
}

}  // namespace

// ---------------------------------------------------------------------------
// Stages

struct TransientDetector::Envelope {
    int frames = 0;
    int32_t attack = 409;  // Q13
    int32_t release = 11;  // Q13
    int N = 0;
    Smoother envelopeSmoother;
    Smoother longSmoother;
    Smoother shortSmoother;
    Smoother levelSmoother;
    int32_t divisorFloor = 128;
    int32_t preEmphasis = 13;  // Q4
    int32_t preFilter = 10;    // Q10
    Biquad biquad;
    int32_t carried[kBlockSize] = {};
    int carriedCount = 0;
    int32_t previousX = 0;
    int32_t previousRatio = 0;
    int32_t pf1 = 0;
    int32_t pf2 = 0;
    int32_t envelope = 0;
    int32_t emphasised[kMaxSamples] = {};
    int32_t filtered[kMaxSamples] = {};
    int32_t smoothed[kMaxSamples] = {};
    int32_t frameValues[kMaxSamples] = {};
    int32_t biquadIn[kMaxSamples] = {};
    int32_t biquadOut[kMaxSamples] = {};

    void initialise(int blockSize)
    {
        N = blockSize;
        envelopeSmoother.a = smootherCoefficient(5 * N);
        longSmoother.a = smootherCoefficient(4096 / N);
        shortSmoother.a = smootherCoefficient(640 / N);
        levelSmoother.a = smootherCoefficient(static_cast<int>(35280.0 / N));
        // Low-pass at 44100 / 256 Hz before taking every N-th sample.
        DesignBiquad(3.0f, 172.265625f, 3.0f, 5, &biquad, 44100.0f);
    }

    int32_t combined(int i) const { return i < carriedCount ? carried[i] : smoothed[i - carriedCount]; }

    int process(const int16_t* x, int n, int32_t* ratio, int32_t* rise, int32_t* level)
    {
        if (n < 0 || n > kMaxSamples || (n > 0 && !x))
            return -1;
        if (n == 0)
            previousX = 0;

        const int32_t c = std::min(preFilter, 1024);
        const int32_t up = std::min(attack, 8192);
        const int32_t down = std::min(release, 8192);
        for (int i = 0; i < n; ++i) {
            const int32_t xi = x[i];
            const int32_t y = sub(xi, mul(preEmphasis, previousX) >> 4);
            previousX = xi;
            emphasised[i] = y;

            const int32_t out = sub(y, pf2 >> 5);
            const int32_t d = mul(sub(sub(shl(y, 5), pf1), pf2), c) >> 10;
            pf2 = add(pf2, d);
            pf1 = add(pf1, mul(pf2, c) >> 10);
            filtered[i] = magnitude(out);

            const int32_t diff = sub(shl(filtered[i], 3), envelope);
            envelope = add(envelope, mul(diff >= 0 ? up : down, diff) >> 13);
            smoothed[i] = envelopeSmoother.step(envelope >> 3);
        }

        // Decimation: carried samples first, then this call's, in chunks
        // that fit the biquad arrays and hold whole frames.
        const int total = carriedCount + n;
        frames = total / N;
        const int used = frames * N;
        const int chunk = (kMaxSamples / N) * N;
        for (int start = 0; start < used; start += chunk) {
            const int len = std::min(chunk, used - start);
            for (int i = 0; i < len; ++i)
                biquadIn[i] = shl(combined(start + i), 16);
            FilterBiquad(biquad, biquadIn, biquadOut, len);
            for (int j = 0; j < len; j += N) {
                const int32_t v = biquadOut[j] >> 16;
                frameValues[(start + j) / N] = v < 0 ? 0 : v;
            }
        }
        int32_t rest[kBlockSize];
        const int remaining = total - used;
        for (int i = 0; i < remaining; ++i)
            rest[i] = combined(used + i);
        std::copy(rest, rest + remaining, carried);
        carriedCount = remaining;

        for (int k = 0; k < frames; ++k) {
            const int32_t longAvg = longSmoother.step(frameValues[k]);
            const int32_t shortAvg = shortSmoother.step(frameValues[k]);
            const int32_t divisor = longAvg > divisorFloor ? longAvg : divisorFloor;
            ratio[k] = shl(shortAvg, 13) / divisor;
            level[k] = levelSmoother.step(ratio[k]);
            const int32_t r = sub(ratio[k], previousRatio);
            rise[k] = r < 0 ? 0 : r;
            previousRatio = ratio[k];
        }
        if (frames == 0)
            previousRatio = 0;
        return frames;
    }
};

// ---------------------------------------------------------------------------
// Biquad

namespace {

// Floating-point coefficients of a biquad; a1 and a2 carry the sign with
// which they are added. The defaults are the pass-through filter.
struct Coefficients {
    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;

    float largest() const
    {
        return std::max({std::fabs(b0), std::fabs(b1), std::fabs(b2), std::fabs(a1), std::fabs(a2)});
    }
};

// What every design shares: K = tan(pi f0 / fs), V = 10^(|gain| / 20) and
// s = sqrt(V), with the gain's sign (boost above 0, cut below).
struct DesignTerms {
    float K, KK, V, s, Q;
    float gain;
    bool boost, cut;
};

constexpr float kSqrtHalf = 0.70710677f;  // the Butterworth Q

// The second-order types 1 to 6; false when the type refuses the gain.
bool designSecondOrder(int type, const DesignTerms& t, Coefficients& c)
{
    const float K = t.K, KK = t.KK, V = t.V, s = t.s, Q = t.Q;
    switch (type) {
    case 1:  // peaking
        if (t.boost) {
            const float n = 1.0f + K / Q + KK;
            c.b0 = (1.0f + V * K / Q + KK) / n;
            c.b1 = 2.0f * (KK - 1.0f) / n;
            c.b2 = (1.0f - V * K / Q + KK) / n;
            c.a1 = -c.b1;
            c.a2 = -(1.0f - K / Q + KK) / n;
            return true;
        }
        if (t.cut) {
            const float n = 1.0f + V * K / Q + KK;
            c.b0 = (1.0f + K / Q + KK) / n;
            c.b1 = 2.0f * (KK - 1.0f) / n;
            c.b2 = (1.0f - K / Q + KK) / n;
            c.a1 = -c.b1;
            c.a2 = -(1.0f - V * K / Q + KK) / n;
            return true;
        }
        return false;
    case 2: {  // band-pass (gain >= 0) or notch
        const float n = 1.0f + K / Q + KK;
        c.a2 = -(1.0f - K / Q + KK) / n;
        if (t.gain >= 0.0f) {
            c.b0 = (K / Q) / n;
            c.b2 = -c.b0;
            c.a1 = 2.0f * (1.0f - KK) / n;
        } else {
            c.b0 = c.b2 = (1.0f + KK) / n;
            c.b1 = 2.0f * (KK - 1.0f) / n;
            c.a1 = -c.b1;
        }
        return true;
    }
    case 3:  // low shelf, second order
        if (t.boost) {
            const float n = (K + 1.0f) * (K + 1.0f);
            c.b0 = (s * K + 1.0f) * (s * K + 1.0f) / n;
            c.b1 = 2.0f * (V * KK - 1.0f) / n;
            c.b2 = (1.0f - s * K) * (1.0f - s * K) / n;
            c.a1 = 2.0f * (1.0f - KK) / n;
            c.a2 = -(1.0f - K) * (1.0f - K) / n;
            return true;
        }
        if (t.cut) {
            const float n = (s * K + 1.0f) * (s * K + 1.0f);
            c.b0 = (K + 1.0f) * (K + 1.0f) / n;
            c.b1 = 2.0f * (KK - 1.0f) / n;
            c.b2 = (1.0f - K) * (1.0f - K) / n;
            c.a1 = 2.0f * (1.0f - V * KK) / n;
            c.a2 = -(1.0f - s * K) * (1.0f - s * K) / n;
            return true;
        }
        return false;
    case 4:  // high shelf, second order
        if (t.boost) {
            const float n = (K + 1.0f) * (K + 1.0f);
            c.b0 = (s + K) * (s + K) / n;
            c.b1 = 2.0f * (KK - V) / n;
            c.b2 = (s - K) * (s - K) / n;
            c.a1 = 2.0f * (1.0f - KK) / n;
            c.a2 = -(1.0f - K) * (1.0f - K) / n;
            return true;
        }
        if (t.cut) {
            const float n = (s + K) * (s + K);
            c.b0 = (K + 1.0f) * (K + 1.0f) / n;
            c.b1 = 2.0f * (KK - 1.0f) / n;
            c.b2 = (1.0f - K) * (1.0f - K) / n;
            c.a1 = 2.0f * (V - KK) / n;
            c.a2 = -(s - K) * (s - K) / n;
            return true;
        }
        return false;
    default: {  // 5 low-pass, 6 high-pass, Butterworth
        if (t.gain < 0.0f)
            return false;
        const float n = K / kSqrtHalf + 1.0f + KK;
        if (type == 5) {
            c.b0 = c.b2 = KK / n;
            c.b1 = 2.0f * c.b0;
        } else {
            c.b0 = c.b2 = 1.0f / n;
            c.b1 = -2.0f / n;
        }
        c.a1 = 2.0f * (1.0f - KK) / n;
        c.a2 = (K / kSqrtHalf - 1.0f - KK) / n;
        return true;
    }
    }
}

// The first-order types 7 to 12; false when the type refuses the gain.
bool designFirstOrder(int type, const DesignTerms& t, Coefficients& c)
{
    const float K = t.K, V = t.V;
    if (type <= 8) {  // 7 low-pass, 8 high-pass
        if (t.gain < 0.0f)
            return false;
        if (type == 7) {
            c.b0 = c.b1 = K / (K + 1.0f);
        } else {
            c.b0 = 1.0f / (K + 1.0f);
            c.b1 = -c.b0;
        }
        c.a1 = (1.0f - K) / (K + 1.0f);
        return true;
    }
    if (!t.boost && !t.cut)
        return false;  // a shelf with no gain
    switch (type) {
    case 9:  // low shelf
        if (t.boost) {
            c.b0 = (V * K + 1.0f) / (K + 1.0f);
            c.b1 = (V * K - 1.0f) / (K + 1.0f);
            c.a1 = (1.0f - K) / (K + 1.0f);
        } else {
            c.b0 = (K + 1.0f) / (V * K + 1.0f);
            c.b1 = (K - 1.0f) / (V * K + 1.0f);
            c.a1 = (1.0f - V * K) / (V * K + 1.0f);
        }
        return true;
    case 10:  // high shelf
        if (t.boost) {
            c.b0 = (V + K) / (K + 1.0f);
            c.b1 = (K - V) / (K + 1.0f);
            c.a1 = (1.0f - K) / (K + 1.0f);
        } else {
            c.b0 = (K + 1.0f) / (V + K);
            c.b1 = (K - 1.0f) / (V + K);
            c.a1 = (V - K) / (V + K);
        }
        return true;
    case 11:  // low shelf, corner scaled by V
        if (t.boost) {
            c.b0 = (K + 1.0f) / (K / V + 1.0f);
            c.b1 = (K - 1.0f) / (K / V + 1.0f);
            c.a1 = (1.0f - K / V) / (K / V + 1.0f);
        } else {
            c.b0 = (K / V + 1.0f) / (K + 1.0f);
            c.b1 = (K / V - 1.0f) / (K + 1.0f);
            c.a1 = (1.0f - K) / (K + 1.0f);
        }
        return true;
    default:  // 12: high shelf, corner scaled by V
        if (t.boost) {
            c.b0 = V * (K + 1.0f) / (V * K + 1.0f);
            c.b1 = V * (K - 1.0f) / (V * K + 1.0f);
            c.a1 = (1.0f - V * K) / (V * K + 1.0f);
        } else {
            c.b0 = (1.0f / V + K) / (K + 1.0f);
            c.b1 = (K - 1.0f / V) / (K + 1.0f);
            c.a1 = (1.0f - K) / (K + 1.0f);
        }
        return true;
    }
}

// The floating-point design: the pass-through filter for an unusable
// frequency or type, a refused gain, or coefficients that are not finite
// or too large for a 32-bit shift.
Coefficients designCoefficients(float Q, float f0, float gain, int type, float fs)
{
    Coefficients c;
    if (!(f0 > 0.0f && f0 <= fs / 2.0f && type >= 1 && type <= 12))
        return c;
    DesignTerms t;
    t.K = static_cast<float>(std::tan(static_cast<double>(3.1415927f * f0 / fs)));
    t.KK = t.K * t.K;
    t.V = static_cast<float>(std::pow(10.0, std::fabs(static_cast<double>(gain)) / 20.0));
    t.s = std::sqrt(t.V);
    t.Q = Q;
    t.gain = gain;
    t.boost = gain > 0.0f;
    t.cut = gain < 0.0f;
    const bool designed = type <= 6 ? designSecondOrder(type, t, c) : designFirstOrder(type, t, c);
    if (!designed || !(c.largest() < kLargestCoefficient))
        return Coefficients();
    return c;
}

// Quantises so that the largest coefficient times the scale lies in
// [2^29, 2^30). Small coefficient sets stop at shift 2 (scale 2^30): a finer
// scale would not fit the signed 32-bit range of the products. The filter
// states start at 0.
void quantise(const Coefficients& c, TransientDetector::Biquad& record)
{
    float scale = 268435456.0f;  // 2^28
    int shift = 4;
    float m = c.largest();
    while (m >= 4.0f) {
        m /= 2.0f;
        ++shift;
        scale /= 2.0f;
    }
    while (shift > 2) {
        m *= 2.0f;
        if (m >= 4.0f)
            break;
        --shift;
        scale *= 2.0f;
    }
    record.b0 = static_cast<int32_t>(scale * c.b0);
    record.b1 = static_cast<int32_t>(scale * c.b1);
    record.b2 = static_cast<int32_t>(scale * c.b2);
    record.a1 = static_cast<int32_t>(scale * c.a1);
    record.a2 = static_cast<int32_t>(scale * c.a2);
    record.shift = shift;
    record.s1 = 0;
    record.s2 = 0;
}

}  // namespace

void TransientDetector::DesignBiquad(float Q, float f0, float gain, int type, Biquad* record, float fs)
{
    if (!record || !(Q > 0.0f))
        return;
    quantise(designCoefficients(Q, f0, gain, type, fs), *record);
}

void TransientDetector::FilterBiquad(Biquad& f, const int32_t* in, int32_t* out, int n)
{
    for (int i = 0; i < n; ++i) {
        const int32_t x = in[i];
        const int32_t y = shl(add(f.s1, hi(x, f.b0)), f.shift);
        out[i] = y;
        f.s1 = add(add(f.s2, hi(x, f.b1)), hi(y, f.a1));
        f.s2 = add(hi(x, f.b2), hi(y, f.a2));
    }
}

// ---------------------------------------------------------------------------
// Detector

TransientDetector* TransientDetector::Create()
{
    TransientDetector* d = new (std::nothrow) TransientDetector;
    if (!d)
        return nullptr;
    Reset(d);
    d->m_blockSize = kBlockSize;
    d->m_envelope = new (std::nothrow) Envelope;
    d->m_decision = new (std::nothrow) Decision;
    if (!d->m_envelope || !d->m_decision) {
        Free(d);
        return nullptr;
    }
    d->m_envelope->initialise(d->m_blockSize);
    d->m_decision->initialise(d->m_blockSize);
    return d;
}

int TransientDetector::Reset(TransientDetector* d)
{
    if (!d)
        return -1;
    std::fill(d->m_ring, d->m_ring + kRingSize, 0);
    std::fill(d->m_marks, d->m_marks + kMaxSamples, 0);
    d->m_ringSize = kRingSize;
    d->m_writePos = 0;
    d->m_readPos = 0;
    return 0;
}

int TransientDetector::ProcessBlock(TransientDetector* d, const int16_t* samples, int n)
{
    if (!d)
        return 0;
    int frames = d->m_envelope->process(samples, n, d->m_ratio, d->m_rise, d->m_level);
    if (frames < 0)
        frames = 0;
    d->m_frameCount = frames;
    d->m_decision->process(d->m_ratio, d->m_level, d->m_rise, frames, d->m_marks);
    for (int k = 0; k < frames; ++k) {
        if (d->m_writePos >= d->m_ringSize)
            d->m_writePos = 0;
        d->m_ring[d->m_writePos] = d->m_marks[k];
        ++d->m_writePos;
    }
    // The first frame of this call; it lies before the wrap when the call's
    // frames went round the end of the ring.
    d->m_readPos = d->m_writePos - frames;
    if (d->m_readPos < 0)
        d->m_readPos += d->m_ringSize;
    return 0;
}

int TransientDetector::HasDetection(const TransientDetector* d, int n)
{
    // A call without frames brought nothing new to report.
    if (!d || d->m_frameCount <= 0)
        return 0;
    const int k = std::min(std::max(1, n / d->m_blockSize), d->m_ringSize);
    for (int i = 0; i < k; ++i)
        if (d->m_ring[(d->m_readPos + i) % d->m_ringSize] > 0)
            return 1;
    return 0;
}

void TransientDetector::Free(TransientDetector* d)
{
    if (!d)
        return;
    delete d->m_envelope;
    delete d->m_decision;
    delete d;
}

int TransientDetector::carriedCount() const
{
    return m_envelope->carriedCount;
}
const int32_t* TransientDetector::carried() const
{
    return m_envelope->carried;
}
const TransientDetector::Biquad& TransientDetector::biquad() const
{
    return m_envelope->biquad;
}
