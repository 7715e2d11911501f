#include "fft/rdft.h"

#include "fft/rdftPath.h"
#include "fft/rdftVec.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#define KRM_RDFT_AVX2 1
#endif

// Split-radix real FFT.
//
// The n real samples are treated as N = n/2 complex values (a[2j], a[2j+1]).
// Their DFT with the kernel e^{+2 pi i jk/N} (forward; the backward transform
// is its conjugate) is computed in place by radix-4 decimation in frequency
// and one closing bit-reversal permutation; a real-data step then turns it
// into the spectrum of the real sequence.
//
// Sizes below are in reals, as the routines take them: a block of n reals
// holds L = n/2 complex values.
//
// Two kinds of block. A block of the first kind wants the plain DFT of its
// L values, Y[k] = sum y_j w^{jk}, w = e^{2 pi i/L}. A block of the second
// kind wants the half-bin shifted one, Y[k] = sum y_j z^{j(2k+1)},
// z = e^{i pi/L}: the odd bins of a twice longer DFT. One radix-4 stage
// (cftmdl1 for the first kind, cftmdl2 for the second) leaves four quarter
// blocks, in bit-reversed order of their bins: for a first-kind block the
// kinds 1, 2, 1, 1, for a second-kind block 1, 2, 1, 2. So a quarter block
// has the second kind when it is the second quarter, the first kind when it
// is the first or the third, and the kind of its parent when it is the last.
// Every block ends in a fixed 8- or 16-point kernel of its kind, and the
// outputs land in bit-reversed order.
//
// Transforms above 512 reals run depth first (cftrec4): the blocks of 256
// or 512 reals are finished one after the other from the end of the array,
// and the middle stages a block needs are run just before it (cfttree), so
// each leaf (cftleaf) works on data in cache.
//
// The caller's tables (makewt, makeipt, makect) are built as the interface
// lays them out, and the bit reversal reads its indices from ip. The stages
// themselves read contiguous twiddle vectors (Twiddles below) made once per
// block size for the whole process: every exponent in order, already in the
// form a vector complex multiply takes, instead of the caller's compact
// table with its mirrored and rebuilt entries.
//
// The kernels are written once over short vectors (rdftKernels.inc) and
// compiled twice: for SSE2, which every x86-64 processor has, and for AVX2,
// chosen at run time when the processor has it. Both perform the same
// operations on every value in the same order (no fused multiply-add), so
// they give the same result to the bit.
//
// Caller's twiddle tables (makewt): the sub-table for a transform of M reals
// starts at w[nw - M/4] and holds M/8 entries: t[0] = 1, t[1] = cos(pi/4),
// and with d = 2 pi/M: for M = 32, t[2] = cos 2d', t[3] = sin 2d'
// (d' = d/2); above, t[2] = 0.5/cos d, t[3] = 0.5/cos 3d and for
// j = 4, 8, ...: t[j] = cos jd, t[j+1] = sin jd, t[j+2] = cos 3jd,
// t[j+3] = -sin 3jd. The real-data cosine table follows at
// w[nw .. nw+nc-1], nc = n/4: c[0] = cos(pi/4), c[k] = 0.5 cos(k pi/(2nc))
// and c[nc-k] = 0.5 sin(k pi/(2nc)).

