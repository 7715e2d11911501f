#include "BeatPeriodicityScorer.h"
#include "TaviOffline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

using namespace tavi;

namespace {

constexpr int kN = 1024;

// Beats of `dims` values: noise, plus an accent every `period` beats in
// dimension 0.
std::vector<std::vector<double>> accented(int beats, int period, int dims = 3, unsigned seed = 5)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(0.0, 0.3);
    std::vector<std::vector<double>> out(static_cast<size_t>(beats),
                                         std::vector<double>(static_cast<size_t>(dims)));
    for (int t = 0; t < beats; ++t) {
        for (int d = 0; d < dims; ++d)
            out[t][d] = noise(rng);
        if (period > 0 && t % period == 0)
            out[t][0] += 2.0;
    }
    return out;
}

// Periodicity straight from the definition: a naive DFT of each zero-padded
// dimension (magnitudes doubled, as the transform object gives them),
// weighted by Gaussian period templates normalised per row.
std::vector<double> naivePeriodicity(const std::vector<std::vector<double>>& beats, int periods, double kappa)
{
    const int bins = kN / 2;
    std::vector<double> p(static_cast<size_t>(periods), 0.0);
    const size_t used = std::min(beats.size(), static_cast<size_t>(kN));
    for (size_t d = 0; d < beats[0].size(); ++d) {
        std::vector<double> mag(static_cast<size_t>(bins));
        for (int j = 0; j < bins; ++j) {
            std::complex<double> sum = 0.0;
            for (size_t t = 0; t < used; ++t)
                sum += static_cast<double>(static_cast<float>(beats[t][d])) *
                       std::polar(1.0, -2.0 * M_PI * j * t / kN);
            mag[j] = 2.0 * std::abs(sum);
        }
        for (int i = 1; i < periods; ++i) {
            double norm = 0.0, acc = 0.0;
            for (int j = 1; j < bins; ++j) {
                const double w = std::exp(-kappa * std::pow(i - static_cast<double>(kN) / j, 2));
                norm += w;
                acc += w * mag[j];
            }
            p[i] += acc / (norm + 1e-10);
        }
    }
    return p;
}

}  // namespace

TEST(BeatPeriodicityScorer, WithoutPriorScoresAZeroFourByFiveGrid)
{
    BeatPeriodicityScorer s(kN);
    s.score({});
    EXPECT_EQ(s.prior().rows(), 4);
    EXPECT_EQ(s.prior().cols(), 5);
    EXPECT_TRUE(s.prior().isZero());
    EXPECT_TRUE(s.scores().isZero()) << "an empty sequence leaves the score at the prior";
    EXPECT_EQ(s.periodicity().size(), 20u);

    s.score(accented(64, 4));
    EXPECT_TRUE(s.prior().isZero());
    EXPECT_EQ(s.scores().rows(), 4);
    EXPECT_EQ(s.periodicity().size(), 20u);
    int r = -1, c = -1;
    s.bestCell(r, c);
    EXPECT_GE(r, 1);
    EXPECT_GE(c, 1);
}

TEST(BeatPeriodicityScorer, KappaChangesOnlyForPositiveValues)
{
    struct Case {
        float set;
        float expected;
    };
    for (const Case& k : {Case {0.0f, 100.0f}, Case {-3.0f, 100.0f}, Case {50.0f, 50.0f}}) {
        BeatPeriodicityScorer s(kN);
        EXPECT_EQ(&s.setKappa(k.set), &s);
        EXPECT_EQ(s.kappa(), k.expected) << "setKappa(" << k.set << ")";
    }
}

