// The variational factors and the estimator that fits the semi-Markov
// model to a sequence of feature rows.
#include "RkMir/Numeric/HsmmEstimator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

using namespace Numeric;

namespace {

// Rows from two clearly different blocks (means +2 and -2 per dimension).
Matrix twoBlocks(int first, int second, int dims, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.3);
    Matrix x(first + second, dims);
    for (int t = 0; t < x.rows(); ++t)
        for (int p = 0; p < dims; ++p)
            x(t, p) = (t < first ? 2.0 : -2.0) + (p % 2 ? 0.5 : -0.5) + noise(rng);
    return x;
}

Matrix noiseRows(int rows, int dims, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    Matrix x(rows, dims);
    for (int i = 0; i < x.size(); ++i)
        x.data()[i] = noise(rng);
    return x;
}

// The segmenter's settings.
HsmmEstimator segmenterEstimator()
{
    HsmmEstimator e(20, 8, 5);
    e.setPriors(1.0, 0.01, 0.01).setHyperParameterC(0.01).setHyperParameterB(0.1).setHyperParameterA(0.9);
    return e;
}

}  // namespace

TEST(VariationalFactors, BoundTermsVanishAtThePriorAndAreNegativeElsewhere)
{
    Vector prior(3);
    prior << 0.5, 1.0, 2.0;
    DirichletFactor dir(prior);
    // Random start: each element raised by r/100, r in 0..99.
    for (int k = 0; k < 3; ++k) {
        EXPECT_GE(dir.posterior()(k), prior(k));
        EXPECT_LT(dir.posterior()(k), prior(k) + 1.0);
    }
    dir.update(Vector::Zero(3));
    EXPECT_NEAR(dir.boundTerm(), 0.0, 1e-5);
    EXPECT_TRUE(dir.posterior().isApprox(prior));
    Vector counts(3);
    counts << 4.0, 0.0, 1.5;
    dir.update(counts);
    EXPECT_LT(dir.boundTerm(), -0.1);
    // Expected logs of a Dirichlet: psi(alpha_k) - psi(sum alpha).
    EXPECT_NEAR(dir.expectedLog()(0), digamma(4.5) - digamma(9.0), 1e-12);

    GaussianComponent g(2, 1.0, 0.5, 0.2);
    Vector mean = Vector::Zero(2), var = Vector::Zero(2);
    g.update(1e-12, mean, var);  // posterior equals the prior
    EXPECT_NEAR(g.boundTerm(), 0.0, 1e-9);
    mean << 1.0, -3.0;
    var << 0.5, 2.0;
    g.update(10.0, mean, var);
    EXPECT_LT(g.boundTerm(), -1.0);
    EXPECT_NEAR(g.mean()(1), -30.0 / 11.0, 1e-12);
    EXPECT_NEAR(g.shape(), 5.5, 1e-12);
    EXPECT_NEAR(g.rate()(0), 0.2 + 0.5 * (10.0 * 0.5 + 10.0 / 11.0), 1e-12);
}

TEST(HsmmEstimator, InitialPriorsFollowSizesAndSetters)
{
    struct Case {
        int D;
        std::vector<double> durationPrior;
    };
    const Case cases[] = {
        {8, {0.8, 0.8, 0.8, 0.8, 0.8, 0.8, 0.8, 0.8}},
        {6, {0.1, 0.1, 0.9, 1.0, 0.1, 0.1}},
        {3, {1e-10, 1e-10, 1e-10}},
    };
    const Matrix rows = noiseRows(12, 2, 1);
    for (const Case& c : cases) {
        HsmmEstimator e(3, c.D, 2);
        // Non-positive values leave the defaults (A 0.1, C 1.0, beta0 1, b0 0.01).
        e.setPriors(-1.0, 0.5, 0.0).setHyperParameterA(0.0).setHyperParameterC(-2.0);
        e.run(rows);
        for (const DirichletFactor& f : e.durationFactors())
            for (int d = 0; d < c.D; ++d)
                EXPECT_DOUBLE_EQ(f.prior()(d), c.durationPrior[d]) << "D " << c.D;
        const Vector& t1 = e.transitionFactors()[1].prior();
        EXPECT_DOUBLE_EQ(t1(0), 0.1);
        EXPECT_DOUBLE_EQ(t1(1), 0.1 * 1.1);
        EXPECT_DOUBLE_EQ(e.mixtureFactors()[2].prior()(0), 0.5);
        const GaussianComponent& g = e.components()[0][1];
        EXPECT_EQ(g.priorScale(), 1.0);
        EXPECT_EQ(g.priorShape(), 0.5);
        EXPECT_EQ(g.priorRate()(1), 0.01);
    }
}

