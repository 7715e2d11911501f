#include "fft/rdft.h"

#include <cmath>

// Split-radix real FFT.
//
// The n real samples are treated as n/2 complex values (a[2j], a[2j+1]).
// Their DFT (kernel e^{+i...} forward, e^{-i...} backward) is computed by an
// in-place, depth-first split-radix decimation in frequency followed by one
// bit-reversal permutation; a real-data step then turns it into the spectrum
// of the real sequence.
//
// Twiddle table layout (w[0 .. nw-1], nw = n/4 of the longest length built):
// one sub-table per complex length L = 2nw, nw, nw/2, ..., 8, starting at
// w[nw - L/2] and L/4 entries long. With d = pi/L:
//   t[0] = 1, t[1] = cos(pi/4)
//   L == 16: t[2] = cos 2d, t[3] = sin 2d
//   L >= 32: t[2] = 0.5/cos 2d, t[3] = 0.5/cos 6d and, for j = 4, 8, ...
//            < L/4: t[j] = cos jd, t[j+1] = sin jd, t[j+2] = cos 3jd,
//            t[j+3] = -sin 3jd.
// Entry j holds the twiddle exponent k = j/2 of a length-L radix-4 pass; odd
// exponents come from their even neighbours by the half-angle identity
// (cos a + cos b = 2 cos((a+b)/2) cos((a-b)/2)), which is what t[2] and t[3]
// are for, and exponents above L/8 by the quarter-turn mirror.
//
// The real-data cosine table follows at w[nw .. nw+nc-1], nc = n/4:
// c[0] = cos(pi/4), c[k] = 0.5 cos(k pi/(2nc)) for 0 < k < nc.

