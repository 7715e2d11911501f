#include "JointHpcpPowPdf.h"
#include "TaviTestUtil.h"
#include "VectorText.h"
#include "VonMisesFisher.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/bessel.hpp>

#include <cmath>
#include <sstream>

using namespace tavi;
using taviTest::Component;
using taviTest::peaked;

namespace {

VonMisesFisherMixture mixture(const std::vector<Component>& comps)
{
    VonMisesFisherMixture m;
    std::istringstream in(taviTest::mixtureText(comps));
    m.read(in);
    EXPECT_FALSE(in.fail());
    return m;
}

const std::array<double, 12> kChroma = {0.9, -0.1, 0.05, -0.2, 0.6, 0.0, -0.15, 0.7, 0.1, -0.3, 0.02, -0.05};

}  // namespace

TEST(VonMisesFisher, LogNormaliserFollowsTheBesselFormula)
{
    // Formula written out here: 5 ln k - 6 ln(2 pi) - ln I_5(k).
    auto formula = [](double k) {
        return 5.0 * std::log(k) - 6.0 * std::log(2.0 * M_PI) - std::log(boost::math::cyl_bessel_i(5.0, k));
    };
    VonMisesFisherComponent c;
    EXPECT_NEAR(c.logNormalizer(), -6.17002, 5e-6);
    EXPECT_EQ(c.logNormalizer(), static_cast<double>(static_cast<float>(formula(10.0))));
    EXPECT_EQ(c.kappa(), 10.0);
    for (double v : c.mean())
        EXPECT_EQ(v, 0.0);
    for (double k : {0.5, 10.0, 103.751189685, 400.0})
        EXPECT_NEAR(vonMisesFisherLogNormalizer(k), formula(k), 1e-9 * std::max(1.0, std::fabs(formula(k))))
            << k;
    // The texts' quoted value lies within 1e-5 of the formula.
    EXPECT_NEAR(vonMisesFisherLogNormalizer(103.751189685), -88.2086998772, 1e-5);
    EXPECT_THROW(vonMisesFisherLogNormalizer(1e6), std::overflow_error);
}

TEST(VonMisesFisher, MixtureDensityMatchesTheNaiveSum)
{
    const std::vector<std::vector<Component>> mixtures = {
        {{1.0, 40.0, -30.0, peaked(0)}},
        {{1.0, 7.5, -4.0, peaked(4, 0.8, -0.1)}},
        {{0.2, 30.0, -20.0, peaked(0)},
         {0.5, 50.0, -40.0, peaked(7)},
         {0.3, 10.0, -6.0, peaked(4, 1.0, 0.2)}},
    };
    for (size_t i = 0; i < mixtures.size(); ++i) {
        VonMisesFisherMixture m = mixture(mixtures[i]);
        EXPECT_NEAR(m.logDensity(kChroma.data()), taviTest::naiveMixture(mixtures[i], kChroma.data()), 1e-9)
            << "mixture " << i;
    }

    // One component of weight 1: kappa * cosine + L exactly.
    const Component one {1.0, 40.0, -30.0, peaked(0)};
    double n = 0.0;
    for (double v : kChroma)
        n += v * v;
    EXPECT_NEAR(mixture({one}).logDensity(kChroma.data()), 40.0 * 0.9 / std::sqrt(n) - 30.0, 1e-12);
}

TEST(VonMisesFisher, ScaleOfTheObservationDoesNotMatter)
{
    VonMisesFisherMixture m =
        mixture({{0.4, 30.0, -20.0, peaked(0)}, {0.6, 50.0, -40.0, peaked(7, 2.0, 0.3)}});
    const double reference = m.logDensity(kChroma.data());
    for (double scale : {1e-6, 0.5, 3.0, 1e6}) {
        std::array<double, 12> x = kChroma;
        for (double& v : x)
            v *= scale;
        EXPECT_NEAR(m.logDensity(x.data()), reference, 1e-9) << scale;
    }
}

