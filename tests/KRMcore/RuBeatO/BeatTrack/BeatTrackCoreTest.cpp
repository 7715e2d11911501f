#include "BeatTrackCore.h"
#include "ThrowText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using RuBeatO::BeatTrackCore;

namespace {

// The decoder as the onset front end builds it at 245 frames per second.
BeatTrackCore systemDecoder()
{
    return BeatTrackCore(12, 246, 3, 113.07692f, 33.923077f, 73, 246);
}

int nint(float v)
{
    return static_cast<int>(std::lround(v));
}

// Independent description of a small model: phase counts, offsets, the
// log2-period distance and the source ranges, written from the rules.
struct Model {
    int fpbMin, fpbMax, D, w;
    float mean, spread;
    std::vector<int> n, offset, lo, hi;
    int states = 0;

    Model(int fpbMin_, int fpbMax_, int D_, int w_, float mean_, float spread_)
        : fpbMin(fpbMin_), fpbMax(fpbMax_), D(D_), w(w_), mean(mean_), spread(spread_)
    {
        for (int p = fpbMin; p <= fpbMax; ++p) {
            offset.push_back(states);
            n.push_back(p / D);
            states += p / D;
        }
        const int T = tempi();
        for (int t = 0; t < T; ++t) {
            int l = t;
            while (l - 1 >= std::max(0, t - w) && dist(t, l - 1) <= 2 * w)
                --l;
            int h = t;
            while (h + 1 <= std::min(T - 1, t + w) && dist(t, h + 1) <= 2 * w)
                ++h;
            lo.push_back(l);
            hi.push_back(h + 1);
        }
    }
    int tempi() const { return fpbMax - fpbMin + 1; }
    float log2p(int t) const { return std::log(static_cast<float>(fpbMin + t)) / std::log(2.0f); }
    int dist(int t, int u) const { return nint(std::fabs(log2p(t) - log2p(u)) * 500.0f); }
    double g(int k) const
    {
        const double sigma = w / 5.0;
        return -0.5 * (k / sigma) * (k / sigma) - std::log(sigma) - 0.5 * std::log(6.28);
    }
    int tempoOf(int s) const
    {
        return static_cast<int>(std::upper_bound(offset.begin(), offset.end(), s) - offset.begin()) - 1;
    }
    double obs(int s, float x) const
    {
        const int t = tempoOf(s);
        const int j = s - offset[t];
        const double c = 0.9189385;
        if (j == 0)
            return -0.5 * (x - 3.0) * (x - 3.0) - c;
        if (j == n[t] / 2)
            return -0.5 * (x - 1.5) * (x - 1.5) - c;
        return -0.5 * x * x - c;
    }
    // Log score of moving from state a to state b, or -inf when not allowed.
    double trans(int a, int b) const
    {
        const int t = tempoOf(b), j = b - offset[t];
        if (j < n[t] - 1)
            return a == b + 1 ? 0.0 : -INFINITY;
        const int u = tempoOf(a);
        if (a != offset[u] || u < lo[t] || u >= hi[t])
            return -INFINITY;
        return g(dist(t, u));
    }
    double prior(int s) const
    {
        const double z = ((fpbMin + tempoOf(s)) / static_cast<double>(mean) - 1.0) / spread;
        return -0.5 * z * z - std::log(static_cast<double>(spread)) - 0.5 * std::log(6.28);
    }
};

// Best total score over every path, by a dense Viterbi over all state pairs.
double bestScore(const Model& m, const std::vector<double>& init, const std::vector<float>& xs)
{
    std::vector<double> prev = init;
    for (float x : xs) {
        std::vector<double> cur(prev.size(), -INFINITY);
        for (int b = 0; b < m.states; ++b) {
            for (int a = 0; a < m.states; ++a)
                cur[b] = std::max(cur[b], prev[a] + m.trans(a, b));
            cur[b] += m.obs(b, x);
        }
        prev = cur;
    }
    return *std::max_element(prev.begin(), prev.end());
}

// Score of the decoded path, its first state entered from the best allowed
// predecessor; -inf when a step of the path is not allowed.
double pathScore(const Model& m, const std::vector<double>& init, const std::vector<float>& xs,
                 const std::vector<int>& path)
{
    double first = -INFINITY;
    for (int a = 0; a < m.states; ++a)
        first = std::max(first, init[a] + m.trans(a, path[0]));
    double total = first + m.obs(path[0], xs[0]);
    for (size_t i = 1; i < path.size(); ++i)
        total += m.trans(path[i - 1], path[i]) + m.obs(path[i], xs[i]);
    return total;
}

std::vector<int> decode(BeatTrackCore& core, const std::vector<float>& xs)
{
    for (float x : xs)
        core.addObservation(x);
    core.infer();
    std::vector<int> path;
    for (int i = 0; i < core.resultCount(); ++i)
        path.push_back(core.stateAt(i));
    return path;
}

}  // namespace