TEST(HsmmEstimator, StopsOnSmallBoundChangeOrAfterTwentyIterations)
{
    // Short noise converges early; long noise keeps improving to the limit.
    reseedRandom(32768);
    bool sawLimit = false, sawConvergence = false;
    for (int rows : {60, 400}) {
        HsmmEstimator e = segmenterEstimator();
        const double bound = e.run(noiseRows(rows, 5, 1));
        const std::vector<double>& h = e.boundHistory();
        ASSERT_FALSE(h.empty());
        ASSERT_LE(h.size(), 20u);
        EXPECT_EQ(bound, h.back());
        EXPECT_TRUE(std::isfinite(bound));
        for (size_t i = 1; i + 1 < h.size(); ++i)
            EXPECT_GE(std::abs(h[i] - h[i - 1]), 0.01) << "stopped late at " << i;
        if (h.size() == 20) {
            sawLimit = true;
        } else {
            sawConvergence = true;
            ASSERT_GE(h.size(), 2u);
            EXPECT_LT(std::abs(h.back() - h[h.size() - 2]), 0.01);
        }
        EXPECT_EQ(e.states().size(), static_cast<size_t>(rows));
        EXPECT_EQ(e.countdowns().size(), e.states().size());
    }
    EXPECT_TRUE(sawLimit);
    EXPECT_TRUE(sawConvergence);
}

TEST(HsmmEstimator, TwoBlocksDecodeToTwoLabelsAtTheBoundary)
{
    reseedRandom(32768);
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const int first = 20 + 4 * static_cast<int>(seed);
        HsmmEstimator e = segmenterEstimator();
        e.run(twoBlocks(first, 30, 5, seed));
        const std::vector<int32_t>& s = e.states();
        const std::set<int32_t> a(s.begin(), s.begin() + first);
        const std::set<int32_t> b(s.begin() + first, s.end());
        EXPECT_EQ(a.size(), 1u) << "seed " << seed;
        EXPECT_EQ(b.size(), 1u) << "seed " << seed;
        EXPECT_NE(*a.begin(), *b.begin());
        // The last row of the first block ends a segment.
        EXPECT_EQ(e.countdowns()[first - 1], 0);
        for (int t = 0; t + 1 < static_cast<int>(s.size()); ++t)
            if (e.countdowns()[t] > 0) {
                EXPECT_EQ(s[t + 1], s[t]);
                EXPECT_EQ(e.countdowns()[t + 1], e.countdowns()[t] - 1);
            }
    }
}

TEST(HsmmEstimator, SameSeedGivesSameLabelsAfterRestartingTheStream)
{
    const Matrix rows = twoBlocks(40, 40, 5, 7);
    reseedRandom(32768);
    HsmmEstimator a = segmenterEstimator();
    const double boundA = a.run(rows);
    // Without a restart the next run starts from other draws.
    HsmmEstimator b = segmenterEstimator();
    b.run(rows);
    EXPECT_NE(a.boundHistory().front(), b.boundHistory().front());
    reseedRandom(32768);
    HsmmEstimator c = segmenterEstimator();
    const double boundC = c.run(rows);
    EXPECT_EQ(boundA, boundC);
    EXPECT_EQ(a.states(), c.states());
    EXPECT_EQ(a.countdowns(), c.countdowns());
}

TEST(HsmmEstimator, ConstantFeatureColumnStaysFinite)
{
    Matrix rows = twoBlocks(30, 30, 5, 3);
    rows.col(2).setConstant(0.5);  // exact: its variance is exactly 0
    standardizeColumns(rows);
    HsmmEstimator e = segmenterEstimator();
    const double bound = e.run(rows);
    EXPECT_TRUE(std::isfinite(bound));
    EXPECT_EQ(e.states().size(), 60u);
}
