#include "OfflineHmm.h"
#include "TaviHmm.h"
#include "TaviTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace tavi;
using taviTest::Component;
using taviTest::peaked;

namespace {

// Self transitions by beat position, as musicians place chord changes.
double selfFactor(int beatsPerBar, int b)
{
    if (beatsPerBar == 3)
        return std::vector<double> {1, 1000, 10}[b % 3];
    return std::vector<double> {1, 1000, 10, 1000}[b % 4];
}

const std::vector<std::vector<Component>> kBass = {
    {{0.6, 30.0, -20.0, peaked(0)}, {0.4, 20.0, -12.0, peaked(4)}},
    {{1.0, 25.0, -15.0, peaked(0, 1.0, 0.2)}},
};
const std::vector<std::vector<Component>> kTreble = {
    {{1.0, 20.0, -12.0, {1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0}}},
    {{0.5, 20.0, -12.0, {1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}}, {0.5, 9.0, -5.0, peaked(3)}},
};

std::vector<double> rotated(const std::vector<double>& f, int r)
{
    std::vector<double> x(24);
    for (int i = 0; i < 12; ++i) {
        x[i] = f[(r + i) % 12];
        x[12 + i] = f[12 + (r + i) % 12];
    }
    return x;
}

// A decoder with C classes, full random transition counts and random
// observations, and a brute-force scorer of the same model.
struct SmallModel {
    int C, B, T;
    OfflineHmm hmm;
    std::vector<std::vector<double>> features;
    std::vector<double> counts;  // [mode][b][from][to]
    std::vector<double> table;   // obs(j, t) at t * S + j

    SmallModel(int classes, int beatsPerBar, int beats, unsigned seed)
        : C(classes), B(beatsPerBar), T(beats), hmm(classes, beatsPerBar)
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (int c = 0; c < C; ++c)
            EXPECT_EQ(hmm.setObservationPdf(c, taviTest::pdfFrom(kBass[c % 2], kTreble[c % 2])), 0);
        const int S = 12 * C;
        counts.resize(static_cast<size_t>(2 * B * S * S));
        for (int m = 0; m < 2; ++m)
            for (int b = 0; b < B; ++b)
                for (int from = 0; from < S; ++from)
                    for (int to = 0; to < S; ++to) {
                        const double n = 1.0 + std::floor(50.0 * u(rng));
                        counts[index(m, b, from, to)] = n;
                        EXPECT_EQ(hmm.addTransition(m, b, from, to, n), 0);
                    }
        for (int t = 0; t < T; ++t) {
            std::vector<double> f(26);
            for (double& v : f)
                v = u(rng) - 0.3;
            features.push_back(f);
            hmm.addObservation(f);
        }
    }

    size_t index(int m, int b, int from, int to) const
    {
        const int S = 12 * C;
        return ((static_cast<size_t>(m) * B + b) * S + from) * S + to;
    }

    // Observation of absolute position j = 12 c + r at beat t.
    double obs(int j, int t) const
    {
        const std::vector<double> x = rotated(features[t], j % 12);
        const int c = j / 12;
        return taviTest::naiveMixture(kBass[c % 2], x.data()) +
               taviTest::naiveMixture(kTreble[c % 2], x.data() + 12);
    }

    // Best score of hypothesis (m, p, k) over every path, and that path.
    double bruteForce(int m, int p, int k, std::vector<int>& best)
    {
        const int S = 12 * C;
        if (table.empty())
            for (int t = 0; t < T; ++t)
                for (int j = 0; j < S; ++j)
                    table.push_back(obs(j, t));
        auto model = [&](int j) { return 12 * (j / 12) + (j % 12 - k + 12) % 12; };
        double top = -1e300;
        std::vector<int> path(T, 0);
        long total = 1;
        for (int t = 0; t < T; ++t)
            total *= S;
        for (long code = 0; code < total; ++code) {
            long rest = code;
            for (int t = T - 1; t >= 0; --t) {
                path[t] = static_cast<int>(rest % S);
                rest /= S;
            }
            double score = table[static_cast<size_t>(path[0])];
            for (int t = 1; t < T; ++t) {
                const int b = (p + t - 1) % B;
                const int from = model(path[t - 1]), to = model(path[t]);
                double n = counts[index(m, b, from, to)];
                if (from == to)
                    n *= selfFactor(B, b);
                score += std::log(n) + table[static_cast<size_t>(t * S + path[t])];
            }
            if (score > top) {
                top = score;
                best = path;
            }
        }
        return top;
    }
};

}  // namespace

