// The semi-Markov model against brute-force enumeration of every
// (state, countdown) path of a tiny model.
#include "RkMir/Numeric/Hsmm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <random>
#include <vector>

using namespace Numeric;

namespace {

struct Tiny {
    int K, D;
    Matrix A, P, X;
};

Tiny randomModel(int K, int D, int T, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-3.0, 0.0);
    Tiny m {K, D, Matrix(K, K), Matrix(K, D), Matrix(T, K)};
    for (int i = 0; i < m.A.size(); ++i)
        m.A.data()[i] = u(rng);
    for (int i = 0; i < m.P.size(); ++i)
        m.P.data()[i] = u(rng);
    for (int i = 0; i < m.X.size(); ++i)
        m.X.data()[i] = 2.0 * u(rng);
    return m;
}

// Score of one lattice path (states and countdowns per frame), -infinity
// when it is not a path: frame 0 may hold any (state, countdown) with weight
// 1 and no emission; a countdown above 0 continues the segment, countdown 0
// is followed by a transition and a new duration.
double pathScore(const Tiny& m, const std::vector<int32_t>& s, const std::vector<int32_t>& c)
{
    double w = 0.0;
    for (size_t t = 1; t < s.size(); ++t) {
        if (c[t - 1] > 0) {
            if (s[t] != s[t - 1] || c[t] != c[t - 1] - 1)
                return -INFINITY;
        } else {
            w += m.A(s[t - 1], s[t]) + m.P(s[t], c[t]);
        }
        w += m.X(t, s[t]);
    }
    return w;
}

struct BruteForce {
    double logLik = -INFINITY;  // under the frame-0 convention
    double bestScore = -INFINITY;
    Matrix posteriors;              // T x K
    Matrix transCounts, durCounts;  // expected segment entries
};

BruteForce enumerate(const Tiny& m)
{
    const int T = static_cast<int>(m.X.rows());
    const int KD = m.K * m.D;
    BruteForce r;
    r.posteriors = Matrix::Zero(T, m.K);
    r.transCounts = Matrix::Zero(m.K, m.K);
    r.durCounts = Matrix::Zero(m.K, m.D);
    std::vector<double> weights;
    std::vector<std::vector<int32_t>> states, countdowns;
    long total = 1;
    for (int t = 0; t < T; ++t)
        total *= KD;
    for (long code = 0; code < total; ++code) {
        std::vector<int32_t> s(T), c(T);
        long rest = code;
        for (int t = 0; t < T; ++t) {
            s[t] = static_cast<int32_t>(rest % KD / m.D);
            c[t] = static_cast<int32_t>(rest % m.D);
            rest /= KD;
        }
        const double w = pathScore(m, s, c);
        if (w == -INFINITY)
            continue;
        weights.push_back(w);
        states.push_back(s);
        countdowns.push_back(c);
        r.bestScore = std::max(r.bestScore, w);
    }
    double s = 0.0;
    for (double w : weights)
        s += std::exp(w - r.bestScore);
    const double logTotal = r.bestScore + std::log(s);
    // Frame 0's normaliser is 0, so a single frame has log-likelihood 0
    // although its row holds K * D entries of weight 1.
    r.logLik = T == 1 ? 0.0 : logTotal;
    for (size_t k = 0; k < weights.size(); ++k) {
        const double p = std::exp(weights[k] - logTotal);
        for (int t = 0; t < T; ++t)
            r.posteriors(t, states[k][t]) += p;
        for (int t = 1; t < T; ++t)
            if (countdowns[k][t - 1] == 0) {
                r.transCounts(states[k][t - 1], states[k][t]) += p;
                r.durCounts(states[k][t], countdowns[k][t]) += p;
            }
    }
    return r;
}

}  // namespace

TEST(Hsmm, ForwardBackwardAndDecodeMatchBruteForce)
{
    for (int T = 1; T <= 5; ++T)
        for (unsigned seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE(::testing::Message() << "T " << T << " seed " << seed);
            const Tiny m = randomModel(2, 2, T, seed * 100 + T);
            Hsmm h(2, 2);
            h.setTransitions(m.A);
            h.setDurations(m.P);
            const BruteForce ref = enumerate(m);

            EXPECT_NEAR(h.forwardBackward(m.X), ref.logLik, 1e-9);
            Matrix post;
            h.statePosteriors(post);
            ASSERT_EQ(post.rows(), T);
            for (int t = 0; t < T; ++t) {
                EXPECT_NEAR(post.row(t).sum(), 1.0, 1e-12);
                for (int k = 0; k < 2; ++k)
                    EXPECT_NEAR(post(t, k), ref.posteriors(t, k), 1e-9);
            }

            std::vector<int32_t> countdowns, states;
            h.decode(countdowns, states, m.X);
            ASSERT_EQ(states.size(), static_cast<size_t>(T));
            EXPECT_NEAR(pathScore(m, states, countdowns), ref.bestScore, 1e-9);
        }
}