TEST(BeatPeriodicityScorer, PeriodicityMatchesTheDefinition)
{
    BeatPeriodicityScorer s(kN);
    s.setPrior(TaviOffline::meterPrior()).setKappa(20.0f);
    const auto beats = accented(300, 6, 4, 11);
    s.score(beats);
    ASSERT_EQ(s.templateRows(), 5);
    ASSERT_EQ(s.templateColumns(), 6);
    const std::vector<double> ref = naivePeriodicity(beats, 30, 20.0);
    ASSERT_EQ(s.periodicity().size(), ref.size());
    for (size_t i = 0; i < ref.size(); ++i)
        EXPECT_NEAR(s.periodicity()[i], ref[i], 1e-3 * (1.0 + std::abs(ref[i]))) << "period " << i;
    // Each cell: its prior plus the periodicities at r and r x c beats.
    const Eigen::MatrixXd prior = TaviOffline::meterPrior();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c)
            EXPECT_NEAR(s.scores()(r, c), prior(r, c) + ref[r] + ref[r * c], 1e-2) << r << "," << c;

    // On a larger grid, cells with r x c of 17 or more keep their prior.
    BeatPeriodicityScorer big(kN);
    big.setPrior(Eigen::MatrixXd::Constant(6, 6, 1.0)).setKappa(20.0f);
    big.score(beats);
    const std::vector<double> refBig = naivePeriodicity(beats, 42, 20.0);
    EXPECT_NEAR(big.scores()(4, 4), 1.0 + refBig[4] + refBig[16], 1e-2);
    EXPECT_EQ(big.scores()(5, 4), 1.0);
    EXPECT_NEAR(big.scores()(3, 5), 1.0 + refBig[3] + refBig[15], 1e-2);
    EXPECT_EQ(big.scores()(4, 5), 1.0);
}

TEST(BeatPeriodicityScorer, AccentsChooseTheMeterCell)
{
    struct Case {
        int period;
        int r, c;
    };
    for (const Case& k : {Case {8, 2, 4}, Case {9, 3, 3}}) {
        BeatPeriodicityScorer s(kN);
        s.setPrior(TaviOffline::meterPrior());
        s.score(accented(400, k.period));
        int r = -1, c = -1;
        s.bestCell(r, c);
        EXPECT_EQ(r, k.r) << "accent every " << k.period << " beats";
        EXPECT_EQ(c, k.c) << "accent every " << k.period << " beats";
    }
}

TEST(BeatPeriodicityScorer, BestCellHonoursFixedRowsAndColumnsAndTies)
{
    BeatPeriodicityScorer s(kN);
    Eigen::MatrixXd prior = Eigen::MatrixXd::Zero(4, 5);
    prior(2, 4) = 9.0;  // the best overall
    prior(3, 1) = 5.0;  // the best of the last row
    prior(1, 3) = 2.0;
    prior(3, 3) = 2.0;  // ties with (1, 3) in column 3
    s.setPrior(prior);
    s.score({});

    struct Case {
        int r, c;
        int expectedR, expectedC;
    };
    const Case cases[] = {
        {-1, -1, 2, 4}, {0, 0, 2, 4},   // searched
        {7, -1, 3, 1},                  // limited to row R - 1 = 3, only that row
        {3, -1, 3, 1},  {-1, 3, 1, 3},  // a tie keeps the earlier row
        {1, 9, 1, 4},                   // column limited to C - 1
    };
    for (const Case& k : cases) {
        int r = k.r, c = k.c;
        s.bestCell(r, c);
        EXPECT_EQ(r, k.expectedR) << "from (" << k.r << ", " << k.c << ")";
        EXPECT_EQ(c, k.expectedC) << "from (" << k.r << ", " << k.c << ")";
    }
}

TEST(BeatPeriodicityScorer, ConstantDimensionsAndBeatsPastTheTransformChangeNothing)
{
    const auto beats = accented(1500, 8, 2);
    BeatPeriodicityScorer a(kN), b(kN), c(kN);
    for (BeatPeriodicityScorer* s : {&a, &b, &c})
        s->setPrior(TaviOffline::meterPrior());

    a.score(std::vector<std::vector<double>>(beats.begin(), beats.begin() + kN));
    b.score(beats);
    EXPECT_EQ(a.periodicity(), b.periodicity()) << "only the first 1024 beats count";

    auto withConstant = beats;
    for (auto& v : withConstant)
        v.push_back(3.5);
    c.score(withConstant);
    for (size_t i = 0; i < a.periodicity().size(); ++i)
        EXPECT_NEAR(c.periodicity()[i], a.periodicity()[i], 1e-3 * (1.0 + a.periodicity()[i]))
            << "period " << i;
}
