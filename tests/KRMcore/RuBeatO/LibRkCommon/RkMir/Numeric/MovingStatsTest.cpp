#include "RkMir/Numeric/MovingStats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <random>
#include <vector>

using Numeric::IMovingStats;
using Numeric::MovingAverageSD;
using Numeric::MovingMaximum;

namespace {

// z-score of the newest value against the last n values (missing ones 0),
// computed from scratch in double.
double naiveZ(const std::deque<double>& lastN, int n, double floor)
{
    double mean = 0.0;
    for (double v : lastN)
        mean += v;
    mean /= n;
    double m2 = 0.0;
    for (double v : lastN)
        m2 += (v - mean) * (v - mean);
    m2 += (n - static_cast<int>(lastN.size())) * mean * mean;
    if (m2 <= 1e-12)
        return 0.0;
    return (lastN.back() - mean) / std::sqrt(m2 / n + floor);
}

}  // namespace

TEST(MovingAverageSD, HandWorkedSequenceIncludingNoSpread)
{
    // Window 2: 1 -> sum 1, M2 0.5; 3 -> sum 4, M2 2; 3 -> sum 6, M2 0;
    // 3 -> M2 stays 0. No spread gives 0, not a division by zero.
    struct Row {
        float x, z, sum, m2;
    };
    const Row rows[] = {{1.0f, 1.0f, 1.0f, 0.5f},
                        {3.0f, 1.0f, 4.0f, 2.0f},
                        {3.0f, 0.0f, 6.0f, 0.0f},
                        {3.0f, 0.0f, 6.0f, 0.0f},
                        {0.0f, -1.0f, 3.0f, 4.5f}};
    MovingAverageSD<float> s(2, 0.0f);
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(s.push(rows[i].x), rows[i].z);
        EXPECT_FLOAT_EQ(s.sum(), rows[i].sum);
        EXPECT_FLOAT_EQ(s.m2(), rows[i].m2);
    }

    // The floor widens the deviation: (1 - 0.5) / sqrt(0.25 + 1).
    MovingAverageSD<float> floored(2, 1.0f);
    EXPECT_FLOAT_EQ(floored.push(1.0f), 0.5f / std::sqrt(1.25f));

    // Nothing but zeros: M2 stays 0 and so does every result.
    MovingAverageSD<float> zeros(20, 0.0f);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(zeros.push(0.0f), 0.0f);
        EXPECT_EQ(zeros.m2(), 0.0f);
    }
}

TEST(MovingAverageSD, Window20MatchesScratchComputation)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0.0, 8.0);
    MovingAverageSD<float> s(20, 0.0f);
    std::deque<double> last;
    for (int i = 0; i < 200; ++i) {
        const double x = i % 17 == 0 ? 20.0 : u(rng);
        last.push_back(static_cast<float>(x));
        if (last.size() > 20)
            last.pop_front();
        SCOPED_TRACE(i);
        EXPECT_NEAR(s.push(static_cast<float>(x)), naiveZ(last, 20, 0.0), 1e-3);
    }
}

TEST(MovingAverageSD, ResetStartsAfreshAndBadWindowIsRefused)
{
    // After a reset the values pushed before it no longer take part: the
    // results are those of a new object, not of a window whose sum was
    // cleared while its old values remained.
    const std::vector<float> before {4.0f, 1.0f, 7.0f, 2.0f, 9.0f};
    const std::vector<float> after {1.0f, 2.0f, 0.5f, 6.0f, 3.0f, 3.0f, 8.0f};
    std::shared_ptr<IMovingStats> used = std::make_shared<MovingAverageSD<float>>(4, 0.0f);
    for (float x : before)
        used->push(x);
    used->reset();
    MovingAverageSD<float> fresh(4, 0.0f);
    for (size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(used->push(after[i]), fresh.push(after[i]));
    }

    EXPECT_THROW(MovingAverageSD<float>(0), std::invalid_argument);
    EXPECT_THROW(MovingMaximum<float>(-3), std::invalid_argument);
}

TEST(MovingMaximum, DecayingPeakAndResetKeepsIt)
{
    const float inf = std::numeric_limits<float>::infinity();
    MovingMaximum<float> m(3);
    // The first value sets the peak even when it is negative.
    EXPECT_FLOAT_EQ(m.push(-2.0f), -2.0f);
    struct Row {
        float x, peak;
    };
    const Row rows[] = {{1.0f, 1.0f}, {0.5f, 0.99f}, {0.0f, 0.9801f}, {2.0f, 2.0f}, {1.99f, 1.99f}};
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(m.push(rows[i].x), rows[i].peak);
    }
    m.reset();
    for (float v : m.values())
        EXPECT_EQ(v, -inf);
    EXPECT_FLOAT_EQ(m.peak(), 1.99f);
    EXPECT_FLOAT_EQ(m.push(0.0f), 0.99f * 1.99f);
}
