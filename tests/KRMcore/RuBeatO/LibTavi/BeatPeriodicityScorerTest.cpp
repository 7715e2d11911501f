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
// dimension (magnitudes doubled, as the transform object gives them) at bins
// 0 to n / 2, weighted by Gaussian period templates normalised per row.
std::vector<double> naivePeriodicity(const std::vector<std::vector<double>>& beats, int periods, double kappa,
                                     int n = kN)
{
    const int half = n / 2;
    std::vector<double> p(static_cast<size_t>(periods), 0.0);
    const size_t used = std::min(beats.size(), static_cast<size_t>(n));
    for (size_t d = 0; d < beats[0].size(); ++d) {
        std::vector<double> mag(static_cast<size_t>(half + 1));
        for (int j = 0; j <= half; ++j) {
            std::complex<double> sum = 0.0;
            for (size_t t = 0; t < used; ++t)
                sum += static_cast<double>(static_cast<float>(beats[t][d])) *
                       std::polar(1.0, -2.0 * M_PI * j * static_cast<double>(t) / n);
            mag[j] = 2.0 * std::abs(sum);
        }
        for (int i = 1; i < periods; ++i) {
            double norm = 0.0, acc = 0.0;
            for (int j = 1; j <= half; ++j) {
                const double w = std::exp(-kappa * std::pow(i - static_cast<double>(n) / j, 2));
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

// One bar of tracked beats (eighth notes) as accent levels, repeated with a
// little noise over three dimensions: the downbeat strongest, the counted
// beats next, the rest weak. Simple meters group the eighths in twos (the
// period of two beats that sits at the transform's half-size bin), compound
// meters in threes.
TEST(BeatPeriodicityScorer, AccentTablesChooseTheirMeterCell)
{
    struct Case {
        const char* meter;
        std::vector<double> bar;
        int r, c;
    };
    const Case cases[] = {
        {"4/4", {3, 0, 1, 0, 2, 0, 1, 0}, 2, 4},
        {"3/4", {3, 0, 1, 0, 1, 0}, 2, 3},
        {"3/4 with a weak third beat", {3, 0, 1.2, 0, 0.8, 0}, 2, 3},
        {"6/8", {3, 0, 0, 1, 0, 0}, 3, 2},
        {"6/8 with weak off-beats", {3, 0.3, 0.3, 1, 0.3, 0.3}, 3, 2},
        {"9/8", {3, 0, 0, 1, 0, 0, 1, 0, 0}, 3, 3},
        {"2/4", {3, 0, 1, 0}, 2, 4},
        // Half-bar accents a fifth of the downbeat's: the period of two
        // tracked beats only wins with the half-size bin counted.
        {"3/4 with faint beats two and three", {3, 0, 0.6, 0, 0.6, 0}, 2, 3},
        {"6/8 with a faint fourth eighth", {3, 0, 0, 0.3, 0, 0}, 3, 2},
        {"4/4 with only a half-bar accent", {3, 0, 0, 0, 0.4, 0, 0, 0}, 2, 4},
        {"9/8 with faint beats", {3, 0, 0, 0.2, 0, 0, 0.2, 0, 0}, 3, 3},
        // Only the downbeat: nothing tells twos from threes, but the bar
        // holds six tracked beats either way (checked below).
        {"6 beats, no sub-accents", {3, 0, 0, 0, 0, 0}, 0, 0},
    };
    for (const Case& k : cases) {
        std::mt19937 rng(17);
        std::uniform_real_distribution<double> noise(0.0, 0.3);
        std::vector<std::vector<double>> beats(300, std::vector<double>(3));
        for (size_t t = 0; t < beats.size(); ++t) {
            for (double& v : beats[t])
                v = noise(rng);
            beats[t][0] += k.bar[t % k.bar.size()];
            beats[t][1] += 0.5 * k.bar[t % k.bar.size()];
        }
        BeatPeriodicityScorer s(kN);
        s.setPrior(TaviOffline::meterPrior());
        s.score(beats);
        int r = -1, c = -1;
        s.bestCell(r, c);
        const auto& p = s.periodicity();
        const bool right = k.r > 0 ? r == k.r && c == k.c : r * c == static_cast<int>(k.bar.size());
        EXPECT_TRUE(right) << k.meter << ": cell (" << r << ", " << c << "), expected (" << k.r << ", " << k.c
                           << "); P[2] " << p[2] << ", P[3] " << p[3] << ", P[6] " << p[6] << ", P[8] "
                           << p[8] << ", P[9] " << p[9];
    }
}

// A 16-point transform small enough to check by hand: the periodicity of a
// short sequence against a naive DFT over bins 0 to 8. Bin 8 (a period of
// two beats, where row 2 is centred) must count: the sequence alternates, so
// nearly all of its energy sits there.
TEST(BeatPeriodicityScorer, SixteenPointExampleCountsTheHalfSizeBin)
{
    const std::vector<double> values {3.0, 0.5, 2.0, 0.25, 3.0, 0.5, 2.0, 0.75, 3.0, 0.5};
    std::vector<std::vector<double>> beats;
    for (double v : values)
        beats.push_back({v});
    constexpr int kSmall = 16;
    constexpr float kKappa = 0.5f;
    BeatPeriodicityScorer s(kSmall);
    s.setKappa(kKappa);
    s.score(beats);
    ASSERT_EQ(s.periodicity().size(), 20u);

    // By hand: bin 8 of the doubled transform is 2 * sum (-1)^t x[t].
    double alternating = 0.0;
    for (size_t t = 0; t < values.size(); ++t)
        alternating += (t % 2 == 0 ? 1.0 : -1.0) * values[t];
    const double bin8 = 2.0 * std::abs(alternating);
    EXPECT_DOUBLE_EQ(bin8, 2.0 * ((3 + 2 + 3 + 2 + 3) - (0.5 + 0.25 + 0.5 + 0.75 + 0.5)));

    const std::vector<double> ref = naivePeriodicity(beats, 20, kKappa, kSmall);
    for (size_t i = 0; i < ref.size(); ++i)
        EXPECT_NEAR(s.periodicity()[i], ref[i], 1e-4 * (1.0 + std::abs(ref[i]))) << "period " << i;

    // Row 2 by hand from bins 1..8: the weight of bin 8 is exp(0) = 1, and
    // leaving that bin out changes P[2] by far more than the tolerance.
    double norm = 0.0, withoutHalf = 0.0, withoutNorm = 0.0;
    for (int j = 1; j <= 8; ++j) {
        const double w = std::exp(-kKappa * std::pow(2.0 - 16.0 / j, 2));
        norm += w;
        if (j < 8)
            withoutNorm += w;
    }
    EXPECT_GT(1.0 / norm, 0.25) << "bin 8 carries a large share of row 2";
    for (int j = 1; j < 8; ++j) {
        std::complex<double> sum = 0.0;
        for (size_t t = 0; t < values.size(); ++t)
            sum += values[t] * std::polar(1.0, -2.0 * M_PI * j * static_cast<double>(t) / 16.0);
        withoutHalf += std::exp(-kKappa * std::pow(2.0 - 16.0 / j, 2)) * 2.0 * std::abs(sum);
    }
    withoutHalf /= withoutNorm + 1e-10;
    EXPECT_GT(std::abs(s.periodicity()[2] - withoutHalf), 0.5) << "P[2] must include bin 8";
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
