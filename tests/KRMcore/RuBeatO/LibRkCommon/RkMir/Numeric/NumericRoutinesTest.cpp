// The small numeric routines shared by the semi-Markov model and the
// analysis library.
#include "RkMir/Numeric/Hsmm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace Numeric;

namespace {
const double kInf = std::numeric_limits<double>::infinity();
}

TEST(NumericRoutines, DigammaAndLogGammaMatchReferenceValues)
{
    EXPECT_NEAR(digamma(1.0), -0.5772157, 5e-7);
    EXPECT_NEAR(digamma(0.5), -1.9635100, 1e-6);
    EXPECT_NEAR(digamma(10.0), 2.2517526, 1e-6);
    // Recurrence psi(x + 1) = psi(x) + 1/x across the switch-over at 6.
    for (double x : {0.01, 0.3, 2.5, 5.9, 6.0, 17.0})
        EXPECT_NEAR(digamma(x + 1.0), digamma(x) + 1.0 / x, 1e-7) << x;

    for (double x : {1e-6, 0.01, 0.5, 1.0, 2.0, 3.7, 10.0, 49.5, 50.0, 123.4, 1e4})
        EXPECT_NEAR(logGamma(x), std::lgamma(x), 1e-9 * std::max(1.0, std::abs(std::lgamma(x)))) << x;
    EXPECT_NEAR(logGamma(1.0), 0.0, 1e-9);
}

TEST(NumericRoutines, NonFiniteArgumentsDoNotHang)
{
    EXPECT_TRUE(std::isnan(digamma(-kInf)));
    EXPECT_TRUE(std::isnan(digamma(std::nan(""))));
    EXPECT_TRUE(std::isnan(logGamma(-kInf)));
}

TEST(NumericRoutines, LogSumExp)
{
    Vector v(3);
    v << 1000.0, 1000.0, -kInf;
    EXPECT_NEAR(logSumExp(v), 1000.0 + std::log(2.0), 1e-9);
    v << -kInf, -kInf, -kInf;
    EXPECT_EQ(logSumExp(v), -kInf);
    v << 0.0, std::log(2.0), std::log(3.0);
    EXPECT_NEAR(logSumExp(v), std::log(6.0), 1e-12);
    EXPECT_EQ(logSumExp(Vector()), -kInf);
}

TEST(NumericRoutines, LogGaussianUsesItsOwnConstant)
{
    EXPECT_NEAR(logGaussian(1.0f, 1.0f, 1.0f), -0.5f * std::log(6.28f), 1e-6);
    EXPECT_NEAR(logGaussian(3.0f, 1.0f, 2.0f), -0.5f - std::log(2.0f) - 0.5f * std::log(6.28f), 1e-6);
}

TEST(NumericRoutines, MedianOfAndPositiveModulo)
{
    struct Case {
        std::vector<double> values;
        double median;
    };
    const Case cases[] = {
        {{4.0, 1.0, 3.0, 2.0}, 3.0},  // the third smallest of four
        {{5.0}, 5.0},
        {{9.0, -1.0, 7.0}, 7.0},
        {{2.0, 2.0, 1.0, 8.0, 0.0}, 2.0},
    };
    for (const Case& c : cases) {
        std::vector<double> v = c.values;
        EXPECT_EQ(medianOf(v.data(), static_cast<int>(v.size())), c.median);
    }
    EXPECT_TRUE(std::isnan(medianOf(nullptr, 0)));

    struct Mod {
        int a, b, r;
    };
    const Mod mods[] = {{-1, 5, 4}, {-5, 5, 0}, {-6, 5, 4}, {7, 5, 2}, {0, 3, 0}, {-13, 4, 3}};
    for (const Mod& m : mods)
        EXPECT_EQ(positiveModulo(m.a, m.b), m.r) << m.a << " mod " << m.b;
}

TEST(NumericRoutines, StandardizeColumnsZeroesConstantColumns)
{
    Matrix m(4, 3);
    m << 1.0, 0.1, 0.0, 2.0, 0.1, 0.0, 3.0, 0.1, 0.0, 4.0, 0.1, 0.0;
    standardizeColumns(m);
    EXPECT_TRUE(m.allFinite());
    EXPECT_NEAR(m.col(0).mean(), 0.0, 1e-12);
    EXPECT_NEAR(m.col(0).squaredNorm() / 4.0, 1.0, 1e-12);
    EXPECT_NEAR(m(0, 0), -1.5 / std::sqrt(1.25), 1e-12);
    EXPECT_TRUE(m.col(1).isZero(0.0));
    EXPECT_TRUE(m.col(2).isZero(0.0));

    // The column-major overload does the same.
    Eigen::MatrixXd c(3, 2);
    c << 1.0, 7.0, 1.0, 8.0, 1.0, 9.0;
    standardizeColumns(c);
    EXPECT_TRUE(c.col(0).isZero(0.0));
    EXPECT_NEAR(c(2, 1), 1.0 / std::sqrt(2.0 / 3.0), 1e-12);
}

TEST(NumericRoutines, RandomStreamRestartsFromSeed)
{
    reseedRandom(32768);
    std::vector<int> first;
    for (int i = 0; i < 50; ++i)
        first.push_back(randomInt32767(12345));  // later seeds are ignored
    reseedRandom(32768);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(randomInt32767(0), first[i]);
    for (int v : first) {
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 32767);
    }

    // The stream is MT19937 scaled to 0..32767 in single precision.
    reseedRandom(5489);
    EXPECT_EQ(randomInt32767(0), static_cast<int>(3499211612.0f * 32767.0f * std::ldexp(1.0f, -32)));
}
