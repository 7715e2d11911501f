#include "fft/rdft.h"

#include <cmath>

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
// Twiddle tables (makewt): the sub-table for a transform of M reals starts
// at w[nw - M/4] and holds M/8 entries: t[0] = 1, t[1] = cos(pi/4), and with
// d = 2 pi/M: for M = 32, t[2] = cos 2d', t[3] = sin 2d' (d' = d/2); above,
// t[2] = 0.5/cos d, t[3] = 0.5/cos 3d (the half-angle factors of cftf1st)
// and for j = 4, 8, ...: t[j] = cos jd, t[j+1] = sin jd, t[j+2] = cos 3jd,
// t[j+3] = -sin 3jd. A stage on a block of n reals reads the sub-table of
// M = n (cftf1st, which makes the odd exponents from their even neighbours),
// M = 2n (cftmdl1, every exponent) or M = 4n (cftmdl2, the half steps).
//
// The real-data cosine table follows at w[nw .. nw+nc-1], nc = n/4:
// c[0] = cos(pi/4), c[k] = 0.5 cos(k pi/(2nc)) and c[nc-k] = 0.5 sin(k pi/(2nc)).

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
// Complex arithmetic on (re, im) pairs stored in a

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
template <typename T> inline Cx<T> operator*(Cx<T> x, Cx<T> w)
{
    return {x.r * w.r - x.i * w.i, x.r * w.i + x.i * w.r};
}
// i x
template <typename T> inline Cx<T> rot(Cx<T> x)
{
    return {-x.i, x.r};
}
template <typename T> inline Cx<T> conj(Cx<T> x)
{
    return {x.r, -x.i};
}
// The twiddle pairs of a table entry at 4k: e^{i t} and e^{3 i t}.
template <typename T> inline Cx<T> tw1(const T* w, int k4)
{
    return {w[k4], w[k4 + 1]};
}
template <typename T> inline Cx<T> tw3(const T* w, int k4)
{
    return {w[k4 + 2], -w[k4 + 3]};
}

// ---------------------------------------------------------------------------
// Radix-4 butterflies over the quarters of a block (q = quarter in reals)

// First kind at exponent j with twiddles u1 = w^j, u3 = w^{3j}: quarter 0
// takes the sum, quarter 1 the untwiddled difference (a second-kind block),
// quarters 2 and 3 the twiddled odd bins. `Conj` reads the conjugates of
// the inputs.
template <typename T, bool Conj = false> inline void butterfly1(T* a, int j, int q, Cx<T> u1, Cx<T> u3)
{
    Cx<T> a0 = ld(a, j), a1 = ld(a, j + q), a2 = ld(a, j + 2 * q), a3 = ld(a, j + 3 * q);
    if (Conj) {
        a0 = conj(a0);
        a1 = conj(a1);
        a2 = conj(a2);
        a3 = conj(a3);
    }
    const Cx<T> x0 = a0 + a2, x1 = a0 - a2, x2 = a1 + a3, x3 = a1 - a3;
    st(a, j, x0 + x2);
    st(a, j + q, x0 - x2);
    st(a, j + 2 * q, (x1 + rot(x3)) * u1);
    st(a, j + 3 * q, (x1 - rot(x3)) * u3);
}

// Second kind at exponent j: u1 = z^j, v1 = z^{j+L/4}, u3 = z^{3j},
// v3 = z^{3(j+L/4)}. Quarters 0 and 2 become first-kind blocks, quarters 1
// and 3 second-kind ones.
template <typename T> inline void butterfly2(T* a, int j, int q, Cx<T> u1, Cx<T> v1, Cx<T> u3, Cx<T> v3)
{
    const Cx<T> y0 = ld(a, j), y1 = ld(a, j + q), y2 = ld(a, j + 2 * q), y3 = ld(a, j + 3 * q);
    const Cx<T> x0 = y0 + rot(y2), x1 = y0 - rot(y2), x2 = y1 + rot(y3), x3 = y1 - rot(y3);
    const Cx<T> p0 = x0 * u1, p2 = x2 * v1, p1 = x1 * u3, p3 = x3 * v3;
    st(a, j, p0 + p2);
    st(a, j + q, p0 - p2);
    st(a, j + 2 * q, p1 + p3);
    st(a, j + 3 * q, p1 - p3);
}

