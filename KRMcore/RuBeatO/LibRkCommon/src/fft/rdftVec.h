#pragma once

// Short vectors of interleaved complex values for the real FFT's kernels
// (internal to rdft.cpp).
//
// A vector type V holds V::kReals reals, that is V::kReals/2 complex values
// (re, im) in memory order. Every type offers the same operations, so the
// kernels are written once: + - * lane by lane, and
//   load/store  unaligned, kReals reals
//   swapRi      (re, im) -> (im, re) in every complex lane
//   negRe       negates the real parts, negIm the imaginary parts
// The pair type C2<V> (two complex values) used by the 4- and 2-point end
// kernels adds dupLo/dupHi (both halves set to the first or the second
// complex value) and negHi (the second complex value negated).
//
// Only exact operations are added to the arithmetic (negation, moves), so
// every vector width gives the same result to the bit as the scalar form.

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rdftvec {

// Portable fallback: K reals in an array.
template <typename T, int K> struct Gv {
    using Real = T;
    static constexpr int kReals = K;
    T v[K];
    static Gv load(const T* p)
    {
        Gv x;
        for (int i = 0; i < K; ++i)
            x.v[i] = p[i];
        return x;
    }
    void store(T* p) const
    {
        for (int i = 0; i < K; ++i)
            p[i] = v[i];
    }
};
template <typename T, int K> inline Gv<T, K> operator+(Gv<T, K> a, Gv<T, K> b)
{
    for (int i = 0; i < K; ++i)
        a.v[i] += b.v[i];
    return a;
}
template <typename T, int K> inline Gv<T, K> operator-(Gv<T, K> a, Gv<T, K> b)
{
    for (int i = 0; i < K; ++i)
        a.v[i] -= b.v[i];
    return a;
}
template <typename T, int K> inline Gv<T, K> operator*(Gv<T, K> a, Gv<T, K> b)
{
    for (int i = 0; i < K; ++i)
        a.v[i] *= b.v[i];
    return a;
}
template <typename T, int K> inline Gv<T, K> swapRi(Gv<T, K> a)
{
    for (int i = 0; i < K; i += 2) {
        const T t = a.v[i];
        a.v[i] = a.v[i + 1];
        a.v[i + 1] = t;
    }
    return a;
}
template <typename T, int K> inline Gv<T, K> negRe(Gv<T, K> a)
{
    for (int i = 0; i < K; i += 2)
        a.v[i] = -a.v[i];
    return a;
}
template <typename T, int K> inline Gv<T, K> negIm(Gv<T, K> a)
{
    for (int i = 1; i < K; i += 2)
        a.v[i] = -a.v[i];
    return a;
}
// Reverses the order of the complex values.
template <typename T, int K> inline Gv<T, K> reverseCx(Gv<T, K> a)
{
    Gv<T, K> r;
    for (int i = 0; i < K; i += 2) {
        r.v[i] = a.v[K - 2 - i];
        r.v[i + 1] = a.v[K - 1 - i];
    }
    return r;
}

// Two vectors of one complex value each, as one pair.
template <typename V> struct C2 {
    using Real = typename V::Real;
    static constexpr int kReals = 2 * V::kReals;
    V lo, hi;
    static C2 load(const Real* p) { return {V::load(p), V::load(p + V::kReals)}; }
    void store(Real* p) const
    {
        lo.store(p);
        hi.store(p + V::kReals);
    }
};
template <typename V> inline C2<V> operator+(C2<V> a, C2<V> b)
{
    return {a.lo + b.lo, a.hi + b.hi};
}
template <typename V> inline C2<V> operator-(C2<V> a, C2<V> b)
{
    return {a.lo - b.lo, a.hi - b.hi};
}
template <typename V> inline C2<V> operator*(C2<V> a, C2<V> b)
{
    return {a.lo * b.lo, a.hi * b.hi};
}
template <typename V> inline C2<V> swapRi(C2<V> a)
{
    return {swapRi(a.lo), swapRi(a.hi)};
}
template <typename V> inline C2<V> negRe(C2<V> a)
{
    return {negRe(a.lo), negRe(a.hi)};
}
template <typename V> inline C2<V> negIm(C2<V> a)
{
    return {negIm(a.lo), negIm(a.hi)};
}
template <typename V> inline C2<V> dupLo(C2<V> a)
{
    return {a.lo, a.lo};
}
template <typename V> inline C2<V> dupHi(C2<V> a)
{
    return {a.hi, a.hi};
}
template <typename V> inline C2<V> negHi(C2<V> a)
{
    return {a.lo, negRe(negIm(a.hi))};
}

#if defined(__SSE2__)

// 4 floats: 2 complex values.
struct F4 {
    using Real = float;
    static constexpr int kReals = 4;
    __m128 v;
    static F4 load(const float* p) { return {_mm_loadu_ps(p)}; }
    void store(float* p) const { _mm_storeu_ps(p, v); }
};
inline F4 operator+(F4 a, F4 b)
{
    return {_mm_add_ps(a.v, b.v)};
}
inline F4 operator-(F4 a, F4 b)
{
    return {_mm_sub_ps(a.v, b.v)};
}
inline F4 operator*(F4 a, F4 b)
{
    return {_mm_mul_ps(a.v, b.v)};
}
inline F4 swapRi(F4 a)
{
    return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(2, 3, 0, 1))};
}
inline F4 negRe(F4 a)
{
    return {_mm_xor_ps(a.v, _mm_castsi128_ps(_mm_set_epi32(0, INT32_MIN, 0, INT32_MIN)))};
}
inline F4 negIm(F4 a)
{
    return {_mm_xor_ps(a.v, _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0)))};
}
inline F4 reverseCx(F4 a)
{
    return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(1, 0, 3, 2))};
}
inline F4 dupLo(F4 a)
{
    return {_mm_movelh_ps(a.v, a.v)};
}
inline F4 dupHi(F4 a)
{
    return {_mm_movehl_ps(a.v, a.v)};
}
inline F4 negHi(F4 a)
{
    return {_mm_xor_ps(a.v, _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, INT32_MIN, 0, 0)))};
}

// 2 doubles: 1 complex value.
struct D2 {
    using Real = double;
    static constexpr int kReals = 2;
    __m128d v;
    static D2 load(const double* p) { return {_mm_loadu_pd(p)}; }
    void store(double* p) const { _mm_storeu_pd(p, v); }
};
inline D2 operator+(D2 a, D2 b)
{
    return {_mm_add_pd(a.v, b.v)};
}
inline D2 operator-(D2 a, D2 b)
{
    return {_mm_sub_pd(a.v, b.v)};
}
inline D2 operator*(D2 a, D2 b)
{
    return {_mm_mul_pd(a.v, b.v)};
}
inline D2 swapRi(D2 a)
{
    return {_mm_shuffle_pd(a.v, a.v, 1)};
}
inline D2 negRe(D2 a)
{
    return {_mm_xor_pd(a.v, _mm_set_pd(0.0, -0.0))};
}
inline D2 negIm(D2 a)
{
    return {_mm_xor_pd(a.v, _mm_set_pd(-0.0, 0.0))};
}
inline D2 reverseCx(D2 a)
{
    return a;
}

#endif

}  // namespace rdftvec