TEST(BeatTrackCore, SystemTablesFollowTheRules)
{
    const BeatTrackCore core = systemDecoder();
    const Model m(73, 246, 3, 12, 113.07692f, 33.923077f);
    ASSERT_EQ(core.tempoCount(), 174);
    EXPECT_EQ(core.stateCount(), 9193);
    EXPECT_EQ(m.states, 9193);
    EXPECT_EQ(core.phaseCount(0), 24);
    EXPECT_EQ(core.phaseCount(173), 82);

    ASSERT_EQ(core.gaussianTable().size(), 25u);
    for (int k = 0; k <= 24; ++k)
        EXPECT_NEAR(core.gaussianTable()[k], m.g(k), 1e-5) << "k " << k;

    for (int t = 0; t < 174; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(core.phaseCount(t), m.n[t]);
        EXPECT_EQ(core.offset(t), m.offset[t]);
        EXPECT_EQ(core.sourceLo(t), m.lo[t]);
        EXPECT_EQ(core.sourceHi(t), m.hi[t]);
        // Each side stops at the first tempo more than 24 steps of 1/500
        // octave away (or at w tempi, or at the table's end).
        if (m.lo[t] > 0 && m.lo[t] > t - 12) {
            EXPECT_GT(m.dist(t, m.lo[t] - 1), 24);
        }
        if (m.hi[t] < 174 && m.hi[t] <= t + 12) {
            EXPECT_GT(m.dist(t, m.hi[t]), 24);
        }
        for (int u = m.lo[t]; u < m.hi[t]; ++u)
            EXPECT_NEAR(core.transitionScore(u, t), m.g(m.dist(t, u)), 1e-5) << "from " << u;
    }
    // Short periods reach two tempi down (log2(76/73) x 500 = 29 > 24),
    // long ones eight.
    EXPECT_EQ(core.sourceLo(2), 0);
    EXPECT_EQ(core.sourceHi(0), 3);
    EXPECT_EQ(core.sourceLo(173), 165);
}