// ---------------------------------------------------------------------------
// The same butterflies at kLanes consecutive exponents at once. The values
// are gathered into plain arrays of reals and imaginaries, on which every
// step is one loop over the lanes: a form the compiler turns into vector
// instructions without any of its own.

constexpr int kLanes = 4;

template <typename T> struct Lanes {
    T r[kLanes], i[kLanes];
};

template <typename T, bool Conj = false> inline Lanes<T> loadLanes(const T* a, int at)
{
    Lanes<T> x;
    for (int l = 0; l < kLanes; ++l) {
        x.r[l] = a[at + 2 * l];
        x.i[l] = Conj ? -a[at + 2 * l + 1] : a[at + 2 * l + 1];
    }
    return x;
}

template <typename T> inline void storeLanes(T* a, int at, const Lanes<T>& x)
{
    for (int l = 0; l < kLanes; ++l) {
        a[at + 2 * l] = x.r[l];
        a[at + 2 * l + 1] = x.i[l];
    }
}

template <typename T> inline void setLane(Lanes<T>& x, int l, Cx<T> v)
{
    x.r[l] = v.r;
    x.i[l] = v.i;
}

template <typename T, bool Conj = false>
inline void butterfly1Lanes(T* a, int j, int q, const Lanes<T>& u1, const Lanes<T>& u3)
{
    const Lanes<T> a0 = loadLanes<T, Conj>(a, j), a1 = loadLanes<T, Conj>(a, j + q);
    const Lanes<T> a2 = loadLanes<T, Conj>(a, j + 2 * q), a3 = loadLanes<T, Conj>(a, j + 3 * q);
    Lanes<T> s0, s1, s2, s3;
    for (int l = 0; l < kLanes; ++l) {
        const T x0r = a0.r[l] + a2.r[l], x0i = a0.i[l] + a2.i[l];
        const T x1r = a0.r[l] - a2.r[l], x1i = a0.i[l] - a2.i[l];
        const T x2r = a1.r[l] + a3.r[l], x2i = a1.i[l] + a3.i[l];
        const T x3r = a1.r[l] - a3.r[l], x3i = a1.i[l] - a3.i[l];
        s0.r[l] = x0r + x2r;
        s0.i[l] = x0i + x2i;
        s1.r[l] = x0r - x2r;
        s1.i[l] = x0i - x2i;
        const T yr = x1r - x3i, yi = x1i + x3r;  // x1 + i x3
        const T zr = x1r + x3i, zi = x1i - x3r;  // x1 - i x3
        s2.r[l] = yr * u1.r[l] - yi * u1.i[l];
        s2.i[l] = yr * u1.i[l] + yi * u1.r[l];
        s3.r[l] = zr * u3.r[l] - zi * u3.i[l];
        s3.i[l] = zr * u3.i[l] + zi * u3.r[l];
    }
    storeLanes(a, j, s0);
    storeLanes(a, j + q, s1);
    storeLanes(a, j + 2 * q, s2);
    storeLanes(a, j + 3 * q, s3);
}

