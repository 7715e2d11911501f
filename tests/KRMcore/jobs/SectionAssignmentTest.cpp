#include "JobsFixture.h"

#include <gtest/gtest.h>

using edit_test::QuietMessages;
using edit_test::secAt;
using jobs_test::barAdrs;
using jobs_test::gridWave;
using jobs_test::JobsCore;

namespace {

constexpr uint32_t kGap120 = 11025;  // half beat at 120 beats per minute

uint32_t projectTempo(CKRMcore& core)
{
    CommonInfo* c = nullptr;
    core.getProjectInfo()->getCommonInfo(&c);
    return c->tempo;
}

// A section as bars of the wave's grid.
struct Placed {
    uint8_t section;
    int startBar, endBar;
};

void expectSections(JobsCore& core, const std::vector<Placed>& placed, uint32_t gap, int beatsPerBar = 4)
{
    for (uint8_t s = 0; s < 15; ++s) {
        SCOPED_TRACE(testing::Message() << "section " << int(s));
        const SectionRecord& rec = core.sec(s);
        const auto it =
            std::find_if(placed.begin(), placed.end(), [&](const Placed& p) { return p.section == s; });
        if (it == placed.end()) {
            EXPECT_EQ(rec.used, 0);
            continue;
        }
        EXPECT_EQ(rec.used, 1);
        EXPECT_EQ(rec.waveIndex, 0);
        EXPECT_EQ(rec.startAdrs, barAdrs(it->startBar, gap, beatsPerBar));
        EXPECT_EQ(rec.endAdrs, barAdrs(it->endBar, gap, beatsPerBar));
        EXPECT_EQ(rec.barCount, it->endBar - it->startBar);
    }
}

}  // namespace

