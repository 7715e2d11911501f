// The zoom, scroll and selection rules that both waveform views share, at
// their edges; where the views differ the table names the rule it uses.
#include "WaveViewRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using Rules = WaveViewRules;

TEST(WaveViewRules, ZoomStaysWithinOneToTheLengthAndTheCeiling)
{
    struct Case {
        int64_t zoom;
        uint32_t length;
        uint32_t clamped;
    };
    const Case cases[] = {
        {0, 1000, 1},       {-5, 1000, 1},
        {1, 0, 1},          {7, 0, 1},
        {7, 5, 5},          {1000, 1000, 1000},
        {1001, 1000, 1000}, {int64_t(Rules::kZoomCeiling) + 1, 0xffffffffu, Rules::kZoomCeiling},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.zoom) + " of " + std::to_string(c.length));
        EXPECT_EQ(Rules::clampZoom(c.zoom, c.length), c.clamped);
    }
    // 50 x the largest zoom still fits the scroll bar's int.
    EXPECT_LE(int64_t(Rules::kZoomCeiling) * Rules::kStepsPerWidth, int64_t(std::numeric_limits<int>::max()));
    EXPECT_EQ(Rules::scrollMaximum(Rules::kZoomCeiling), 50 * int(Rules::kZoomCeiling) - 50);

    EXPECT_EQ(Rules::clampPosition(-0.5, 4), 0.0);
    EXPECT_EQ(Rules::clampPosition(3.5, 4), 3.0);
    EXPECT_EQ(Rules::clampPosition(2.25, 4), 2.25);
    EXPECT_EQ(Rules::clampPosition(0.5, 1), 0.0);
    EXPECT_EQ(Rules::clampPosition(std::nan(""), 4), 0.0);
}

TEST(WaveViewRules, ZoomInDoublesAndZoomOutHalvesKeepingTheShareOfTheLength)
{
    struct Case {
        const char* name;
        Rules::View view;
        uint32_t length;
        Rules::View in, out;
    };
    const Case cases[] = {
        {"from 1", {1, 0.0}, 1000, {2, 0.0}, {1, 0.0}},
        {"from 3", {3, 1.5}, 1000, {6, 3.0}, {1, 0.0}},
        {"from 4 at 1.5", {4, 1.5}, 1000, {8, 3.0}, {2, 0.75}},
        {"out to the last page", {4, 3.0}, 1000, {8, 6.0}, {2, 1.0}},
        {"in stops at the length", {4, 2.0}, 6, {6, 3.0}, {2, 1.0}},
        {"in at the length", {6, 3.0}, 6, {6, 3.0}, {3, 1.5}},
        {"no audio", {1, 0.0}, 0, {1, 0.0}, {1, 0.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rules::View in = Rules::zoomedIn(c.view, c.length);
        EXPECT_EQ(in.zoom, c.in.zoom);
        EXPECT_DOUBLE_EQ(in.position, c.in.position);
        const Rules::View out = Rules::zoomedOut(c.view);
        EXPECT_EQ(out.zoom, c.out.zoom);
        EXPECT_DOUBLE_EQ(out.position, c.out.position);
    }
}

TEST(WaveViewRules, TheScrollBarCountsFiftiethsOfAWidth)
{
    EXPECT_EQ(Rules::scrollMaximum(1), 0);
    EXPECT_EQ(Rules::scrollMaximum(4), 150);
    EXPECT_EQ(Rules::scrollValue(1.5), 75);
    EXPECT_EQ(Rules::scrollValue(0.009), 0);
    EXPECT_EQ(Rules::scrollValue(0.01), 1) << "rounded to the nearest step";
    EXPECT_DOUBLE_EQ(Rules::positionOfScrollValue(75), 1.5);
    // A sample at the left or right edge: its position in steps, truncated.
    EXPECT_EQ(Rules::scrollValueShowing(500, 1000, 4), 100);
    EXPECT_EQ(Rules::scrollValueShowing(501, 1000, 4), 100);
    EXPECT_EQ(Rules::scrollValueEndingAt(500, 1000, 4), 50);
    EXPECT_EQ(Rules::scrollValueEndingAt(100, 1000, 4), -30)
        << "left of the first page, before the bar's limits";
    EXPECT_EQ(Rules::scrollValueShowing(500, 0, 4), 0);
}

TEST(WaveViewRules, SelectionVisibilityCountsTheEdgeColumnsAsEachViewDoes)
{
    // The view spans columns 10 .. 110. The main window counts its edge
    // columns as in view, the time-stretch window as outside it.
    struct Case {
        int xs, xe;
        uint8_t inView, outOfView;
    };
    const Case cases[] = {
        {20, 80, 1, 1},    // inside
        {10, 110, 1, 0},   // exactly on both edges
        {10, 80, 1, 0},    // start on the left edge
        {20, 110, 1, 0},   // end on the right edge
        {5, 80, 2, 2},     // start cut off
        {5, 110, 2, 0},    // start cut off, end on the edge
        {20, 120, 3, 3},   // end cut off
        {10, 120, 3, 0},   // start on the edge, end cut off
        {5, 120, 4, 4},    // spanning
        {0, 5, 0, 0},      // wholly left
        {115, 130, 0, 0},  // wholly right
        {5, 10, 2, 0},     // ends on the left edge
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.xs) + " .. " + std::to_string(c.xe));
        EXPECT_EQ(Rules::selectionVisibility(c.xs, c.xe, 10, 110, Rules::Edges::InView), c.inView);
        EXPECT_EQ(Rules::selectionVisibility(c.xs, c.xe, 10, 110, Rules::Edges::OutOfView), c.outOfView);
    }
}

TEST(WaveViewRules, BringingASelectionIntoViewGoesToItsStartWhenItIsCutOffOrOutside)
{
    struct Case {
        const char* name;
        uint8_t visibility;
        int xs, xe;
        bool toStart;
    };
    // The view spans columns 0 .. 100.
    const Case cases[] = {
        {"inside", 1, 20, 80, false},
        {"start cut off", 2, -5, 80, true},
        {"end cut off", 3, 20, 120, false},
        {"spanning", 4, -5, 120, true},
        {"wholly left", 0, -50, -10, true},
        {"ending on the left edge", 0, -50, 0, true},
        {"ending on the right edge (outside a view whose edges are)", 0, 50, 100, true},
        {"wholly right", 0, 120, 150, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Rules::scrollsToSelectionStart(c.visibility, c.xs, c.xe, 0, 100), c.toStart);
    }
}

TEST(WaveViewRules, SnappingTakesTheNearestMarkOrAnEndOfTheAudio)
{
    const std::vector<uint32_t> marks = {100, 200, 300};
    struct Case {
        int64_t sample;
        int64_t snapped;
    };
    const Case cases[] = {
        {0, 0},
        {49, 0},
        {50, 100} /* a tie below the first mark goes to the mark */,
        {99, 100},
        {100, 100},
        {149, 100},
        {150, 200} /* a tie goes to the later mark */,
        {151, 200},
        {300, 300},
        {349, 300},
        {350, 399} /* nearer the last frame */,
        {399, 399},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        EXPECT_EQ(Rules::snapToMarks(c.sample, marks, 400), c.snapped);
    }
    EXPECT_EQ(Rules::snapToMarks(77, {}, 400), 77);
}