template <typename T>
inline void butterfly2Lanes(T* a, int j, int q, const Lanes<T>& u1, const Lanes<T>& v1, const Lanes<T>& u3,
                            const Lanes<T>& v3)
{
    const Lanes<T> y0 = loadLanes(a, j), y1 = loadLanes(a, j + q);
    const Lanes<T> y2 = loadLanes(a, j + 2 * q), y3 = loadLanes(a, j + 3 * q);
    Lanes<T> s0, s1, s2, s3;
    for (int l = 0; l < kLanes; ++l) {
        const T x0r = y0.r[l] - y2.i[l], x0i = y0.i[l] + y2.r[l];  // y0 + i y2
        const T x1r = y0.r[l] + y2.i[l], x1i = y0.i[l] - y2.r[l];  // y0 - i y2
        const T x2r = y1.r[l] - y3.i[l], x2i = y1.i[l] + y3.r[l];  // y1 + i y3
        const T x3r = y1.r[l] + y3.i[l], x3i = y1.i[l] - y3.r[l];  // y1 - i y3
        const T p0r = x0r * u1.r[l] - x0i * u1.i[l], p0i = x0r * u1.i[l] + x0i * u1.r[l];
        const T p2r = x2r * v1.r[l] - x2i * v1.i[l], p2i = x2r * v1.i[l] + x2i * v1.r[l];
        const T p1r = x1r * u3.r[l] - x1i * u3.i[l], p1i = x1r * u3.i[l] + x1i * u3.r[l];
        const T p3r = x3r * v3.r[l] - x3i * v3.i[l], p3i = x3r * v3.i[l] + x3i * v3.r[l];
        s0.r[l] = p0r + p2r;
        s0.i[l] = p0i + p2i;
        s1.r[l] = p0r - p2r;
        s1.i[l] = p0i - p2i;
        s2.r[l] = p1r + p3r;
        s2.i[l] = p1i + p3i;
        s3.r[l] = p1r - p3r;
        s3.i[l] = p1i - p3i;
    }
    storeLanes(a, j, s0);
    storeLanes(a, j + q, s1);
    storeLanes(a, j + 2 * q, s2);
    storeLanes(a, j + 3 * q, s3);
}

// The quarter-turn mirrors of a twiddle pair: w^{L/4-k} = (sin, cos) of
// w^k and w^{3(L/4-k)} = -(sin, cos) of w^{3k}.
template <typename T> inline Cx<T> mirror1(Cx<T> t)
{
    return {t.i, t.r};
}
template <typename T> inline Cx<T> mirror3(Cx<T> t)
{
    return {-t.i, -t.r};
}

// ---------------------------------------------------------------------------
// Middle stages

// First radix-4 stage over the whole array, of the first kind. Its table
// (transform of n reals) holds the even exponents of w = e^{2 pi i/L} below
// L/8; the odd ones are made from their two even neighbours: w^{2p-1} =
// (w^{2p-2} + w^{2p}) * 0.5/cos(2 pi/L), and likewise for the cubes.
// Exponents from L/8 on are the mirrors of those below. `Backward`
// transforms the conjugate of the input, which the conjugating bit reversal
// at the end turns into the backward transform.
template <typename T, bool Backward> void firstStage(int n, T* a, const T* w)
{
    const int q = n >> 2;         // quarter, in reals
    const int quarterL = n >> 3;  // L/4 exponents
    const int eighthL = n >> 4;   // L/8
    const T r2 = w[1], csc1 = w[2], csc3 = w[3];
    // w^e and w^{3e} for an even e from 0 to L/8.
    const auto even1 = [&](int e) {
        return e == 0 ? Cx<T> {1, 0} : e == eighthL ? Cx<T> {r2, r2} : tw1(w, 2 * e);
    };
    const auto even3 = [&](int e) {
        return e == 0 ? Cx<T> {1, 0} : e == eighthL ? Cx<T> {-r2, r2} : tw3(w, 2 * e);
    };
    const auto odd = [](Cx<T> lo, Cx<T> hi, T csc) {
        return Cx<T> {(lo.r + hi.r) * csc, (lo.i + hi.i) * csc};
    };
    Lanes<T> u1, u3;
    for (int e0 = 0; e0 < eighthL; e0 += kLanes) {
        const Cx<T> t0 = even1(e0), t2 = even1(e0 + 2), t4 = even1(e0 + 4);
        const Cx<T> c0 = even3(e0), c2 = even3(e0 + 2), c4 = even3(e0 + 4);
        setLane(u1, 0, t0);
        setLane(u1, 1, odd(t0, t2, csc1));
        setLane(u1, 2, t2);
        setLane(u1, 3, odd(t2, t4, csc1));
        setLane(u3, 0, c0);
        setLane(u3, 1, odd(c0, c2, csc3));
        setLane(u3, 2, c2);
        setLane(u3, 3, odd(c2, c4, csc3));
        butterfly1Lanes<T, Backward>(a, 2 * e0, q, u1, u3);
    }
    for (int e0 = eighthL; e0 < quarterL; e0 += kLanes) {
        const int m = quarterL - e0;  // mirrored exponent of lane 0
        const Cx<T> t0 = even1(m), t2 = even1(m - 2), t4 = even1(m - 4);
        const Cx<T> c0 = even3(m), c2 = even3(m - 2), c4 = even3(m - 4);
        setLane(u1, 0, mirror1(t0));
        setLane(u1, 1, mirror1(odd(t2, t0, csc1)));
        setLane(u1, 2, mirror1(t2));
        setLane(u1, 3, mirror1(odd(t4, t2, csc1)));
        setLane(u3, 0, mirror3(c0));
        setLane(u3, 1, mirror3(odd(c2, c0, csc3)));
        setLane(u3, 2, mirror3(c2));
        setLane(u3, 3, mirror3(odd(c4, c2, csc3)));
        butterfly1Lanes<T, Backward>(a, 2 * e0, q, u1, u3);
    }
}

