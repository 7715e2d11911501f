#include "CEnvelope.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

// A linear two-breakpoint envelope (0.0, a) - (1.0, b), limits 0 .. 100.
void defineLine(CEnvelope& e, uint8_t interpolation, float a, float b)
{
    e.Define(CEnvelope::Breakpoints, CEnvelope::Real, interpolation, 0.0f, 100.0f, a, 2, 0, 0);
    e.SetValueAt(1.0, b);
}

TEST(CEnvelope, DefineClampsTheDefaultAndLaysOutTwoBreakpoints)
{
    CEnvelope e;
    e.Define(3, 1, 1, 0.0f, 1.0f, 5.0f, 0, 0, 0);
    EXPECT_EQ(e.Maximum(), 1.0f);
    EXPECT_EQ(e.Default(), 1.0f);
    ASSERT_EQ(e.BreakpointCount(), 2);
    EXPECT_EQ(e.PointAt(0).time, 0.0);
    EXPECT_EQ(e.PointAt(0).value, 1.0f);
    EXPECT_EQ(e.PointAt(1).time, 1.0);
    EXPECT_EQ(e.PointAt(1).value, 1.0f);
    EXPECT_EQ(e.Untouched(), 1);

    // A maximum below the minimum is raised to it.
    e.Define(3, 1, 1, 4.0f, 2.0f, 3.0f, 2, 0, 0);
    EXPECT_EQ(e.Maximum(), 4.0f);
    EXPECT_EQ(e.Default(), 4.0f);
}

TEST(CEnvelope, LinearAndSteppedLookupsAroundAnInsertedBreakpoint)
{
    struct Case {
        uint8_t interpolation;
        float at75;
    };
    for (const Case& c : {Case {CEnvelope::Linear, 2.5f}, Case {CEnvelope::Step, 2.0f}}) {
        SCOPED_TRACE(static_cast<int>(c.interpolation));
        CEnvelope e;
        defineLine(e, c.interpolation, 1.0f, 3.0f);
        EXPECT_EQ(e.ValueAt(0.25), c.interpolation == CEnvelope::Linear ? 1.5f : 1.0f);
        e.SetValueAt(0.5, 2.0f);
        EXPECT_EQ(e.BreakpointCount(), 3);
        EXPECT_EQ(e.Untouched(), 0);
        EXPECT_EQ(e.ValueAt(0.75), c.at75);
        EXPECT_EQ(e.ValueAt(0.5), 2.0f);
        EXPECT_EQ(e.ValueAt(-3.0), 1.0f);
        EXPECT_EQ(e.ValueAt(7.0), 3.0f);
        // The same time again changes the breakpoint and adds none.
        e.SetValueAt(0.5, 4.0f);
        EXPECT_EQ(e.BreakpointCount(), 3);
        EXPECT_EQ(e.ValueAt(0.5), 4.0f);
    }
}

// Many inserts in random order (more than the growth step, with and without
// the even-spacing flag) against a naive piecewise-linear reference.
TEST(CEnvelope, RandomInsertsMatchANaivePiecewiseLinearReference)
{
    for (uint32_t even : {0u, 1u}) {
        SCOPED_TRACE(even);
        CEnvelope e;
        e.Define(CEnvelope::Breakpoints, CEnvelope::Real, CEnvelope::Linear, -50.0f, 50.0f, 0.0f, 5, even, 0);
        std::map<double, float> ref;
        for (int i = 0; i < 5; ++i)
            ref[i / 4.0] = 0.0f;  // not-yet-set even breakpoints hold the default
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> t(0.0, 1.0);
        std::uniform_real_distribution<float> v(-80.0f, 80.0f);
        for (int i = 0; i < 60; ++i) {
            const double time = i % 7 == 0 ? 0.5 : t(rng);  // also re-set an existing time
            const float value = v(rng);
            e.SetValueAt(time, value);
            ref[time] = std::min(50.0f, std::max(-50.0f, value));
        }
        ASSERT_EQ(e.BreakpointCount(), static_cast<int32_t>(ref.size()));
        EXPECT_GE(e.BreakpointCapacity(), e.BreakpointCount());
        EXPECT_EQ(e.EvenSpacing(), 0u);
        for (int i = 0; i <= 1000; ++i) {
            const double time = i / 1000.0;
            auto hi = ref.upper_bound(time);
            float expected = ref.rbegin()->second;
            if (hi != ref.end()) {
                auto lo = std::prev(hi);
                const double f = (time - lo->first) / (hi->first - lo->first);
                expected =
                    static_cast<float>(lo->second + (static_cast<double>(hi->second) - lo->second) * f);
            }
            ASSERT_NEAR(e.ValueAt(time), expected, 1e-4f) << time;
        }
    }
}