TEST(ChordHmm, AddTransitionRefusesNonPositiveCountsAndWeightsSelfTransitions)
{
    OfflineHmm hmm(7, 4);
    for (double bad : {0.0, -1.0, std::nan("")})
        EXPECT_EQ(hmm.addTransition(0, 0, 1, 2, bad), -1) << bad;
    // out of range arguments are refused too
    EXPECT_EQ(hmm.addTransition(2, 0, 1, 2, 1.0), -1);
    EXPECT_EQ(hmm.addTransition(0, 4, 1, 2, 1.0), -1);
    EXPECT_EQ(hmm.addTransition(0, 0, 84, 2, 1.0), -1);
    EXPECT_EQ(hmm.addTransition(0, 0, 1, -1, 1.0), -1);
    EXPECT_TRUE(hmm.transitionsInto(0, 0, 2).empty());

    for (int B : {2, 3, 4}) {
        OfflineHmm h(1, B);
        for (int b = 0; b < B; ++b) {
            ASSERT_EQ(h.addTransition(1, b, 5, 5, 3.0), 0);
            ASSERT_EQ(h.addTransition(1, b, 4, 5, 3.0), 0);
            const auto& entries = h.transitionsInto(1, b, 5);
            ASSERT_EQ(entries.size(), 2u);
            EXPECT_EQ(entries[0].first, 5);
            EXPECT_NEAR(entries[0].second, std::log(3.0 * selfFactor(B, b)), 1e-12) << B << " " << b;
            EXPECT_EQ(entries[1].first, 4);
            EXPECT_NEAR(entries[1].second, std::log(3.0), 1e-12);
        }
    }
    // 3 beats per bar: 1, 1000, 10; otherwise 1, 1000, 10, 1000
    OfflineHmm three(1, 3);
    three.addTransition(0, 1, 0, 0, 2.0);
    EXPECT_NEAR(three.transitionsInto(0, 1, 0)[0].second, std::log(2000.0), 1e-12);
}

TEST(ChordHmm, PdfSlots)
{
    OfflineHmm hmm(3, 4);
    auto pdf = taviTest::pdfFrom(kBass[0], kTreble[0]);
    EXPECT_EQ(hmm.setObservationPdf(2, pdf), 0);
    EXPECT_EQ(hmm.setObservationPdf(3, pdf), -1);
    EXPECT_THROW(hmm.setObservationPdf(-1, pdf), std::out_of_range);
    EXPECT_THROW(OfflineHmm(22, 4), std::invalid_argument);  // back-pointers are single bytes
    EXPECT_THROW(OfflineHmm(0, 4), std::invalid_argument);

    // A class without a density is refused at decode.
    hmm.addObservation(std::vector<double>(26, 0.1));
    EXPECT_THROW(hmm.decode(), std::logic_error);
    EXPECT_THROW(hmm.addObservation(std::vector<double>(23, 0.1)), std::invalid_argument);
}

TEST(ChordHmm, DecodeMatchesBruteForceOverEveryHypothesis)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        SmallModel s(2, 3, 3, seed);
        const double score = s.hmm.decode();

        double best = -1e300;
        int bm = -1, bp = -1, bk = -1;
        std::vector<int> bestPath;
        for (int m = 0; m < 2; ++m)
            for (int p = 0; p < s.B; ++p)
                for (int k = 0; k < 12; ++k) {
                    std::vector<int> path;
                    const double v = s.bruteForce(m, p, k, path);
                    if (v > best) {
                        best = v;
                        bm = m, bp = p, bk = k;
                        bestPath = path;
                    }
                }
        EXPECT_NEAR(score, best, 1e-6 * std::fabs(best)) << seed;
        int m, p, k;
        s.hmm.chosenHypothesis(m, p, k);
        EXPECT_EQ(std::make_tuple(m, p, k), std::make_tuple(bm, bp, bk)) << seed;
        ASSERT_EQ(s.hmm.pathLength(), s.T);
        for (int t = 0; t < s.T; ++t) {
            const int S = 12 * s.C;
            const int flat = s.hmm.pathState(t);
            EXPECT_EQ(flat % S, bestPath[t]) << seed << " beat " << t;
            EXPECT_EQ(flat / S, (bp - 1 + s.B + t) % s.B + s.B * (bm + 2 * bk)) << seed << " beat " << t;
        }
    }
}