template <typename T> void cftf1st(int n, T* a, const T* w)
{
    firstStage<T, false>(n, a, w);
}

template <typename T> void cftb1st(int n, T* a, const T* w)
{
    firstStage<T, true>(n, a, w);
}

// A middle stage of the first kind on a block of n reals (n >= 64); its
// table (transform of 2n reals) holds every exponent of w = e^{2 pi i/L}
// below L/8. Exponents from L/8 on are the mirrors of those below.
template <typename T> void cftmdl1(int n, T* a, const T* w)
{
    const int q = n >> 2;
    const int quarterL = n >> 3;
    const int eighthL = n >> 4;
    const T r2 = w[1];
    Lanes<T> u1, u3;
    for (int e0 = 0; e0 < eighthL; e0 += kLanes) {
        for (int l = 0; l < kLanes; ++l) {
            setLane(u1, l, tw1(w, 4 * (e0 + l)));
            setLane(u3, l, tw3(w, 4 * (e0 + l)));
        }
        if (e0 == 0) {
            setLane(u1, 0, Cx<T> {1, 0});
            setLane(u3, 0, Cx<T> {1, 0});
        }
        butterfly1Lanes(a, 2 * e0, q, u1, u3);
    }
    for (int e0 = eighthL; e0 < quarterL; e0 += kLanes) {
        for (int l = e0 == eighthL ? 1 : 0; l < kLanes; ++l) {
            const int k4 = 4 * (quarterL - e0 - l);
            setLane(u1, l, mirror1(tw1(w, k4)));
            setLane(u3, l, mirror3(tw3(w, k4)));
        }
        if (e0 == eighthL) {
            setLane(u1, 0, Cx<T> {r2, r2});
            setLane(u3, 0, Cx<T> {-r2, r2});
        }
        butterfly1Lanes(a, 2 * e0, q, u1, u3);
    }
}

// A middle stage of the second kind on a block of n reals (n >= 32); its
// table (transform of 4n reals) holds z^k = e^{i pi k/L} for 0 < k < L/4.
// The twiddles at L/4 + k come from the entry at L/4 - k: z^{L/4+k} =
// (sin, cos) of z^{L/4-k}, z^{3(L/4+k)} = -(sin, cos) of z^{3(L/4-k)}.
template <typename T> void cftmdl2(int n, T* a, const T* w)
{
    const int q = n >> 2;
    const int quarterL = n >> 3;
    const T r2 = w[1];
    Lanes<T> u1, v1, u3, v3;
    for (int k0 = 0; k0 < quarterL; k0 += kLanes) {
        for (int l = k0 == 0 ? 1 : 0; l < kLanes; ++l) {
            const int k4 = 4 * (k0 + l), m4 = 4 * (quarterL - k0 - l);
            setLane(u1, l, tw1(w, k4));
            setLane(u3, l, tw3(w, k4));
            setLane(v1, l, mirror1(tw1(w, m4)));
            setLane(v3, l, mirror3(tw3(w, m4)));
        }
        if (k0 == 0) {
            setLane(u1, 0, Cx<T> {1, 0});
            setLane(u3, 0, Cx<T> {1, 0});
            setLane(v1, 0, Cx<T> {r2, r2});
            setLane(v3, 0, Cx<T> {-r2, r2});
        }
        butterfly2Lanes(a, 2 * k0, q, u1, v1, u3, v3);
    }
}

