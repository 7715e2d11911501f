#pragma once
// The resampler of the time-scale engine: a linear-phase FIR low-pass that
// decimates or interpolates by an integer factor, fed block by block.
//
// The engine runs its low band at a reduced rate: it decimates the input
// before analysis and interpolates the band's synthesis back after it. The
// coefficient table is chosen at construction from direction, factor and
// sample rate (exact rates):
//   factor 2 at 44100 or 22050 Hz   50 taps (interpolation: 25 per phase)
//   factor 2 at 11025 Hz            70 taps (35 per phase)
//   factor 4 at 44100 or 22050 Hz   70 taps (17 per phase)
//   factor 4 at 11025 Hz            110 taps, decimation only
//   factor 8 at any rate            170 taps (21 per phase)
// Any other combination (factor 1, interpolation by 4 at 11025 Hz, another
// rate) has no table: such an object produces no samples.
//
// Timing: a decimator's output follows the newest input of each group, so
// after decimating and interpolating by the same factor and dropping the
// first 2 * GetDelay() output samples the signal leads the input by about
// factor / 2 samples (2 at factor 4).
//
// The delay line persists between calls: consecutive blocks give the same
// output as one block. One object per channel and direction. Arithmetic in
// double, samples in float. Allocation failures throw the integer -1.
#include <cstdint>
#include <vector>

class CPolyphaseMultiRateProcessing {
public:
    enum Direction : uint32_t { Decimation = 1, Interpolation = 2 };
    static constexpr int32_t kMaxTaps = 200;

    CPolyphaseMultiRateProcessing(uint32_t direction, int32_t factor, double sampleRate);
    virtual ~CPolyphaseMultiRateProcessing() = default;
    CPolyphaseMultiRateProcessing(const CPolyphaseMultiRateProcessing&) = delete;
    CPolyphaseMultiRateProcessing& operator=(const CPolyphaseMultiRateProcessing&) = delete;

    // Decimates n input samples: one output per `factor` inputs
    // (produced = n / factor); inputs left over at the end of the block are
    // dropped, not kept for the next call. produced = 0 when n < factor or
    // the object has no table. output needs room for n / factor samples.
    void Decimate(int32_t n, const float* input, float* output, int32_t& produced);

    // Interpolates n input samples into n * factor outputs (0 when n < 1,
    // the object has no table or was made for decimation). output needs room for n * factor samples.
    void Interpolate(int32_t n, const float* input, float* output, int32_t& produced);

    // The taps of the table a construction with these arguments would
    // choose; 0 when there is none.
    static int32_t TapsFor(uint32_t direction, int32_t factor, double sampleRate);

    // The filter delay in output samples, taps / 2 - 1, that the caller
    // removes twice over after decimation and interpolation.
    int32_t GetDelay() const { return m_taps / 2 - 1; }
    int32_t Factor() const { return m_factor; }
    int32_t Taps() const { return m_taps; }
    int32_t PhaseLength() const { return m_phaseLength; }
    bool HasTable() const { return m_hasTable; }
    const double* Coefficients() const { return m_coefficients.data(); }

private:
    // Room for this many samples before the delay line is moved.
    static constexpr int32_t kDelayRoom = 4096;
    // Puts a sample in front of the delay line (keeping `keep` samples) and
    // returns the line's newest end.
    double* Push(double sample, int32_t keep);

    std::vector<double> m_delay;
    int32_t m_head = 0;
    int32_t m_factor;
    std::vector<double> m_coefficients;
    int32_t m_phaseLength = 0;
    int32_t m_taps = kMaxTaps;
    uint32_t m_direction;
    bool m_hasTable = false;
};
