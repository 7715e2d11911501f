#include "AttackMarks.h"

#include "SMSRegion.h"
#include "Signals.h"
#include "SharedFft.h"
#include "SoundFileStream.h"
#include "StretchTestUtil.h"
#include "TimeScaleParameterBlock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

namespace {

// Slope series of n frames, zero but for the given peaks (frame -> value).
AttackMarks series(int n, const std::map<int, double>& total, const std::map<int, double>& upper = {},
                   const std::map<int, double>& lower = {})
{
    AttackMarks m;
    m.totalSlope.assign(static_cast<size_t>(n), 0.0);
    m.upperSlope.assign(static_cast<size_t>(n), 0.0);
    m.lowerSlope.assign(static_cast<size_t>(n), 0.0);
    for (const auto& p : total)
        m.totalSlope[static_cast<size_t>(p.first)] = p.second;
    for (const auto& p : upper)
        m.upperSlope[static_cast<size_t>(p.first)] = p.second;
    for (const auto& p : lower)
        m.lowerSlope[static_cast<size_t>(p.first)] = p.second;
    return m;
}

std::vector<int32_t> positionsOf(const AttackMarks& m)
{
    return std::vector<int32_t>(m.positions.begin(), m.positions.begin() + m.count);
}

std::vector<int> kindsOf(const AttackMarks& m)
{
    return std::vector<int>(m.types.begin(), m.types.begin() + m.count);
}

TEST(AttackDetection, PeaksOfTheSlopeSeriesAndTheirMerging)
{
    struct Case {
        const char* name;
        AttackMarks marks;
        std::vector<int32_t> positions;
        std::vector<int> kinds;
    };
    const std::vector<Case> cases = {
        {"8 frames are too few", series(8, {{4, 500}}), {}, {}},
        {"9 frames: frame 4 is tested", series(9, {{4, 500}}), {9}, {3}},
        {"at 40 no mark", series(30, {{10, 40}}), {}, {}},
        {"a plateau is no peak", series(30, {{10, 80}, {11, 80}}), {}, {}},
        {"equal strength 6 apart: the first", series(30, {{10, 80}, {16, 80}}), {15}, {2}},
        {"the stronger of one type", series(30, {{10, 80}, {16, 90}}), {21}, {2}},
        {"9 apart: both", series(30, {{10, 80}, {19, 80}}), {15, 24}, {2, 2}},
        {"total beats upper", series(30, {{14, 200}}, {{10, 500}}), {19}, {3}},
        {"weak total loses (150/600)", series(30, {{14, 100}}, {{10, 700}}), {15}, {2}},
        {"weak total loses (300/5000), strong", series(30, {{14, 250}}, {{10, 6000}}), {15}, {3}},
        {"not weak enough", series(30, {{14, 250}}, {{10, 4000}}), {19}, {3}},
        {"total first, weak", series(30, {{10, 100}}, {{14, 700}}), {19}, {2}},
        {"upper beats lower", series(30, {}, {{10, 60}}, {{14, 500}}), {15}, {3}},
        {"lower kept while total stays at 40", series(30, {{13, 30}}, {}, {{10, 500}}), {15}, {3}},
        {"no lower while total exceeds 40 within 4", series(30, {{13, 45}}, {}, {{10, 500}}), {18}, {2}},
        {"a strong loser makes the winner strong", series(30, {{10, 90}}, {}, {{16, 200}}), {15}, {3}},
        {"a weak lower slope is kind 2", series(30, {}, {}, {{10, 60}}), {15}, {2}},
        {"the last tested frame is count - 5", series(30, {{25, 80}}), {30}, {2}},
        {"past it nothing", series(30, {{26, 80}}), {}, {}},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        FindAttacks(c.marks);
        EXPECT_EQ(positionsOf(c.marks), c.positions);
        EXPECT_EQ(kindsOf(c.marks), c.kinds);
        for (int i = 0; i < c.marks.count; ++i)
            EXPECT_EQ(c.marks.classes[static_cast<size_t>(i)], 1u);
    }
}

TEST(AttackDetection, BandSlopesOfABandFarUnderTheTotalDoNotCount)
{
    for (int loud : {-1, 8, 12, 17, 18}) {
        SCOPED_TRACE(loud);
        AttackMarks m = series(30, {}, {{10, 500}}, {});
        m.upperQuiet.assign(30, 1);
        m.lowerQuiet.assign(30, 1);
        if (loud >= 0)
            m.upperQuiet[static_cast<size_t>(loud)] = 0;
        FindAttacks(m);
        // Frames 8, 9, 11, 12, 17 and 18 are read by the slope of frame 10.
        const bool read = loud == 8 || loud == 12 || loud == 17 || loud == 18;
        EXPECT_EQ(m.count, read ? 1 : 0);
    }
}

// Analyses a mono signal in [-1, 1] at 44100 Hz as the engine does (in
// 16-bit units) and returns the marks with their slope series.
AttackMarks marksOf(const std::vector<float>& signal)
{
    std::vector<float> x(signal.size());
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = 32768.0f * signal[i];
    SoundFileStream s;
    s.Attach(x.data(), static_cast<int32_t>(x.size()));
    SharedFft fft;
    TimeScaleParameterBlock block;
    SMSAnalysisData data;
    AttackMarks marks;
    EXPECT_EQ(MarkAttacks(fft, 44100.0, 5512.5, block, 256, s, nullptr, marks, nullptr, data), 0);
    s.ReleaseBuffer();
    return marks;
}

// Each mark within [before, after] frames of its event, one mark per event.
void expectOneMarkPerEvent(const AttackMarks& m, const std::vector<int64_t>& events, double before,
                           double after)
{
    ASSERT_EQ(m.count, static_cast<int32_t>(events.size()));
    for (int i = 0; i < m.count; ++i) {
        const double event = events[static_cast<size_t>(i)] / 256.0;
        EXPECT_GE(m.positions[static_cast<size_t>(i)], event - before) << i;
        EXPECT_LE(m.positions[static_cast<size_t>(i)], event + after) << i;
    }
}

TEST(AttackDetection, ClicksOverSilenceGiveOneFiniteMarkEach)
{
    // The first click 70 ms in, off the frame grid: an attack out of silence.
    const testsig::Signal clicks = testsig::clickTrack(120.0, 4.5, 0.6f, 64, 3100);
    const AttackMarks m = marksOf(clicks.samples);
    for (const std::vector<double>* s : {&m.totalSlope, &m.upperSlope, &m.lowerSlope})
        for (double v : *s)
            ASSERT_TRUE(std::isfinite(v));
    expectOneMarkPerEvent(m, clicks.events, 4.0, 1.0);
}

TEST(AttackDetection, ASteadyChordGivesNoMarkWhileItLasts)
{
    const double start = 0.5, end = 4.5;
    std::vector<float> x(static_cast<size_t>(5.0 * testsig::kRate), 0.0f);
    testsig::mixInto(x, testsig::triadWithBass(60, false, end - start, 0.6f), 1.0f,
                     static_cast<int64_t>(start * testsig::kRate));
    const AttackMarks m = marksOf(x);
    for (int i = 0; i < m.count; ++i) {
        const double t = m.positions[static_cast<size_t>(i)] * 256.0 / 44100.0;
        EXPECT_FALSE(t > start + 0.1 && t < end - 0.1) << t;
    }
}

TEST(AttackDetection, ADrumLoopGivesOneMarkPerHit)
{
    testsig::SongSpec spec;
    spec.leadInSeconds = 0.5;
    testsig::SongPart drums;
    drums.bars = 4;
    drums.bass = false;
    drums.pad = false;
    spec.parts = {drums};
    const testsig::Song song = testsig::makeSong(spec);  // a hit on every eighth note
    expectOneMarkPerEvent(marksOf(song.mono()), song.onsets, 4.0, 4.0);
}

// Marks of one channel at positions, kind 2 unless listed as strong.
AttackMarks marksAt(const std::vector<int32_t>& positions, const std::vector<int32_t>& strong = {})
{
    AttackMarks m;
    for (int32_t p : positions) {
        const bool s = std::find(strong.begin(), strong.end(), p) != strong.end();
        m.InsertMark(m.count, p, 1, s ? AttackMarks::kStrongAttack : AttackMarks::kAttack);
    }
    return m;
}

TEST(StereoAttacks, PairingMovesBothChannelsOntoOnePosition)
{
    // Weak marks d = right - left apart: where each moves (near pass for
    // |d| <= 3, far pass beyond).
    struct Move {
        int d, left, right;
    };
    const Move moves[] = {{0, 0, 0},   {1, 0, -1},  {-1, -1, 0}, {2, 1, -1},  {-2, -1, 1},
                          {3, 1, -2},  {-3, -2, 1}, {4, 1, -3},  {-4, -3, 1}, {5, 2, -3},
                          {-5, -3, 2}, {6, 2, -4},  {-6, -4, 2}, {7, 3, -4},  {-7, -4, 3}};
    for (const Move& mv : moves) {
        SCOPED_TRACE(mv.d);
        AttackMarks l = marksAt({100}), r = marksAt({100 + mv.d});
        AttackFlags lf(1, 0), rf(1, 0);
        PairStereoAttacks(l, r, lf, rf);
        EXPECT_EQ(l.positions[0], 100 + mv.left);
        EXPECT_EQ(r.positions[0], 100 + mv.d + mv.right);
        EXPECT_EQ(l.positions[0], r.positions[0]);
        EXPECT_EQ(lf[0], 1u);
        EXPECT_EQ(rf[0], 1u);
    }
    struct Strong {
        const char* name;
        int32_t left, right;
        bool leftStrong, rightStrong;
        int32_t at;
    };
    const Strong strong[] = {
        {"strong left pulls weak right", 100, 102, true, false, 100},
        {"strong right pulls weak left", 100, 101, false, true, 101},
        {"strong left, weak right, far", 100, 106, true, false, 100},
        {"both strong, far: a quarter of the way", 100, 106, true, true, 101},
        {"both strong, near", 100, 102, true, true, 101},
    };
    for (const Strong& s : strong) {
        SCOPED_TRACE(s.name);
        AttackMarks l =
            marksAt({s.left}, s.leftStrong ? std::vector<int32_t> {s.left} : std::vector<int32_t> {});
        AttackMarks r =
            marksAt({s.right}, s.rightStrong ? std::vector<int32_t> {s.right} : std::vector<int32_t> {});
        AttackFlags lf(1, 0), rf(1, 0);
        PairStereoAttacks(l, r, lf, rf);
        EXPECT_EQ(l.positions[0], s.at);
        EXPECT_EQ(r.positions[0], s.at);
    }
    // Different classes never pair; 8 apart is too far.
    AttackMarks l = marksAt({100, 200}), r = marksAt({101, 208});
    r.classes[0] = 2;
    AttackFlags lf(2, 0), rf(2, 0);
    PairStereoAttacks(l, r, lf, rf);
    EXPECT_EQ(positionsOf(l), (std::vector<int32_t> {100, 200}));
    EXPECT_EQ(positionsOf(r), (std::vector<int32_t> {101, 208}));
    EXPECT_EQ(lf, (AttackFlags {0, 0}));
}

TEST(StereoAttacks, MergeInsertsMissingMarksAndCutsTheLongerList)
{
    AttackMarks l = marksAt({10, 20}), r = marksAt({11, 30});
    AttackFlags lf(2, 0), rf(2, 0);
    PairStereoAttacks(l, r, lf, rf);
    EXPECT_EQ(positionsOf(r), (std::vector<int32_t> {10, 30}));
    MergeStereoAttacks(l, r, lf, rf);
    EXPECT_EQ(positionsOf(l), (std::vector<int32_t> {10, 20}));
    EXPECT_EQ(positionsOf(r), (std::vector<int32_t> {10, 20}));
    EXPECT_TRUE(lf.empty());

    // Insertions into both lists; every per-mark array follows the count.
    AttackMarks a = marksAt({10, 50, 90}, {50}), b = marksAt({30, 50, 70, 90, 120});
    AttackFlags af(3, 0), bf(5, 0);
    MergeStereoAttacks(a, b, af, bf);
    EXPECT_EQ(positionsOf(a), (std::vector<int32_t> {10, 30, 50, 70, 90}));
    EXPECT_EQ(positionsOf(b), (std::vector<int32_t> {10, 30, 50, 70, 90}));
    EXPECT_EQ(kindsOf(a), (std::vector<int> {2, 2, 3, 2, 2}));
    for (const AttackMarks* m : {&a, &b}) {
        for (size_t size : {m->positions.size(), m->times.size(), m->spanBefore.size(), m->rampBefore.size(),
                            m->spanAfter.size(), m->rampAfter.size(), m->classes.size(), m->types.size()})
            EXPECT_EQ(size, 5u);
    }
}

TEST(StereoAttacks, MonoInputHasLeftMarksOnly)
{
    std::vector<float> x = testsig::clickTrack(120.0, 1.5, 0.6f, 64, 5000).samples;
    for (float& v : x)
        v *= 32768.0f;
    SoundFileStream s;
    s.Attach(x.data(), static_cast<int32_t>(x.size()));
    SharedFft fft;
    TimeScaleParameterBlock block;
    SMSAnalysisData data;
    AttackMarks left, right;
    EXPECT_EQ(MarkAttacks(fft, 44100.0, 5512.5, block, 256, s, nullptr, left, &right, data), 0);
    s.ReleaseBuffer();
    EXPECT_EQ(left.count, 3);
    EXPECT_EQ(right.count, 0);
    EXPECT_TRUE(right.totalSlope.empty());
    EXPECT_EQ(data.Count(), 1);
}

TEST(AttackSpans, SpansAndRampsFollowGapsFactorAndHop)
{
    std::vector<std::unique_ptr<SMSFrame>> owned;
    std::vector<SMSFrame*> frames;
    for (int i = 0; i < 200; ++i) {
        owned.push_back(std::make_unique<SMSFrame>());
        owned.back()->SetTime(i * 256.0 / 44100.0);
        frames.push_back(owned.back().get());
    }
    const SMSFrameList list {static_cast<int32_t>(frames.size()), frames.data()};
    struct Case {
        const char* name;
        int32_t gap;
        double factor;
        int32_t hop;
        double span, ramp;            // between the two marks
        double outerSpan, outerRamp;  // before the first, after the second
    };
    const Case cases[] = {
        {"4 apart", 4, 1.0, 256, 2, 2, 8, 5},
        {"20 apart", 20, 1.0, 256, 8, 2, 8, 5},
        {"20 apart at 0.5", 20, 0.5, 256, 4, 2, 8, 5},
        {"10 apart", 10, 1.0, 256, 4, 2, 8, 5},
        {"13 apart", 13, 1.0, 256, 5, 2, 8, 5},
        {"30 apart", 30, 1.0, 256, 8, 7, 8, 5},
        {"20 apart at 2.0", 20, 2.0, 256, 8, 2, 8, 5},
        {"20 apart, hop 512", 20, 1.0, 512, 4, 1, 4, 2},
        {"30 apart, hop 512", 30, 1.0, 512, 4, 3, 4, 2},
        {"20 apart, hop 128", 20, 1.0, 128, 16, 4, 16, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TimeScaleParameterBlock block;
        block.SetParameter(TimeScaleParameterBlock::StretchFactor, c.factor, CEnvelope::kWholeEnvelope);
        AttackMarks m = marksAt({51, 51 + c.gap});
        ASSERT_EQ(ComputeAttackSpans(m, list, block, 44100.0, c.hop), 0);
        EXPECT_EQ(m.spanAfter[0], c.span);
        EXPECT_EQ(m.spanBefore[1], c.span);
        EXPECT_EQ(m.rampAfter[0], c.ramp);
        EXPECT_EQ(m.rampBefore[1], c.ramp);
        EXPECT_EQ(m.spanBefore[0], c.outerSpan);
        EXPECT_EQ(m.spanAfter[1], c.outerSpan);
        EXPECT_EQ(m.rampBefore[0], c.outerRamp);
        EXPECT_EQ(m.rampAfter[1], c.outerRamp);
        // Times on the engine's hop grid, nearest the frame's time.
        const double hopDuration = c.hop / 44100.0;
        for (int i = 0; i < 2; ++i) {
            const double steps = m.times[static_cast<size_t>(i)] / hopDuration;
            EXPECT_NEAR(steps, std::round(steps), 1e-9);
            EXPECT_LE(std::fabs(m.times[static_cast<size_t>(i)] -
                                frames[static_cast<size_t>(m.positions[i])]->Time()),
                      hopDuration / 2 + 1e-9);
        }
    }
    // A position past the frame list takes the last frame's time.
    TimeScaleParameterBlock block;
    AttackMarks m = marksAt({150, 260});
    ComputeAttackSpans(m, list, block, 44100.0, 256);
    EXPECT_DOUBLE_EQ(m.times[1], 199 * 256.0 / 44100.0);
}

}  // namespace