// ---------------------------------------------------------------------------
// Fixed kernels (bins in bit-reversed order)

// 2 points: first kind (y0 +- y1) and second kind (y0 +- i y1).
template <typename T> inline void dft2(T* a, int j, int q)
{
    const Cx<T> y0 = ld(a, j), y1 = ld(a, j + q);
    st(a, j, y0 + y1);
    st(a, j + q, y0 - y1);
}
template <typename T> inline void dft2Shifted(T* a, int j, int q)
{
    const Cx<T> y0 = ld(a, j), y1 = rot(ld(a, j + q));
    st(a, j, y0 + y1);
    st(a, j + q, y0 - y1);
}

// 4 points of the first and of the second kind, at a (8 reals).
template <typename T> inline void dft4(T* a)
{
    butterfly1(a, 0, 2, Cx<T> {1, 0}, Cx<T> {1, 0});
}
template <typename T> inline void dft4Shifted(T* a, T r2)
{
    butterfly2(a, 0, 2, Cx<T> {1, 0}, Cx<T> {r2, r2}, Cx<T> {1, 0}, Cx<T> {-r2, r2});
}

// 8 points of the first kind (16 reals); w[1] = cos(pi/4).
template <typename T> void cftf081(T* a, const T* w)
{
    const T r2 = w[1];
    butterfly1(a, 0, 4, Cx<T> {1, 0}, Cx<T> {1, 0});
    butterfly1(a, 2, 4, Cx<T> {r2, r2}, Cx<T> {-r2, r2});
    dft2(a, 0, 2);
    dft2Shifted(a, 4, 2);
    dft2(a, 8, 2);
    dft2(a, 12, 2);
}

// 8 points of the second kind; w[2], w[3] = cos, sin of pi/8.
template <typename T> void cftf082(T* a, const T* w)
{
    const T r2 = w[1], c = w[2], s = w[3];
    butterfly2(a, 0, 4, Cx<T> {1, 0}, Cx<T> {r2, r2}, Cx<T> {1, 0}, Cx<T> {-r2, r2});
    butterfly2(a, 2, 4, Cx<T> {c, s}, Cx<T> {s, c}, Cx<T> {s, c}, Cx<T> {-c, -s});
    dft2(a, 0, 2);
    dft2Shifted(a, 4, 2);
    dft2(a, 8, 2);
    dft2Shifted(a, 12, 2);
}

// 16 points of the first kind (32 reals); table of 32 reals: w[1] =
// cos(pi/4), w[2], w[3] = cos, sin of pi/8.
template <typename T> void cftf161(T* a, const T* w)
{
    const T r2 = w[1], c = w[2], s = w[3];
    butterfly1(a, 0, 8, Cx<T> {1, 0}, Cx<T> {1, 0});
    butterfly1(a, 2, 8, Cx<T> {c, s}, Cx<T> {s, c});
    butterfly1(a, 4, 8, Cx<T> {r2, r2}, Cx<T> {-r2, r2});
    butterfly1(a, 6, 8, Cx<T> {s, c}, Cx<T> {-c, -s});
    dft4(a);
    dft4Shifted(a + 8, r2);
    dft4(a + 16);
    dft4(a + 24);
}

// 16 points of the second kind; table of 128 reals: entries 4, 8, 12 hold
// z^k and z^{3k} for z = e^{i pi/16}.
template <typename T> void cftf162(T* a, const T* w)
{
    const T r2 = w[1];
    cftmdl2(32, a, w);
    dft4(a);
    dft4Shifted(a + 8, r2);
    dft4(a + 16);
    dft4Shifted(a + 24, r2);
}