TEST(CEnvelope, EvenSpacingLooksUpDirectly)
{
    CEnvelope e;
    e.Define(CEnvelope::Breakpoints, CEnvelope::Real, CEnvelope::Linear, 0.0f, 10.0f, 5.0f, 5, 1, 0);
    ASSERT_EQ(e.BreakpointCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(e.PointAt(i).time, i / 4.0);
    e.SetValueAt(0.5, 8.0f);  // an existing time: still evenly spaced
    EXPECT_EQ(e.EvenSpacing(), 1u);
    EXPECT_FLOAT_EQ(e.ValueAt(0.375), 6.5f);
    EXPECT_FLOAT_EQ(e.ValueAt(0.625), 6.5f);
    EXPECT_EQ(e.ValueAt(0.9), 5.0f);
}

TEST(CEnvelope, NoRampToMinimumHoldsTheValueBesideASilentBreakpoint)
{
    struct Case {
        float a, b;
        float at25;
    };
    const Case cases[] = {{0.0f, 4.0f, 4.0f}, {4.0f, 0.0f, 4.0f}, {2.0f, 4.0f, 2.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a);
        CEnvelope e;
        e.Define(CEnvelope::Breakpoints, CEnvelope::Real, CEnvelope::Linear, 0.0f, 10.0f, c.a, 2, 0, 1);
        e.SetValueAt(1.0, c.b);
        EXPECT_FLOAT_EQ(e.ValueAt(0.25), c.at25);
    }
}

TEST(CEnvelope, ValueTypesConvertEverySetValue)
{
    CEnvelope integer;
    integer.Define(CEnvelope::Breakpoints, CEnvelope::Integer, CEnvelope::Step, 4.0f, 65536.0f, 128.0f, 2, 0,
                   0);
    integer.SetValueAt(0.3, 77.0f);
    integer.SetValueAt(CEnvelope::kWholeEnvelope, 300.7f);
    ASSERT_EQ(integer.BreakpointCount(), 2);
    for (double t : {0.0, 0.3, 0.5, 1.0})
        EXPECT_EQ(integer.ValueAt(t), 300.0f) << t;
    integer.SetValueAt(0.5, 1.0f);  // clamped to the minimum
    EXPECT_EQ(integer.ValueAt(0.5), 4.0f);
    integer.SetValueAt(0.5, 1e9f);
    EXPECT_EQ(integer.ValueAt(0.5), 65536.0f);

    CEnvelope other;
    other.Define(CEnvelope::Breakpoints, 7, CEnvelope::Step, -5.0f, 5.0f, 3.0f, 2, 0, 0);
    other.SetValueAt(0.5, 2.0f);
    EXPECT_EQ(other.ValueAt(0.5), 0.0f);
}

TEST(CEnvelope, ArraysReadByNearestIndexAndGrowWithZeros)
{
    CEnvelope e;
    e.Define(CEnvelope::Array, CEnvelope::Real, CEnvelope::Linear, 0.0f, 100.0f, 9.0f, 3, 0, 0);
    for (int i = 0; i < 3; ++i)
        e.SetValueAt(i, 10.0f + i);
    struct Read {
        double t;
        float v;
    };
    for (const Read& r : {Read {-1.0, 10.0f}, Read {0.4, 10.0f}, Read {1.4, 11.0f}, Read {1.6, 12.0f},
                          Read {2.4, 12.0f}, Read {2.6, 9.0f}, Read {40.0, 9.0f}})
        EXPECT_EQ(e.ValueAt(r.t), r.v) << r.t;

    e.SetValueAt(5.0, 50.0f);
    ASSERT_EQ(e.ArrayCount(), 6);
    EXPECT_EQ(e.ArrayValue(3), 0.0f);
    EXPECT_EQ(e.ArrayValue(4), 0.0f);
    EXPECT_EQ(e.ArrayValue(5), 50.0f);
    e.SetValueAt(CEnvelope::kWholeEnvelope, 1.0f);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(e.ArrayValue(i), 1.0f);

    // Extending inside kept storage zeroes the gap as growth does.
    e.Clear(1);
    EXPECT_EQ(e.ValueAt(0.0), 0.0f);
    e.SetValueAt(2.0, 7.0f);
    ASSERT_EQ(e.ArrayCount(), 3);
    EXPECT_EQ(e.ArrayValue(0), 0.0f);
    EXPECT_EQ(e.ArrayValue(1), 0.0f);
    e.Clear(0);
    EXPECT_EQ(e.ArrayCapacity(), 0);
}

TEST(CEnvelope, CopyToReproducesDefinitionAndContent)
{
    CEnvelope points;
    defineLine(points, CEnvelope::Linear, 1.0f, 3.0f);
    points.SetValueAt(0.2, 9.0f);
    CEnvelope array;
    array.Define(CEnvelope::Array, CEnvelope::Integer, CEnvelope::Step, 0.0f, 10.0f, 2.0f, 2, 0, 0);
    array.SetValueAt(4.0, 7.0f);

    for (const CEnvelope* source : {&points, &array}) {
        CEnvelope copy;
        copy.Define(CEnvelope::Breakpoints, CEnvelope::Real, CEnvelope::Linear, 0, 1, 0, 40, 1, 0);
        source->CopyTo(copy);
        EXPECT_EQ(copy.KindOf(), source->KindOf());
        EXPECT_EQ(copy.ValueTypeOf(), source->ValueTypeOf());
        EXPECT_EQ(copy.Default(), source->Default());
        EXPECT_EQ(copy.BreakpointCount(), source->BreakpointCount());
        EXPECT_EQ(copy.ArrayCount(), source->ArrayCount());
        for (int i = 0; i <= 50; ++i)
            EXPECT_EQ(copy.ValueAt(i / 10.0), source->ValueAt(i / 10.0)) << i;
    }
    points.CopyTo(points);
    EXPECT_EQ(points.BreakpointCount(), 3);
}

TEST(CEnvelope, AnUndefinedEnvelopeReadsZeroAndIgnoresWrites)
{
    CEnvelope e;
    e.SetValueAt(0.5, 3.0f);
    e.SetValueAt(CEnvelope::kWholeEnvelope, 3.0f);
    EXPECT_EQ(e.ValueAt(0.5), 0.0f);
    EXPECT_EQ(e.BreakpointCount(), 0);

    // A cleared breakpoint list becomes well formed again on the next write.
    defineLine(e, CEnvelope::Linear, 1.0f, 3.0f);
    e.Clear(0);
    EXPECT_EQ(e.ValueAt(0.5), 0.0f);
    e.SetValueAt(0.5, 6.0f);
    ASSERT_EQ(e.BreakpointCount(), 3);
    EXPECT_EQ(e.PointAt(0).time, 0.0);
    EXPECT_EQ(e.PointAt(2).time, 1.0);
}

}  // namespace
