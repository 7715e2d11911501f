#pragma once
// The settings of one band's spectral-model analysis, addressed by code like
// the engine's parameter block.
//
// Codes 0 .. 50 are envelopes (breakpoint lists over the analysed input);
// codes 51 .. 80 are scalars. Codes the analysis reads:
//   11  look-ahead window length in periods of the reference frequency,
//       looked up at that frequency in kHz (breakpoints (0.0, 2.5),
//       (0.15, 3.0), (0.5, 7.0), (1.0, 7.0); limits 0.5 .. 20)
//   13  reference (lowest expected) frequency, Hz       0 .. 22050, 110
//   42  spectrum method: 4 the windowed transform, other
//       values no spectrum                               0 .. 5, 4
//   51  analysis frames per second, stored as
//       rate / round(rate / value)                       0.1 .. 12000, 172.265625
//   52  start of the analysed stretch (input fraction)  0 .. 1, 0
//   53  end of the analysed stretch (input fraction)    0 .. 1, 1
//   74  transform window length in hops                 1 .. 64, 2
//   76  spectrum window type (13 and more give 12)      0 .. 12, 11
//   77  compute band-energy features                    0 .. 1, 1
//   80  keep one more frame slot in flight              0 .. 2, 1
// Every other envelope code (the engine writes 0, 2, 3, 4, 12, 14, 20, 23
// and 29) is a real, linear breakpoint list with limits -22050 .. 22050 and
// default 0; every other scalar code is stored as given. So every value the
// engine writes reads back unchanged.
//
// Times given for envelopes are read by the time mode (ignored: 0; seconds:
// time / duration when the duration is positive; otherwise normalised as
// given), except for codes 11 and 29 and the whole-envelope time 123456.0,
// which are taken as given.
#include "CEnvelope.h"

#include <array>
#include <cstdint>

class SMSAnalysisParams {
public:
    static constexpr int kEnvelopeCount = 51;
    static constexpr int kFirstScalar = 51;
    static constexpr int kLastScalar = 80;

    enum Code : int {
        WindowPeriods = 11,
        ReferenceFrequency = 13,
        SpectrumMethod = 42,
        FramesPerSecond = 51,
        StartFraction = 52,
        EndFraction = 53,
        WindowHops = 74,
        WindowType = 76,
        BandFeatures = 77,
        ExtraSlot = 80,
    };
    // The windowed-transform spectrum method.
    static constexpr int kTransformMethod = 4;
    enum TimeMode : uint8_t { TimeIgnored = 1, Seconds = 2, Normalised = 3 };

    // Time mode 3, duration 0, sample rate 0 (set it before code 51), the
    // defaults above. Throws -1 on allocation failure.
    SMSAnalysisParams();
    SMSAnalysisParams(const SMSAnalysisParams&) = delete;
    SMSAnalysisParams& operator=(const SMSAnalysisParams&) = delete;

    void SetDefaults();

    // Returns 0, or 1 for a code outside 0 .. 80 (nothing changes). Scalars
    // are clamped as in the table (integer ones truncated); a NaN leaves a
    // scalar unchanged.
    int SetAnalysisParameter(int code, float value, double time = 0.0);
    // The value at a time (read as for setting); 1.0 for an unknown code.
    double GetAnalysisParameter(int code, double time = 0.0) const;

    float SampleRate() const { return m_sampleRate; }
    void SetSampleRate(float rate) { m_sampleRate = rate; }
    uint8_t GetTimeMode() const { return m_timeMode; }
    void SetTimeMode(uint8_t mode) { m_timeMode = mode; }
    double Duration() const { return m_duration; }
    void SetDuration(double seconds) { m_duration = seconds; }

private:
    double EnvelopeTime(int code, double time) const;

    float m_sampleRate = 0.0f;
    uint8_t m_timeMode = Normalised;
    double m_duration = 0.0;
    std::array<float, kLastScalar - kFirstScalar + 1> m_scalars {};
    std::array<CEnvelope, kEnvelopeCount> m_envelopes;
};
