#pragma once
// Float exponential, logarithm, sine and cosine, arctangent and floor
// written as plain arithmetic, integer bit work and selects, so that a loop
// calling them over arrays vectorises. The library's functions are opaque
// calls to the vectoriser and were most of the cost of analysing and
// building each frame.
//
// Accuracy, against the exact values: fastExp within 1.5 ulp for x in
// [-87, 88]; fastSinCos within 8e-8 absolute for |x| <= 8192 (the library's
// sincosf differs from it by at most 2^-24 on [0, 2 pi)); fastLog within
// 1e-7 for normal positive x; fastAtan2 within 2e-6 rad. Outside those
// ranges the results are not meant to be used: callers test the range and
// take the library's functions there.
//
// The constants are the classic Cody-Waite splits of ln 2 and pi / 4 and
// minimax polynomials on the reduced ranges.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace stretch {

constexpr float kFastExpLow = -87.0f;
constexpr float kFastExpHigh = 88.0f;
constexpr float kFastSinCosLimit = 8192.0f;

inline float bitsToFloat(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline uint32_t floatToBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// e^x for x in [kFastExpLow, kFastExpHigh].
inline float fastExp(float x)
{
    // x = n ln 2 + r with |r| <= ln 2 / 2; e^x = 2^n e^r.
    const float t = x * 1.44269504088896341f;
    const auto n = static_cast<int32_t>(t + (t >= 0.0f ? 0.5f : -0.5f));
    const float fn = static_cast<float>(n);
    const float r = (x - fn * 0.693359375f) + fn * 2.12194440e-4f;
    float p = 1.9875691500e-4f;
    p = p * r + 1.3981999507e-3f;
    p = p * r + 8.3334519073e-3f;
    p = p * r + 4.1665795894e-2f;
    p = p * r + 1.6666665459e-1f;
    p = p * r + 5.0000001201e-1f;
    const float y = p * r * r + r + 1.0f;
    return y * bitsToFloat(static_cast<uint32_t>(n + 127) << 23);
}

// Sine and cosine of x for |x| <= kFastSinCosLimit.
inline void fastSinCos(float x, float& sine, float& cosine)
{
    const uint32_t xBits = floatToBits(x);
    const uint32_t signOfX = xBits & 0x80000000u;
    const float ax = bitsToFloat(xBits & 0x7FFFFFFFu);
    // The even octant j nearest |x| (in steps of pi / 4), and r = |x| - j pi / 4.
    int32_t j = static_cast<int32_t>(ax * 1.27323954473516f);
    j = (j + 1) & ~1;
    const float y = static_cast<float>(j);
    const float r = ((ax - y * 0.78515625f) - y * 2.4187564849853515625e-4f) - y * 3.77489497744594108e-8f;
    const float z = r * r;
    const float c =
        ((2.443315711809948e-5f * z - 1.388731625493765e-3f) * z + 4.166664568298827e-2f) * z * z - 0.5f * z +
        1.0f;
    const float s = ((-1.9515295891e-4f * z + 8.3321608736e-3f) * z - 1.6666654611e-1f) * z * r + r;
    // Octants 2 and 6 swap the two polynomials; the signs follow the
    // quadrant (and the sign of x for the sine).
    const auto octant = static_cast<uint32_t>(j);
    const uint32_t swap = 0u - ((octant >> 1) & 1u);
    const uint32_t cBits = floatToBits(c);
    const uint32_t sBits = floatToBits(s);
    const uint32_t sineBits = ((sBits & ~swap) | (cBits & swap)) ^ signOfX ^ ((octant & 4u) << 29);
    const uint32_t cosineBits = ((cBits & ~swap) | (sBits & swap)) ^ ((~(octant - 2u) & 4u) << 29);
    sine = bitsToFloat(sineBits);
    cosine = bitsToFloat(cosineBits);
}

// The natural logarithm of a normal positive float: its exponent, and the
// mantissa (within a factor sqrt 2 of 1) by the series of artanh.
inline float fastLog(float x)
{
    const uint32_t bits = floatToBits(x);
    const int exponent = static_cast<int>((bits >> 23) & 0xFF) - 127;
    float m = bitsToFloat((bits & 0x7FFFFFu) | 0x3F800000u);
    const bool high = m > 1.41421356f;
    m = high ? m * 0.5f : m;
    const float e = static_cast<float>(exponent) + (high ? 1.0f : 0.0f);
    const float z = (m - 1.0f) / (m + 1.0f);
    const float s = z * z;
    const float lnM = 2.0f * z * (1.0f + s * (1.0f / 3.0f + s * (1.0f / 5.0f + s * (1.0f / 7.0f))));
    return lnM + e * 0.693147181f;
}

// atan2(im, re) in (-pi, pi] by a polynomial; 0 where both parts are 0.
inline float fastAtan2(float im, float re)
{
    const float ax = std::fabs(re), ay = std::fabs(im);
    const float a = std::min(ax, ay) / std::max(std::max(ax, ay), 1e-37f);
    const float s = a * a;
    float r =
        a *
        (0.99997726f +
         s * (-0.33262347f + s * (0.19354346f + s * (-0.11643287f + s * (0.05265332f + s * -0.01172120f)))));
    r = ay > ax ? 1.57079637f - r : r;
    r = re < 0.0f ? 3.14159274f - r : r;
    return im < 0.0f ? -r : r;
}

// Whether none of x[0..n) is a NaN or an infinity: one pass over the
// samples' exponent bits, without an early way out, so that it runs on
// vectors.
inline bool allFinite(const float* x, int32_t n)
{
    constexpr uint32_t kExponent = 0x7F800000u;
    uint32_t bad = 0;
    for (int32_t i = 0; i < n; ++i)
        bad |= static_cast<uint32_t>((floatToBits(x[i]) & kExponent) == kExponent);
    return bad == 0;
}

// floor(t), as selects that vectorise without SSE4.1's rounding.
inline float floorBySelect(float t)
{
    const bool small = (t > -8388608.0f) & (t < 8388608.0f);  // below 2^23: may have a fraction
    const float ts = small ? t : 0.0f;
    const float whole = static_cast<float>(static_cast<int32_t>(ts));
    const float down = whole > ts ? whole - 1.0f : whole;
    return small ? down : t;
}

}  // namespace stretch
