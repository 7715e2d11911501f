#pragma once
// Fixed-point attack finder for mono 16-bit audio. The envelope stage turns
// every 32 input samples into one frame (short-to-long envelope ratio, its
// long-term level and its rise); the decision stage runs a peak picker over
// the rise and marks the frame of a sudden rise, at most once per 34 frames.
// Frame marks go into a ring of the newest 8320 frames.
#include <cstdint>

class TransientDetector {
public:
    static constexpr int kRingSize = 8320;
    static constexpr int kBlockSize = 32;    // input samples per frame
    static constexpr int kMaxSamples = 128;  // per ProcessBlock call

    // Second-order section in fixed point: coefficients scaled by
    // 2^(32 - shift); a1 and a2 carry the sign with which they are added.
    struct Biquad {
        int32_t b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        int32_t s1 = 0, s2 = 0;
        int32_t shift = 0;
    };

    // Designs one of twelve filter types (1 peaking, 2 band-pass/notch,
    // 3/4 second-order low/high shelf, 5/6 Butterworth low/high-pass,
    // 7/8 first-order low/high-pass, 9/10 first-order low/high shelf,
    // 11/12 the same with the corner scaled by the gain) and quantises it.
    // Q <= 0 or no record leaves the record untouched; an unusable
    // frequency, type or gain gives the pass-through filter.
    static void DesignBiquad(float q, float f0, float gainDb, int type, Biquad* record, float fs);
    // Filters n values (32-bit, wrap-around arithmetic).
    static void FilterBiquad(Biquad& record, const int32_t* in, int32_t* out, int n);

    // Nothing when an allocation fails.
    static TransientDetector* Create();
    // Clears the ring, its positions and the marks; the filters keep their
    // state. -1 for no detector.
    static int Reset(TransientDetector* detector);
    // Feeds up to 128 samples; a longer block yields no frames. Returns 0.
    static int ProcessBlock(TransientDetector* detector, const int16_t* samples, int n);
    // 1 when any of the max(1, n / 32) ring values from the first frame of
    // the newest call on is a mark; 0 when that call produced no frame.
    static int HasDetection(const TransientDetector* detector, int n);
    static void Free(TransientDetector* detector);

    // Read-only views of the newest call and of the ring.
    int frameCount() const { return m_frameCount; }
    int writePos() const { return m_writePos; }
    int readPos() const { return m_readPos; }
    const int32_t* ring() const { return m_ring; }
    const int32_t* ratio() const { return m_ratio; }
    const int32_t* rise() const { return m_rise; }
    const int32_t* level() const { return m_level; }
    const int32_t* marks() const { return m_marks; }
    int carriedCount() const;
    const int32_t* carried() const;
    const Biquad& biquad() const;

    TransientDetector(const TransientDetector&) = delete;
    TransientDetector& operator=(const TransientDetector&) = delete;

    // The peak picker over the frames (Transient/TransientDecision.h).
    struct Decision;

private:
    struct Envelope;

    TransientDetector() = default;
    ~TransientDetector() = default;

    int32_t m_ring[kRingSize] = {};
    int m_ringSize = kRingSize;
    int m_writePos = 0;
    int m_readPos = 0;
    Envelope* m_envelope = nullptr;
    Decision* m_decision = nullptr;
    int32_t m_ratio[kMaxSamples] = {};
    int32_t m_rise[kMaxSamples] = {};
    int32_t m_level[kMaxSamples] = {};
    int32_t m_marks[kMaxSamples] = {};
    int m_frameCount = 0;
    int m_blockSize = kBlockSize;
};