TEST(ChordHmm, FixedSelectorsDecodeOnlyThatHypothesis)
{
    SmallModel s(1, 4, 4, 9);
    s.hmm.setFixedHypothesis(1, 2, 5);
    std::vector<int> path;
    const double expected = s.bruteForce(1, 2, 5, path);
    EXPECT_NEAR(s.hmm.decode(), expected, 1e-6 * std::fabs(expected));
    int m, p, k;
    s.hmm.chosenHypothesis(m, p, k);
    EXPECT_EQ(std::make_tuple(m, p, k), std::make_tuple(1, 2, 5));
    // beat t sits at bar position (phase - 1 + t) mod B
    TaviHmm shape(true, 4);
    shape.setChordList({{0, 0}});
    for (int t = 0; t < 4; ++t) {
        int r, c, mode, b, key;
        shape.decomposeState(s.hmm.pathState(t), r, c, mode, b, key);
        EXPECT_EQ(r, path[t]);
        EXPECT_EQ(b, (2 - 1 + t) % 4);
        EXPECT_EQ(mode, 1);
        EXPECT_EQ(key, 5);
    }

    // Only the phase fixed: the search still covers modes and keys.
    s.hmm.setFixedHypothesis(-1, 3, -1);
    double best = -1e300;
    for (int mode = 0; mode < 2; ++mode)
        for (int key = 0; key < 12; ++key)
            best = std::max(best, s.bruteForce(mode, 3, key, path));
    EXPECT_NEAR(s.hmm.decode(), best, 1e-6 * std::fabs(best));
    EXPECT_THROW(s.hmm.setFixedHypothesis(2, 0, 0), std::invalid_argument);
    EXPECT_THROW(s.hmm.setFixedHypothesis(0, 4, 0), std::invalid_argument);
    EXPECT_THROW(s.hmm.setFixedHypothesis(0, 0, 12), std::invalid_argument);
}

TEST(ChordHmm, TiesKeepTheEarlierHypothesis)
{
    // Zero chroma scores every state alike, and equal counts everywhere make
    // every hypothesis tie.
    OfflineHmm hmm(1, 3);
    hmm.setObservationPdf(0, taviTest::pdfFrom(kBass[0], kTreble[0]));
    for (int m = 0; m < 2; ++m)
        for (int b = 0; b < 3; ++b)
            for (int from = 0; from < 12; ++from)
                for (int to = 0; to < 12; ++to)
                    hmm.addTransition(m, b, from, to, from == to ? 1.0 / selfFactor(3, b) : 1.0);
    for (int t = 0; t < 3; ++t)
        hmm.addObservation(std::vector<double>(26, 0.0));
    hmm.decode();
    int m, p, k;
    hmm.chosenHypothesis(m, p, k);
    EXPECT_EQ(std::make_tuple(m, p, k), std::make_tuple(0, 0, 0));
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(hmm.pathState(t) % 12, 0) << "the first maximum and the first source win";
    hmm.setFixedHypothesis(1, -1, 7);
    hmm.decode();
    hmm.chosenHypothesis(m, p, k);
    EXPECT_EQ(std::make_tuple(m, p, k), std::make_tuple(1, 0, 7));
}

TEST(ChordHmm, SingleBeatAndEmptyInput)
{
    OfflineHmm hmm(2, 4);
    hmm.setObservationPdf(0, taviTest::pdfFrom(kBass[0], kTreble[0]));
    hmm.setObservationPdf(1, taviTest::pdfFrom(kBass[1], kTreble[1]));
    EXPECT_EQ(hmm.decode(), 0.0);
    EXPECT_EQ(hmm.pathLength(), 0);

    // No transition is needed for one beat: the best observation wins.
    SmallModel s(2, 4, 1, 4);
    double best = -1e300;
    int where = -1;
    for (int j = 0; j < 24; ++j) {
        if (s.obs(j, 0) > best) {
            best = s.obs(j, 0);
            where = j;
        }
    }
    EXPECT_NEAR(s.hmm.decode(), best, 1e-9);
    EXPECT_EQ(s.hmm.pathState(0) % 24, where);

    s.hmm.clear();
    EXPECT_EQ(s.hmm.observationCount(), 0);
    EXPECT_EQ(s.hmm.transitionsInto(0, 0, 0).size(), 24u) << "clear keeps the transitions";
}

TEST(ChordHmm, DecomposeStateRoundTrips)
{
    const struct {
        int C, B;
        bool keyAndMeter;
        int root, cls, beat, mode, key;
    } cases[] = {
        {7, 4, true, 0, 0, 0, 0, 0}, {7, 4, true, 11, 6, 3, 1, 11}, {7, 3, true, 5, 2, 1, 0, 7},
        {7, 2, true, 9, 4, 1, 1, 3}, {1, 4, true, 3, 0, 2, 1, 10},  {7, 1, false, 7, 5, 0, 0, 0},
    };
    for (const auto& c : cases) {
        TaviHmm hmm(c.keyAndMeter, c.B);
        std::vector<ChordListEntry> list;
        for (int i = 0; i < c.C; ++i)
            list.push_back({i, i});
        hmm.setChordList(list);
        const int M = hmm.modes();
        const int flat = c.root + 12 * (c.cls + c.C * (c.beat + c.B * (c.mode + M * c.key)));
        int r, cls, mode, beat, key;
        hmm.decomposeState(flat, r, cls, mode, beat, key);
        EXPECT_EQ(std::make_tuple(r, cls, mode, beat, key),
                  std::make_tuple(c.root, c.cls, c.mode, c.beat, c.key))
            << flat;
    }
}