namespace {

// Bit-reversal index table kept in ip[2..] with the twiddle table.
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

// One radix-4 split-radix butterfly at exponent k of a length-L pass
// (complex indices k, k+q, k+2q, k+3q with q = L/4); (c1, s1) is the twiddle
// e^{i 2 pi k/L}, (c3, s3) the one for 3k. Forward uses e^{+i}, backward the
// conjugate. The first half keeps the sums (the even outputs); the quarters
// get (t +- iu) times the twiddles (outputs 4p+1 and 4p+3).
template <typename T, bool Fwd> inline void butterfly(T* x, int k, int q, T c1, T s1, T c3, T s3)
{
    T* p0 = x + 2 * k;
    T* p1 = p0 + 2 * q;
    T* p2 = p1 + 2 * q;
    T* p3 = p2 + 2 * q;
    const T tr = p0[0] - p2[0], ti = p0[1] - p2[1];
    const T ur = p1[0] - p3[0], ui = p1[1] - p3[1];
    p0[0] += p2[0];
    p0[1] += p2[1];
    p1[0] += p3[0];
    p1[1] += p3[1];
    if (Fwd) {
        // z1 = (t + iu) e^{+i a}, z3 = (t - iu) e^{+3i a}
        const T z1r = tr - ui, z1i = ti + ur;
        const T z3r = tr + ui, z3i = ti - ur;
        p2[0] = z1r * c1 - z1i * s1;
        p2[1] = z1r * s1 + z1i * c1;
        p3[0] = z3r * c3 - z3i * s3;
        p3[1] = z3r * s3 + z3i * c3;
    } else {
        // z1 = (t - iu) e^{-i a}, z3 = (t + iu) e^{-3i a}
        const T z1r = tr + ui, z1i = ti - ur;
        const T z3r = tr - ui, z3i = ti + ur;
        p2[0] = z1r * c1 + z1i * s1;
        p2[1] = z1i * c1 - z1r * s1;
        p3[0] = z3r * c3 + z3i * s3;
        p3[1] = z3i * c3 - z3r * s3;
    }
}

// Butterfly at k and at its quarter-turn mirror q - k:
// e^{i(pi/2 - a)} = (sin a, cos a), e^{3i(pi/2 - a)} = (-sin 3a, -cos 3a).
template <typename T, bool Fwd> inline void butterflyPair(T* x, int k, int q, T c1, T s1, T c3, T s3)
{
    butterfly<T, Fwd>(x, k, q, c1, s1, c3, s3);
    butterfly<T, Fwd>(x, q - k, q, s1, c1, -s3, -c3);
}

// Split-radix DIF of length L (complex) in place; output in bit-reversed
// order. `wtop` is the twiddle table, `nw` its length.
template <typename T, bool Fwd> void splitRadix(T* x, int L, const T* wtop, int nw)
{
    if (L <= 1)
        return;
    if (L == 2) {
        const T r = x[0] - x[2], i = x[1] - x[3];
        x[0] += x[2];
        x[1] += x[3];
        x[2] = r;
        x[3] = i;
        return;
    }
    const int q = L >> 2;
    const T* t = wtop + nw - L / 2;
    if (L == 4) {
        butterfly<T, Fwd>(x, 0, 1, T(1), T(0), T(1), T(0));
    } else if (L == 8) {
        const T r2 = t[1];
        butterfly<T, Fwd>(x, 0, 2, T(1), T(0), T(1), T(0));
        butterfly<T, Fwd>(x, 1, 2, r2, r2, -r2, r2);
    } else if (L == 16) {
        const T r2 = t[1], c = t[2], s = t[3];
        butterfly<T, Fwd>(x, 0, 4, T(1), T(0), T(1), T(0));
        butterflyPair<T, Fwd>(x, 1, 4, c, s, s, c);
        butterfly<T, Fwd>(x, 2, 4, r2, r2, -r2, r2);
    } else {
        const int h = L >> 3;  // exponent of the eighth turn
        const T r2 = t[1], csc1 = t[2], csc3 = t[3];
        T pc1 = 1, ps1 = 0, pc3 = 1, ps3 = 0;  // exponent k-2
        butterfly<T, Fwd>(x, 0, q, pc1, ps1, pc3, ps3);
        for (int k = 2; k <= h; k += 2) {
            T c1, s1, c3, s3;
            if (k < h) {
                const T* e = t + 2 * k;
                c1 = e[0];
                s1 = e[1];
                c3 = e[2];
                s3 = -e[3];
            } else {
                c1 = r2;
                s1 = r2;
                c3 = -r2;
                s3 = r2;
            }
            butterflyPair<T, Fwd>(x, k - 1, q, (pc1 + c1) * csc1, (ps1 + s1) * csc1, (pc3 + c3) * csc3,
                                  (ps3 + s3) * csc3);
            if (k < h)
                butterflyPair<T, Fwd>(x, k, q, c1, s1, c3, s3);
            else
                butterfly<T, Fwd>(x, k, q, c1, s1, c3, s3);
            pc1 = c1;
            ps1 = s1;
            pc3 = c3;
            ps3 = s3;
        }
    }
    // Depth first: the half, then both quarters, each finished before the
    // next, so long transforms work on cache-sized blocks.
    splitRadix<T, Fwd>(x, L >> 1, wtop, nw);
    splitRadix<T, Fwd>(x + L, q, wtop, nw);
    splitRadix<T, Fwd>(x + L + L / 2, q, wtop, nw);
}

template <typename T> void bitReverse(T* x, int L)
{
    int j = 0;
    for (int i = 0; i < L - 1; ++i) {
        if (i < j) {
            const T r = x[2 * i], im = x[2 * i + 1];
            x[2 * i] = x[2 * j];
            x[2 * i + 1] = x[2 * j + 1];
            x[2 * j] = r;
            x[2 * j + 1] = im;
        }
        int m = L >> 1;
        while (m >= 1 && j >= m) {
            j -= m;
            m >>= 1;
        }
        j += m;
    }
}

// Complex DFT of the n/2 values in a, natural order in and out.
template <typename T, bool Fwd> void complexFft(int n, T* a, int nw, const T* w)
{
    const int L = n >> 1;
    splitRadix<T, Fwd>(a, L, w, nw);
    bitReverse(a, L);
}

template <typename T> void cftfsub(int n, T* a, int nw, const T* w)
{
    complexFft<T, true>(n, a, nw, w);
}

template <typename T> void cftbsub(int n, T* a, int nw, const T* w)
{
    complexFft<T, false>(n, a, nw, w);
}

// Real-data step between the complex FFT of the packed pairs and the
// spectrum of the real sequence. Forward (post-processing) turns the complex
// DFT Z into A[k] = Z[k] - (1 + i e^{i pi k/m})/2 (Z[k] - conj Z[m-k]);
// backward (pre-processing) undoes it with the conjugate weights.
template <typename T, bool Fwd> void realDataStep(int n, T* a, int nc, const T* c)
{
    const int m = n >> 1;
    const int ks = 2 * nc / m;
    int kk = 0;
    for (int j = 2; j < m; j += 2) {
        const int k = n - j;
        kk += ks;
        const T wkr = static_cast<T>(0.5) - c[nc - kk];
        const T wki = c[kk];
        const T xr = a[j] - a[k];
        const T xi = a[j + 1] + a[k + 1];
        const T yr = Fwd ? wkr * xr - wki * xi : wkr * xr + wki * xi;
        const T yi = Fwd ? wkr * xi + wki * xr : wkr * xi - wki * xr;
        a[j] -= yr;
        a[j + 1] -= yi;
        a[k] += yr;
        a[k + 1] -= yi;
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
            cftfsub(n, a, nw, w);
            rftfsub(n, a, nc, w + nw);
        } else if (n == 4) {
            cftfsub(n, a, nw, w);
        }
        const T xi = a[0] - a[1];
        a[0] += a[1];
        a[1] = xi;
    } else {
        a[1] = static_cast<T>(0.5) * (a[0] - a[1]);
        a[0] -= a[1];
        if (n > 4) {
            rftbsub(n, a, nc, w + nw);
            cftbsub(n, a, nw, w);
        } else if (n == 4) {
            cftbsub(n, a, nw, w);
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