namespace {

// ---------------------------------------------------------------------------
// Tables

// Bit-reversal index table kept in ip[2..] with the twiddle table: for
// m = 2, 4, 8, ..., ip[m + k] = 8m * (k with its log2(m) bits reversed).
void makeipt(int nw, int* ip)
{
    ip[2] = 0;
    ip[3] = 16;
    int m = 2;
    for (int l = nw; l > 32; l >>= 2) {
        const int m2 = m << 1;
        const int q = m2 << 3;
        for (int j = m; j < m2; ++j) {
            const int p = ip[j] << 2;
            ip[m + j] = p;
            ip[m2 + j] = p + q;
        }
        m = m2;
    }
}

template <typename T> void makewt(int nw, int* ip, T* w)
{
    ip[0] = nw;
    ip[1] = 1;
    if (nw <= 2)
        return;
    int nwh = nw >> 1;
    const T delta = static_cast<T>(std::atan(1.0) / nwh);
    const double d = static_cast<double>(delta);
    const T wn4r = static_cast<T>(std::cos(d * nwh));
    w[0] = 1;
    w[1] = wn4r;
    if (nwh == 4) {
        w[2] = static_cast<T>(std::cos(d * 2));
        w[3] = static_cast<T>(std::sin(d * 2));
    } else if (nwh > 4) {
        makeipt(nw, ip);
        w[2] = static_cast<T>(0.5 / std::cos(d * 2));
        w[3] = static_cast<T>(0.5 / std::cos(d * 6));
        for (int j = 4; j < nwh; j += 4) {
            w[j] = static_cast<T>(std::cos(d * j));
            w[j + 1] = static_cast<T>(std::sin(d * j));
            w[j + 2] = static_cast<T>(std::cos(3 * d * j));
            w[j + 3] = static_cast<T>(-std::sin(3 * d * j));
        }
    }
    int nw0 = 0;
    while (nwh > 2) {
        const int nw1 = nw0 + nwh;
        nwh >>= 1;
        w[nw1] = 1;
        w[nw1 + 1] = wn4r;
        if (nwh == 4) {
            w[nw1 + 2] = w[nw0 + 4];
            w[nw1 + 3] = w[nw0 + 5];
        } else if (nwh > 4) {
            w[nw1 + 2] = static_cast<T>(0.5) / w[nw0 + 4];
            w[nw1 + 3] = static_cast<T>(0.5) / w[nw0 + 6];
            for (int j = 4; j < nwh; j += 4) {
                w[nw1 + j] = w[nw0 + 2 * j];
                w[nw1 + j + 1] = w[nw0 + 2 * j + 1];
                w[nw1 + j + 2] = w[nw0 + 2 * j + 2];
                w[nw1 + j + 3] = w[nw0 + 2 * j + 3];
            }
        }
        nw0 = nw1;
    }
}

template <typename T> void makect(int nc, int* ip, T* c)
{
    ip[1] = nc;
    if (nc <= 1)
        return;
    const int nch = nc >> 1;
    const T delta = static_cast<T>(std::atan(1.0) / nch);
    const double d = static_cast<double>(delta);
    c[0] = static_cast<T>(std::cos(d * nch));
    c[nch] = static_cast<T>(0.5) * c[0];
    for (int j = 1; j < nch; ++j) {
        c[j] = static_cast<T>(0.5 * std::cos(d * j));
        c[nc - j] = static_cast<T>(0.5 * std::sin(d * j));
    }
}

// ---------------------------------------------------------------------------
// Scalar complex arithmetic on (re, im) pairs stored in a, for the 2- and
// 4-point transforms of the shortest lengths

template <typename T> struct Cx {
    T r, i;
};
template <typename T> inline Cx<T> ld(const T* a, int k)
{
    return {a[k], a[k + 1]};
}
template <typename T> inline void st(T* a, int k, Cx<T> x)
{
    a[k] = x.r;
    a[k + 1] = x.i;
}
template <typename T> inline Cx<T> operator+(Cx<T> x, Cx<T> y)
{
    return {x.r + y.r, x.i + y.i};
}
template <typename T> inline Cx<T> operator-(Cx<T> x, Cx<T> y)
{
    return {x.r - y.r, x.i - y.i};
}
// i x
template <typename T> inline Cx<T> rotI(Cx<T> x)
{
    return {-x.i, x.r};
}

// 4 points in natural order (8 reals): forward (e^+) and backward (e^-).
template <typename T> void cftf040(T* a)
{
    const Cx<T> y0 = ld(a, 0), y1 = ld(a, 2), y2 = ld(a, 4), y3 = ld(a, 6);
    const Cx<T> x0 = y0 + y2, x1 = y0 - y2, x2 = y1 + y3, x3 = rotI(y1 - y3);
    st(a, 0, x0 + x2);
    st(a, 2, x1 + x3);
    st(a, 4, x0 - x2);
    st(a, 6, x1 - x3);
}

template <typename T> void cftb040(T* a)
{
    const Cx<T> y0 = ld(a, 0), y1 = ld(a, 2), y2 = ld(a, 4), y3 = ld(a, 6);
    const Cx<T> x0 = y0 + y2, x1 = y0 - y2, x2 = y1 + y3, x3 = rotI(y1 - y3);
    st(a, 0, x0 + x2);
    st(a, 2, x1 - x3);
    st(a, 4, x0 - x2);
    st(a, 6, x1 + x3);
}

// 2 points (4 reals).
template <typename T> void cftx020(T* a)
{
    const Cx<T> y0 = ld(a, 0), y1 = ld(a, 2);
    st(a, 0, y0 + y1);
    st(a, 2, y0 - y1);
}

// ---------------------------------------------------------------------------
// Bit reversal

// Swaps complex entries i and r (offsets in reals), each moved whole.
template <typename T> inline void swapCx(T* a, int i, int r)
{
    unsigned char x[2 * sizeof(T)], y[2 * sizeof(T)];
    std::memcpy(x, a + i, sizeof x);
    std::memcpy(y, a + r, sizeof y);
    std::memcpy(a + i, y, sizeof y);
    std::memcpy(a + r, x, sizeof x);
}

// The closing permutation of n reals (n > 32): complex entry i goes to the
// bit reversal of i. An index is read as h (top t bits), c (middle bits) and
// g (bottom t bits), with 2^t = m from the table: reversing it puts rev(g)
// on top, rev(c) in the middle and rev(h) at the bottom. ip[m + k] holds
// 8m * rev(k) for the t-bit reversal. Entries whose top and bottom fields
// are each other's reversal (h = rev(g)) pair up among themselves; for the
// others only the pairs with h < rev(g) are visited, each swapping its whole
// middle field at once.
template <typename T> void bitrv2(int n, const int* ip, T* a)
{
    int m = 1;
    int l = n >> 2;
    for (; l > 8; l >>= 2)
        m <<= 1;
    // The middle field has 4 bits when l ends at 8, 3 when it ends at 4.
    static constexpr int kRev4[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    static constexpr int kRev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    const int midCount = l == 8 ? 16 : 8;
    const int* midRev = l == 8 ? kRev4 : kRev3;
    const int top = 2 * (n >> 1) / m;  // weight of h, in reals
    const int mid = 2 * m;             // weight of c, in reals
    // The table values are 8m times the reversal: a shift takes them back.
    const int scaleShift = __builtin_ctz(static_cast<unsigned>(8 * m));
    int midOffset[16];
    for (int c = 0; c < midCount; ++c)
        midOffset[c] = midRev[c] * mid;
    for (int g = 0; g < m; ++g) {
        const int rg = ip[m + g] >> scaleShift;
        for (int h = 0; h < rg; ++h) {
            // i = (h, c, g) and r = (rg, rev c, rev h): i < r for every c.
            const int i0 = h * top + 2 * g;
            const int r0 = rg * top + 2 * (ip[m + h] >> scaleShift);
            for (int c = 0; c < midCount; ++c)
                swapCx(a, i0 + c * mid, r0 + midOffset[c]);
        }
        // h = rg: i and r share the top field; their order is that of the
        // middle and bottom fields.
        const int i0 = rg * top + 2 * g;
        const int r0 = rg * top + 2 * (ip[m + rg] >> scaleShift);
        for (int c = 0; c < midCount; ++c) {
            const int i = i0 + c * mid;
            const int r = r0 + midOffset[c];
            if (i < r)
                swapCx(a, i, r);
        }
    }
}

// Fixed permutations of 16 and 8 complex values: to[k] = from[map[k]].
template <typename T, int N> void permute(T* a, const int (&map)[N])
{
    T tmp[2 * N];
    for (int k = 0; k < 2 * N; ++k)
        tmp[k] = a[k];
    for (int k = 0; k < N; ++k) {
        a[2 * k] = tmp[2 * map[k]];
        a[2 * k + 1] = tmp[2 * map[k] + 1];
    }
}

// The plain bit reversals, and the negating ones that put bin -k where the
// forward kernel left bin k (the backward transform of the same data).
constexpr int kBitrv216[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
constexpr int kBitrv216neg[16] = {0, 15, 7, 11, 3, 13, 5, 9, 1, 14, 6, 10, 2, 12, 4, 8};
constexpr int kBitrv208[8] = {0, 4, 2, 6, 1, 5, 3, 7};
constexpr int kBitrv208neg[8] = {0, 7, 3, 5, 1, 6, 2, 4};

template <typename T> void bitrv216(T* a)
{
    permute(a, kBitrv216);
}
template <typename T> void bitrv216neg(T* a)
{
    permute(a, kBitrv216neg);
}
template <typename T> void bitrv208(T* a)
{
    permute(a, kBitrv208);
}
template <typename T> void bitrv208neg(T* a)
{
    permute(a, kBitrv208neg);
}

// ---------------------------------------------------------------------------
// Contiguous twiddle vectors

// Per block size n = 2^b (reals), each array of n/4 reals holding, for the
// exponents j = 0 .. n/8 - 1 in order, the pair (r, r) or (-s, s) of the
// twiddle r + i s at reals 2j and 2j + 1 (what cmul takes):
//   first[b][top]: the first stage of an n-point transform, w^j and w^{3j}
//             of w = e^{2 pi i/L}, L = n/2: R1 I1 R3 I3; `top` when the
//             caller's tables were built for n itself (their half-angle
//             factors are then computed, not derived from a longer table);
//   kind1[b]: a middle stage of the first kind, laid out the same;
//   kind2[b]: z^j, z^{j+L/4}, z^{3j}, z^{3(j+L/4)} of z = e^{i pi/L}:
//             R I of each, in that order;
//   real[b]:  the weights of the real-data step of an n-point transform,
//             (wr, wr) and (-wi, wi) of pair t at reals 2t of two arrays of
//             n/2 reals.
// shift4: the two factors of the second-kind 4-point kernel, (1, e^{i pi/4})
// and (1, e^{3 i pi/4}), as R I R I; unit: (1, 0) twice, as R I.
//
// Every value is the one the caller's table gives for that exponent (read
// as the table layout above describes: mirrored entries, odd exponents of
// the first stage made from their even neighbours, the fixed 8- and 16-point
// factors), so the results are those of a transform that reads the table.
template <typename T> struct Twiddles {
    const T* first[32][2] = {};
    const T* kind1[32] = {};
    const T* kind2[32] = {};
    const T* real[32] = {};
    const T* shift4 = nullptr;
    const T* unit = nullptr;
};

template <typename T> struct Cw {
    T r, i;
};

// Writes (r, r) and (-s, s) of t at reals 2j of R and I.
template <typename T> void putTwiddle(T* R, T* I, int j, Cw<T> t)
{
    R[2 * j] = t.r;
    R[2 * j + 1] = t.r;
    I[2 * j] = -t.i;
    I[2 * j + 1] = t.i;
}

// The caller's twiddle table as makewt builds it for transforms up to
// 4 nw reals, with the sub-table of M reals at nw - M/4.
template <typename T> struct CallerTable {
    int nw;
    T* w;
    int* ip;
    explicit CallerTable(int nwTop) : nw(nwTop)
    {
        w = new T[static_cast<size_t>(nwTop) + 4];
        ip = new int[static_cast<size_t>(2 + std::sqrt(2.0 * nwTop) + 8)];
        makewt(nwTop, ip, w);
    }
    ~CallerTable()
    {
        delete[] w;
        delete[] ip;
    }
    CallerTable(const CallerTable&) = delete;
    CallerTable& operator=(const CallerTable&) = delete;
    const T* sub(int M) const { return w + nw - M / 4; }
};

// e^{i t} and e^{3 i t} of the table entry at 4k, and the quarter-turn
// mirrors: w^{L/4-k} = (sin, cos) of w^k, w^{3(L/4-k)} = -(sin, cos) of w^{3k}.
template <typename T> Cw<T> tw1(const T* w, int k4)
{
    return {w[k4], w[k4 + 1]};
}
template <typename T> Cw<T> tw3(const T* w, int k4)
{
    return {w[k4 + 2], -w[k4 + 3]};
}
template <typename T> Cw<T> mirror1(Cw<T> t)
{
    return {t.i, t.r};
}
template <typename T> Cw<T> mirror3(Cw<T> t)
{
    return {-t.i, -t.r};
}

// A stage of the first kind on n reals reading the sub-table t of 2n reals:
// every exponent below L/8 from the table, the others mirrored.
template <typename T> void fillKind1(T* out, int n, const T* t)
{
    const int q = n >> 2, eighthL = n >> 4, quarterL = n >> 3;
    const T r2 = t[1];
    for (int e = 0; e < quarterL; ++e) {
        Cw<T> u1, u3;
        if (e == 0) {
            u1 = u3 = {1, 0};
        } else if (e < eighthL) {
            u1 = tw1(t, 4 * e);
            u3 = tw3(t, 4 * e);
        } else if (e == eighthL) {
            u1 = {r2, r2};
            u3 = {-r2, r2};
        } else {
            u1 = mirror1(tw1(t, 4 * (quarterL - e)));
            u3 = mirror3(tw3(t, 4 * (quarterL - e)));
        }
        putTwiddle(out, out + q, e, u1);
        putTwiddle(out + 2 * q, out + 3 * q, e, u3);
    }
}

// The first stage of an n-point transform reading the sub-table t of n
// reals, which holds the even exponents below L/8; an odd one is made from
// its neighbours, w^{2p-1} = (w^{2p-2} + w^{2p}) * 0.5/cos(2 pi/L), and
// likewise the cubes with 0.5/cos(6 pi/L); those from L/8 on are mirrored.
template <typename T> void fillFirst(T* out, int n, const T* t, T csc1, T csc3)
{
    const int q = n >> 2, eighthL = n >> 4, quarterL = n >> 3;
    const T r2 = t[1];
    const auto even1 = [&](int e) {
        return e == 0 ? Cw<T> {1, 0} : e == eighthL ? Cw<T> {r2, r2} : tw1(t, 2 * e);
    };
    const auto even3 = [&](int e) {
        return e == 0 ? Cw<T> {1, 0} : e == eighthL ? Cw<T> {-r2, r2} : tw3(t, 2 * e);
    };
    const auto odd = [](Cw<T> lo, Cw<T> hi, T csc) {
        return Cw<T> {(lo.r + hi.r) * csc, (lo.i + hi.i) * csc};
    };
    // Exponent e below L/8, itself or (upper half) as the mirror image.
    const auto lower = [&](int e, Cw<T>& u1, Cw<T>& u3) {
        if ((e & 1) == 0) {
            u1 = even1(e);
            u3 = even3(e);
        } else {
            u1 = odd(even1(e - 1), even1(e + 1), csc1);
            u3 = odd(even3(e - 1), even3(e + 1), csc3);
        }
    };
    for (int e = 0; e < quarterL; ++e) {
        Cw<T> u1, u3;
        if (e < eighthL) {
            lower(e, u1, u3);
        } else {
            lower(quarterL - e, u1, u3);
            u1 = mirror1(u1);
            u3 = mirror3(u3);
        }
        putTwiddle(out, out + q, e, u1);
        putTwiddle(out + 2 * q, out + 3 * q, e, u3);
    }
}

// A stage of the second kind on n reals reading the sub-table t of 4n reals.
template <typename T> void fillKind2(T* out, int n, const T* t)
{
    const int q = n >> 2, quarterL = n >> 3;
    const T r2 = t[1];
    for (int k = 0; k < quarterL; ++k) {
        Cw<T> u[4];
        if (k == 0) {
            u[0] = {1, 0};
            u[1] = {r2, r2};
            u[2] = {1, 0};
            u[3] = {-r2, r2};
        } else {
            u[0] = tw1(t, 4 * k);
            u[1] = mirror1(tw1(t, 4 * (quarterL - k)));
            u[2] = tw3(t, 4 * k);
            u[3] = mirror3(tw3(t, 4 * (quarterL - k)));
        }
        for (int v = 0; v < 4; ++v)
            putTwiddle(out + 2 * v * q, out + (2 * v + 1) * q, k, u[v]);
    }
}

template <typename T> void buildTwiddles(Twiddles<T>& tw, int b)
{
    const int n = 1 << b;
    const int q = n >> 2;  // reals per array
    // Tables as a caller's for 4n reals hold the sub-tables of n, 2n, 4n.
    const CallerTable<T> big(n);
    const T r2 = big.w[1];
    // cos and sin of pi/8 from the sub-table of 32 reals.
    const T c8 = n >= 16 ? big.sub(64)[4] : 0, s8 = n >= 16 ? big.sub(64)[5] : 0;

    T* k1 = new T[4 * static_cast<size_t>(q)];
    if (n == 32) {
        // The fixed 16-point kernel's factors.
        const Cw<T> u1[4] = {{1, 0}, {c8, s8}, {r2, r2}, {s8, c8}};
        const Cw<T> u3[4] = {{1, 0}, {s8, c8}, {-r2, r2}, {-c8, -s8}};
        for (int e = 0; e < 4; ++e) {
            putTwiddle(k1, k1 + q, e, u1[e]);
            putTwiddle(k1 + 2 * q, k1 + 3 * q, e, u3[e]);
        }
    } else {
        fillKind1(k1, n, big.sub(2 * n));
    }
    T* k2 = new T[8 * static_cast<size_t>(q)];
    if (n == 16) {
        // The fixed 8-point kernel's factors.
        const Cw<T> u[2][4] = {{{1, 0}, {r2, r2}, {1, 0}, {-r2, r2}},
                               {{c8, s8}, {s8, c8}, {s8, c8}, {-c8, -s8}}};
        for (int k = 0; k < 2; ++k)
            for (int v = 0; v < 4; ++v)
                putTwiddle(k2 + 2 * v * q, k2 + (2 * v + 1) * q, k, u[k][v]);
    } else {
        fillKind2(k2, n, big.sub(4 * n));
    }
    T* f[2] = {nullptr, nullptr};
    if (n >= 64) {
        // Half-angle factors derived from the longer table, or (top) built
        // for this length itself.
        const T* sub = big.sub(n);
        const T* parent = big.sub(2 * n);
        const CallerTable<T> own(n / 4);
        const T csc[2][2] = {{static_cast<T>(0.5) / parent[4], static_cast<T>(0.5) / parent[6]},
                             {own.w[2], own.w[3]}};
        for (int top = 0; top < 2; ++top) {
            f[top] = new T[4 * static_cast<size_t>(q)];
            fillFirst(f[top], n, sub, csc[top][0], csc[top][1]);
        }
    }
    const int half = n >> 1;
    T* re = new T[2 * static_cast<size_t>(half)];
    {
        // The cosine table of the real-data step for n reals.
        const int nc = n >> 2;
        T* c = new T[static_cast<size_t>(nc) + 1];
        int ipc[2] = {0, 0};
        makect(nc, ipc, c);
        for (int t = 1; t < nc; ++t)
            putTwiddle(re, re + half, t, Cw<T> {static_cast<T>(0.5) - c[nc - t], c[t]});
        delete[] c;
        re[0] = re[1] = re[half] = re[half + 1] = 0;
    }
    tw.kind1[b] = k1;
    tw.kind2[b] = k2;
    tw.first[b][0] = f[0];
    tw.first[b][1] = f[1];
    tw.real[b] = re;
}

// The twiddle vectors of every block size up to n, built on first use and
// kept for the process (one table per size, shared by all callers and
// threads; a size once built never changes).
template <typename T> const Twiddles<T>& twiddlesUpTo(int n)
{
    static Twiddles<T> tw;
    static std::atomic<int> builtUpTo {0};
    static std::mutex building;
    if (builtUpTo.load(std::memory_order_acquire) >= n)
        return tw;
    std::lock_guard<std::mutex> lock(building);
    const int have = builtUpTo.load(std::memory_order_relaxed);
    if (!tw.shift4) {
        const CallerTable<T> small(8);
        const T r2 = small.w[1];
        tw.shift4 = new T[16] {1, 1, r2, r2, -0.0, 0, -r2, r2, 1, 1, -r2, -r2, -0.0, 0, -r2, r2};
        tw.unit = new T[8] {1, 1, 1, 1, -0.0, 0, -0.0, 0};
    }
    for (int b = 3; (1 << b) <= n; ++b) {
        if ((1 << b) > have)
            buildTwiddles(tw, b);
    }
    builtUpTo.store(n > have ? n : have, std::memory_order_release);
    return tw;
}

// ---------------------------------------------------------------------------
// The kernels for SSE2, the x86-64 baseline (or plain code elsewhere)

namespace base {
#if defined(__SSE2__)
template <typename T> struct Vectors;
template <> struct Vectors<float> {
    using Wide = rdftvec::F4;
    using Pair = rdftvec::F4;
};
template <> struct Vectors<double> {
    using Wide = rdftvec::D2;
    using Pair = rdftvec::C2<rdftvec::D2>;
};
#else
template <typename T> struct Vectors {
    using Wide = rdftvec::Gv<T, 4>;
    using Pair = rdftvec::Gv<T, 4>;
};
template <typename T> inline rdftvec::Gv<T, 4> dupLo(rdftvec::Gv<T, 4> a)
{
    return {{a.v[0], a.v[1], a.v[0], a.v[1]}};
}
template <typename T> inline rdftvec::Gv<T, 4> dupHi(rdftvec::Gv<T, 4> a)
{
    return {{a.v[2], a.v[3], a.v[2], a.v[3]}};
}
template <typename T> inline rdftvec::Gv<T, 4> negHi(rdftvec::Gv<T, 4> a)
{
    return {{a.v[0], a.v[1], -a.v[2], -a.v[3]}};
}
#endif
template <typename T> using Wide = typename Vectors<T>::Wide;
template <typename T> using Narrow = typename Vectors<T>::Wide;
template <typename T> using Pair = typename Vectors<T>::Pair;
#include "fft/rdftKernels.inc"
}  // namespace base

#if KRM_RDFT_AVX2
// ---------------------------------------------------------------------------
// The same kernels for AVX2: 8 floats or 4 doubles a vector

// GCC takes the target for the region; clang ignores that pragma and takes
// the attribute on every function declared in it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace avx2 {

// 8 floats: 4 complex values.
struct F8 {
    using Real = float;
    static constexpr int kReals = 8;
    __m256 v;
    static F8 load(const float* p) { return {_mm256_loadu_ps(p)}; }
    void store(float* p) const { _mm256_storeu_ps(p, v); }
};
inline F8 operator+(F8 a, F8 b)
{
    return {_mm256_add_ps(a.v, b.v)};
}
inline F8 operator-(F8 a, F8 b)
{
    return {_mm256_sub_ps(a.v, b.v)};
}
inline F8 operator*(F8 a, F8 b)
{
    return {_mm256_mul_ps(a.v, b.v)};
}
inline F8 swapRi(F8 a)
{
    return {_mm256_permute_ps(a.v, 0xB1)};
}
inline F8 negRe(F8 a)
{
    return {_mm256_xor_ps(a.v, _mm256_setr_ps(-0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f))};
}
inline F8 negIm(F8 a)
{
    return {_mm256_xor_ps(a.v, _mm256_setr_ps(0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f))};
}
inline F8 reverseCx(F8 a)
{
    return {_mm256_permutevar8x32_ps(a.v, _mm256_setr_epi32(6, 7, 4, 5, 2, 3, 0, 1))};
}

// 4 doubles: 2 complex values.
struct D4 {
    using Real = double;
    static constexpr int kReals = 4;
    __m256d v;
    static D4 load(const double* p) { return {_mm256_loadu_pd(p)}; }
    void store(double* p) const { _mm256_storeu_pd(p, v); }
};
inline D4 operator+(D4 a, D4 b)
{
    return {_mm256_add_pd(a.v, b.v)};
}
inline D4 operator-(D4 a, D4 b)
{
    return {_mm256_sub_pd(a.v, b.v)};
}
inline D4 operator*(D4 a, D4 b)
{
    return {_mm256_mul_pd(a.v, b.v)};
}
inline D4 swapRi(D4 a)
{
    return {_mm256_permute_pd(a.v, 0x5)};
}
inline D4 negRe(D4 a)
{
    return {_mm256_xor_pd(a.v, _mm256_setr_pd(-0.0, 0.0, -0.0, 0.0))};
}
inline D4 negIm(D4 a)
{
    return {_mm256_xor_pd(a.v, _mm256_setr_pd(0.0, -0.0, 0.0, -0.0))};
}
inline D4 reverseCx(D4 a)
{
    return {_mm256_permute2f128_pd(a.v, a.v, 0x01)};
}
inline D4 dupLo(D4 a)
{
    return {_mm256_permute2f128_pd(a.v, a.v, 0x00)};
}
inline D4 dupHi(D4 a)
{
    return {_mm256_permute2f128_pd(a.v, a.v, 0x11)};
}
inline D4 negHi(D4 a)
{
    return {_mm256_xor_pd(a.v, _mm256_setr_pd(0.0, 0.0, -0.0, -0.0))};
}

template <typename T> struct Vectors;
template <> struct Vectors<float> {
    using Wide = F8;
    using Narrow = rdftvec::F4;
    using Pair = rdftvec::F4;
};
template <> struct Vectors<double> {
    using Wide = D4;
    using Narrow = rdftvec::D2;
    using Pair = D4;
};
template <typename T> using Wide = typename Vectors<T>::Wide;
template <typename T> using Narrow = typename Vectors<T>::Narrow;
template <typename T> using Pair = typename Vectors<T>::Pair;
#include "fft/rdftKernels.inc"
}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif

// Kernels in use: RdftKernels::Auto picks AVX2 where the processor has it.
std::atomic<int> g_kernels {static_cast<int>(RdftKernels::Auto)};

bool useAvx2()
{
    const auto k = static_cast<RdftKernels>(g_kernels.load(std::memory_order_relaxed));
    return k == RdftKernels::Avx2 || (k == RdftKernels::Auto && cpuHasAvx2());
}

// ---------------------------------------------------------------------------
// Entry

template <typename T> void realFft(int n, int isgn, T* a, int* ip, T* w)
{
    int nw = ip[0];
    if (n > (nw << 2)) {
        nw = n >> 2;
        makewt(nw, ip, w);
    }
    int nc = ip[1];
    if (n > (nc << 2)) {
        nc = n >> 2;
        makect(nc, ip, w + nw);
    }
    const Twiddles<T>& tw = twiddlesUpTo<T>(n);
#if KRM_RDFT_AVX2
    if (useAvx2()) {
        avx2::transform(n, isgn, a, ip, tw);
        return;
    }
#endif
    base::transform(n, isgn, a, ip, tw);
}

}  // namespace

bool cpuHasAvx2()
{
#if KRM_RDFT_AVX2
    static const bool have = __builtin_cpu_supports("avx2") != 0;
    return have;
#else
    return false;
#endif
}

bool setRdftKernels(RdftKernels kernels)
{
    if (kernels == RdftKernels::Avx2 && !cpuHasAvx2())
        return false;
    g_kernels.store(static_cast<int>(kernels), std::memory_order_relaxed);
    return true;
}

void rdft(int n, int isgn, double* a, int* ip, double* w)
{
    realFft(n, isgn, a, ip, w);
}

void rdftf(int n, int isgn, float* a, int* ip, float* w)
{
    realFft(n, isgn, a, ip, w);
}