TEST(VonMisesFisher, ZeroObservationAndZeroWeights)
{
    const std::array<double, 12> zero {};
    VonMisesFisherMixture m = mixture({{0.25, 30.0, -20.0, peaked(0)}, {0.5, 50.0, -40.0, peaked(7)}});
    EXPECT_NEAR(m.logDensity(zero.data()), std::log(0.75), 1e-12);

    // A zero weight drops its own component and nothing else.
    const Component a {0.3, 30.0, -20.0, peaked(0)};
    const Component b {0.7, 50.0, -40.0, peaked(7)};
    const Component dropped {0.0, 80.0, 10.0, peaked(4)};
    EXPECT_NEAR(mixture({dropped, a, b}).logDensity(kChroma.data()),
                mixture({a, b}).logDensity(kChroma.data()), 1e-12);
    VonMisesFisherMixture none = mixture({dropped});
    EXPECT_EQ(none.logDensity(kChroma.data()), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(none.lastMaxIndex(), 0);
}

TEST(VonMisesFisher, RecordsTheLargestMeanIndexOfTheBestComponent)
{
    // Means peak at 4 and 7; the observation leans to 7 unless weights say
    // otherwise.
    const std::array<double, 12> x = peaked(7);
    const struct {
        std::vector<Component> comps;
        int index;
    } cases[] = {
        {{{0.5, 20.0, -10.0, peaked(4)}, {0.5, 20.0, -10.0, peaked(7)}}, 7},
        {{{0.5, 20.0, -10.0, peaked(7)}, {0.5, 20.0, -10.0, peaked(4)}}, 7},
        // equal scores: the earlier component
        {{{0.5, 20.0, -10.0, peaked(4, 1.0, 0.5)}, {0.5, 20.0, -10.0, peaked(2, 1.0, 0.5)}}, 4},
        // a heavier weight outweighs the angle
        {{{1e-20, 20.0, -10.0, peaked(7)}, {1.0, 20.0, -10.0, peaked(4)}}, 4},
        // equal maxima inside a mean: the first
        {{{1.0, 20.0, -10.0, {0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}}}, 7},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        VonMisesFisherMixture m = mixture(cases[i].comps);
        m.logDensity(x.data());
        EXPECT_EQ(m.lastMaxIndex(), cases[i].index) << "case " << i;
    }
}

TEST(VonMisesFisher, JointDensityAddsBassAndTrebleHalves)
{
    const std::vector<Component> bass = {{0.4, 30.0, -20.0, peaked(0)}, {0.6, 40.0, -30.0, peaked(4)}};
    const std::vector<Component> treble = {{1.0, 25.0, -15.0, peaked(7, 1.0, 0.1)}};
    auto pdf = taviTest::pdfFrom(bass, treble);
    std::vector<double> x(26);
    for (int i = 0; i < 26; ++i)
        x[i] = std::sin(1.7 * i + 0.3);
    const double expected =
        taviTest::naiveMixture(bass, x.data()) + taviTest::naiveMixture(treble, x.data() + 12);
    EXPECT_NEAR(pdf->logDensity(x), expected, 1e-9);
    x[24] = 1e9;  // the sums are not scored
    x.resize(25);
    EXPECT_NEAR(pdf->logDensity(x), expected, 1e-9);
    x.resize(23);
    EXPECT_THROW(pdf->logDensity(x), std::invalid_argument);
}

TEST(VonMisesFisher, ReadsTheVectorTextForm)
{
    std::istringstream in("[3](1,2,3) [0]() [2](-1.5e-3,4)");
    std::vector<double> v;
    readVectorText(in, v, 16);
    EXPECT_EQ(v, (std::vector<double> {1, 2, 3}));
    readVectorText(in, v, 16);
    EXPECT_TRUE(v.empty());
    readVectorText(in, v, 16);
    EXPECT_EQ(v, (std::vector<double> {-1.5e-3, 4}));
    EXPECT_FALSE(in.fail());

    const char* broken[] = {"[3](1,2)", "[3](1,2,3", "3](1,2,3)", "[3)(1,2,3)", "[2](1;2)", "[x](1)", "",
                            "[-1]()",
                            // a count beyond the limit is refused before anything is allocated
                            "[17](1)", "[4000000000](1)", "[99999999999999999999](1)"};
    for (const char* text : broken) {
        std::istringstream s(text);
        std::vector<double> keep {42.0};
        readVectorText(s, keep, 16);
        EXPECT_TRUE(s.fail()) << '"' << text << '"';
        EXPECT_EQ(keep, std::vector<double> {42.0}) << '"' << text << '"';
    }
}

TEST(VonMisesFisher, MalformedMixtureTextsFailTheStream)
{
    const std::string mean = taviTest::vectorText(std::vector<double>(12, 0.1));
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"short mean", "[1](1)\n10 -6\n[11](1,1,1,1,1,1,1,1,1,1,1)\n"},
        {"long mean", "[1](1)\n10 -6\n[13](1,1,1,1,1,1,1,1,1,1,1,1,1)\n"},
        {"missing component", "[2](0.5,0.5)\n10 -6\n" + mean + "\n"},
        {"missing log normaliser", "[1](1)\n10\n" + mean + "\n"},
        {"negative weight", "[2](1.5,-0.5)\n10 -6\n" + mean + "\n10 -6\n" + mean + "\n"},
        {"no components", "[0]()\n"},
        {"too many components", "[257](" + std::string(256 * 2, ',') + ")\n"},
        {"not a number", "[1](1)\nnan -6\n" + mean + "\n"},
    };
    for (const auto& c : cases) {
        VonMisesFisherMixture m;
        std::istringstream in(c.text);
        m.read(in);
        EXPECT_TRUE(in.fail()) << c.what;
    }
    VonMisesFisherMixture good;
    std::istringstream in("[1](1)\n10 -6\n" + mean + "\n");
    good.read(in);
    EXPECT_FALSE(in.fail());
    EXPECT_EQ(good.components().size(), 1u);
}
