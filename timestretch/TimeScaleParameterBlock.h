#pragma once
// The settings of the time-scale engine, addressed by numeric code.
//
// Codes 0 .. 146 are time-varying parameters held as envelopes (CEnvelope):
// either a breakpoint list over the input (read at a time) or an array of
// three values indexed by band. A few higher codes are plain scalars. The
// engine owns one main block, fills it with `ApplyPreset` and gives each band
// its own copy (`CopyTo`); the band stretchers and spectrum windows read the
// values back with `GetParameter`.
//
// Codes the engine uses (limits are enforced on every set):
//   0   band-stretcher flags        breakpoint, integer, step   0 .. 7       7
//   108 stretch factor (out / in)   breakpoint, real, step      1e-4 .. 1000 1
//   110 peak threshold, dB          breakpoint, real, linear    -200 .. 0    -100
//   114 peak width, bins            breakpoint, integer, linear 0 .. 1000    2
//   115 max frequency deviation, Hz breakpoint, real, linear    0 .. 10000   40
//   116 attack marks on             breakpoint, integer, step   0 .. 1       1
//   118 attack handling switch      breakpoint, integer, step   0 .. 1       0
//   121 phase-reset frequency, Hz   breakpoint, real, step      0 .. 22050   2500
//   125 continuity test on          breakpoint, integer, step   0 .. 1       1
//   127 continuity phase tolerance  breakpoint, real, linear    0 .. pi      pi/3
//   128 continuity setting          breakpoint, real, linear    0 .. 100     4
//   129 continuity level, dB        breakpoint, real, linear    -100 .. 0    -5
//   130 continuity frequency, Hz    breakpoint, real, linear    0 .. 22050   20
//   132 band upper edge, Hz         array of 3, real            0 .. 44100   600, 1800, 22050
//   133 band window type            array of 3, real            0 .. 22050   4, 4, 6
//   134 band window size factor     array of 3, real            0 .. 22050   8, 6, 3
//   135 stereo link on              breakpoint, integer, step   0 .. 1       1
//   136 stereo link weight          breakpoint, real, linear    0 .. 1       1
//   148 band sample rate, Hz        scalar f32                  10000 .. 44100  22050
//   159 window type 0 .. 12         scalar u8                   0 .. 12      11
//   160 window size factor          scalar f32                  1 .. 64      2
//   161 hop, samples (power of two) scalar i32                  4 .. 65536   128
//   162 synthesis cross-fade, %     scalar f32                  0 .. 50      50
//   164 output flags                scalar u8                   0 .. 255     1
//   177 ranges a stretcher handles  scalar i32                  0 .. 32      3
// Other codes 0 .. 146 are envelopes without a definition: setting them is
// accepted and has no effect, reading them gives 0.0.
#include "CEnvelope.h"

#include <array>
#include <cstddef>
#include <cstdint>

class TimeScaleParameterBlock {
public:
    static constexpr int kEnvelopeCount = 147;

    enum Code : int {
        BandFlags = 0,
        StretchFactor = 108,
        PeakThreshold = 110,
        PeakWidth = 114,
        MaxDeviation = 115,
        AttackMarksOn = 116,
        AttackHandling = 118,
        PhaseResetFrequency = 121,
        ContinuityTest = 125,
        ContinuityPhase = 127,
        ContinuitySetting = 128,
        ContinuityLevel = 129,
        ContinuityFrequency = 130,
        BandUpperEdge = 132,
        BandWindowType = 133,
        BandWindowFactor = 134,
        StereoLink = 135,
        StereoLinkWeight = 136,
        SampleRate = 148,
        WindowType = 159,
        WindowFactor = 160,
        Hop = 161,
        CrossFade = 162,
        OutputFlags = 164,
        RangeCount = 177,
    };

    // How a time given for a breakpoint parameter is read.
    enum TimeMode : uint8_t { TimeIgnored = 1, Seconds = 2, Normalised = 3 };

    // Time mode 3, duration 0, then `SetDefaults`. Throws -1 on allocation
    // failure.
    TimeScaleParameterBlock();
    TimeScaleParameterBlock(const TimeScaleParameterBlock&) = delete;
    TimeScaleParameterBlock& operator=(const TimeScaleParameterBlock&) = delete;

    // Every code back to the table above; the time mode and duration stay.
    void SetDefaults();

    // Copies time mode, duration, scalars 148, 159, 160, 161, 162, 164 and
    // all envelopes into `target`. Code 177 is not copied: each band's copy
    // gets its own range count.
    void CopyTo(TimeScaleParameterBlock& target) const;

    // Sets a value; returns 0 for a known code and 1 otherwise (nothing
    // changed).
    // Codes 0 .. 146: a breakpoint parameter reads the time by the time mode
    // (ignored: 0; seconds: time / duration when the duration is positive;
    // normalised: as given); an array parameter takes the time as the band
    // index; the time 123456.0 sets the whole envelope in either case.
    // Scalars are clamped to their limits (161 is then lowered to a power of
    // two, integer ones truncated); a NaN leaves a scalar unchanged.
    int SetParameter(int code, double value, double time = 0.0);

    // The value of a code at a time (read as in SetParameter); the scalar for
    // scalar codes; 1.0 for an unknown code.
    double GetParameter(int code, double time = 0.0) const;

    // Fills the main block for an engine run.
    //   mode: engine mode 0 .. 5 (0, 1, 4, 5: 172.265625 frames per second;
    //         2, 3: 86.1328125).
    //   segmentCount, ratios, startFractions: the stretch map; each ratio
    //         (output over input length) within [0.5, 2.0], start fractions
    //         (segment start over input length, the first 0.0) strictly
    //         rising. A NaN ratio is not refused here: it reaches code 108 so
    //         that the engine can report it.
    //   bandCount: 1 or 2; sampleRate in Hz; inputSeconds the input length.
    // Returns 2 (block unchanged) for a mode above 5, no segment, a ratio out
    // of range, start fractions not rising or a band count other than 1 or
    // 2; otherwise sets codes 161, 108, 177, 134, 132, 133, 121, 135, 136,
    // 125, 115, 114, 116, 148 and 0, switches the time mode to seconds with
    // the duration inputSeconds, and returns 0.
    int ApplyPreset(uint32_t mode, int32_t segmentCount, const double* ratios, const double* startFractions,
                    int32_t bandCount, double sampleRate, double inputSeconds);

    uint8_t GetTimeMode() const { return m_timeMode; }
    void SetTimeMode(uint8_t mode) { m_timeMode = mode; }
    double Duration() const { return m_duration; }
    void SetDuration(double seconds) { m_duration = seconds; }
    const CEnvelope& Envelope(int code) const { return m_envelopes[static_cast<size_t>(code)]; }

private:
    double EnvelopeTime(int code, double time) const;

    uint8_t m_timeMode = Normalised;
    double m_duration = 0.0;
    std::array<CEnvelope, kEnvelopeCount> m_envelopes;
    float m_sampleRate = 22050.0f;  // 148
    uint8_t m_windowType = 11;      // 159
    float m_windowFactor = 2.0f;    // 160
    int32_t m_hop = 128;            // 161
    float m_crossFade = 50.0f;      // 162
    uint8_t m_outputFlags = 1;      // 164
    int32_t m_rangeCount = 3;       // 177
};