// 4 points in natural order (8 reals): forward (e^+) and backward (e^-).
template <typename T> void cftf040(T* a)
{
    const Cx<T> y0 = ld(a, 0), y1 = ld(a, 2), y2 = ld(a, 4), y3 = ld(a, 6);
    const Cx<T> x0 = y0 + y2, x1 = y0 - y2, x2 = y1 + y3, x3 = rot(y1 - y3);
    st(a, 0, x0 + x2);
    st(a, 2, x1 + x3);
    st(a, 4, x0 - x2);
    st(a, 6, x1 - x3);
}

template <typename T> void cftb040(T* a)
{
    const Cx<T> y0 = ld(a, 0), y1 = ld(a, 2), y2 = ld(a, 4), y3 = ld(a, 6);
    const Cx<T> x0 = y0 + y2, x1 = y0 - y2, x2 = y1 + y3, x3 = rot(y1 - y3);
    st(a, 0, x0 + x2);
    st(a, 2, x1 - x3);
    st(a, 4, x0 - x2);
    st(a, 6, x1 + x3);
}

// 2 points (4 reals).
template <typename T> void cftx020(T* a)
{
    dft2(a, 0, 2);
}

// ---------------------------------------------------------------------------
// Leaves and recursion

// The fixed kernels of a block of n reals (64 or 128) after its stage: its
// four blocks of 16 or 32 reals have the kinds 1, 2, 1 and `lastKind`
// (1 first, 0 second).
template <typename T> void cftkernels(int n, T* a, int nw, const T* w, int lastKind)
{
    const int b = n >> 2;
    const auto first = [&](T* x) {
        if (b == 32)
            cftf161(x, &w[nw - 8]);
        else
            cftf081(x, &w[nw - 8]);
    };
    const auto second = [&](T* x) {
        if (b == 32)
            cftf162(x, &w[nw - 32]);
        else
            cftf082(x, &w[nw - 8]);
    };
    first(a);
    second(a + b);
    first(a + 2 * b);
    if (lastKind != 0)
        first(a + 3 * b);
    else
        second(a + 3 * b);
}

// 64 or 128 reals after their first stage: four blocks of 16 or 32 reals of
// the kinds 1, 2, 1, 1.
template <typename T> void cftfx41(int n, T* a, int nw, const T* w)
{
    cftkernels(n, a, nw, w, 1);
}

// The rest of a block of 256 or 512 reals after its own stage: its four
// quarters get a middle stage of their kind (1, 2, 1 and the block's kind,
// `isplt` 1 first, 0 second) and their four fixed kernels.
template <typename T> void cftleaf(int n, int isplt, T* a, int nw, const T* w)
{
    const int m = n >> 2;
    const int kinds[4] = {1, 0, 1, isplt};
    for (int b = 0; b < 4; ++b) {
        T* x = a + b * m;
        if (kinds[b] != 0)
            cftmdl1(m, x, &w[nw - (m >> 1)]);
        else
            cftmdl2(m, x, &w[nw - m]);
        cftkernels(m, x, nw, w, kinds[b]);
    }
}

// The middle stages that block k (counted from the end, 1 first) of n reals
// ending at a[j] needs before its leaf, and the kind it has: k not a multiple
// of 4 is a quarter of a block already staged (odd k the first kind, even k
// the second); otherwise it is the last quarter of a larger block not staged
// yet, whose kind and size come from the factors 4 in k.
template <typename T> int cfttree(int n, int j, int k, T* a, int nw, const T* w)
{
    if ((k & 3) != 0) {
        const int isplt = k & 1;
        if (isplt != 0)
            cftmdl1(n, &a[j - n], &w[nw - (n >> 1)]);
        else
            cftmdl2(n, &a[j - n], &w[nw - n]);
        return isplt;
    }
    int m = n;
    int i = k;
    for (; (i & 3) == 0; i >>= 2)
        m <<= 2;
    const int isplt = i & 1;
    if (isplt != 0) {
        for (; m > 128; m >>= 2)
            cftmdl1(m, &a[j - m], &w[nw - (m >> 1)]);
    } else {
        for (; m > 128; m >>= 2)
            cftmdl2(m, &a[j - m], &w[nw - m]);
    }
    return isplt;
}

