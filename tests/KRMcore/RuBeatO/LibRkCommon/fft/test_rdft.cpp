#include "fft/rdft.h"

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

// Packed spectrum of the contract, computed directly in double precision.
std::vector<double> naivePacked(const std::vector<double>& x)
{
    const int n = static_cast<int>(x.size());
    std::vector<double> cs(n), sn(n);
    for (int i = 0; i < n; ++i) {
        cs[i] = std::cos(2.0 * M_PI * i / n);
        sn[i] = std::sin(2.0 * M_PI * i / n);
    }
    std::vector<double> out(n);
    for (int k = 0; k <= n / 2; ++k) {
        double re = 0, im = 0;
        for (int j = 0; j < n; ++j) {
            const int idx = static_cast<int>((static_cast<long long>(j) * k) % n);
            re += x[j] * cs[idx];
            im += x[j] * sn[idx];
        }
        if (k == 0)
            out[0] = re;
        else if (k == n / 2)
            out[1] = re;
        else {
            out[2 * k] = re;
            out[2 * k + 1] = im;
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
    for (int n = 2; n <= 8192; n *= 2) {
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

}  // namespace