TEST(BeatTrackCore, ConstructorRefusesBadArgumentsInOrder)
{
    // Each row breaks its own argument and every later one, so the text
    // shows which check comes first.
    struct Row {
        int w, comb, dec;
        float mean, sd;
        int fmin, fmax;
        const char* text;
    };
    const Row rows[] = {
        {300, 0, 0, 100.f, 0.f, 0, 0, "fpbStdDev should be positive."},
        {0, 0, 0, 100.f, 1.f, 0, 0, "normalPdfLutSize should be positive."},
        {8192, 0, 0, 100.f, 1.f, 0, 0, "normalPdfLutSize should be positive."},
        {300, 0, 0, 100.f, 1.f, 0, 0, "Comb Filter Dimension should be positive"},
        {300, 8192, 0, 100.f, 1.f, 0, 0, "Comb Filter Dimension should be positive"},
        {300, 246, 0, 100.f, 1.f, 0, 0, "hmmDecimation should be positive"},
        {300, 246, 3, 100.f, 1.f, 0, 0, "FPB_MIN < FPB_MAX failed"},
        {300, 246, 3, 100.f, 1.f, -5, 0, "FPB_MIN > 0 failed"},
        {300, 246, 3, 100.f, 1.f, 73, 246, "WINLEN too high (must be <256"},
        {256, 246, 3, 100.f, 1.f, 73, 246, "WINLEN too high (must be <256"},
        // A tempo needs at least one phase and a period must fit 16 bits.
        {12, 246, 3, 0.f, 1.f, 73, 246, "fpbMean should be positive."},
        {12, 246, 3, 100.f, 1.f, 2, 246, "FPB_MIN must be at least hmmDecimation"},
        {12, 246, 1, 100.f, 1.f, 73, 65536, "FPB_MAX must be below 65536"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(messageOf<std::domain_error>(
                      [&] { BeatTrackCore(r.w, r.comb, r.dec, r.mean, r.sd, r.fmin, r.fmax); }),
                  r.text);
    }
    EXPECT_NO_THROW(BeatTrackCore(255, 1, 3, 100.f, 1.f, 3, 4));
}

TEST(BeatTrackCore, StateNumberingInvertsAndRefusesOutsiders)
{
    const BeatTrackCore core = systemDecoder();
    const Model m(73, 246, 3, 12, 113.07692f, 33.923077f);
    const int rows[][2] = {{73, 0}, {73, 23}, {74, 0}, {100, 16}, {150, 49}, {245, 80}, {246, 0}, {246, 81}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r[0] << "," << r[1]);
        const int s = m.offset[r[0] - 73] + r[1];
        EXPECT_EQ(core.stateOf(r[0], r[1]), s);
        int period = 0, phase = 0;
        core.decodeState(s, period, phase);
        EXPECT_EQ(period, r[0]);
        EXPECT_EQ(phase, r[1]);
    }
    int p = 0, j = 0;
    EXPECT_THROW(core.decodeState(-1, p, j), std::domain_error);
    EXPECT_THROW(core.decodeState(9193, p, j), std::domain_error);
    EXPECT_THROW(core.stateOf(72, 0), std::domain_error);
    EXPECT_THROW(core.stateOf(73, 24), std::domain_error);
}

TEST(BeatTrackCore, EqualEntryCandidatesKeepTheEarlierSource)
{
    const BeatTrackCore core = systemDecoder();
    const int t = 100;
    const int lo = core.sourceLo(t), hi = core.sourceHi(t);
    ASSERT_GT(hi - lo, 3);
    // Every candidate sums to exactly 0: the tempo itself is tried first
    // and keeps the entry.
    std::vector<float> beat(174, -1e30f);
    for (int u = lo; u < hi; ++u)
        beat[u] = -core.transitionScore(u, t);
    float score = 1.0f;
    EXPECT_EQ(core.enterTempo(beat.data(), t, score), t);
    EXPECT_EQ(score, 0.0f);
    // Without the tempo itself the lowest of the equal sources wins.
    beat[t] = -1e30f;
    EXPECT_EQ(core.enterTempo(beat.data(), t, score), lo);
    // A strictly better later source takes over.
    beat[hi - 1] += 0.5f;
    EXPECT_EQ(core.enterTempo(beat.data(), t, score), hi - 1);
    EXPECT_FLOAT_EQ(score, 0.5f);
}

