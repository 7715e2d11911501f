#pragma once
// Small numeric rules shared by the time-scale engine's parts.
#include <cmath>
#include <cstdint>

namespace stretch {

// The largest power of two not above v (v >= 1); 1 for v < 1.
inline int64_t largestPowerOfTwoAtMost(int64_t v)
{
    int64_t p = 1;
    while (p <= v / 2)
        p <<= 1;
    return p;
}

// Phases of the engine: kept in [0, 2 pi) and differences within pi.
constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// A phase in [0, 2 pi).
inline double wrapPhase(double phase)
{
    const double p = phase - kTwoPi * std::floor(phase * (1.0 / kTwoPi));
    return (p >= 0.0 && p < kTwoPi) ? p : 0.0;
}

// A phase less than two turns from [0, 2 pi) brought into it.
inline double wrapNear(double phase)
{
    if (phase < 0.0)
        phase += kTwoPi;
    else if (phase >= kTwoPi)
        phase -= kTwoPi;
    return (phase >= 0.0 && phase < kTwoPi) ? phase : wrapPhase(phase);
}

// `phase` moved by whole turns to within pi of `reference`.
inline double phaseNear(double phase, double reference)
{
    return phase - kTwoPi * std::floor((phase - reference) * (1.0 / kTwoPi) + 0.5);
}

// The bin nearest `frequency` in a spectrum of n bins from 0 Hz to
// `lastBinFrequency`, clamped to 0 .. n - 1 (0 for an empty spectrum).
inline int32_t nearestBin(double frequency, double lastBinFrequency, int32_t n)
{
    if (n < 1 || !(lastBinFrequency > 0.0))
        return 0;
    const double b = std::round((n - 1) * frequency / lastBinFrequency);
    if (!(b > 0.0))
        return 0;
    return static_cast<int32_t>(b < n - 1 ? b : n - 1);
}

// Frame counts from f64 products: a product within 1e-6 of a whole number is
// that number (44149 x (88200 / 44149) must give 88200, not 88199 or 88201).
inline double snapNearWhole(double x)
{
    const double whole = std::round(x);
    return std::fabs(x - whole) <= 1e-6 ? whole : x;
}
inline double truncNearWhole(double x)
{
    return std::trunc(snapNearWhole(x));
}
inline double ceilNearWhole(double x)
{
    return std::ceil(snapNearWhole(x));
}

}  // namespace stretch
