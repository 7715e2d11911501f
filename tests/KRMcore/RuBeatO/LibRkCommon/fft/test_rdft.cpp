#include "fft/rdft.h"
#include "fft/rdftPath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// Exact work-area sizes of the contract, so any overrun shows up under ASan.
int ipSize(int n)
{
    return 2 + static_cast<int>(std::sqrt(n / 2.0));
}

// Packed spectrum of the contract, computed directly, with long double sums
// so that the reference's own rounding stays well below the tolerance.
std::vector<double> naivePacked(const std::vector<double>& x)
{
    const int n = static_cast<int>(x.size());
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<long double> cs(n), sn(n);
    for (int i = 0; i < n; ++i) {
        cs[i] = std::cos(2.0L * pi * i / n);
        sn[i] = std::sin(2.0L * pi * i / n);
    }
    std::vector<double> out(n);
    for (int k = 0; k <= n / 2; ++k) {
        long double re = 0, im = 0;
        for (int j = 0; j < n; ++j) {
            const int idx = static_cast<int>((static_cast<long long>(j) * k) % n);
            re += x[j] * cs[idx];
            im += x[j] * sn[idx];
        }
        if (k == 0)
            out[0] = double(re);
        else if (k == n / 2)
            out[1] = double(re);
        else {
            out[2 * k] = double(re);
            out[2 * k + 1] = double(im);
        }
    }
    return out;
}

std::vector<double> randomSignal(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> x(n);
    for (auto& v : x)
        v = d(rng);
    return x;
}

template <typename T> void run(int n, int isgn, T* a, int* ip, T* w);
template <> void run<double>(int n, int isgn, double* a, int* ip, double* w)
{
    rdft(n, isgn, a, ip, w);
}
template <> void run<float>(int n, int isgn, float* a, int* ip, float* w)
{
    rdftf(n, isgn, a, ip, w);
}

// Rounding allowance of an n-point transform of unit-range data.
template <typename T> double tolerance(int n)
{
    return 4.0 * std::numeric_limits<T>::epsilon() * (std::log2(n) + 1) * std::sqrt(n);
}

template <typename T> void checkAllLengths()
{
    for (int n = 2; n <= 16384; n *= 2) {
        SCOPED_TRACE(n);
        const std::vector<double> x = randomSignal(n, 1234u + n);
        const std::vector<double> ref = naivePacked(x);
        std::vector<int> ip(ipSize(n));
        std::vector<T> w(n / 2);
        ip[0] = 0;
        std::vector<T> a(x.begin(), x.end());

        run<T>(n, 1, a.data(), ip.data(), w.data());
        double err = 0;
        for (int i = 0; i < n; ++i)
            err = std::max(err, std::abs(a[i] - ref[i]));
        EXPECT_LE(err, tolerance<T>(n));
        // Tables describe the length just built.
        EXPECT_EQ(ip[0], n / 4);
        EXPECT_EQ(ip[1], n >= 8 ? n / 4 : 1);

        run<T>(n, -1, a.data(), ip.data(), w.data());
        err = 0;
        for (int i = 0; i < n; ++i)
            err = std::max(err, std::abs(a[i] * 2.0 / n - x[i]));
        EXPECT_LE(err, tolerance<T>(n));
    }
}

TEST(Rdft, DoubleMatchesNaiveDftAndInvertsAtEveryLength)
{
    checkAllLengths<double>();
}
TEST(Rdft, FloatMatchesNaiveDftAndInvertsAtEveryLength)
{
    checkAllLengths<float>();
}