// Depth-first recursion above 512 reals, after the first stage: the last
// block of 256 or 512 first, then every earlier one with the stages it needs.
template <typename T> void cftrec4(int n, T* a, int nw, const T* w)
{
    int m = n;
    while (m > 512) {
        m >>= 2;
        cftmdl1(m, &a[n - m], &w[nw - (m >> 1)]);
    }
    cftleaf(m, 1, &a[n - m], nw, w);
    int k = 0;
    for (int j = n - m; j > 0; j -= m) {
        ++k;
        const int isplt = cfttree(m, j, k, a, nw, w);
        cftleaf(m, isplt, &a[j - m], nw, w);
    }
}

// ---------------------------------------------------------------------------
// Bit reversal

// Swaps complex entries i and r (offsets in reals).
template <typename T> inline void swapCx(T* a, int i, int r)
{
    const T xr = a[i], xi = a[i + 1];
    a[i] = a[r];
    a[i + 1] = a[r + 1];
    a[r] = xr;
    a[r + 1] = xi;
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
    const int scale = 8 * m;           // of the table values
    for (int g = 0; g < m; ++g) {
        const int rg = ip[m + g] / scale;
        for (int h = 0; h < rg; ++h) {
            // i = (h, c, g) and r = (rg, rev c, rev h): i < r for every c.
            const int i0 = h * top + 2 * g;
            const int r0 = rg * top + 2 * (ip[m + h] / scale);
            for (int c = 0; c < midCount; ++c)
                swapCx(a, i0 + c * mid, r0 + midRev[c] * mid);
        }
        // h = rg: i and r share the top field; their order is that of the
        // middle and bottom fields.
        const int i0 = rg * top + 2 * g;
        for (int c = 0; c < midCount; ++c) {
            const int i = i0 + c * mid;
            const int r = rg * top + midRev[c] * mid + 2 * (ip[m + rg] / scale);
            if (i < r)
                swapCx(a, i, r);
        }
    }
}

