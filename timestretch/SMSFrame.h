#pragma once
// One analysed frame of the spectral-model analysis.
//
// A frame holds a time (seconds; -1.0 marks an empty analyser slot; relative
// to its region's start once filed in a region), a set of parts named by
// flags, and the parts themselves:
//   Magnitudes (0x10): `Count()` magnitudes in dB (full scale 32768 is 0 dB,
//     `kSilentDb` for silence);
//   Phases (0x20): `Count()` phases in radians (analysis gives atan2 values
//     in (-pi, pi]; synthesised frames hold [0, 2 pi));
//   Features (0x2000): 80 floats, 40 band values then their 40 slopes (see
//     SMSBandFeatureAnalyzer).
// Count() is the number of spectrum bins (transform size / 2 + 1).
//
// Arrays are reused: allocating fewer bins than the frame has room for
// allocates nothing. Allocation failures throw the integer -1.
#include <cstdint>
#include <vector>

class SMSFrame {
public:
    enum Part : uint32_t { Magnitudes = 0x10, Phases = 0x20, Features = 0x2000 };
    static constexpr uint32_t kSpectrum = Magnitudes | Phases;
    static constexpr uint32_t kAllParts = Magnitudes | Phases | Features;
    static constexpr int32_t kBands = 40;
    static constexpr int32_t kFeatureCount = 2 * kBands;
    // Feature entries after the band step: three linear energy sums ...
    static constexpr int32_t kTotalEnergy = 0;  // all 40 bands
    static constexpr int32_t kUpperEnergy = 1;  // bands 26 .. 35
    static constexpr int32_t kLowerEnergy = 2;  // bands 1 .. 5
    // ... and the slope of entry e at kSlopes + e.
    static constexpr int32_t kSlopes = kBands;
    // Magnitude of a bin with no energy: the lowest float.
    static constexpr float kSilentDb = -3.4028234663852886e+38f;

    double Time() const { return m_time; }
    void SetTime(double seconds) { m_time = seconds; }
    uint32_t Flags() const { return m_flags; }
    bool Has(uint32_t parts) const { return (m_flags & parts) == parts; }
    int32_t Count() const { return m_count; }

    // Makes room for the parts named by `mask` (spectrum parts for `count`
    // bins), marks them present, and zeroes them when `zero` is set.
    void Allocate(uint32_t mask, int32_t count, bool zero);

    // Copies the parts named by `mask` that this frame has into `target`
    // (allocating there), and the time when `withTime` is set.
    void CopyTo(SMSFrame& target, uint32_t mask, bool withTime) const;

    // Marks the parts named by `mask` absent; their memory is kept for reuse
    // when `keepMemory` is set, freed otherwise.
    void Release(uint32_t mask, bool keepMemory);

    float* MagnitudeData() { return m_magnitudes.data(); }
    const float* MagnitudeData() const { return m_magnitudes.data(); }
    float* PhaseData() { return m_phases.data(); }
    const float* PhaseData() const { return m_phases.data(); }
    float* FeatureData() { return m_features.data(); }
    const float* FeatureData() const { return m_features.data(); }

private:
    double m_time = -1.0;
    uint32_t m_flags = 0;
    int32_t m_count = 0;
    std::vector<float> m_magnitudes;
    std::vector<float> m_phases;
    std::vector<float> m_features;
};

// A view of a time-ordered run of frames: `count` pointers. The frames
// belong to whoever made the view (a region, the engine's history).
struct SMSFrameList {
    int32_t count = 0;
    SMSFrame* const* frames = nullptr;
};