TEST(Rdft, TwoPointTransformAndConstantInput)
{
    int ip[3] = {0, 99, 99};
    double w[2] = {0, 0};
    double a[2] = {3.0, 5.0};
    rdft(2, 1, a, ip, w);
    EXPECT_EQ(a[0], 8.0);
    EXPECT_EQ(a[1], -2.0);
    EXPECT_EQ(ip[0], 0);
    EXPECT_EQ(ip[1], 1);

    // A constant v puts n*v in the DC term and nothing anywhere else.
    const int n = 1024;
    std::vector<int> ipf(ipSize(n));
    std::vector<float> wf(n / 2);
    std::vector<float> c(n, 0.25f);
    rdftf(n, 1, c.data(), ipf.data(), wf.data());
    EXPECT_FLOAT_EQ(c[0], n * 0.25f);
    for (int i = 1; i < n; ++i)
        ASSERT_NEAR(c[i], 0.0f, 1e-4f) << i;
}

// The tables as the contract lays them out, checked against their closed
// forms: the bit-reversal indices, every twiddle sub-table and the cosine
// table of the real-data step.
template <typename T> void checkTables(double tol)
{
    struct Case {
        int n, largestM;  // largestM: the last block of bit-reversal indices
    };
    for (const Case c : {Case {64, 2}, Case {128, 2}, Case {1024, 8}, Case {2048, 8}, Case {16384, 32}}) {
        SCOPED_TRACE(c.n);
        const int n = c.n, nw = n / 4, nc = n / 4;
        std::vector<int> ip(ipSize(n));
        std::vector<T> w(n / 2);
        std::vector<T> a(n, T(0));
        ip[0] = 0;
        run<T>(n, 1, a.data(), ip.data(), w.data());

        // ip[m + k] = 8m * (k with its log2(m) bits reversed), m = 2, 4, ...
        for (int m = 2; m <= c.largestM; m *= 2) {
            for (int k = 0; k < m; ++k) {
                int rev = 0;
                for (int b = 1, r = m / 2; b < m; b <<= 1, r >>= 1)
                    rev |= (k & b) ? r : 0;
                ASSERT_EQ(ip[m + k], 8 * m * rev) << "m " << m << " k " << k;
            }
        }

        // The sub-table for M reals at w[nw - M/4], M = n, n/2, ..., 16.
        for (int M = n; M >= 16; M /= 2) {
            SCOPED_TRACE(M);
            const T* t = &w[nw - M / 4];
            EXPECT_EQ(t[0], T(1));
            EXPECT_NEAR(t[1], std::cos(M_PI / 4), tol);
            if (M == 32) {
                EXPECT_NEAR(t[2], std::cos(M_PI / 8), tol);
                EXPECT_NEAR(t[3], std::sin(M_PI / 8), tol);
            } else if (M > 32) {
                EXPECT_NEAR(t[2], 0.5 / std::cos(4 * M_PI / M), tol);
                EXPECT_NEAR(t[3], 0.5 / std::cos(12 * M_PI / M), tol);
                for (int j = 4; j < M / 8; j += 4) {
                    const double x = 2 * M_PI * j / M;
                    ASSERT_NEAR(t[j], std::cos(x), tol) << j;
                    ASSERT_NEAR(t[j + 1], std::sin(x), tol) << j;
                    ASSERT_NEAR(t[j + 2], std::cos(3 * x), tol) << j;
                    ASSERT_NEAR(t[j + 3], -std::sin(3 * x), tol) << j;
                }
            }
        }

        const T* cs = &w[nw];
        const int nch = nc / 2;
        EXPECT_NEAR(cs[0], std::cos(M_PI / 4), tol);
        EXPECT_NEAR(cs[nch], 0.5 * std::cos(M_PI / 4), tol);
        for (int j = 1; j < nch; ++j) {
            ASSERT_NEAR(cs[j], 0.5 * std::cos(M_PI * j / (2 * nc)), tol) << j;
            ASSERT_NEAR(cs[nc - j], 0.5 * std::sin(M_PI * j / (2 * nc)), tol) << j;
        }
    }
}

TEST(Rdft, TablesHoldTheirClosedForms)
{
    checkTables<double>(1e-14);
    checkTables<float>(2e-7);
}