// The same permutation, then every value conjugated (closing the backward
// transform, whose first stage took the conjugate of the input).
template <typename T> void bitrv2conj(int n, const int* ip, T* a)
{
    bitrv2(n, ip, a);
    for (int k = 1; k < n; k += 2)
        a[k] = -a[k];
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
// Complex FFT drivers

// The complex FFT of the n/2 values in a, natural order in and out. The two
// directions share every stage but the first one, the 4-point kernel and the
// closing permutation.
template <typename T, bool Backward> void complexFft(int n, T* a, const int* ip, int nw, const T* w)
{
    if (n > 32) {
        if (Backward)
            cftb1st(n, a, &w[nw - (n >> 2)]);
        else
            cftf1st(n, a, &w[nw - (n >> 2)]);
        if (n > 512)
            cftrec4(n, a, nw, w);
        else if (n > 128)
            cftleaf(n, 1, a, nw, w);
        else
            cftfx41(n, a, nw, w);
        if (Backward)
            bitrv2conj(n, ip, a);
        else
            bitrv2(n, ip, a);
    } else if (n == 32) {
        cftf161(a, &w[nw - 8]);
        if (Backward)
            bitrv216neg(a);
        else
            bitrv216(a);
    } else if (n == 16) {
        cftf081(a, w);
        if (Backward)
            bitrv208neg(a);
        else
            bitrv208(a);
    } else if (n == 8) {
        if (Backward)
            cftb040(a);
        else
            cftf040(a);
    } else if (n == 4) {
        cftx020(a);
    }
}

template <typename T> void cftfsub(int n, T* a, const int* ip, int nw, const T* w)
{
    complexFft<T, false>(n, a, ip, nw, w);
}

template <typename T> void cftbsub(int n, T* a, const int* ip, int nw, const T* w)
{
    complexFft<T, true>(n, a, ip, nw, w);
}

// ---------------------------------------------------------------------------
// Real-data step

// Between the complex FFT of the packed pairs and the spectrum of the real
// sequence. Forward (post-processing) turns the complex DFT Z into
// A[k] = Z[k] - (1 + i e^{i pi k/m})/2 (Z[k] - conj Z[m-k]); backward
// (pre-processing) undoes it with the conjugate weights.
template <typename T, bool Fwd> void realDataStep(int n, T* a, int nc, const T* c)
{
    const int m = n >> 1;
    const int ks = 2 * nc / m;
    // Pair t (1 <= t < m/2) joins a[2t] with a[n - 2t] under the weights
    // c[ks t] and c[nc - ks t]. The pairs run kLanes at a time, the first
    // (m/2 - 1) mod kLanes of them one by one.
    const int pairs = (m >> 1) - 1;
    int t = 1;
    const auto step = [&](T& ajr, T& aji, T& akr, T& aki, T wkr, T wki) {
        const T xr = ajr - akr;
        const T xi = aji + aki;
        const T yr = Fwd ? wkr * xr - wki * xi : wkr * xr + wki * xi;
        const T yi = Fwd ? wkr * xi + wki * xr : wkr * xi - wki * xr;
        ajr -= yr;
        aji -= yi;
        akr += yr;
        aki -= yi;
    };
    if (ks != 1) {
        // Tables built for a longer transform: the weights are spread out.
        for (; t <= pairs; ++t) {
            const int j = 2 * t, k = n - j;
            step(a[j], a[j + 1], a[k], a[k + 1], static_cast<T>(0.5) - c[nc - ks * t], c[ks * t]);
        }
        return;
    }
    for (; t <= pairs % kLanes; ++t) {
        const int j = 2 * t, k = n - j;
        step(a[j], a[j + 1], a[k], a[k + 1], static_cast<T>(0.5) - c[nc - t], c[t]);
    }
    for (; t <= pairs; t += kLanes) {
        // The mirrored side runs backwards: lane l holds pair t + l.
        const int kTop = n - 2 * (t + kLanes - 1);
        Lanes<T> aj = loadLanes(a, 2 * t), kRev = loadLanes(a, kTop), ak, wk;
        for (int l = 0; l < kLanes; ++l) {
            ak.r[l] = kRev.r[kLanes - 1 - l];
            ak.i[l] = kRev.i[kLanes - 1 - l];
            wk.r[l] = static_cast<T>(0.5) - c[nc - t - l];
            wk.i[l] = c[t + l];
        }
        for (int l = 0; l < kLanes; ++l)
            step(aj.r[l], aj.i[l], ak.r[l], ak.i[l], wk.r[l], wk.i[l]);
        storeLanes(a, 2 * t, aj);
        for (int l = 0; l < kLanes; ++l) {
            kRev.r[kLanes - 1 - l] = ak.r[l];
            kRev.i[kLanes - 1 - l] = ak.i[l];
        }
        storeLanes(a, kTop, kRev);
    }
}

template <typename T> void rftfsub(int n, T* a, int nc, const T* c)
{
    realDataStep<T, true>(n, a, nc, c);
}

template <typename T> void rftbsub(int n, T* a, int nc, const T* c)
{
    realDataStep<T, false>(n, a, nc, c);
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
    if (isgn >= 0) {
        if (n > 4) {
            cftfsub(n, a, ip, nw, w);
            rftfsub(n, a, nc, w + nw);
        } else if (n == 4) {
            cftfsub(n, a, ip, nw, w);
        }
        const T xi = a[0] - a[1];
        a[0] += a[1];
        a[1] = xi;
    } else {
        a[1] = static_cast<T>(0.5) * (a[0] - a[1]);
        a[0] -= a[1];
        if (n > 4) {
            rftbsub(n, a, nc, w + nw);
            cftbsub(n, a, ip, nw, w);
        } else if (n == 4) {
            cftbsub(n, a, ip, nw, w);
        }
    }
}

}  // namespace

void rdft(int n, int isgn, double* a, int* ip, double* w)
{
    realFft(n, isgn, a, ip, w);
}

void rdftf(int n, int isgn, float* a, int* ip, float* w)
{
    realFft(n, isgn, a, ip, w);
}