TEST(Hsmm, ExpectedCountsMatchBruteForceWhenEveryFrameCounts)
{
    // Long durations are unlikely here, so no frame is dominated by
    // continuing segments and every frame contributes its exact share.
    for (unsigned seed = 1; seed <= 3; ++seed) {
        Tiny m = randomModel(2, 2, 5, seed);
        m.P.col(1).setConstant(std::log(0.01));
        Hsmm h(2, 2);
        h.setTransitions(m.A);
        h.setDurations(m.P);
        h.forwardBackward(m.X);
        Matrix trans, dur;
        h.expectedCounts(trans, dur);
        const BruteForce ref = enumerate(m);
        EXPECT_TRUE(trans.isApprox(ref.transCounts, 1e-9)) << trans << "\n" << ref.transCounts;
        EXPECT_TRUE(dur.isApprox(ref.durCounts, 1e-9)) << dur << "\n" << ref.durCounts;
    }
    // With one duration every frame after the first is an entry.
    Tiny m = randomModel(3, 1, 4, 9);
    Hsmm h(3, 1);
    h.setTransitions(m.A);
    h.setDurations(m.P);
    h.forwardBackward(m.X);
    Matrix trans, dur;
    h.expectedCounts(trans, dur);
    const BruteForce ref = enumerate(m);
    EXPECT_TRUE(trans.isApprox(ref.transCounts, 1e-9));
    EXPECT_NEAR(trans.sum(), 3.0, 1e-9);
}

TEST(Hsmm, FramesDominatedByContinuationAreNotCounted)
{
    // One state, two frames. At frame 1 the continuation from frame 0's
    // countdown 1 weighs 0 (log 1), each entry log p. Entries count only
    // while the continuation leads the best entry by less than 3 nats.
    struct Case {
        double p;
        double expected;
    };
    const Case cases[] = {
        {0.04, 0.0},          // log 0.04 = -3.22: frame skipped
        {0.06, 0.12 / 1.12},  // log 0.06 = -2.81: exact share
    };
    for (const Case& c : cases) {
        Hsmm h(1, 2);
        Matrix A = Matrix::Zero(1, 1), P = Matrix::Constant(1, 2, std::log(c.p));
        h.setTransitions(A);
        h.setDurations(P);
        h.forwardBackward(Matrix::Zero(2, 1));
        Matrix trans, dur;
        h.expectedCounts(trans, dur);
        EXPECT_NEAR(trans(0, 0), c.expected, 1e-12) << c.p;
        EXPECT_NEAR(dur.sum(), c.expected, 1e-12) << c.p;
    }
}

TEST(Hsmm, WrongShapeIsReportedAndIgnored)
{
    Hsmm h(2, 3);
    Matrix A(2, 2), P(2, 3);
    A << -0.1, -2.0, -2.0, -0.1;
    P << -1.0, -2.0, -3.0, -4.0, -5.0, -6.0;
    h.setTransitions(A);
    h.setDurations(P);

    struct Case {
        bool durations;
        int rows, cols;
        const char* line;
    };
    const Case cases[] = {
        {false, 2, 3, "Hsmm:51 - Incompatible dimension 2 3\n"},
        {false, 3, 2, "Hsmm:51 - Incompatible dimension 3 2\n"},
        {true, 2, 4, "Hsmm:59 - Incompatible dimension 2 4\n"},
        {true, 0, 0, "Hsmm:59 - Incompatible dimension 0 0\n"},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStdout();
        const Matrix wrong = Matrix::Constant(c.rows, c.cols, 7.0);
        if (c.durations)
            h.setDurations(wrong);
        else
            h.setTransitions(wrong);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.line);
        EXPECT_EQ(h.transitions(), A);
        EXPECT_EQ(h.durations(), P);
    }
}

TEST(Hsmm, SizesBeyondTheTableRangeFailAsAnAllocation)
{
    EXPECT_THROW(Hsmm(46341, 1), std::bad_alloc);    // K x K over 2^31 - 1
    EXPECT_THROW(Hsmm(2, 1 << 30), std::bad_alloc);  // K x D over 2^31 - 1
    EXPECT_NO_THROW(Hsmm(20, 8));
}

TEST(Hsmm, SingleFrameAndDecodeTies)
{
    Hsmm h(2, 2);
    Matrix X(1, 2);
    X << -5.0, 0.0;
    EXPECT_EQ(h.forwardBackward(X), 0.0);
    std::vector<int32_t> countdowns, states;
    h.decode(countdowns, states, X);
    EXPECT_EQ(states, std::vector<int32_t> {0});
    EXPECT_EQ(countdowns, std::vector<int32_t> {0});

    // All scores equal: continuing a segment wins a tie against entering,
    // so two frames decode as one segment of length 2, not two of length 1.
    Hsmm one(1, 2);
    const Matrix flat = Matrix::Zero(2, 1);
    one.decode(countdowns, states, flat);
    EXPECT_EQ(countdowns, (std::vector<int32_t> {1, 0}));
    EXPECT_EQ(states, (std::vector<int32_t> {0, 0}));
}
