#include "TempoUtil.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

TEST(TempoUtil, SecondsOfBars)
{
    struct Case {
        double tempo;
        uint32_t beats, unit, bars;
        double seconds;
    };
    const Case cases[] = {
        {120.0, 4, 4, 8, 16.0005}, {120.0, 4, 0, 8, 0.0},
        {120.0, 4, 4, 0, 0.0005},  {90.0, 3, 4, 1, 2.0005},  // 2 s exactly
        {100.0, 7, 8, 3, 6.3005},                            // 6.3 s: fractions of a quarter count here
        {70.0, 4, 4, 1, 3.4290},                             // 3.428571... cut to 3.4285, plus 0.0005
        {0.0, 4, 4, 8, 0.0},  // no tempo: no length rather than an undefined cut
        {-120.0, 4, 4, 8, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(secondsOfBars(c.tempo, c.beats, c.unit, c.bars), c.seconds, 1e-12)
            << c.tempo << " " << c.beats << "/" << c.unit << " x" << c.bars;
    EXPECT_EQ(secondsOfBars(std::nan(""), 4, 4, 8), 0.0);
}

TEST(TempoUtil, TempoOfBars)
{
    struct Case {
        uint32_t beats, unit, bars;
        double seconds, tempo;
    };
    const Case cases[] =
        {
            {4, 4, 8, 16.0, 120.0},  {6, 8, 2, 2.0, 180.0},
            {7, 8, 1, 1.5, 120.0},  // 7/8 counts 3 whole quarters per bar
            {4, 4, 8, 0.00005, 0.0}, {4, 4, 8, 0.0001, 19200000.0},
            {0, 4, 8, 16.0, 0.0},    {4, 0, 8, 16.0, 0.0},
            {4, 4, 0, 16.0, 0.0},    {4, 4, 8, -1.0, 0.0},
        };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(tempoOfBars(c.beats, c.unit, c.bars, c.seconds), c.tempo)
            << c.beats << "/" << c.unit << " x" << c.bars << " in " << c.seconds;
}

TEST(TempoUtil, RatioAndStretchRange)
{
    EXPECT_EQ(ratioOrZero(0.009, 5.0), 0.0);
    EXPECT_DOUBLE_EQ(ratioOrZero(0.01, 5.0), 500.0);
    EXPECT_DOUBLE_EQ(ratioOrZero(16.0005, 8.00025), 0.5);
    EXPECT_EQ(ratioOrZero(-3.0, 5.0), 0.0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, bool> cases[] = {{50.0, false},  {200.0, false}, {100.0, false}, {49.99, true},
                                             {200.01, true}, {0.0, true},    {nan, true}};
    for (auto [pct, out] : cases)
        EXPECT_EQ(isStretchOutOfRange(pct), out) << pct;
}
