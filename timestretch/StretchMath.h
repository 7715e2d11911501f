#pragma once
// Small numeric rules shared by the time-scale engine's parts.
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

}  // namespace stretch