// Segments on bar lines keep their places; which of them become sections
// follows their number and, from seven on, their labels and lengths.
TEST(SectionAssignment, SectionsChosenFromTheSegments)
{
    QuietMessages quiet;
    struct Case {
        const char* name;
        std::vector<int> bars;
        std::vector<uint16_t> labels;
        std::vector<Placed> sections;
    };
    const Case cases[] = {
        {"no marks", {}, {}, {}},
        {"three", {2, 2, 2}, {0, 1, 2}, {{3, 0, 2}, {4, 2, 4}, {5, 4, 6}}},
        {"five", {2, 2, 2, 2, 2}, {0, 1, 0, 1, 2}, {{1, 0, 2}, {3, 2, 4}, {4, 4, 6}, {5, 6, 8}, {6, 8, 10}}},
        {"six",
         {2, 2, 2, 2, 2, 2},
         {0, 1, 0, 1, 0, 2},
         {{1, 0, 2}, {3, 2, 4}, {4, 4, 6}, {5, 6, 8}, {6, 8, 10}, {13, 10, 12}}},
        // Longest first: label 2 (its last), 1 (its last), 3 and 4 (their
        // first segments); segments 1 and 2 are left out.
        {"four labels",
         {2, 4, 8, 4, 2, 8, 1, 2},
         {0, 1, 2, 1, 3, 2, 4, 0},
         {{1, 0, 2}, {3, 14, 18}, {4, 18, 20}, {5, 20, 28}, {6, 28, 29}, {13, 29, 31}}},
        // Labels 1 and 2 are equally long: 1, met first, ranks first and
        // gives its last segment; 2 gives its first.
        {"equally long labels",
         {2, 4, 4, 8, 4, 4, 2, 8, 1, 2},
         {0, 1, 2, 3, 1, 2, 4, 3, 4, 0},
         {{1, 0, 2}, {3, 6, 10}, {4, 18, 22}, {5, 26, 28}, {6, 28, 36}, {13, 37, 39}}},
        // One label: the four longest middle segments, the earlier of two
        // equally long ones.
        {"one label",
         {1, 2, 4, 3, 4, 2, 1},
         {0, 5, 5, 5, 5, 5, 0},
         {{1, 0, 1}, {3, 1, 3}, {4, 3, 7}, {5, 7, 10}, {6, 10, 14}, {13, 16, 17}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobsCore core;
        core.addWave(gridWave(kGap120, c.bars, c.labels, 4, c.bars.empty() ? 8 : 0));
        ASSERT_EQ(core.updateTempo(90), 0u);
        EXPECT_EQ(core.makeInitSecAsgnBySegLbl(0), 0u);
        expectSections(core, c.sections, kGap120);
        // Marks already on bar lines are fitted onto themselves.
        EXPECT_EQ(core.wave(0).fittedMarks, core.wave(0).detectedMarks);
        EXPECT_EQ(projectTempo(core), c.sections.empty() ? 90u : 120u);
    }
}

// "Main A" of two bars gives the project tempo; one too slow to count as a
// tempo leaves the project's own.
TEST(SectionAssignment, ProjectTempoFromMainA)
{
    QuietMessages quiet;
    struct Case {
        uint32_t gap;
        uint32_t tempo;
    };
    const Case cases[] = {{kGap120, 120}, {13230, 100}, {8820, 150}, {1400000, 90}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gap);
        JobsCore core;
        core.addWave(gridWave(c.gap, {2, 2, 2}, {0, 1, 0}));
        ASSERT_EQ(core.updateTempo(90), 0u);
        EXPECT_EQ(core.makeInitSecAsgnBySegLbl(0), 0u);
        EXPECT_EQ(core.sec(3).endAdrs - core.sec(3).startAdrs, barAdrs(2, c.gap));
        EXPECT_EQ(projectTempo(core), c.tempo);
    }
}

// The end of one segment moved onto the bar grid, on a 4/4 grid of 40
// beats (beat b at b * 22050 frames).
TEST(SectionAssignment, SegmentEndFittedToTheBarGrid)
{
    QuietMessages quiet;
    JobsCore core;
    core.addWave(gridWave(kGap120, {10}, {0}));  // beats 0 to 40
    const auto at = [](double beat) { return edit_test::secAt(static_cast<uint32_t>(beat * 22050)); };
    struct Case {
        const char* name;
        double sStart, sEnd, fStart, fEnd;  // beats
        double expected;                    // beat of the result
    };
    const Case cases[] = {
        {"whole bars", 0, 8, 0, 8, 8},
        {"q 3: two bars, the detected length", 0, 8, 0, 9, 8},
        {"q 4: four bars near the detected length", 0, 16, 0, 13, 16},
        {"q 4: the nearer bar line", 0, 8, 0, 13, 12},
        {"q 1", 0, 2, 0, 2, 4},
        {"q 2: the nearer one", 0, 5, 0, 5, 4},
        {"q 2: a tie goes back", 0, 6, 0, 6, 4},
        {"past the last beat: back to a bar line", 29, 38, 29, 38, 37},
        {"past the last beat, no bar line: own end", 37, 39.25, 37, 39.25, 39.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<SegmentEntry> s {{15, at(c.sStart), at(c.sEnd), 0}};
        const std::vector<SegmentEntry> f {{15, at(c.fStart), at(c.fEnd), 0}};
        uint32_t end = 0;
        EXPECT_EQ(core.fitSegEndToBar(0, 0, s, f, 0, end), 0u);
        EXPECT_EQ(end, static_cast<uint32_t>(c.expected * 22050));
    }
}

// Fitting moves a segment's start onto the previous segment's fitted end;
// one that collapses gets a second, unless that passes the last onset.
TEST(SectionAssignment, CollapsingSegmentGetsOneSecond)
{
    QuietMessages quiet;
    const auto at = [](double beat) { return edit_test::secAt(static_cast<uint32_t>(beat * 22050)); };
    struct Case {
        const char* name;
        double lastOnset;  // beats
        std::vector<double> starts, ends;
        uint32_t code;
        std::vector<double> fittedStarts, fittedEnds;
    };
    const Case cases[] = {
        // Segment 0 ends on beat 8, past segment 1's end at 7.5.
        {"after a fitted end", 40, {0, 7}, {7, 7.5}, 0, {0, 8}, {8, 12}},
        {"after a fitted end, past the last onset", 9, {0, 7}, {7, 7.5}, 0x8000000Au, {}, {}},
        {"at the first start", 40, {0, 0}, {4, 6}, 0, {0, 4}, {4, 8}},
        {"at the first start, past the last onset", 1.5, {0, 0}, {4, 6}, 0x80000007u, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobsCore core;
        WaveInfoRecord* w = gridWave(kGap120, {10}, {0});
        w->onsets = {at(0), at(c.lastOnset)};
        core.addWave(w);
        std::vector<SegmentEntry> s;
        for (size_t i = 0; i < c.starts.size(); ++i)
            s.push_back({15, at(c.starts[i]), at(c.ends[i]), 0});
        std::vector<SegmentEntry> f;
        EXPECT_EQ(core.fitSegForTS(0, s, f, 0), c.code);
        if (c.code != 0)
            continue;
        ASSERT_EQ(f.size(), c.fittedStarts.size());
        for (size_t i = 0; i < f.size(); ++i) {
            EXPECT_NEAR(f[i].start, c.fittedStarts[i] * 0.5, 1e-4) << i;
            EXPECT_NEAR(f[i].end, c.fittedEnds[i] * 0.5, 1e-4) << i;
        }
    }
}

TEST(SectionAssignment, ErrorTextsNameTheFailingStepOnce)
{
    QuietMessages quiet;
    const auto at = [](double beat) { return edit_test::secAt(static_cast<uint32_t>(beat * 22050)); };
    struct Case {
        const char* name;
        std::vector<double> marks;  // beats
        double lastOnset;           // beats
        uint32_t code;
        const char* text;
        bool beforeSectionEdits;
    };
    const Case cases[] = {
        // The second segment collapses and a second would pass the last onset.
        {"fit", {0, 7}, 7.5, 0x800000A2u, "error at makeInitSecAsgnBySegLbl() fitSegForTS [8000000a]", true},
        // A segment within one beat gives a section of no length.
        {"sections",
         {0},
         0.2,
         0x8000A726u,
         "error at makeInitSecAsgnBySegLbl() doSegToSec [80000a72]",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool earlier : {false, true}) {
            JobsCore core;
            WaveInfoRecord* w = gridWave(kGap120, {}, {}, 4, 10);
            for (double m : c.marks)
                w->detectedMarks.push_back({at(m), 1});
            w->onsets = {at(0), at(c.lastOnset)};
            core.addWave(w);
            if (earlier)
                core.setErrorText("earlier");
            EXPECT_EQ(core.makeInitSecAsgnBySegLbl(0), c.code);
            // Section edits start from an empty text, so only a failure
            // before them can show that an earlier text is kept.
            if (earlier && !c.beforeSectionEdits)
                continue;
            EXPECT_EQ(core.errorText(), earlier ? "earlier" : c.text);
        }
    }
}

// Detected marks need an onset to end the last segment.
TEST(SectionAssignment, MarksWithoutOnsetsAreRefused)
{
    QuietMessages quiet;
    JobsCore core;
    WaveInfoRecord* w = gridWave(kGap120, {2, 2}, {0, 1});
    w->onsets.clear();
    core.addWave(w);
    EXPECT_EQ(core.makeInitSecAsgnBySegLbl(0), 0x80000001u);
    EXPECT_EQ(core.sec(3).used, 0);
}

// A new time signature re-fits every wave's marks on that wave and assigns
// the sections again, in one undo step.
TEST(SectionAssignment, TimeSignatureChangeReassignsEveryWave)
{
    QuietMessages quiet;
    JobsCore core;
    core.addWave(gridWave(kGap120, {2, 2, 2}, {0, 1, 2}));  // beats 0, 8, 16, end 24
    core.addWave(gridWave(kGap120, {4, 4, 4}, {0, 1, 0}));  // beats 0, 16, 32, end 48
    ASSERT_EQ(core.makeInitSecAsgnBySegLbl(0), 0u);
    core.clearUndoStack();

    EXPECT_EQ(core.changeTimeSignature(3, 4), 0u);
    EXPECT_EQ(core.undoCount(), 1);
    EXPECT_EQ(core.undoText(0), "set all");
    uint8_t bpb = 0, unit = 0;
    core.getTimeSig(&bpb, &unit);
    EXPECT_EQ(bpb, 3);
    EXPECT_EQ(unit, 4);

    const auto beats = [](const std::vector<SegmentMark>& marks) {
        std::vector<uint32_t> out;
        for (const SegmentMark& m : marks)
            out.push_back(secondsToSamples(m.time) / 22050);
        return out;
    };
    EXPECT_EQ(beats(core.wave(0).fittedMarks), (std::vector<uint32_t> {0, 6, 15}));
    EXPECT_EQ(beats(core.wave(1).fittedMarks), (std::vector<uint32_t> {0, 18, 33}));
    const uint32_t starts[] = {0, 18, 33}, ends[] = {18, 33, 48};
    for (uint8_t i = 0; i < 3; ++i) {
        const SectionRecord& s = core.sec(3 + i);
        EXPECT_EQ(s.waveIndex, 1) << int(i);
        EXPECT_EQ(s.startAdrs, starts[i] * 22050) << int(i);
        EXPECT_EQ(s.endAdrs, ends[i] * 22050) << int(i);
    }
    EXPECT_EQ(projectTempo(core), 120u);

    core.undo();
    core.getTimeSig(&bpb, &unit);
    EXPECT_EQ(bpb, 4);
    EXPECT_EQ(core.sec(3).waveIndex, 0);
    EXPECT_EQ(core.sec(4).endAdrs, barAdrs(4, kGap120));
}

TEST(SectionAssignment, BeatParityOfAnAddress)
{
    const std::vector<float> beats {0.0f, 1.0f, 2.0f, 3.0f, 4.0f};
    struct Case {
        const char* name;
        uint16_t step;
        uint32_t address;
        uint8_t toggle;
    };
    const Case cases[] = {
        {"start", 1, 0, 0},
        {"nearer the odd entry", 1, 52920, 1},
        {"nearer the even entry", 1, 79380, 0},
        {"a tie goes to the earlier entry", 1, 66150, 1},
        {"after the last entry", 1, 44100 * 9, 0},
        {"step 2, nearer the odd half beat", 2, 127890, 1},
        {"step 2, after the last walked entry", 2, 136710, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t toggle = 9;
        EXPECT_EQ(CKRMcore::beatParityAt(beats, c.address, c.step, toggle), 0u);
        EXPECT_EQ(toggle, c.toggle);
    }
    uint8_t toggle = 9;
    EXPECT_EQ(CKRMcore::beatParityAt({}, 0, 1, toggle), 0x80000001u);
}