TEST(BeatTrackCore, DecodedPathIsOptimalOnSmallModels)
{
    // Against a dense Viterbi over every state pair, with the prior and
    // with start states, on random onsets with peaks.
    struct Row {
        int fmin, fmax, D, w;
        int startPeriod, startPhase;  // period 0: prior
    };
    const Row rows[] = {{4, 11, 2, 2, 0, 0}, {6, 14, 3, 3, 0, 0}, {5, 12, 1, 2, 0, 0},
                        {4, 11, 2, 2, 9, 3}, {4, 11, 2, 2, 9, 0}, {6, 14, 3, 3, 13, 2}};
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.fmin << ".." << r.fmax << " D " << r.D << " start "
                                        << r.startPeriod << "," << r.startPhase);
        const float mean = (r.fmin + r.fmax) / 2.0f;
        const float spread = 0.3f;
        const Model m(r.fmin, r.fmax, r.D, r.w, mean, spread);
        BeatTrackCore core(r.w, 8, r.D, mean, spread, r.fmin, r.fmax);
        std::vector<double> init(m.states);
        for (int s = 0; s < m.states; ++s)
            init[s] = m.prior(s);
        if (r.startPeriod) {
            core.setStartState(r.startPeriod, r.startPhase);
            std::fill(init.begin(), init.end(), -1e30);
            init[m.offset[r.startPeriod - r.fmin] + r.startPhase] = 0.0;
        }
        std::vector<float> xs;
        for (int i = 0; i < 40; ++i)
            xs.push_back(i % 5 == 0 ? 2.5f + u(rng) : u(rng));
        const std::vector<int> path = decode(core, xs);
        ASSERT_EQ(path.size(), xs.size());
        const double best = bestScore(m, init, xs);
        EXPECT_NEAR(pathScore(m, init, xs, path), best, 1e-3 * std::fabs(best) + 1e-3);
    }
}

TEST(BeatTrackCore, StartStateGivesTheFirstDecodedState)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.0f, 2.0f);
    std::vector<float> xs;
    for (int i = 0; i < 300; ++i)
        xs.push_back(u(rng));
    // (P, k > 0) -> (P, k - 1); (P, 0) -> the top phase of a tempo that
    // may follow P's beat. Periods outside the range are clamped; phases
    // wrap by the tempo's phase count, so a countdown of a whole beat
    // (phase n) is phase 0 of the same tempo.
    struct Row {
        int period, phase;
        int startPeriod, startPhase;
    };
    const Row rows[] = {{120, 17, 120, 17}, {73, 1, 73, 1},   {246, 81, 246, 81}, {120, 0, 120, 0},
                        {73, 0, 73, 0},     {246, 0, 246, 0}, {120, 40, 120, 0},  {121, 40, 121, 0},
                        {120, -1, 120, 39}, {10, 5, 73, 5},   {999, 3, 246, 3}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.period << "," << r.phase);
        BeatTrackCore core = systemDecoder();
        core.setStartState(r.period, r.phase);
        EXPECT_TRUE(core.hasStartState());
        EXPECT_EQ(core.startPeriod(), r.startPeriod);
        EXPECT_EQ(core.startPhase(), r.startPhase);
        const std::vector<int> path = decode(core, xs);
        int P = 0, j = 0;
        core.decodeState(path[0], P, j);
        if (r.startPhase > 0) {
            EXPECT_EQ(P, r.startPeriod);
            EXPECT_EQ(j, r.startPhase - 1);
        } else {
            const int t0 = r.startPeriod - 73, t = P - 73;
            EXPECT_EQ(j, core.phaseCount(t) - 1);
            EXPECT_GE(t0, core.sourceLo(t));
            EXPECT_LT(t0, core.sourceHi(t));
        }
    }
}

TEST(BeatTrackCore, PriorCoversBothEndsOfTheRange)
{
    // Twenty silent steps fit inside one beat at every period, so every
    // period scores alike but for its prior; a prior centred on FPB_MIN or
    // FPB_MAX then decides, by less than a tenth for FPB_MAX: both end
    // periods take part in the prior.
    for (int P : {73, 246}) {
        SCOPED_TRACE(P);
        BeatTrackCore core(12, 246, 3, static_cast<float>(P), 0.01f, 73, 246);
        const std::vector<int> path = decode(core, std::vector<float>(20, 0.0f));
        for (int s : path) {
            int period = 0, phase = 0;
            core.decodeState(s, period, phase);
            ASSERT_EQ(period, P);
        }
    }
}

TEST(BeatTrackCore, NoObservationsDecodeToNothing)
{
    BeatTrackCore core = systemDecoder();
    core.setStartState(120, 3);
    EXPECT_NO_THROW(core.infer());
    EXPECT_EQ(core.resultCount(), 0);
    EXPECT_EQ(core.backPointerBytes(), 0u);
    EXPECT_EQ(messageOf<std::domain_error>([&] { core.stateAt(0); }),
              "idx must be less than the number of times pushData() was called");
}