// The tables serve shorter lengths as they are; only a longer length
// rebuilds them. Other components share one ip/w pair across lengths and rely
// on this.
TEST(Rdft, ShorterLengthReusesTablesLongerRebuilds)
{
    const int big = 4096;
    std::vector<int> ip(ipSize(8192));
    std::vector<double> w(8192 / 2);
    ip[0] = 0;
    std::vector<double> a = randomSignal(big, 7);
    rdft(big, 1, a.data(), ip.data(), w.data());
    const std::vector<int> ipBefore = ip;
    const std::vector<double> wBefore = w;

    for (int n : {2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096}) {
        SCOPED_TRACE(n);
        const std::vector<double> x = randomSignal(n, 99u + n);
        const std::vector<double> ref = naivePacked(x);
        std::vector<double> b = x;
        rdft(n, 1, b.data(), ip.data(), w.data());
        double err = 0;
        for (int i = 0; i < n; ++i)
            err = std::max(err, std::abs(b[i] - ref[i]));
        EXPECT_LE(err, tolerance<double>(n));
        rdft(n, -1, b.data(), ip.data(), w.data());
        for (int i = 0; i < n; ++i)
            ASSERT_NEAR(b[i] * 2.0 / n, x[i], tolerance<double>(n)) << i;
        ASSERT_EQ(ip, ipBefore);
        ASSERT_EQ(0, std::memcmp(w.data(), wBefore.data(), w.size() * sizeof(double)));
    }

    // A longer length rebuilds both tables for itself.
    const std::vector<double> x = randomSignal(8192, 5);
    const std::vector<double> ref = naivePacked(x);
    std::vector<double> b = x;
    rdft(8192, 1, b.data(), ip.data(), w.data());
    EXPECT_EQ(ip[0], 2048);
    EXPECT_EQ(ip[1], 2048);
    double err = 0;
    for (int i = 0; i < 8192; ++i)
        err = std::max(err, std::abs(b[i] - ref[i]));
    EXPECT_LE(err, tolerance<double>(8192));
}

// The SSE2 and the AVX2 kernels perform the same arithmetic on every value,
// so their transforms agree to the bit at every length, both ways, in both
// precisions; either set alone must also match the naive DFT (above, with
// the kernels the processor picks).
template <typename T> void checkKernelsAgree()
{
    for (int n = 2; n <= 16384; n *= 2) {
        SCOPED_TRACE(n);
        const std::vector<double> x = randomSignal(n, 4321u + n);
        std::vector<T> out[2];
        std::vector<T> back[2];
        const RdftKernels kinds[2] = {RdftKernels::Baseline, RdftKernels::Avx2};
        for (int s = 0; s < 2; ++s) {
            ASSERT_TRUE(setRdftKernels(kinds[s]));
            std::vector<int> ip(ipSize(n));
            std::vector<T> w(n / 2);
            ip[0] = 0;
            out[s].assign(x.begin(), x.end());
            run<T>(n, 1, out[s].data(), ip.data(), w.data());
            back[s] = out[s];
            run<T>(n, -1, back[s].data(), ip.data(), w.data());
        }
        setRdftKernels(RdftKernels::Auto);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(out[0][i], out[1][i]) << "forward, element " << i;
            ASSERT_EQ(back[0][i], back[1][i]) << "backward, element " << i;
        }
        // The baseline set on its own against the reference.
        const std::vector<double> ref = naivePacked(x);
        double err = 0;
        for (int i = 0; i < n; ++i)
            err = std::max(err, std::abs(out[0][i] - ref[i]));
        EXPECT_LE(err, tolerance<T>(n));
    }
}

TEST(Rdft, Sse2AndAvx2KernelsAgreeToTheBit)
{
    if (!setRdftKernels(RdftKernels::Avx2))
        GTEST_SKIP() << "no AVX2 on this processor";
    setRdftKernels(RdftKernels::Auto);
    checkKernelsAgree<float>();
    checkKernelsAgree<double>();
}

}  // namespace
